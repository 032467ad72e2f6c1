// The steps of smooth colouring for every Highway target this build
// compiles, and the choice among them at run time.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "SmoothKernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "SmoothColour.h"
#include "SmoothKernel.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

static_assert(std::endian::native == std::endian::little, "a colour's bytes are red, green, blue in memory");

HWY_BEFORE_NAMESPACE();
namespace mandel {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Neighbouring points side by side, one a lane; each stops at its own count
// (its lane then keeps its values) and the vector runs to the longest.
void RunSmoothSteps(const SmoothSteps& task)
{
    const hn::ScalableTag<double> d;
    const auto lanes = static_cast<int>(hn::Lanes(d));
    const auto one = hn::Set(d, 1.0);
    const auto two = hn::Set(d, 2.0);
    int i = 0;
    for (; i + lanes <= task.count; i += lanes) {
        const auto cr = hn::LoadU(d, task.cr + i);
        const auto ci = hn::LoadU(d, task.ci + i);
        std::int32_t longest = 0;
        HWY_ALIGN double steps[hn::MaxLanes(d)];
        for (int k = 0; k < lanes; ++k) {
            steps[k] = static_cast<double>(task.n[i + k] - 1);
            longest = std::max(longest, task.n[i + k] - 1);
        }
        const auto limit = hn::Load(d, steps);
        auto zr = hn::Zero(d), zi = hn::Zero(d), dzr = hn::Zero(d), dzi = hn::Zero(d);
        auto done = hn::Zero(d);
        for (std::int32_t s = 0; s < longest; ++s) {
            const auto active = hn::Lt(done, limit);
            const auto ndr = hn::Add(hn::Mul(two, hn::Sub(hn::Mul(zr, dzr), hn::Mul(zi, dzi))), one);
            const auto ndi = hn::Mul(two, hn::Add(hn::Mul(zr, dzi), hn::Mul(zi, dzr)));
            const auto zr2 = hn::Mul(zr, zr);
            const auto zi2 = hn::Mul(zi, zi);
            const auto nzi = hn::Add(hn::Mul(hn::Mul(two, zi), zr), ci);
            const auto nzr = hn::Add(hn::Sub(zr2, zi2), cr);
            dzr = hn::IfThenElse(active, ndr, dzr);
            dzi = hn::IfThenElse(active, ndi, dzi);
            zr = hn::IfThenElse(active, nzr, zr);
            zi = hn::IfThenElse(active, nzi, zi);
            done = hn::Add(done, one);
        }
        hn::StoreU(zr, d, task.zr + i);
        hn::StoreU(zi, d, task.zi + i);
        hn::StoreU(dzr, d, task.dzr + i);
        hn::StoreU(dzi, d, task.dzi + i);
    }
    if (i < task.count) {
        SmoothSteps rest = task;
        rest.cr += i;
        rest.ci += i;
        rest.n += i;
        rest.count -= i;
        rest.zr += i;
        rest.zi += i;
        rest.dzr += i;
        rest.dzi += i;
        runSmoothStepsScalar(rest);
    }
}

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;
using DI = hn::RebindToSigned<D>;
using VI = hn::Vec<DI>;

// seriesLog2 of kCount vectors, x >= 1 (every value whose logarithm
// colouring takes), stage by stage across the vectors, so that their long
// chains run side by side. The mantissa in [sqrt(1/2), sqrt(2)) and its
// exponent come from one subtraction on the bits: with K the bits of the
// double just above sqrt(2) / 2, bits - K carries into the exponent exactly
// where the scalar form halves m, and its low 52 bits plus K are m. From s
// on, the scalar form's operations.
template <std::size_t kCount>
HWY_INLINE void Log2Series(D d, const V (&x)[kCount], V (&out)[kCount])
{
    const hn::RebindToUnsigned<D> du;
    const auto k = hn::Set(du, 0x3FE6A09E667F3BCEull);
    const V one = hn::Set(d, 1.0);
    V exponent[kCount], s[kCount], s2[kCount], p[kCount];
    for (std::size_t j = 0; j < kCount; ++j) {
        const auto shifted = hn::Sub(hn::BitCast(du, x[j]), k);
        const V m = hn::BitCast(d, hn::Add(hn::And(shifted, hn::Set(du, 0x000FFFFFFFFFFFFFull)), k));
        // The exponent (x >= 1: not negative) as the low bits of 2^52: exact.
        exponent[j] = hn::Sub(hn::BitCast(d, hn::Or(hn::ShiftRight<52>(shifted), hn::Set(du, 0x4330000000000000ull))),
                              hn::Set(d, 4503599627370496.0));
        s[j] = hn::Div(hn::Sub(m, one), hn::Add(m, one));
    }
    for (std::size_t j = 0; j < kCount; ++j) {
        s2[j] = hn::Mul(s[j], s[j]);
        p[j] = hn::Set(d, kLog2Series[kLog2Terms - 1]);
    }
    for (int i = kLog2Terms - 2; i >= 0; --i)
        for (std::size_t j = 0; j < kCount; ++j)
            p[j] = hn::Add(hn::Mul(p[j], s2[j]), hn::Set(d, kLog2Series[i]));
    for (std::size_t j = 0; j < kCount; ++j)
        out[j] = hn::Add(exponent[j], hn::Mul(s[j], p[j]));
}

HWY_INLINE V Log2Series(D d, V x)
{
    const V in[1] = {x};
    V out[1];
    Log2Series(d, in, out);
    return out[0];
}

void SeriesLog2Lanes(const double* x, double* out, int count)
{
    const D d;
    const auto lanes = static_cast<int>(hn::Lanes(d));
    int i = 0;
    for (; i + lanes <= count; i += lanes)
        hn::StoreU(Log2Series(d, hn::LoadU(d, x + i)), d, out + i);
    for (; i < count; ++i)
        out[i] = seriesLog2(x[i]);
}

// One step of z, and of z' = 2 z z' + add with kDerivative, in the lanes
// `active`, as the scalar form takes it.
template <bool kDerivative>
HWY_INLINE void MaskedStep(M active, V cr, V ci, V add, V& zr, V& zi, V& dzr, V& dzi)
{
    const D d;
    const V two = hn::Set(d, 2.0);
    if constexpr (kDerivative) {
        const V ndr = hn::Add(hn::Mul(two, hn::Sub(hn::Mul(zr, dzr), hn::Mul(zi, dzi))), add);
        const V ndi = hn::Mul(two, hn::Add(hn::Mul(zr, dzi), hn::Mul(zi, dzr)));
        dzr = hn::IfThenElse(active, ndr, dzr);
        dzi = hn::IfThenElse(active, ndi, dzi);
    }
    const V nzi = hn::Add(hn::Mul(hn::Mul(two, zi), zr), ci);
    const V nzr = hn::Add(hn::Sub(hn::Mul(zr, zr), hn::Mul(zi, zi)), cr);
    zr = hn::IfThenElse(active, nzr, zr);
    zi = hn::IfThenElse(active, nzi, zi);
}

// Where nu = base - log2(log2 |z|) falls in the palette's cycle, 0 to 1,
// from r2 = |z|^2, for kCount vectors side by side, with log2 |z| (the
// distance needs it) in `log2Radius`: the scalar form's operations.
template <std::size_t kCount>
HWY_INLINE void CyclePosition(const SampleColouring& sc, const V (&r2)[kCount], const V (&base)[kCount],
                              V (&log2Radius)[kCount], V (&t)[kCount])
{
    const D d;
    const V zero = hn::Zero(d), one = hn::Set(d, 1.0);
    V log2[kCount], nu[kCount];
    Log2Series(d, r2, log2);
    for (std::size_t j = 0; j < kCount; ++j)
        log2Radius[j] = hn::Mul(hn::Set(d, 0.5), log2[j]);
    Log2Series(d, log2Radius, log2);
    for (std::size_t j = 0; j < kCount; ++j)
        nu[j] = hn::Sub(base[j], log2[j]);
    if (sc.logDensity) {
        for (std::size_t j = 0; j < kCount; ++j)
            log2[j] = hn::Max(nu[j], one);
        Log2Series(d, log2, nu);
    }
    for (std::size_t j = 0; j < kCount; ++j) {
        const V cycles = hn::Add(hn::Div(nu[j], hn::Set(d, sc.density)), hn::Set(d, sc.offset));
        const V position = hn::Sub(cycles, hn::Floor(cycles));
        t[j] = hn::IfThenElse(hn::Lt(position, one), position, zero);
    }
}

HWY_INLINE V CyclePosition(const SampleColouring& sc, V r2, V base, V& log2Radius)
{
    const V r2s[1] = {r2}, bases[1] = {base};
    V radius[1], t[1];
    CyclePosition(sc, r2s, bases, radius, t);
    log2Radius = radius[0];
    return t[0];
}

// StepLookup::count on lanes.
HWY_INLINE VI CountSteps(D d, const StepLookup& table, V x)
{
    const DI di;
    const V zero = hn::Zero(d);
    const V y = hn::IfThenElse(hn::Gt(x, zero), hn::Min(x, hn::Set(d, table.top)), zero);
    VI a = hn::GatherIndex(di, table.base.data(), hn::ConvertTo(di, hn::Floor(hn::Mul(y, hn::Set(d, table.scale)))));
    for (int j = 0; j < table.checks; ++j) {
        const V at = hn::GatherIndex(d, table.thresholds.data(), a);
        a = hn::Sub(a, hn::VecFromMask(di, hn::RebindMask(di, hn::Ge(y, at))));
    }
    return a;
}

HWY_INLINE V Clamp01(D d, V v)
{
    const V zero = hn::Zero(d), one = hn::Set(d, 1.0);
    return hn::IfThenElse(hn::Lt(v, zero), zero, hn::IfThenElse(hn::Gt(v, one), one, v));
}

template <bool kDerivative>
void ColourLanes(const SampleColouring& sc, const EscapedSamples& task)
{
    const D d;
    const DI di;
    const auto lanes = static_cast<int>(hn::Lanes(d));
    const V zero = hn::Zero(d), one = hn::Set(d, 1.0), two = hn::Set(d, 2.0);
    // Two loops over the samples: the steps, whose lengths vary, and then
    // the colouring, which has no branch, so that the long chains of one
    // vector (logarithms, gathers) overlap with the next vector's.
    const int whole = task.count - task.count % lanes;
    thread_local std::vector<double> kept;
    kept.resize(static_cast<std::size_t>(whole) * 6);
    double* const keptAt[6] = {kept.data(), kept.data() + whole, kept.data() + 2 * whole,
                               kept.data() + 3 * whole, kept.data() + 4 * whole, kept.data() + 5 * whole};
    for (int i = 0; i < whole; i += lanes) {
        const V cr = hn::LoadU(d, task.cr + i);
        const V ci = hn::LoadU(d, task.ci + i);
        std::int32_t longest = 0;
        HWY_ALIGN double steps[hn::MaxLanes(d)];
        for (int k = 0; k < lanes; ++k) {
            steps[k] = static_cast<double>(task.n[i + k] - 1);
            longest = std::max(longest, task.n[i + k] - 1);
        }
        const V limit = hn::Load(d, steps);
        V zr = zero, zi = zero, dzr = zero, dzi = zero, done = zero;
        for (std::int32_t s = 0; s < longest; ++s) {
            MaskedStep<kDerivative>(hn::Lt(done, limit), cr, ci, one, zr, zi, dzr, dzi);
            done = hn::Add(done, one);
        }
        // The extra steps out to the smooth radius.
        V r2 = hn::Add(hn::Mul(zr, zr), hn::Mul(zi, zi));
        V k = zero;
        const V radius2 = hn::Set(d, kSmoothRadius * kSmoothRadius);
        const V maxK = hn::Set(d, double{kMaxExtraSteps});
        const V derivativeStep = hn::Set(d, sc.derivativeStep);
        for (;;) {
            const auto active = hn::And(hn::Lt(r2, radius2), hn::Lt(k, maxK));
            if (hn::AllFalse(d, active))
                break;
            MaskedStep<kDerivative>(active, cr, ci, derivativeStep, zr, zi, dzr, dzi);
            r2 = hn::IfThenElse(active, hn::Add(hn::Mul(zr, zr), hn::Mul(zi, zi)), r2);
            k = hn::IfThenElse(active, hn::Add(k, one), k);
        }
        hn::StoreU(r2, d, keptAt[0] + i);
        hn::StoreU(hn::Add(hn::Add(hn::Add(limit, one), two), k), d, keptAt[1] + i);
        if constexpr (kDerivative) {
            hn::StoreU(zr, d, keptAt[2] + i);
            hn::StoreU(zi, d, keptAt[3] + i);
            hn::StoreU(dzr, d, keptAt[4] + i);
            hn::StoreU(dzi, d, keptAt[5] + i);
        }
    }
    for (int i = 0; i < whole; i += lanes) {
        const V r2 = hn::LoadU(d, keptAt[0] + i);
        // (n + 2) + k, as the scalar form adds them.
        V log2Radius;
        const V t = CyclePosition(sc, r2, hn::LoadU(d, keptAt[1] + i), log2Radius);
        const VI cell = hn::ConvertTo(di, hn::Floor(hn::Mul(t, hn::Set(d, double{kGradientCells}))));
        HWY_ALIGN std::int64_t bytes[3][hn::MaxLanes(d)];
        const std::size_t* at = task.at + i;
        if constexpr (!kDerivative) {
            hn::Store(hn::GatherIndex(di, sc.cells->packed.data(), cell), di, bytes[0]);
            for (int j = 0; j < lanes; ++j)
                task.out[at[j]] = static_cast<std::uint32_t>(bytes[0][j]);
            continue;
        } else {
            const V zr = hn::LoadU(d, keptAt[2] + i), zi = hn::LoadU(d, keptAt[3] + i);
            const V dzr = hn::LoadU(d, keptAt[4] + i), dzi = hn::LoadU(d, keptAt[5] + i);
            V light;
            if (sc.shading == Shading::Distance) {
                const V dz = hn::Sqrt(hn::Add(hn::Mul(dzr, dzr), hn::Mul(dzi, dzi)));
                const V distance = hn::IfThenElse(
                    hn::Gt(dz, zero), hn::Div(hn::Mul(hn::Sqrt(r2), hn::Mul(log2Radius, hn::Set(d, kLn2))), dz), zero);
                light = sc.pixel > 0 ? Clamp01(d, hn::Div(distance, hn::Set(d, sc.pixel))) : one;
            } else {
                const V ur = hn::Add(hn::Mul(zr, dzr), hn::Mul(zi, dzi));
                const V ui = hn::Sub(hn::Mul(zi, dzr), hn::Mul(zr, dzi));
                const V u = hn::Sqrt(hn::Add(hn::Mul(ur, ur), hn::Mul(ui, ui)));
                const auto some = hn::Gt(u, zero);
                const V sr = hn::IfThenElse(some, hn::Div(ur, u), zero);
                const V si = hn::IfThenElse(some, hn::Div(ui, u), zero);
                const V facing = hn::Div(hn::Add(hn::Add(hn::Mul(sr, hn::Set(d, kLightRe)), hn::Mul(si, hn::Set(d, kLightIm))),
                                                 hn::Set(d, kLightHeight)),
                                         hn::Set(d, 1 + kLightHeight));
                light = hn::Add(hn::Set(d, 1 - kSlopeStrength), hn::Mul(hn::Set(d, kSlopeStrength), Clamp01(d, facing)));
            }
            hn::Store(CountSteps(d, sc.cells->encode, hn::Mul(hn::GatherIndex(d, sc.cells->red.data(), cell), light)), di, bytes[0]);
            hn::Store(CountSteps(d, sc.cells->encode, hn::Mul(hn::GatherIndex(d, sc.cells->green.data(), cell), light)), di, bytes[1]);
            hn::Store(CountSteps(d, sc.cells->encode, hn::Mul(hn::GatherIndex(d, sc.cells->blue.data(), cell), light)), di, bytes[2]);
            for (int j = 0; j < lanes; ++j)
                task.out[at[j]] = static_cast<std::uint32_t>(bytes[0][j] | bytes[1][j] << 8 | bytes[2][j] << 16);
        }
    }
    if (whole < task.count) {
        EscapedSamples rest = task;
        rest.cr += whole;
        rest.ci += whole;
        rest.n += whole;
        rest.count -= whole;
        rest.at += whole;
        colourEscapedScalar(sc, rest);
    }
}

// The extra steps of kCount vectors of rows of a known column, side by side
// so that their chains of dependent steps overlap; keeps r2 and the whole
// part of nu, (n + 2) + k as the scalar form adds them, or -1 inside.
// Lanes of the interior start at a z past the smooth radius, so they take
// no step and every value stays in range. A lane still stepping has taken
// as many steps as the loop has, so the loop's count is the scalar form's
// limit on k; the squares a step ends with are the next step's and |z|^2.
template <std::size_t kCount>
HWY_INLINE void KnownSteps(const KnownColumn& task, int i, double* r2At, double* nuAt)
{
    const D d;
    const DI di;
    const auto lanes = static_cast<int>(hn::Lanes(d));
    const V zero = hn::Zero(d), one = hn::Set(d, 1.0), two = hn::Set(d, 2.0);
    const V radius2 = hn::Set(d, kSmoothRadius * kSmoothRadius);
    const V cr = hn::Set(d, task.cr);
    static_assert(sizeof(PointResult) == 16 && offsetof(PointResult, n) == 8, "results are zi, n, padding");
    // n is the low half of its 8 bytes (little endian), the rest padding.
    auto countOf = [&](int at) {
        V ziLoop, nBits;
        hn::LoadInterleaved2(d, reinterpret_cast<const double*>(task.results + at), ziLoop, nBits);
        return std::pair{ziLoop, hn::ConvertTo(d, hn::And(hn::BitCast(di, nBits), hn::Set(di, 0xFFFFFFFFll)))};
    };
    const V cap = hn::Set(d, static_cast<double>(task.cap));
    V zr[kCount], zi[kCount], zr2[kCount], zi2[kCount], r2[kCount], k[kCount];
    for (std::size_t j = 0; j < kCount; ++j) {
        const int at = i + static_cast<int>(j) * lanes;
        const auto [ziLoop, n] = countOf(at);
        const M escaped = hn::Lt(n, cap);
        zr[j] = hn::IfThenElse(escaped, hn::LoadU(d, task.zr + at), hn::Set(d, 2 * kSmoothRadius));
        zi[j] = hn::IfThenElseZero(escaped, ziLoop);
        zr2[j] = hn::Mul(zr[j], zr[j]);
        zi2[j] = hn::Mul(zi[j], zi[j]);
        r2[j] = hn::Add(zr2[j], zi2[j]);
        k[j] = zero;
    }
    for (int step = 0; step < kMaxExtraSteps; ++step) {
        M active[kCount];
        M any = hn::Lt(r2[0], radius2);
        active[0] = any;
        for (std::size_t j = 1; j < kCount; ++j) {
            active[j] = hn::Lt(r2[j], radius2);
            any = hn::Or(any, active[j]);
        }
        if (hn::AllFalse(d, any))
            break;
        for (std::size_t j = 0; j < kCount; ++j) {
            const V nzi = hn::Add(hn::Mul(hn::Mul(two, zi[j]), zr[j]), hn::LoadU(d, task.ci + i + static_cast<int>(j) * lanes));
            const V nzr = hn::Add(hn::Sub(zr2[j], zi2[j]), cr);
            zr[j] = hn::IfThenElse(active[j], nzr, zr[j]);
            zi[j] = hn::IfThenElse(active[j], nzi, zi[j]);
            zr2[j] = hn::Mul(zr[j], zr[j]);
            zi2[j] = hn::Mul(zi[j], zi[j]);
            r2[j] = hn::Add(zr2[j], zi2[j]);
            k[j] = hn::IfThenElse(active[j], hn::Add(k[j], one), k[j]);
        }
    }
    for (std::size_t j = 0; j < kCount; ++j) {
        const int at = i + static_cast<int>(j) * lanes;
        const V n = countOf(at).second;
        hn::StoreU(r2[j], d, r2At + at);
        hn::StoreU(hn::IfThenElse(hn::Lt(n, cap), hn::Add(hn::Add(n, two), k[j]), hn::Set(d, -1.0)), d, nuAt + at);
    }
}

// The colouring of ColourLanes<false> from z known at the loop's end, for
// whole vectors of rows of one column; the interior's lanes take its colour.
void ColourKnownColumn(const SampleColouring& sc, const KnownColumn& task)
{
    const D d;
    const auto lanes = static_cast<int>(hn::Lanes(d));
    const V zero = hn::Zero(d);
    const int whole = task.rows - task.rows % lanes;
    // As in ColourLanes: the steps first, then the colouring, whose long
    // chains overlap from one vector to the next.
    thread_local std::vector<double> kept;
    kept.resize(static_cast<std::size_t>(whole) * 2);
    double* const r2At = kept.data();
    double* const nuAt = kept.data() + whole;
    const hn::Rebind<std::int32_t, D> d32;
    thread_local std::vector<std::int32_t> cells;
    cells.resize(static_cast<std::size_t>(whole) + hn::MaxLanes(d));
    int i = 0;
    // As many vectors in flight as the registers hold.
    constexpr std::size_t kInFlight = HWY_TARGET == HWY_AVX3 ? 3 : 2;
    for (; i + static_cast<int>(kInFlight) * lanes <= whole; i += static_cast<int>(kInFlight) * lanes)
        KnownSteps<kInFlight>(task, i, r2At, nuAt);
    for (; i < whole; i += lanes)
        KnownSteps<1>(task, i, r2At, nuAt);
    auto cellsOf = [&](auto inFlight, int at) {
        constexpr std::size_t kCount = decltype(inFlight)::value;
        V r2[kCount], base[kCount];
        auto escaped = hn::Lt(zero, zero);
        for (std::size_t j = 0; j < kCount; ++j) {
            r2[j] = hn::LoadU(d, r2At + at + static_cast<int>(j) * lanes);
            base[j] = hn::LoadU(d, nuAt + at + static_cast<int>(j) * lanes);
            escaped = hn::Or(escaped, hn::Ge(base[j], zero));
        }
        if (hn::AllFalse(d, escaped)) {
            // Inside the set, every lane: near the set most vectors are.
            for (std::size_t j = 0; j < kCount; ++j)
                hn::StoreU(hn::Zero(d32), d32, cells.data() + at + static_cast<int>(j) * lanes);
            return;
        }
        V log2Radius[kCount], t[kCount];
        CyclePosition(sc, r2, base, log2Radius, t);
        // The cell + 1, or 0 inside: the entry of GradientCells::colours.
        for (std::size_t j = 0; j < kCount; ++j) {
            const V cell = hn::IfThenElseZero(
                hn::Ge(base[j], zero), hn::Add(hn::Floor(hn::Mul(t[j], hn::Set(d, double{kGradientCells}))), hn::Set(d, 1.0)));
            hn::StoreU(hn::DemoteTo(d32, cell), d32, cells.data() + at + static_cast<int>(j) * lanes);
        }
    };
    constexpr std::size_t kLogsInFlight = HWY_TARGET == HWY_AVX3 ? 4 : 2;
    for (i = 0; i + static_cast<int>(kLogsInFlight) * lanes <= whole; i += static_cast<int>(kLogsInFlight) * lanes)
        cellsOf(std::integral_constant<std::size_t, kLogsInFlight>{}, i);
    for (; i < whole; i += lanes)
        cellsOf(std::integral_constant<std::size_t, 1>{}, i);
    // The cells' colours by plain loads, in a loop of their own: a gather,
    // or taking the lanes apart, costs more on some cores.
    const std::uint32_t* const colours = sc.cells->colours.data();
    if (task.bytes) {
        std::uint8_t* to = task.bytes;
        for (i = 0; i < whole; ++i, to += task.stride)
            std::memcpy(to, &colours[cells[static_cast<std::size_t>(i)]], 4);
    } else {
        for (i = 0; i < whole; ++i)
            task.out[i] = colours[cells[static_cast<std::size_t>(i)]];
    }
    if (whole < task.rows) {
        KnownColumn rest = task;
        rest.ci += whole;
        rest.results += whole;
        rest.zr += whole;
        rest.rows -= whole;
        if (rest.bytes)
            rest.bytes += static_cast<std::size_t>(whole) * rest.stride;
        else
            rest.out += whole;
        colourKnownColumnScalar(sc, rest);
    }
}

void ColourEscaped(const SampleColouring& colouring, const EscapedSamples& task)
{
    if (colouring.needsDerivative)
        ColourLanes<true>(colouring, task);
    else
        ColourLanes<false>(colouring, task);
}

} // namespace HWY_NAMESPACE
} // namespace mandel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace mandel {

