#pragma once

#include <cmath>
#include <cstdint>

namespace mandel {

// A colour value red + 256 * green + 65536 * blue, each component 0..255.
using Colour = std::uint32_t;

// The background a surface is cleared to (light grey, like a dialog face).
inline constexpr Colour kBackground = 0xF0F0F0u;

// Composes a colour; components above 255 count as 255, below 0 as 0.
constexpr Colour composeColour(int red, int green, int blue) noexcept
{
    auto clamp = [](int c) { return static_cast<Colour>(c < 0 ? 0 : (c > 255 ? 255 : c)); };
    return clamp(red) + 256u * clamp(green) + 65536u * clamp(blue);
}

constexpr int redOf(Colour c) noexcept { return static_cast<int>(c & 0xFFu); }
constexpr int greenOf(Colour c) noexcept { return static_cast<int>((c >> 8) & 0xFFu); }
constexpr int blueOf(Colour c) noexcept { return static_cast<int>((c >> 16) & 0xFFu); }

// P(v, d): v rounded to the nearest whole number, halves to even, modulo d.
// Writes the result and returns true; returns false (leaving `out` alone)
// when v is not a finite number in range, so the caller keeps its old value.
template <typename Real>
inline bool roundMod(Real v, int d, int& out) noexcept
{
    if (!(v >= Real(0) && v < Real(2147483647)) || d <= 0)
        return false;
    // nearbyint honours the current rounding mode, which is to-nearest-even.
    const auto whole = static_cast<long>(std::nearbyint(v));
    out = static_cast<int>(whole % d);
    return true;
}

// The colour mode of b: a whole 1..9, anything else colours as mode 1.
inline int colourModeOf(float b) noexcept
{
    if (!(b >= 1.0f && b <= 9.0f) || b != std::floor(b))
        return 1;
    return static_cast<int>(b);
}

// A modulus as the colour rules read it: rounded to whole, halves to even
// (0 where it cannot be formed, which makes every P with it unformable).
inline int wholeModulusOf(float m) noexcept
{
    int out = 0;
    roundMod(m, 2147483647, out);
    return out;
}

} // namespace mandel
