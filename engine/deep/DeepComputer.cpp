#include "DeepComputer.h"

#include "CycleWatch.h"
#include "ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <thread>

namespace mandel {

namespace {

// Below this squared size a delta is held in the wide-ranged float: the
// double loop then loses nothing that matters (every dropped term is
// 2^-600 times the delta or less).
constexpr double kDoubleFloor2 = 0x1p-800;
const FloatExp kDoubleFloor2Exp(1.0, -800);
// Rebases at a smaller squared size count as close approaches to 0.
constexpr double kApproach2 = 0x1p-24;

// The lowest table level kept for an orbit of `length` values: every level
// while the tables stay modest; for very long orbits the lowest ones go
// (those steps are then taken one by one).
int lowestLevelFor(long long length)
{
    constexpr std::size_t kComfortable = std::size_t{512} << 20;
    int minLevel = 0;
    while (minLevel < 8 && BlaTable::bytesFor(length, minLevel) > kComfortable)
        ++minLevel;
    return minLevel;
}

} // namespace

// Everything one pixel's iteration reads.
struct DeepComputer::Kernel {
    const ReferenceOrbit* orbit;
    const double* z;         // reference values, interleaved
    long long last;          // index of the last reference value
    long long cap;           // N
    const BlaTable* table;
    FloatExp h;
    double hd;               // h, or 0 below 2^-1000
    bool settle;
    bool findInterior;
};

namespace {

using Kernel = DeepComputer::Kernel;

inline PointResult escapedAt(long long i, double zr, double zi, double cIm)
{
    // The loop stops with n = i + 2 and holds z_{i+1}, formed as it forms it.
    return {(2.0 * zi) * zr + cIm, static_cast<std::int32_t>(i + 2)};
}

// The highest level whose entry at reference index m (>= 1) fits in
// `room` steps and holds a delta of squared size d2; -1 when none.
inline int doubleStepLevel(const BlaTable& t, long long m, long long room, double d2)
{
    const long long k = m - 1;
    int level = t.endLevel() - 1;
    if (k != 0)
        level = std::min(level, std::countr_zero(static_cast<unsigned long long>(k)));
    // Radii shrink as runs grow: when the shortest run from here does not
    // hold the delta, no longer one does. Most steps end here.
    const int low = t.minLevel();
    if (level < low)
        return -1;
    const long long first = k >> low;
    if (first >= t.count(low) || !(d2 < t.steps(low)[first].r2))
        return -1;
    for (; level >= low; --level) {
        if ((1LL << level) > room)
            continue;
        const long long at = k >> level;
        if (at < t.count(level) && d2 < t.steps(level)[at].r2)
            return level;
    }
    return -1;
}

inline int wideStepLevel(const BlaTable& t, long long m, long long room, FloatExp d2)
{
    const long long k = m - 1;
    int level = t.endLevel() - 1;
    if (k != 0)
        level = std::min(level, std::countr_zero(static_cast<unsigned long long>(k)));
    for (; level >= t.minLevel(); --level) {
        if ((1LL << level) > room)
            continue;
        const long long at = k >> level;
        if (at < t.count(level) && lessMagnitude(d2, t.exact(level)[at].r2))
            return level;
    }
    return -1;
}

// The longest run from reference index 1 that fits in `room` steps and
// holds a delta of squared size d2: its entry, or -1.
inline long long doublePrefix(const BlaTable& t, long long room, double d2)
{
    long long hi = std::min(t.prefixCount(), room >> t.minLevel());  // entries 0..hi-1 fit
    long long lo = 0;
    // Radii never grow along the runs: the valid entries come first, and
    // most deltas fit none (pixels far from the reference).
    const BlaStep* p = t.prefix();
    if (hi == 0 || !(d2 < p[0].r2))
        return -1;
    while (lo < hi) {
        const long long mid = lo + (hi - lo) / 2;
        if (d2 < p[mid].r2)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo - 1;
}

inline long long widePrefix(const BlaTable& t, long long room, FloatExp d2)
{
    long long hi = std::min(t.prefixCount(), room >> t.minLevel());
    long long lo = 0;
    const BlaStepExp* p = t.prefixExact();
    while (lo < hi) {
        const long long mid = lo + (hi - lo) / 2;
        if (lessMagnitude(d2, p[mid].r2))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo - 1;
}

// One perturbation step in full range: (2 Z + d) d + dc.
inline ComplexExp wideStep(const ComplexExp& zm, const ComplexExp& d, const ComplexExp& dc)
{
    ComplexExp twice = zm;
    twice.e += 1;
    return (twice + d) * d + dc;
}

// The value at index `stop` of an orbit at index i inside `trap`, which
// never escapes. Whole periods are run in plain doubles until the orbit is
// so near the cycle that the multiplier alone tells the rest: the terms
// it leaves out add up to at most curve |z - w|^2 / (1 - rate), held
// below 2^-40. Then the last part of a period.
inline double valueAtStop(const Trap& trap, double zr, double zi, double cr, double ci, long long i, long long stop)
{
    auto step = [&] {
        const double nr = (zr * zr - zi * zi) + cr;
        zi = (2.0 * zi) * zr + ci;
        zr = nr;
    };
    long long rounds = (stop - i) / trap.period;
    const double near2 = 0x1p-40 * (1 - trap.rate) / std::max(trap.curve, 0x1p-100);
    for (; rounds > 0; --rounds) {
        const double ur = zr - trap.re;
        const double ui = zi - trap.im;
        if (ur * ur + ui * ui <= near2) {
            const std::complex<double> multiplier(trap.mr, trap.mi);
            const std::complex<double> moved = std::pow(multiplier, static_cast<double>(rounds)) * std::complex(ur, ui);
            zr = trap.re + moved.real();
            zi = trap.im + moved.imag();
            i += rounds * trap.period;
            break;
        }
        for (long long j = 0; j < trap.period; ++j)
            step();
        i += trap.period;
    }
    for (; i < stop; ++i)
        step();
    return zi;
}

PointResult iterate(const Kernel& k, double dx, double dy, DeepShortcuts& done)
{
    const long long cap = k.cap;
    const ComplexExp dc(FloatExp(dx) * k.h, FloatExp(-dy) * k.h);
    const double dcr = dx * k.hd;
    const double dci = -dy * k.hd;
    const double cIm = k.orbit->centreIm() + dci;
    const double* Z = k.z;
    const BlaTable& t = *k.table;

    // z_1 = c: the delta starts as dc at index 1 (z_0 = 0 never escapes).
    long long i = 1;
    long long m = 1;
    // The index whose value ends an orbit that does not escape.
    const long long stop = cap - 1;
    CycleWatch watch;
    Settled settled;
    double dr = 0;
    double di = 0;
    ComplexExp wide = dc;
    bool inDoubles = !lessMagnitude(dc.norm(), kDoubleFloor2Exp);
    if (inDoubles) {
        dr = dc.reDouble();
        di = dc.imDouble();
    }
    // Rebasing: when the pixel comes closer to 0 than to the reference, or
    // the reference itself comes closer to 0 than the delta is large, the
    // pixel's own z becomes the delta against Z_0 = 0. Either way the delta
    // does not grow past twice its size, and periodic references rebase
    // once a period, which the cycle watch relies on.
    // At a rebase: when the orbit has settled on a cycle, go on from the
    // cycle's point as many whole periods later as fit before the stop.
    auto settle = [&](double re, double im, std::int64_t e) {
        if (!k.settle || !watch.see(i, re, im, e, settled))
            return false;
        const long long skip = periodsToSkip(settled, i, stop);
        if (skip == 0)
            return false;
        i += skip * settled.period;
        done.settledSteps += skip * settled.period;
        return true;
    };
    // The pixel's own c in doubles, within cError of the exact one.
    const double cRe = k.orbit->centreRe() + dcr;
    const double cError = 0x1p-50 * (std::fabs(cRe) + std::fabs(cIm) + std::fabs(dcr) + std::fabs(dci)) + 0x1p-1000;
    AttractWatch attract(cRe, cIm, cError);
    bool trapped = false;
    for (;;) {
        while (inDoubles) {
            double Zr = Z[2 * m];
            double Zi = Z[2 * m + 1];
            double zr = Zr + dr;
            double zi = Zi + di;
            const double r2 = zr * zr + zi * zi;
            if (r2 >= 4.0 && i <= cap - 2)
                return escapedAt(i, zr, zi, cIm);
            // On an attracting cycle the point never escapes: the rest of
            // the orbit only for the value it ends on.
            Trap trap;
            if (k.findInterior && !trapped && attract.see(i, zr, zi, trap)) {
                trapped = true;
                done.interiorSteps += stop - i;
                zi = valueAtStop(trap, zr, zi, cRe, cIm, i, stop);
                return {zi, static_cast<std::int32_t>(cap)};
            }
            double d2 = dr * dr + di * di;
            if (r2 < d2 || m == k.last || (m > 0 && Zr * Zr + Zi * Zi < d2)) {
                if (r2 < kDoubleFloor2) {
                    wide = k.orbit->exact(m) + ComplexExp(dr, di);
                    m = 0;
                    if (settle(wide.re, wide.im, wide.e))
                        wide = ComplexExp(settled.re, settled.im, settled.e);
                    inDoubles = false;
                    break;
                }
                // The rebase watch serves cycles that pass too close to 0
                // for the pixel's own watch in doubles. Far from 0 the
                // orbit may rebase every few steps (a reference that
                // escaped early, a pixel far from it): that watch would
                // cost more than the steps.
                const bool approach = r2 < kApproach2 || m == k.last || !k.findInterior;
                dr = zr;
                di = zi;
                d2 = r2;
                m = 0;
                Zr = Zi = 0;
                if (approach && settle(zr, zi, 0)) {
                    dr = settled.re;
                    di = settled.im;
                    d2 = dr * dr + di * di;
                }
            }
            if (i >= stop)
                return {Zi + di, static_cast<std::int32_t>(cap)};
            if (m == 1) {
                const long long run = doublePrefix(t, stop - i, d2);
                if (run >= 0) {
                    const BlaStep& s = t.prefix()[run];
                    const double nr = (s.ar * dr - s.ai * di) + (s.bhr * dx + s.bhi * dy);
                    const double ni = (s.ar * di + s.ai * dr) + (s.bhi * dx - s.bhr * dy);
                    if (nr * nr + ni * ni < kDoubleFloor2) {
                        const BlaStepExp& e = t.prefixExact()[run];
                        wide = e.a * ComplexExp(dr, di) + e.b * dc;
                        inDoubles = false;
                    } else {
                        dr = nr;
                        di = ni;
                    }
                    const long long steps = (run + 1) << t.minLevel();
                    m += steps;
                    i += steps;
                    done.tableSteps += steps - 1;
                    continue;
                }
            }
            if (m > 0) {
                const int level = doubleStepLevel(t, m, stop - i, d2);
                if (level >= 0) {
                    const long long at = (m - 1) >> level;
                    const BlaStep& s = t.steps(level)[at];
                    const double nr = (s.ar * dr - s.ai * di) + (s.bhr * dx + s.bhi * dy);
                    const double ni = (s.ar * di + s.ai * dr) + (s.bhi * dx - s.bhr * dy);
                    if (nr * nr + ni * ni < kDoubleFloor2) {
                        const BlaStepExp& e = t.exact(level)[at];
                        wide = e.a * ComplexExp(dr, di) + e.b * dc;
                        inDoubles = false;
                    } else {
                        dr = nr;
                        di = ni;
                    }
                    m += 1LL << level;
                    i += 1LL << level;
                    done.tableSteps += (1LL << level) - 1;
                    done.tableLevels |= 1ULL << level;
                    continue;
                }
            }
            // (2 Z + d) d + dc
            const double tr = 2.0 * Zr + dr;
            const double ti = 2.0 * Zi + di;
            const double nr = (tr * dr - ti * di) + dcr;
            const double ni = (tr * di + ti * dr) + dci;
            if (nr * nr + ni * ni < kDoubleFloor2) {
                wide = wideStep(k.orbit->exact(m), ComplexExp(dr, di), dc);
                inDoubles = false;
            } else {
                dr = nr;
                di = ni;
            }
            ++m;
            ++i;
        }
        while (!inDoubles) {
            ComplexExp zm = k.orbit->exact(m);
            const ComplexExp z = zm + wide;
            const double zr = z.reDouble();
            const double zi = z.imDouble();
            const double r2 = zr * zr + zi * zi;
            if (r2 >= 4.0 && i <= cap - 2)
                return escapedAt(i, zr, zi, cIm);
            FloatExp d2 = wide.norm();
            const FloatExp z2 = z.norm();
            if (lessMagnitude(z2, d2) || m == k.last || (m > 0 && lessMagnitude(zm.norm(), d2))) {
                wide = z;
                d2 = z2;
                m = 0;
                zm = ComplexExp();
                if (settle(z.re, z.im, z.e)) {
                    wide = ComplexExp(settled.re, settled.im, settled.e);
                    d2 = wide.norm();
                }
            }
            if (i >= stop)
                return {(zm + wide).imDouble(), static_cast<std::int32_t>(cap)};
            if (!lessMagnitude(d2, kDoubleFloor2Exp)) {
                dr = wide.reDouble();
                di = wide.imDouble();
                inDoubles = true;
                break;
            }
            if (m == 1) {
                const long long run = widePrefix(t, stop - i, d2);
                if (run >= 0) {
                    const BlaStepExp& e = t.prefixExact()[run];
                    wide = e.a * wide + e.b * dc;
                    const long long steps = (run + 1) << t.minLevel();
                    m += steps;
                    i += steps;
                    done.tableSteps += steps - 1;
                    continue;
                }
            }
            if (m > 0) {
                const int level = wideStepLevel(t, m, stop - i, d2);
                if (level >= 0) {
                    const BlaStepExp& e = t.exact(level)[(m - 1) >> level];
                    wide = e.a * wide + e.b * dc;
                    m += 1LL << level;
                    i += 1LL << level;
                    done.tableSteps += (1LL << level) - 1;
                    done.tableLevels |= 1ULL << level;
                    continue;
                }
            }
            wide = wideStep(zm, wide, dc);
            ++m;
            ++i;
        }
    }
}

} // namespace

DeepComputer::DeepComputer(std::shared_ptr<const ReferenceOrbit> orbit, const DeepComputerOptions& options)
    : orbit_(std::move(orbit)), shortcuts_(options)
{
    const long long full = orbit_->view().iterations;
    cap_ = options.iterations > 0 ? std::min(options.iterations, full) : full;
    // The process-wide pool unless a number of threads is asked for.
    if (options.threads > 0)
        own_ = std::make_unique<ThreadPool>(options.threads);
    pool_ = own_ ? own_.get() : &ThreadPool::shared();
}

DeepComputer::~DeepComputer() = default;

std::size_t DeepComputer::bytesFor(long long iterations) noexcept
{
    return ReferenceOrbit::bytesFor(iterations) + BlaTable::bytesFor(iterations, lowestLevelFor(iterations));
}

std::size_t DeepComputer::bytes() const noexcept
{
    return orbit_->bytes() + (table_ ? table_->bytes() : 0);
}

int DeepComputer::threads() const noexcept
{
    return pool_->size();
}

Status DeepComputer::prepare(double maxOffset, std::size_t memoryLimit)
{
    if (table_ && table_->maxOffset() >= maxOffset)
        return {};
    // Without tables, an empty one: every step is taken one by one.
    const long long length = shortcuts_.tables ? std::min(orbit_->size(), cap_) : 0;
    Result<BlaTable> built = BlaTable::build(*orbit_, length, maxOffset, lowestLevelFor(length), memoryLimit);
    if (!built)
        return built.failure();
    table_ = std::move(built.value());
    return {};
}

void DeepComputer::ensureTable(double reach)
{
    if (table_ && table_->maxOffset() >= reach)
        return;
    // A window picture reaches 300 sqrt(2) pixels; one table serves all.
    if (prepare(std::max(reach, 300 * std::sqrt(2.0))))
        return;
    // No room for tables: every step is then taken one by one.
    table_ = std::move(BlaTable::build(*orbit_, 0, reach, 0).value());
}

Kernel DeepComputer::kernel() const
{
    const FloatExp h = orbit_->spacing();
    const double hd = h.e > -1000 ? h.toDouble() : 0.0;
    return {orbit_.get(), orbit_->values(), std::min(orbit_->size(), cap_) - 1, cap_, &*table_, h, hd,
            shortcuts_.settle, shortcuts_.findInterior};
}

DeepShortcuts DeepComputer::shortcuts() const noexcept
{
    return {tableSteps_.load(), tableLevels_.load(), settledSteps_.load(), interiorSteps_.load()};
}

void DeepComputer::add(const DeepShortcuts& done)
{
    tableSteps_ += done.tableSteps;
    tableLevels_ |= done.tableLevels;
    settledSteps_ += done.settledSteps;
    interiorSteps_ += done.interiorSteps;
}

PointResult DeepComputer::computePoint(double dx, double dy)
{
    const double reach = std::max(std::fabs(dx), std::fabs(dy)) * std::sqrt(2.0);
    ensureTable(reach);
    DeepShortcuts done;
    const PointResult result = iterate(kernel(), dx, dy, done);
    add(done);
    return result;
}

void DeepComputer::computeGrid(const double* dx, int columns, const double* dy, int rows, PointResult* out)
{
    if (columns <= 0 || rows <= 0)
        return;
    double reach = 0;
    double mx = 0;
    double my = 0;
    for (int c = 0; c < columns; ++c)
        mx = std::max(mx, std::fabs(dx[c]));
    for (int r = 0; r < rows; ++r)
        my = std::max(my, std::fabs(dy[r]));
    reach = std::hypot(mx, my);
    ensureTable(reach);
    const Kernel k = kernel();
    std::atomic<int> next{0};
    auto job = [&](int) {
        DeepShortcuts done;
        for (int c = next.fetch_add(1, std::memory_order_relaxed); c < columns;
             c = next.fetch_add(1, std::memory_order_relaxed)) {
            PointResult* column = out + static_cast<std::size_t>(c) * static_cast<std::size_t>(rows);
            for (int r = 0; r < rows; ++r)
                column[r] = iterate(k, dx[c], dy[r], done);
        }
        add(done);
    };
    pool_->run(job);
}

} // namespace mandel