HWY_EXPORT(RunSmoothSteps);
HWY_EXPORT(ColourEscaped);
HWY_EXPORT(ColourKnownColumn);
HWY_EXPORT(SeriesLog2Lanes);

void seriesLog2Lanes(const double* x, double* out, int count)
{
    HWY_DYNAMIC_DISPATCH(SeriesLog2Lanes)(x, out, count);
}

void colourKnownColumn(const SampleColouring& colouring, const KnownColumn& column)
{
    HWY_DYNAMIC_DISPATCH(ColourKnownColumn)(colouring, column);
}

void colourKnownColumnScalar(const SampleColouring& colouring, const KnownColumn& column)
{
    for (int r = 0; r < column.rows; ++r) {
        const PointResult& p = column.results[r];
        const std::uint32_t colour =
            p.n < column.cap ? colouring.colourEscaped(column.cr, column.ci[r], p.n, column.zr[r], p.zi, 0, 0)
                             : colouring.interior;
        if (column.bytes)
            std::memcpy(column.bytes + static_cast<std::size_t>(r) * column.stride, &colour, 4);
        else
            column.out[r] = colour;
    }
}

void colourEscaped(const SampleColouring& colouring, const EscapedSamples& task)
{
    HWY_DYNAMIC_DISPATCH(ColourEscaped)(colouring, task);
}

