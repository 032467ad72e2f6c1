#include "ColourTables.h"

#include "ExplorerState.h"

#include <algorithm>
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
    // Below 2^31: the whole number and its remainder in 32 bits, fewer steps.
    const auto whole = static_cast<std::uint32_t>((v + kShift) - kShift);
    return static_cast<int>(whole % 255u);
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
    bool everyCountForms = true;
    for (const bool forms : fromCountForms_)
        everyCountForms = everyCountForms && forms;
    lookupsAlone_ = everyCountForms;
    if (rest_ == Rest::Before) {
        for (int n = 0; n < kCounts; ++n)
            lookupsAlone_ = lookupsAlone_ && single(rule_.source(), n) >= 0;
        for (const std::int16_t v : chain_)
            lookupsAlone_ = lookupsAlone_ && v >= 0;
    }
    if (rule_.special != Special::None)
        return;
    hasDirect_ = true;
    for (std::size_t i = 0; i < kCounts; ++i) {
        hasDirect_ = hasDirect_ && single_[0][i] >= 0 && single_[1][i] >= 0 && single_[2][i] >= 0;
        direct_[i] = composeColour(single_[0][i], single_[1][i], single_[2][i]);
    }
}

bool ColourTables::readsZi(const Palette& palette) noexcept
{
    const int mode = colourModeOf(palette.b);
    return mode >= 4 && mode <= 6;
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

template <ColourTables::Rest R>
inline bool ColourTables::colourOne(const PointResult& p, std::int32_t before, Colour& out) const noexcept
{
    // Counts the tables hold take their channels from fromCount_, and the
    // special one from a product or a lookup; the rest go the long way.
    const int n = p.n;
    const auto at = static_cast<std::size_t>(n);
    if (n >= 0 && n < kCounts && fromCountForms_[at]) {
        int special = 0;
        if constexpr (R == Rest::Zi) {
            special = withZi(n, p.zi);
        } else if constexpr (R == Rest::Before) {
            // The previous pixel's component is its own single product
            // when that forms; otherwise it depends on pixels further back.
            if (before == kNoPixelBefore) {
                special = single_[static_cast<std::size_t>(rule_.channel)][at];
            } else {
                const int previous = single(rule_.source(), before);
                special = previous < 0 ? -1 : chained(n + previous);
            }
        }
        const unsigned shift = 8u * static_cast<unsigned>(rule_.channel);
        out = fromCount_[at] + (static_cast<Colour>(special < 0 ? 0 : special) << shift);
        return special >= 0;
    }
    int c[3];
    const bool formed = components(n, p.zi, before, c);
    out = composeColour(c[0], c[1], c[2]);
    return formed;
}

template <class F>
bool ColourTables::withRest(F&& f) const noexcept
{
    switch (rest_) {
    case Rest::Zi:
        return f.template operator()<Rest::Zi>();
    case Rest::Before:
        return f.template operator()<Rest::Before>();
    case Rest::None:
        break;
    }
    return f.template operator()<Rest::None>();
}

bool ColourTables::colourColumn(const PointResult* points, int count, std::int32_t before, Colour* out) const noexcept
{
    auto column = [&]<Rest R>() {
        bool formed = true;
        for (int i = 0; i < count; ++i) {
            formed = colourOne<R>(points[i], before, out[i]) && formed;
            before = points[i].n;
        }
        return formed;
    };
    return withRest(column);
}

template <ColourTables::Rest R, bool kDirect>
bool ColourTables::colourBlockOf(const PointResult* grid, int columns, int rows, std::int32_t before, Colour* out,
                                 std::ptrdiff_t stride, int keptColumns, int keptRows) const noexcept
{
    // One pixel: with kDirect (lookupsAlone_) a pixel whose counts the
    // tables cover takes its colour from lookups (and modes 4-6 their
    // product) without a check.
    const unsigned shift = 8u * static_cast<unsigned>(rule_.channel);
    const auto& sourceSingle = single_[static_cast<std::size_t>(rule_.source())];
    // The count of the pixel before p: the one above, or the bottom of the
    // column to the left; read only where a colour needs it.
    auto previousOf = [&](const PointResult& p) { return &p == grid ? before : (&p)[-1].n; };
    auto colour = [&](const PointResult& p, Colour& to) {
        if constexpr (kDirect) {
            const auto n = static_cast<std::uint32_t>(p.n);
            if (n < static_cast<std::uint32_t>(kCounts)) {
                if constexpr (R == Rest::None) {
                    to = fromCount_[n];
                    return true;
                } else if constexpr (R == Rest::Before) {
                    const auto b = static_cast<std::uint32_t>(previousOf(p));
                    if (b < static_cast<std::uint32_t>(kCounts)) {
                        const auto sum = n + static_cast<std::uint32_t>(sourceSingle[b]);
                        to = fromCount_[n] + (static_cast<Colour>(chain_[sum]) << shift);
                        return true;
                    }
                } else {
                    const int v = withZi(static_cast<int>(n), p.zi);
                    to = fromCount_[n] + (static_cast<Colour>(v < 0 ? 0 : v) << shift);
                    return v >= 0;
                }
            }
        }
        return colourOne<R>(p, previousOf(p), to);
    };
    // Bands of rows, column after column in each: every column's results
    // are read in order, and the band's stretch of each row (a cache line
    // or two) stays in the nearest cache while every column writes to it.
    // The band's lines are asked for first, so that the stores do not wait
    // for memory one after another.
    constexpr int kBand = 128;
    const auto height = static_cast<std::ptrdiff_t>(rows);
    bool formed = true;
    for (int r0 = 0; r0 < rows; r0 += kBand) {
        const int r1 = std::min(rows, r0 + kBand);
        if (keptColumns > 0)
            for (int r = r0; r < std::min(r1, keptRows); ++r) {
                __builtin_prefetch(out + r * stride, 1);
                __builtin_prefetch(out + r * stride + keptColumns - 1, 1);
            }
        for (int c = 0; c < columns; ++c) {
            const PointResult* p = grid + c * height + r0;
            const int kept = c < keptColumns ? std::clamp(keptRows, r0, r1) : r0;
            int r = r0;
            Colour* to = out + c + static_cast<std::ptrdiff_t>(r0) * stride;
            for (; r < kept; ++r, ++p, to += stride)
                formed = colour(*p, *to) && formed;
            for (; r < r1; ++r, ++p) {
                Colour dropped;
                formed = colour(*p, dropped) && formed;
            }
        }
    }
    return formed;
}

bool ColourTables::colourBlock(const PointResult* grid, int columns, int rows, std::int32_t before, Colour* out,
                               std::ptrdiff_t stride, int keptColumns, int keptRows) const noexcept
{
    auto block = [&]<Rest R>() {
        if (lookupsAlone_)
            return colourBlockOf<R, true>(grid, columns, rows, before, out, stride, keptColumns, keptRows);
        return colourBlockOf<R, false>(grid, columns, rows, before, out, stride, keptColumns, keptRows);
    };
    return withRest(block);
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
