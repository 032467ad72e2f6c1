#include "BlaTable.h"

#include "ReferenceOrbit.h"

#include <algorithm>
#include <new>

namespace mandel {

namespace {

// The single step from reference index m: z -> 2 Z_m z + c, valid while
// z^2 is negligible next to 2 Z_m z and z cannot leave the disc of
// radius 2 there (an escape skipped over would go unseen).
BlaStepExp singleStep(const ReferenceOrbit& orbit, long long m, double epsilon)
{
    const ComplexExp z = orbit.exact(m);
    ComplexExp a = z;
    a.e += 1;
    const FloatExp size = magnitude(z);
    FloatExp r = FloatExp(2 * epsilon) * size;
    const FloatExp room = FloatExp(2.0) - size;
    if (!(room.m > 0))
        r = FloatExp();
    else if (lessMagnitude(room, r))
        r = room;
    return {a, ComplexExp(1.0, 0.0), r * r};
}

// x then y: z -> A_y (A_x z + B_x c) + B_y c, valid while x is and the
// delta reaching y stays inside y's radius for every |c| <= maxC.
BlaStepExp merge(const BlaStepExp& x, const BlaStepExp& y, FloatExp maxC)
{
    BlaStepExp z;
    z.a = y.a * x.a;
    z.b = y.a * x.b + y.b;
    if (x.r2.isZero() || y.r2.isZero()) {
        z.r2 = FloatExp();
        return z;
    }
    const FloatExp ax = magnitude(x.a);
    const FloatExp room = sqrt(y.r2) - magnitude(x.b) * maxC;
    if (!(room.m > 0) || ax.isZero()) {
        z.r2 = FloatExp();
        return z;
    }
    const FloatExp r = room / ax;
    const FloatExp r2 = r * r;
    z.r2 = lessMagnitude(r2, x.r2) ? r2 : x.r2;
    return z;
}

// The double-precision view of an entry; out of range: never valid there.
BlaStep toDoubles(const BlaStepExp& s, FloatExp h)
{
    const ComplexExp bh = s.b * h;
    BlaStep d{s.a.reDouble(), s.a.imDouble(), bh.reDouble(), bh.imDouble(), s.r2.toDouble()};
    const bool finite = std::isfinite(d.ar) && std::isfinite(d.ai) && std::isfinite(d.bhr) && std::isfinite(d.bhi);
    // Radii below 2^-1000 matter only to deltas the double loop never holds.
    if (!finite || !(d.r2 >= 0x1p-1000))
        d.r2 = 0;
    return d;
}

// The entry for deltas held times 2^S: B h times 2^S, r2 times 2^2S (at
// most 2^1000, past every delta so held).
BlaStep toScaled(const BlaStepExp& s, FloatExp h, int scale)
{
    const ComplexExp bh = s.b * h;
    BlaStep d{s.a.reDouble(), s.a.imDouble(), floatexp_detail::scale(bh.re, bh.e + scale),
              floatexp_detail::scale(bh.im, bh.e + scale), 0};
    const bool finite = std::isfinite(d.ar) && std::isfinite(d.ai) && std::isfinite(d.bhr) && std::isfinite(d.bhi);
    if (finite && !s.r2.isZero())
        d.r2 = s.r2.e + 2 * scale >= 1000 ? 0x1p1000 : floatexp_detail::scale(s.r2.m, s.r2.e + 2 * scale);
    return d;
}

long long entriesAt(long long length, int level)
{
    // Steps run from index 1 and land at most at index length - 1.
    const long long steps = length - 2;
    return steps > 0 ? steps >> level : 0;
}

} // namespace

std::size_t BlaTable::bytesFor(long long length, int minLevel, bool scaled) noexcept
{
    std::size_t entries = 0;
    std::size_t levels = 0;
    for (int level = minLevel; entriesAt(length, level) > 0; ++level, ++levels)
        entries += static_cast<std::size_t>(entriesAt(length, level));
    // The runs from index 1 add as many entries as the lowest level has.
    entries += static_cast<std::size_t>(entriesAt(length, minLevel));
    return entries * (sizeof(BlaStep) * (scaled ? 2 : 1) + sizeof(BlaStepExp)) + levels * sizeof(long long);
}

std::size_t BlaTable::bytes() const noexcept
{
    std::size_t held = (all_.capacity() + allScaled_.capacity()) * sizeof(BlaStep) +
                       starts_.capacity() * sizeof(long long) +
                       prefixExact_.capacity() * sizeof(BlaStepExp);
    for (const auto& level : exact_)
        held += level.capacity() * sizeof(BlaStepExp);
    return held;
}

Result<BlaTable> BlaTable::build(const ReferenceOrbit& orbit, long long length, double maxOffset, int minLevel,
                                 std::size_t memoryLimit, double epsilon, std::optional<FloatExp> spacing,
                                 std::optional<int> scaledBy)
{
    length = std::min(length, orbit.size());
    auto tooLarge = [&] {
        return fail("the approximation tables of " + std::to_string(length) +
                    " iterations do not fit in the memory available");
    };
    if (memoryLimit != 0 && bytesFor(length, minLevel, scaledBy.has_value()) > memoryLimit)
        return tooLarge();
    BlaTable table;
    table.minLevel_ = minLevel;
    table.maxOffset_ = maxOffset;
    table.length_ = length;
    const FloatExp h = spacing.value_or(orbit.spacing());
    const FloatExp maxC = FloatExp(maxOffset) * h;
    try {
        // The lowest level held folds 2^minLevel single steps per entry.
        const long long first = entriesAt(length, minLevel);
        if (first == 0)
            return table;
        std::vector<BlaStepExp> level(static_cast<std::size_t>(first));
        const long long span = 1LL << minLevel;
        for (long long k = 0; k < first; ++k) {
            const long long start = 1 + k * span;
            BlaStepExp e = singleStep(orbit, start, epsilon);
            for (long long j = 1; j < span; ++j)
                e = merge(e, singleStep(orbit, start + j, epsilon), maxC);
            level[static_cast<std::size_t>(k)] = e;
        }
        std::size_t entries = level.size();
        for (std::size_t n = level.size(); n > 0; n /= 2)
            entries += n;
        table.all_.reserve(entries);
        table.prefixExact_.resize(level.size());
        for (std::size_t k = 0; k < level.size(); ++k) {
            table.prefixExact_[k] = k == 0 ? level[0] : merge(table.prefixExact_[k - 1], level[k], maxC);
            table.all_.push_back(toDoubles(table.prefixExact_[k], h));
        }
        for (;;) {
            table.starts_.push_back(static_cast<long long>(table.all_.size()));
            for (std::size_t k = 0; k < level.size(); ++k) {
                table.all_.push_back(toDoubles(level[k], h));
                // Radii never grow along a run: the lowest level has the widest.
                if (table.exact_.empty())
                    table.widest2_ = std::max(table.widest2_, table.all_.back().r2);
            }
            std::vector<BlaStepExp> up(level.size() / 2);
            for (std::size_t k = 0; k < up.size(); ++k)
                up[k] = merge(level[2 * k], level[2 * k + 1], maxC);
            table.exact_.push_back(std::move(level));
            if (up.empty())
                break;
            level = std::move(up);
        }
        if (scaledBy) {
            table.allScaled_.reserve(table.all_.size());
            for (const BlaStepExp& e : table.prefixExact_)
                table.allScaled_.push_back(toScaled(e, h, *scaledBy));
            for (const auto& held : table.exact_)
                for (const BlaStepExp& e : held)
                    table.allScaled_.push_back(toScaled(e, h, *scaledBy));
        }
    } catch (const std::bad_alloc&) {
        return tooLarge();
    }
    table.starts_.shrink_to_fit();
    return table;
}

} // namespace mandel
