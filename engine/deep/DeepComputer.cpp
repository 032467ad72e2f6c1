#include "DeepComputer.h"

#include "DeepView.h"
#include "ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <thread>

namespace mandel {

namespace {

// Below this squared size a delta is held in the wide-ranged float: the
// double loop then loses nothing that matters (every dropped term is
// 2^-600 times the delta or less).
constexpr double kDoubleFloor2 = 0x1p-800;
const FloatExp kDoubleFloor2Exp(1.0, -800);

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
    const long long span = 1LL << t.minLevel();
    long long hi = std::min(t.prefixCount(), room / span);  // entries 0..hi-1 fit
    long long lo = 0;
    // Radii never grow along the runs: the valid entries come first.
    const BlaStep* p = t.prefix();
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
    const long long span = 1LL << t.minLevel();
    long long hi = std::min(t.prefixCount(), room / span);
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

// What the cycle watch learned: the orbit has settled on an attracting
// cycle of this period; `re`, `im` (times 2^e) is the cycle's point where
// the orbit was last rebased, extrapolated from the last three visits.
struct Settled {
    long long period = 0;
    double re = 0, im = 0;
    std::int64_t e = 0;
    double log2Gap = 0;   // log2 of |last step| / |value|, the distance still to go
    double log2Rate = 0;  // log2 |multiplier|: what each period takes off it
};

// Watches the values a pixel's orbit is rebased at (its closest
// approaches to 0). Inside a small copy of the set they come back once a
// cycle, each time nearer an attracting cycle, the gaps shrinking by the
// cycle's multiplier. When two successive ratios of gaps agree, the
// orbit has settled: it never escapes, and where it converges to follows
// from a geometric series, so the rest of the cycles need not be run.
class CycleWatch {
public:
    // Records the rebase at index i with value (re + im i) 2^e; true with
    // `out` filled once settled. Values are compared at equal exponents
    // only (doubles have e = 0).
    bool see(long long i, double re, double im, std::int64_t e, Settled& out)
    {
        bool found = false;
        const double size2 = re * re + im * im;
        for (int back = 1; back <= count_; ++back) {
            const Seen& s = seen_[(head_ + kDepth - back) % kDepth];
            const double gr = re - s.re;
            const double gi = im - s.im;
            const double gap2 = gr * gr + gi * gi;
            if (s.e != e || gap2 > size2 * kNear2)
                continue;
            found = learn(i - s.at, gr, gi, re, im, e, size2, out);
            break;
        }
        seen_[head_] = {i, re, im, e};
        head_ = (head_ + 1) % kDepth;
        count_ = std::min(count_ + 1, kDepth);
        return found;
    }

private:
    bool learn(long long lag, double gr, double gi, double re, double im, std::int64_t e, double size2, Settled& out)
    {
        const bool same = lag == lag_;
        const double last2 = lgr_ * lgr_ + lgi_ * lgi_;
        const double gap2 = gr * gr + gi * gi;
        bool found = false;
        if (same && gap2 == 0 && last2 == 0) {
            // The same value twice after the same lag: exactly periodic.
            out = {lag, re, im, e, -1100, -1100};
            found = true;
        } else if (same && last2 > 0) {
            // The multiplier: this gap over the last one.
            const double mr = (gr * lgr_ + gi * lgi_) / last2;
            const double mi = (gi * lgr_ - gr * lgi_) / last2;
            const double rate2 = mr * mr + mi * mi;
            const double dr = mr - mur_;
            const double di = mi - mui_;
            if (rates_ > 0 && rate2 < kRate2 && dr * dr + di * di <= kAgree2 * rate2 && size2 > 0) {
                // z + g m / (1 - m): the sum of the gaps still to come.
                const double er = 1 - mr;
                const double ei = -mi;
                const double e2 = er * er + ei * ei;
                const double qr = (mr * er + mi * ei) / e2;
                const double qi = (mi * er - mr * ei) / e2;
                out = {lag, re + (gr * qr - gi * qi), im + (gr * qi + gi * qr), e,
                       0.5 * std::log2(gap2 / size2), 0.5 * std::log2(rate2)};
                found = true;
            }
            mur_ = mr;
            mui_ = mi;
            rates_ = 1;
        } else {
            rates_ = 0;
        }
        lag_ = lag;
        lgr_ = gr;
        lgi_ = gi;
        return found;
    }