void colourEscapedScalar(const SampleColouring& colouring, const EscapedSamples& task)
{
    for (int i = 0; i < task.count; ++i) {
        double z[4];
        runSmoothStepsScalar({task.cr + i, task.ci + i, task.n + i, 1, &z[0], &z[1], &z[2], &z[3]});
        task.out[task.at[i]] = colouring.colourEscaped(task.cr[i], task.ci[i], task.n[i], z[0], z[1], z[2], z[3]);
    }
}

void runSmoothSteps(const SmoothSteps& task)
{
    HWY_DYNAMIC_DISPATCH(RunSmoothSteps)(task);
}

void runSmoothStepsScalar(const SmoothSteps& task)
{
    for (int i = 0; i < task.count; ++i) {
        const double cr = task.cr[i], ci = task.ci[i];
        double zr = 0, zi = 0, dzr = 0, dzi = 0;
        for (std::int32_t s = 1; s < task.n[i]; ++s) {
            const double ndr = 2.0 * (zr * dzr - zi * dzi) + 1.0;
            const double ndi = 2.0 * (zr * dzi + zi * dzr);
            dzr = ndr;
            dzi = ndi;
            const double zr2 = zr * zr;
            const double zi2 = zi * zi;
            zi = (2.0 * zi) * zr + ci;
            zr = (zr2 - zi2) + cr;
        }
        task.zr[i] = zr;
        task.zi[i] = zi;
        task.dzr[i] = dzr;
        task.dzi[i] = dzi;
    }
}

} // namespace mandel
#endif // HWY_ONCE
