#include "ColourTables.h"

#include "ExplorerState.h"

#include <cmath>

namespace mandel {

namespace {

// P(v, m) as a table entry: -1 where it cannot be formed.
template <typename Real>
std::int16_t entry(Real v, int m)
{
    int out = 0;
    return static_cast<std::int16_t>(roundMod(v, m, out) ? out : -1);
}

// roundMod(v, 255) without the library call: adding and taking away 2^52
// rounds a double in [0, 2^31) to a whole number, halves to even, exactly
// as nearbyint does in the default rounding mode.
inline int roundMod255(double v) noexcept
{
    if (!(v >= 0.0 && v < 2147483647.0))
        return -1;
    constexpr double kShift = 4503599627370496.0;  // 2^52
    const auto whole = static_cast<long>((v + kShift) - kShift);
    return static_cast<int>(whole % 255);
}

inline void keepOrSet(int& component, int value) noexcept
{
    if (value >= 0)
        component = value;
}

} // namespace

ColourTables::ColourTables(const ExplorerState& s) noexcept
    : mode_(colourModeOf(s.b)), fnR_(s.fn1), fnG_(s.fn2), fnB_(s.fn3), mR_(255), mG_(255), mB_(255), fnChain_(s.fn1)
{
    if (mode_ == 2) {
        fnG_ = fnB_ = s.fn1;
        mR_ = wholeModulusOf(s.m1);
        mG_ = wholeModulusOf(s.m2);
        mB_ = wholeModulusOf(s.m3);
    } else if (mode_ == 3) {
        mR_ = wholeModulusOf(s.m1);
        mG_ = wholeModulusOf(s.m2);
        mB_ = wholeModulusOf(s.m3);
    }
    if (mode_ == 5 || mode_ == 8)
        fnChain_ = s.fn2;
    if (mode_ == 6 || mode_ == 9)
        fnChain_ = s.fn3;
    for (int n = 0; n < kSums; ++n) {
        const auto i = static_cast<std::size_t>(n);
        if (n < kCounts) {
            red_[i] = entry(static_cast<float>(n) * fnR_, mR_);
            green_[i] = entry(static_cast<float>(n) * fnG_, mG_);
            blue_[i] = entry(static_cast<float>(n) * fnB_, mB_);
        }
        chain_[i] = entry(static_cast<double>(n) * static_cast<double>(fnChain_), 255);
    }
    if (mode_ != 1 && mode_ != 2 && mode_ != 3)
        return;
    hasDirect_ = true;
    for (std::size_t i = 0; i < kCounts; ++i) {
        hasDirect_ = hasDirect_ && red_[i] >= 0 && green_[i] >= 0 && blue_[i] >= 0;
        direct_[i] = composeColour(red_[i], green_[i], blue_[i]);
    }
}

int ColourTables::single(const Table& t, int n, float fn, int m) const noexcept
{
    if (n >= 0 && n < kCounts)
        return t[static_cast<std::size_t>(n)];
    int v = 0;
    return roundMod(static_cast<float>(n) * fn, m, v) ? v : -1;
}

int ColourTables::chained(int sum) const noexcept
{
    if (sum >= 0 && sum < kSums)
        return chain_[static_cast<std::size_t>(sum)];
    int v = 0;
    return roundMod(static_cast<double>(sum) * static_cast<double>(fnChain_), 255, v) ? v : -1;
}

Colour ColourTables::next(int n, double zi) noexcept
{
    // The product with n + |zi| of modes 4-6, formed in double precision.
    auto withZi = [&] {
        return roundMod255((static_cast<double>(n) + std::fabs(zi)) * static_cast<double>(fnChain_));
    };
    switch (mode_) {
    case 4:
        keepOrSet(r_, withZi());
        keepOrSet(g_, single(green_, n, fnG_, mG_));
        keepOrSet(b_, single(blue_, n, fnB_, mB_));
        break;
    case 5:
        keepOrSet(r_, single(red_, n, fnR_, mR_));
        keepOrSet(g_, withZi());
        keepOrSet(b_, single(blue_, n, fnB_, mB_));
        break;
    case 6:
        keepOrSet(r_, single(red_, n, fnR_, mR_));
        keepOrSet(g_, single(green_, n, fnG_, mG_));
        keepOrSet(b_, withZi());
        break;
    case 7:
        // The first pixel has no previous green: a single product.
        keepOrSet(r_, first_ ? single(red_, n, fnR_, mR_) : chained(n + g_));
        keepOrSet(g_, single(green_, n, fnG_, mG_));
        keepOrSet(b_, single(blue_, n, fnB_, mB_));
        break;
    case 8:
        keepOrSet(r_, single(red_, n, fnR_, mR_));
        keepOrSet(g_, first_ ? single(green_, n, fnG_, mG_) : chained(n + b_));
        keepOrSet(b_, single(blue_, n, fnB_, mB_));
        break;
    case 9:
        keepOrSet(r_, single(red_, n, fnR_, mR_));
        keepOrSet(g_, single(green_, n, fnG_, mG_));
        keepOrSet(b_, chained(n + r_));
        break;
    default:  // modes 1-3 differ only in their tables
        keepOrSet(r_, single(red_, n, fnR_, mR_));
        keepOrSet(g_, single(green_, n, fnG_, mG_));
        keepOrSet(b_, single(blue_, n, fnB_, mB_));
        break;
    }
    first_ = false;
    return composeColour(r_, g_, b_);
}

} // namespace mandel

namespace mandel {

void ColourTables::colourRun(const PointResult* points, int count, Colour* out) noexcept
{
    if (!hasDirect_) {
        for (int i = 0; i < count; ++i)
            out[i] = next(points[i].n, points[i].zi);
        return;
    }
    // No pixel of these modes reads the previous one while every component
    // can be formed; only the last pixel's components must be kept.
    // Colouring a pixel twice in these modes gives the same components, so
    // the state is brought up to date by colouring the previous pixel again.
    for (int i = 0; i < count; ++i) {
        const int n = points[i].n;
        if (n >= 0 && n < kCounts) {
            out[i] = direct_[static_cast<std::size_t>(n)];
            continue;
        }
        if (i > 0)
            next(points[i - 1].n, points[i - 1].zi);
        out[i] = next(n, points[i].zi);
    }
    if (count > 0)
        next(points[count - 1].n, points[count - 1].zi);
}

} // namespace mandel
