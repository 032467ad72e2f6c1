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
// as nearbyint does in the default rounding mode. -1 where it cannot be
// formed.
inline int roundMod255(double v) noexcept
{
    if (!(v >= 0.0 && v < 2147483647.0))
        return -1;
    constexpr double kShift = 4503599627370496.0;  // 2^52
    const auto whole = static_cast<long>((v + kShift) - kShift);
    return static_cast<int>(whole % 255);
}

} // namespace

ColourTables::ColourTables(const ExplorerState& s) noexcept : ColourTables(paletteOf(s)) {}

ColourTables::ColourTables(const Palette& s) noexcept
    : fn_{s.fn1, s.fn2, s.fn3}, m_{255, 255, 255}
{
    const int mode = colourModeOf(s.b);
    if (mode == 2 || mode == 3) {
        m_[0] = wholeModulusOf(s.m1);
        m_[1] = wholeModulusOf(s.m2);
        m_[2] = wholeModulusOf(s.m3);
    }
    if (mode == 2)
        fn_[1] = fn_[2] = s.fn1;  // mode 2 varies only the moduli
    if (mode >= 4 && mode <= 6)
        rule_ = {Special::WithZi, mode - 4};
    if (mode >= 7)
        rule_ = {Special::Chained, mode - 7};

    const auto chainFn = static_cast<double>(fn_[rule_.channel]);
    for (int n = 0; n < kSums; ++n) {
        const auto i = static_cast<std::size_t>(n);
        if (n < kCounts) {
            for (std::size_t ch = 0; ch < 3; ++ch)
                single_[ch][i] = entry(static_cast<float>(n) * fn_[ch], m_[ch]);
        }
        chain_[i] = entry(static_cast<double>(n) * chainFn, 255);
    }
    if (rule_.special == Special::WithZi)
        rest_ = Rest::Zi;
    else if (rule_.special == Special::Chained && rule_.source() > rule_.channel)
        rest_ = Rest::Before;
    for (int n = 0; n < kCounts; ++n) {
        int c[3] = {0, 0, 0};
        bool forms = true;
        if (rest_ == Rest::None) {
            forms = components(n, 0.0, kNoPixelBefore, c);
        } else {
            // The special channel is added per pixel; only the others count.
            for (int ch = 0; ch < 3; ++ch)
                if (ch != rule_.channel) {
                    c[ch] = single(ch, n);
                    forms = forms && c[ch] >= 0;
                }
        }
        fromCount_[static_cast<std::size_t>(n)] = composeColour(c[0], c[1], c[2]);
        fromCountForms_[static_cast<std::size_t>(n)] = forms;
    }
    if (rule_.special != Special::None)
        return;
    hasDirect_ = true;
    for (std::size_t i = 0; i < kCounts; ++i) {
        hasDirect_ = hasDirect_ && single_[0][i] >= 0 && single_[1][i] >= 0 && single_[2][i] >= 0;
        direct_[i] = composeColour(single_[0][i], single_[1][i], single_[2][i]);
    }
}

int ColourTables::single(int channel, int n) const noexcept
{
    const auto ch = static_cast<std::size_t>(channel);
    if (n >= 0 && n < kCounts)
        return single_[ch][static_cast<std::size_t>(n)];
    int v = 0;
    return roundMod(static_cast<float>(n) * fn_[ch], m_[ch], v) ? v : -1;
}

int ColourTables::chained(int sum) const noexcept
{
    if (sum >= 0 && sum < kSums)
        return chain_[static_cast<std::size_t>(sum)];
    int v = 0;
    return roundMod(static_cast<double>(sum) * static_cast<double>(fn_[rule_.channel]), 255, v) ? v : -1;
}

// The product with n + |zi| of modes 4-6, formed in double precision.
int ColourTables::withZi(int n, double zi) const noexcept
{
    return roundMod255((static_cast<double>(n) + std::fabs(zi)) * static_cast<double>(fn_[rule_.channel]));
}

Colour ColourTables::next(int n, double zi) noexcept
{
    for (int ch = 0; ch < 3; ++ch) {
        int v = 0;
        if (ch != rule_.channel || rule_.special == Special::None)
            v = single(ch, n);
        else if (rule_.special == Special::WithZi)
            v = withZi(n, zi);
        else if (first_ && rule_.source() > ch)
            v = single(ch, n);  // the first pixel has no previous component
        else
            v = chained(n + c_[rule_.source()]);
        // A value that cannot be formed keeps the previous pixel's.
        if (v >= 0)
            c_[ch] = v;
    }
    first_ = false;
    return composeColour(c_[0], c_[1], c_[2]);
}

bool ColourTables::components(int n, double zi, std::int32_t before, int (&c)[3]) const noexcept
{
    for (int ch = 0; ch < 3; ++ch) {
        c[ch] = single(ch, n);
        if (c[ch] < 0 && (ch != rule_.channel || rule_.special == Special::None))
            return false;
    }
    const int ch = rule_.channel;
    if (rule_.special == Special::WithZi) {
        c[ch] = withZi(n, zi);
    } else if (rule_.special == Special::Chained) {
        const int source = rule_.source();
        if (source < ch) {
            c[ch] = chained(n + c[source]);
        } else if (before != kNoPixelBefore) {
            // The previous pixel's component is its own single product
            // when that forms; otherwise it depends on pixels further back.
            const int previous = single(source, before);
            if (previous < 0)
                return false;
            c[ch] = chained(n + previous);
        }
    }
    return c[ch] >= 0;
}

bool ColourTables::colourColumn(const PointResult* points, int count, std::int32_t before, Colour* out) const noexcept
{
    // Counts the tables hold take their channels from fromCount_, and the
    // special one from a product or a lookup; the rest go the long way.
    const unsigned shift = 8u * static_cast<unsigned>(rule_.channel);
    bool formed = true;
    for (int i = 0; i < count; ++i) {
        const int n = points[i].n;
        const auto at = static_cast<std::size_t>(n);
        if (n >= 0 && n < kCounts && fromCountForms_[at]) {
            int special = 0;
            if (rest_ == Rest::Zi) {
                special = withZi(n, points[i].zi);
            } else if (rest_ == Rest::Before) {
                // The previous pixel's component is its own single product
                // when that forms; otherwise it depends on pixels further back.
                const int previous = before == kNoPixelBefore ? 0 : single(rule_.source(), before);
                if (before == kNoPixelBefore)
                    special = single_[static_cast<std::size_t>(rule_.channel)][at];
                else
                    special = previous < 0 ? -1 : chained(n + previous);
            }
            formed = formed && special >= 0;
            out[i] = fromCount_[at] + (static_cast<Colour>(special < 0 ? 0 : special) << shift);
        } else {
            int c[3];
            formed = formed && components(n, points[i].zi, before, c);
            out[i] = composeColour(c[0], c[1], c[2]);
        }
        before = n;
    }
    return formed;
}

void ColourTables::resumeAfter(const PointResult& last, std::int32_t before) noexcept
{
    int c[3];
    if (components(last.n, last.zi, before, c)) {
        c_[0] = c[0];
        c_[1] = c[1];
        c_[2] = c[2];
        first_ = false;
    }
}

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
