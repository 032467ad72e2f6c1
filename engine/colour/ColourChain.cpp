#include "ColourChain.h"

#include "ExplorerState.h"

#include <cmath>

namespace mandel {

namespace {

// Single-precision product n * fn, as modes 1-3 form it.
inline float singleProduct(int n, float fn)
{
    return static_cast<float>(n) * fn;
}

// Double-precision product of a double and the multiplier (modes 4-9).
inline double doubleProduct(double v, float fn)
{
    return v * static_cast<double>(fn);
}

} // namespace

ColourChain::ColourChain(const ExplorerState& s) noexcept
    : fn1_(s.fn1), fn2_(s.fn2), fn3_(s.fn3),
      m1_(wholeModulusOf(s.m1)), m2_(wholeModulusOf(s.m2)), m3_(wholeModulusOf(s.m3)),
      mode_(colourModeOf(s.b))
{
}

Colour ColourChain::next(int n, double zi) noexcept
{
    const double az = std::fabs(zi);
    const double nd = static_cast<double>(n);
    // A component whose value cannot be formed keeps what it held before.
    switch (mode_) {
    case 2:
        roundMod(singleProduct(n, fn1_), m1_, red_);
        roundMod(singleProduct(n, fn1_), m2_, green_);
        roundMod(singleProduct(n, fn1_), m3_, blue_);
        break;
    case 3:
        roundMod(singleProduct(n, fn1_), m1_, red_);
        roundMod(singleProduct(n, fn2_), m2_, green_);
        roundMod(singleProduct(n, fn3_), m3_, blue_);
        break;
    case 4:
        roundMod(doubleProduct(nd + az, fn1_), 255, red_);
        roundMod(singleProduct(n, fn2_), 255, green_);
        roundMod(singleProduct(n, fn3_), 255, blue_);
        break;
    case 5:
        roundMod(singleProduct(n, fn1_), 255, red_);
        roundMod(doubleProduct(nd + az, fn2_), 255, green_);
        roundMod(singleProduct(n, fn3_), 255, blue_);
        break;
    case 6:
        roundMod(singleProduct(n, fn1_), 255, red_);
        roundMod(singleProduct(n, fn2_), 255, green_);
        roundMod(doubleProduct(nd + az, fn3_), 255, blue_);
        break;
    case 7:
        // Before the first pixel there is no previous green: the product is
        // then a single one, as in mode 1.
        if (first_)
            roundMod(singleProduct(n, fn1_), 255, red_);
        else
            roundMod(doubleProduct(static_cast<double>(n + green_), fn1_), 255, red_);
        roundMod(singleProduct(n, fn2_), 255, green_);
        roundMod(singleProduct(n, fn3_), 255, blue_);
        break;
    case 8:
        roundMod(singleProduct(n, fn1_), 255, red_);
        if (first_)
            roundMod(singleProduct(n, fn2_), 255, green_);
        else
            roundMod(doubleProduct(static_cast<double>(n + blue_), fn2_), 255, green_);
        roundMod(singleProduct(n, fn3_), 255, blue_);
        break;
    case 9:
        roundMod(singleProduct(n, fn1_), 255, red_);
        roundMod(singleProduct(n, fn2_), 255, green_);
        roundMod(doubleProduct(static_cast<double>(n + red_), fn3_), 255, blue_);
        break;
    default:
        roundMod(singleProduct(n, fn1_), 255, red_);
        roundMod(singleProduct(n, fn2_), 255, green_);
        roundMod(singleProduct(n, fn3_), 255, blue_);
        break;
    }
    first_ = false;
    return composeColour(red_, green_, blue_);
}

} // namespace mandel