    // Visits within 2^-20 of each other count as the same point of a
    // cycle; two multiplier estimates within 10^-3 of each other, below
    // 0.95 in size, as one attracting cycle.
    static constexpr double kNear2 = 0x1p-40;
    static constexpr double kAgree2 = 1e-6;
    static constexpr double kRate2 = 0.95 * 0.95;
    static constexpr int kDepth = 8;
    struct Seen {
        long long at;
        double re, im;
        std::int64_t e;
    };
    Seen seen_[kDepth]{};
    int head_ = 0;
    int count_ = 0;
    long long lag_ = 0;
    double lgr_ = 0, lgi_ = 0;  // the last gap
    double mur_ = 0, mui_ = 0;  // the last multiplier estimate
    int rates_ = 0;
};

// After settling: the number of whole periods that can be skipped so that
// the rest still ends at `stop`, when by then the orbit is within 2^-40 of
// the cycle; 0 otherwise.
inline long long periodsToSkip(const Settled& s, long long i, long long stop)
{
    const long long periods = (stop - i) / s.period;
    if (periods <= 0)
        return 0;
    const double left = s.log2Gap + s.log2Rate * static_cast<double>(periods);
    return left <= -40 ? periods : 0;
}

// Watches the pixel's own orbit for an attracting cycle, in doubles, one
// step at a time. Brent's way, a value z_s is kept and renewed after 1, 2,
// 4, ... steps, and the derivatives D_j of z_j by z_s are followed in size
// (products of |2 z|). When z comes back within g of z_s after P steps with
// D = rho < 1, F = f^P moves z_s by g and has F'(z_s) = D. If F' stays
// below (1 + rho) / 2 on the disc of radius R = 2 g / (1 - rho) about z_s,
// F maps that disc into itself and the orbit stays there for ever: the
// point is inside the set. F'' = F' sum_j D_j / z_j bounds how far F'
// moves on the disc, so g <= 2^-20 (1 - rho)^2 / (rho P max_j |D_j / z_j|)
// leaves a wide margin. Near the set's boundary, where rho is near 1, and
// near small copies of the set, whose orbits pass close to 0, that takes
// long or never comes: the rebase watch serves the small copies.
class AttractWatch {
public:
    // Sees z_i (r2 = |z_i|^2) before its step; true when it closes a cycle
    // of `period` steps as above.
    bool back(long long i, double zr, double zi, double r2, long long& period)
    {
        if (size2_ < 1) {
            const double gr = zr - r_;
            const double gi = zi - i_;
            const double room = 1 - std::sqrt(size2_);
            const double p = static_cast<double>(i - at_);
            if ((gr * gr + gi * gi) * size2_ * (p * p) * worst_ <= kClose2 * (room * room) * (room * room)) {
                period = i - at_;
                *this = {};
                return true;
            }
        }
        worst_ = std::max(worst_, size2_ / r2);
        if (++seen_ == window_) {
            r_ = zr;
            i_ = zi;
            at_ = i;
            size2_ = 1;
            worst_ = 1 / r2;
            window_ *= 2;
            seen_ = 0;
        }
        return false;
    }
    // The step from the value seen last multiplies the derivative by
    // sqrt(factor2). Held above 2^-1000, so that it never reads 0.
    void stepped(double factor2) { size2_ = std::max(size2_ * factor2, 0x1p-1000); }
    // Forgets all: steps by the tables and in the wide-ranged float are not
    // followed.
    void reset() { *this = {}; }

private:
    static constexpr double kClose2 = 0x1p-40;
    double r_ = 0, i_ = 0;
    double size2_ = 2;  // 2: nothing kept yet
    double worst_ = 0;  // max |D_j / z_j|^2 since z_s
    long long at_ = 0;
    long long seen_ = 0;
    long long window_ = 1;
};

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
    AttractWatch attract;
    for (;;) {
        attract.reset();
        while (inDoubles) {
            double Zr = Z[2 * m];
            double Zi = Z[2 * m + 1];
            const double zr = Zr + dr;
            const double zi = Zi + di;
            const double r2 = zr * zr + zi * zi;
            if (r2 >= 4.0 && i <= cap - 2)
                return escapedAt(i, zr, zi, cIm);
            // On an attracting cycle: on by whole periods to just before
            // the stop; the orbit stays where it is on the cycle.
            long long period = 0;
            if (k.findInterior && attract.back(i, zr, zi, r2, period)) {
                const long long rounds = (stop - i) / period;
                i += rounds * period;
                done.interiorSteps += rounds * period;
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
                dr = zr;
                di = zi;
                d2 = r2;
                m = 0;
                Zr = Zi = 0;
                if (settle(zr, zi, 0)) {
                    dr = settled.re;
                    di = settled.im;
                    d2 = dr * dr + di * di;
                    attract.reset();
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
                    attract.reset();
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
                    attract.reset();
                    continue;
                }
            }
            attract.stepped(4 * r2);
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
    spacing_ = options.zoom ? pixelSpacing(*options.zoom) : orbit_->spacing();
    // The process-wide pool unless a number of threads is asked for.
    if (options.threads > 0)
        own_ = std::make_unique<ThreadPool>(options.threads);
    pool_ = own_ ? own_.get() : options.pool ? options.pool : &ThreadPool::shared();
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
    Result<BlaTable> built = BlaTable::build(*orbit_, length, maxOffset, lowestLevelFor(length), memoryLimit,
                                                BlaTable::kEpsilon, spacing_);
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
    table_ = std::move(BlaTable::build(*orbit_, 0, reach, 0, 0, BlaTable::kEpsilon, spacing_).value());
}

Kernel DeepComputer::kernel() const
{
    const FloatExp h = spacing_;
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
