#pragma once

// One deep pixel's iteration, shared by the scalar loop and the vector
// lanes (DeepLanes.cpp), which run its rare steps through it.

#include "CycleWatch.h"
#include "DeepComputer.h"
#include "ReferenceOrbit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <optional>
#include <type_traits>

namespace mandel {

// Everything one pixel's iteration reads.
struct DeepComputer::Kernel {
    const ReferenceOrbit* orbit;
    const double* z;         // reference values, interleaved
    long long last;          // index of the last reference value
    long long cap;           // N
    const BlaTable* table;
    FloatExp h;
    double hd;               // h, or 0 below 2^-1000
    int scale;               // S: deltas below doubles held times 2^S ...
    double hs;               // ... with h 2^S
    bool scaled;             // ... where the view is deep enough
    bool settle;
    bool findInterior;
};

namespace deep {

using Kernel = DeepComputer::Kernel;

// Below this squared size a delta is held in the wide-ranged float: the
// double loop then loses nothing that matters (every dropped term is
// 2^-600 times the delta or less).
inline constexpr double kDoubleFloor2 = 0x1p-800;
inline const FloatExp kDoubleFloor2Exp(1.0, -800);
// Scaled deltas w = d 2^S stay within 2^-500 <= |w| < 2^500 (squares
// included), and below the double range (PixelOrbit::scaledTop2_).
inline constexpr double kScaledFloor2 = 0x1p-1000;
inline constexpr double kScaledTop2 = 0x1p1000;
// Rebases at a smaller squared size count as close approaches to 0.
inline constexpr double kApproach2 = 0x1p-24;

inline PointResult escapedAt(long long i, double zr, double zi, double cIm)
{
    // The loop stops with n = i + 2 and holds z_{i+1}, formed as it forms it.
    return {(2.0 * zi) * zr + cIm, static_cast<std::int32_t>(i + 2)};
}

// The two ranges a delta is held in: doubles, and the wide-exponent float
// below 2^-400. Each says how its values are sized and compared and which
// table entries it reads; the loop is written once over them.
struct DoubleDelta {
    double re = 0, im = 0;
};

struct InDoubles {
    using Delta = DoubleDelta;
    using Size = double;
    using Entry = BlaStep;
    static Size norm(const Delta& d) { return d.re * d.re + d.im * d.im; }
    static bool less(Size a, Size b) { return a < b; }
    static const Entry* level(const BlaTable& t, int level) { return t.steps(level); }
    static const Entry* prefix(const BlaTable& t) { return t.prefix(); }
};

// Deltas below doubles held as doubles times 2^S (Kernel::scale).
struct InScaled {
    using Size = double;
    using Entry = BlaStep;
    static bool less(Size a, Size b) { return a < b; }
    static const Entry* level(const BlaTable& t, int level) { return t.stepsScaled(level); }
    static const Entry* prefix(const BlaTable& t) { return t.prefixScaled(); }
};

struct InWideRange {
    using Delta = ComplexExp;
    using Size = FloatExp;
    using Entry = BlaStepExp;
    static Size norm(const Delta& d) { return d.norm(); }
    static bool less(const Size& a, const Size& b) { return lessMagnitude(a, b); }
    static const Entry* level(const BlaTable& t, int level) { return t.exact(level); }
    static const Entry* prefix(const BlaTable& t) { return t.prefixExact(); }
};

// A run of steps the tables take at once: entry `at` of `level`, or of the
// runs from index 1 when level < 0.
struct TableRun {
    long long steps = 0;
    int level = -1;
    long long at = 0;
};

// How many of the runs from index 1, entries 0 .. hi - 1 (entry 0 holds
// the delta), hold a delta of squared size d2, in full range, where their
// radii never grow: found from where the pixel's last such search ended
// (`hint`), since a pixel coming back to index 1 once a period comes back
// with a delta of much the same size, then by bisection between what
// those reads found; the same count as a bisection over all of them,
// without its reads all over the table.
template <class R = InWideRange>
long long runsHolding(const typename R::Entry* p, long long hi, const typename R::Size& d2, long long& hint)
{
    auto holds = [&](long long k) { return R::less(d2, p[k].r2); };
    // Entries below `lo` hold the delta, those from `end` on do not.
    long long lo = 1, end = hi;
    const long long from = std::clamp(hint, 0LL, hi - 1);
    if (holds(from)) {
        lo = from + 1;
        for (long long step = 1; lo < hi; step *= 2) {
            const long long probe = std::min(lo + step - 1, hi - 1);
            if (!holds(probe)) {
                end = probe;
                break;
            }
            lo = probe + 1;
        }
    } else {
        end = from;
        for (long long step = 1; end > lo; step *= 2) {
            const long long probe = std::max(end - step, lo);
            if (holds(probe)) {
                lo = probe + 1;
                break;
            }
            end = probe;
        }
    }
    while (lo < end) {
        const long long mid = lo + (end - lo) / 2;
        if (holds(mid))
            lo = mid + 1;
        else
            end = mid;
    }
    hint = lo - 1;
    return lo;
}

// The longest run from reference index m (>= 1) that fits in `room` steps
// and holds a delta of squared size d2: from index 1 the runs that start
// there, else (or when none holds) the aligned entries of each level.
// Radii never grow along a run, so when the shortest one does not hold
// the delta, no longer one does: most steps end at that first test, or
// before it when no entry at all is that wide. `hint` is runsHolding's,
// for deltas in full range (in doubles an entry that left the range has
// radius 0 wherever it lies: there the vector lanes and this loop bisect).
template <class R>
bool findRun(const BlaTable& t, long long m, long long room, const typename R::Size& d2, TableRun& run,
             long long& hint)
{
    if constexpr (std::is_same_v<R, InDoubles>) {
        if (!(d2 < t.widest2()))
            return false;
    }
    const int low = t.minLevel();
    if (m == 1) {
        const typename R::Entry* p = R::prefix(t);
        long long hi = std::min(t.prefixCount(), room >> low);  // entries 0..hi-1 fit
        if (hi > 0 && R::less(d2, p[0].r2)) {
            long long lo = 0;
            if constexpr (std::is_same_v<R, InDoubles>) {
                while (lo < hi) {
                    const long long mid = lo + (hi - lo) / 2;
                    if (R::less(d2, p[mid].r2))
                        lo = mid + 1;
                    else
                        hi = mid;
                }
            } else {
                lo = runsHolding<R>(p, hi, d2, hint);
            }
            run = {lo << low, -1, lo - 1};
            return true;
        }
    }
    const long long k = m - 1;
    int level = t.endLevel() - 1;
    if (k != 0)
        level = std::min(level, std::countr_zero(static_cast<unsigned long long>(k)));
    if (level < low)
        return false;
    const long long first = k >> low;
    if (first >= t.count(low) || !R::less(d2, R::level(t, low)[first].r2))
        return false;
    for (; level >= low; --level) {
        if ((1LL << level) > room)
            continue;
        const long long at = k >> level;
        if (at < t.count(level) && R::less(d2, R::level(t, level)[at].r2)) {
            run = {1LL << level, level, at};
            return true;
        }
    }
    return false;
}

template <class R>
const typename R::Entry& entryOf(const BlaTable& t, const TableRun& run)
{
    return run.level < 0 ? R::prefix(t)[run.at] : R::level(t, run.level)[run.at];
}

// One perturbation step in full range: (2 Z + d) d + dc.
inline ComplexExp wideStep(const ComplexExp& zm, const ComplexExp& d, const ComplexExp& dc)
{
    ComplexExp twice = zm;
    twice.e += 1;
    return (twice + d) * d + dc;
}

// The value at index `stop` of the orbit at index i of a point proven
// inside the set, on the cycle of `trap`: plain doubles (nothing escapes)
// until the orbit is so near the cycle's point that the multiplier alone
// tells the rest of whole periods (the terms it leaves out add up to at
// most curve |z - w|^2 / (1 - rate), held below 2^-30, far below what a
// colour shows), then the last part of a period.
inline double valueAtStop(const Trap& trap, double zr, double zi, double cr, double ci, long long i, long long stop)
{
    auto step = [&] {
        const double nr = (zr * zr - zi * zi) + cr;
        zi = (2.0 * zi) * zr + ci;
        zr = nr;
    };
    const double near2 = 0x1p-30 * (1 - trap.rate) / std::max(trap.curve, 0x1p-100);
    for (; i < stop; ++i) {
        const double ur = zr - trap.re;
        const double ui = zi - trap.im;
        if (ur * ur + ui * ui <= near2) {
            const long long rounds = (stop - i) / trap.period;
            const std::complex<double> multiplier(trap.mr, trap.mi);
            const std::complex<double> moved = std::pow(multiplier, static_cast<double>(rounds)) * std::complex(ur, ui);
            zr = trap.re + moved.real();
            zi = trap.im + moved.imag();
            i += rounds * trap.period;
            break;
        }
        step();
    }
    for (; i < stop; ++i)
        step();
    return zi;
}

// One pixel's iteration: its delta from the reference in doubles while
// that holds it, below in doubles times 2^S where the kernel has a scale
// and else in the wide-ranged float (the loop written once over doubles
// and the wide range; the scaled loop apart, being their blend).
class PixelOrbit {
public:
    PixelOrbit(const Kernel& k, double dx, double dy, DeepShortcuts& done)
        : k_(k), done_(done), dx_(dx), dy_(dy), dc_(FloatExp(dx) * k.h, FloatExp(-dy) * k.h), dcr_(dx * k.hd),
          dci_(-dy * k.hd), dcs_{dx * k.hs, -dy * k.hs}, cRe_(k.orbit->centreRe() + dcr_),
          cIm_(k.orbit->centreIm() + dci_), stop_(k.cap - 1),
          // The pixel's own c in doubles is within this of the exact one
          // (below 2^-1000 the spacing is dropped: dc < 2^-960 then).
          attract_(cRe_, cIm_,
                   0x1p-50 * (std::fabs(cRe_) + std::fabs(cIm_) + std::fabs(dcr_) + std::fabs(dci_)) + 0x1p-960)
    {
        // z_1 = c: the delta starts as dc at index 1 (z_0 = 0 never escapes).
        wide_ = dc_;
        if (!lessMagnitude(dc_.norm(), kDoubleFloor2Exp)) {
            range_ = Range::doubles;
            small_ = {dc_.reDouble(), dc_.imDouble()};
        } else {
            range_ = Range::wide;
            lower();
        }
    }

    // The real part of z_(n-1) of a pixel that escaped, formed as the loop
    // forms zi: where smooth colouring goes on from.
    double lastZr() const noexcept { return lastZr_; }

    PointResult result()
    {
        for (;;) {
            const std::optional<PointResult> done = range_ == Range::doubles ? runIn<InDoubles>() : belowDoubles();
            if (done)
                return *done;
        }
    }

    // For the vector lanes, which take the plain steps in doubles and
    // hand every other one back here. The state between steps: index i,
    // reference index m and the delta in doubles.
    long long index() const noexcept { return i_; }
    long long reference() const noexcept { return m_; }
    const DoubleDelta& small() const noexcept { return small_; }
    double dci() const noexcept { return dci_; }
    double dcr() const noexcept { return dcr_; }
    const AttractWatch& attract() const noexcept { return attract_; }
    AttractWatch& attract() noexcept { return attract_; }
    void resume(long long i, long long m, double re, double im) noexcept
    {
        i_ = i;
        m_ = m;
        small_ = {re, im};
    }
    // Runs the ranges below doubles until the delta is back in doubles;
    // the result when the pixel is done before.
    std::optional<PointResult> toDoubles()
    {
        while (range_ != Range::doubles) {
            if (const std::optional<PointResult> done = belowDoubles())
                return done;
        }
        return std::nullopt;
    }
    // The steps the scalar loop takes up to and with its next plain one,
    // then on as toPlain(); the result when done.
    std::optional<PointResult> step()
    {
        if (const std::optional<PointResult> done = runIn<InDoubles, Until::plainStep>())
            return done;
        return toPlain();
    }
    // Runs until the delta is in doubles and too large for any table
    // entry, where plain steps come one after another (the way out of the
    // reference's reach) and lanes take them best; the result when done
    // before. Rebases near 0 and table runs come close together in the
    // orbits about small copies, and lanes would hand them back here at
    // almost every step.
    std::optional<PointResult> toPlain()
    {
        for (;;) {
            if (const std::optional<PointResult> done = toDoubles())
                return done;
            if (!(InDoubles::norm(small_) < k_.table->widest2()))
                return std::nullopt;
            if (const std::optional<PointResult> done = runIn<InDoubles, Until::plainRun>())
                return done;
        }
    }

private:
    enum class Range { doubles, scaled, wide };

    std::optional<PointResult> belowDoubles() { return range_ == Range::scaled ? runScaled() : runIn<InWideRange>(); }
    std::optional<PointResult> runScaled();

    // x 2^-S, for scaled values.
    double unscaled(double x) const noexcept { return x * down_; }
    // A delta in the wide range goes on scaled where the kernel scales
    // deltas and the scale holds it.
    void lower() noexcept
    {
        if (range_ != Range::wide || !k_.scaled || wide_.isZero())
            return;
        const std::int64_t at = wide_.e + k_.scale;  // the scaled delta's exponent
        if (at < -499 || at > 498)
            return;
        scaledD_ = {floatexp_detail::scale(wide_.re, at), floatexp_detail::scale(wide_.im, at)};
        range_ = Range::scaled;
    }

    template <class R>
    typename R::Delta& delta()
    {
        if constexpr (std::is_same_v<R, InDoubles>)
            return small_;
        else
            return wide_;
    }

    // Where runIn stops short of the pixel's result (nothing returned
    // then): besides where the delta leaves the range R holds, after its
    // next plain step (any table runs before it included), or after the
    // first plain step that leaves a delta too large for any table entry.
    enum class Until { result, plainStep, plainRun };
    template <class R, Until kUntil = Until::result>
    std::optional<PointResult> runIn();

    // At a rebase: when the orbit has settled on a cycle, go on from the
    // cycle's point as many whole periods later as fit before the stop.
    bool settle(long long& i, double re, double im, std::int64_t e)
    {
        if (!k_.settle || !watch_.see(i, re, im, e, settled_))
            return false;
        const long long skip = periodsToSkip(settled_, i, stop_);
        if (skip == 0)
            return false;
        i += skip * settled_.period;
        done_.settledSteps += skip * settled_.period;
        return true;
    }

    const Kernel& k_;
    DeepShortcuts& done_;
    const double dx_, dy_;
    const ComplexExp dc_;
    const double dcr_, dci_;
    const DoubleDelta dcs_;  // dc 2^S
    const double cRe_, cIm_;
    // The index whose value ends an orbit that does not escape.
    const long long stop_;
    long long i_ = 1;
    long long m_ = 1;
    Range range_ = Range::doubles;
    DoubleDelta small_;
    DoubleDelta scaledD_;  // the delta times 2^S
    ComplexExp wide_;
    // 2^-S (S is at most 900: BlaTable::deltaScaleFor).
    double down_ = k_.scaled ? floatexp_detail::powerOfTwo(-k_.scale) : 0.0;
    // The top of the scale: |d|^2 = 2^-800, where doubles take over (at
    // most 2^1000 scaled, where squares end).
    double scaledTop2_ = k_.scaled ? std::ldexp(1.0, std::min(2 * k_.scale - 800, 1000)) : 0.0;
    CycleWatch watch_;
    Settled settled_;
    AttractWatch attract_;
    double lastZr_ = 0;
    long long prefixHint_ = 0;
    long long nearAt_ = -1;  // Z_nearAt 2^S, the last reference value near 0 read
    double nearRe_ = 0, nearIm_ = 0;
};

template <class R, PixelOrbit::Until kUntil>
std::optional<PointResult> PixelOrbit::runIn()
{
    constexpr bool kDoubles = std::is_same_v<R, InDoubles>;
    using Delta = typename R::Delta;
    using Size = typename R::Size;
    const Kernel& k = k_;
    const BlaTable& t = *k.table;
    const long long cap = k.cap;
    const long long stop = stop_;
    long long i = i_;
    long long m = m_;
    Delta d = delta<R>();
    // Leaving the range: the delta goes on in the other one (from the
    // wide range, scaled where it may).
    auto leave = [&](auto&& into) {
        i_ = i;
        m_ = m;
        range_ = kDoubles ? Range::wide : Range::doubles;
        into();
        lower();
        return std::nullopt;
    };
    // After one step: the state kept for the next.
    [[maybe_unused]] auto pause = [&](const Delta& now) {
        i_ = i;
        m_ = m;
        delta<R>() = now;
        return std::nullopt;
    };
    for (;;) {
        Delta zm;
        if constexpr (kDoubles)
            zm = {k.z[2 * m], k.z[2 * m + 1]};
        else
            zm = k.orbit->exact(m);
        Delta z;
        double zr, zi;
        if constexpr (kDoubles) {
            z = {zm.re + d.re, zm.im + d.im};
            zr = z.re;
            zi = z.im;
        } else {
            z = zm + d;
            zr = z.reDouble();
            zi = z.imDouble();
        }
        const double r2 = zr * zr + zi * zi;
        if (r2 >= 4.0 && i <= cap - 2) {
            lastZr_ = (zr * zr - zi * zi) + cRe_;
            return escapedAt(i, zr, zi, cIm_);
        }
        if constexpr (kDoubles) {
            // Proven inside the set: the rest of the orbit only for the
            // value it ends on.
            Trap trap;
            if (k.findInterior && attract_.see(i, zr, zi, trap)) {
                done_.interiorSteps += stop - i;
                return PointResult{valueAtStop(trap, zr, zi, cRe_, cIm_, i, stop), static_cast<std::int32_t>(cap)};
            }
        }
        // Rebasing: when the pixel comes closer to 0 than to the reference,
        // or the reference itself comes closer to 0 than the delta is
        // large, the pixel's own z becomes the delta against Z_0 = 0.
        // Either way the delta does not grow past twice its size, and
        // periodic references rebase once a period, which the rebase watch
        // relies on.
        Size d2 = R::norm(d);
        const Size z2 = R::norm(z);
        if (R::less(z2, d2) || m == k.last || (m > 0 && R::less(R::norm(zm), d2))) {
            if constexpr (kDoubles) {
                if (r2 < kDoubleFloor2) {
                    const long long at = m;
                    m = 0;
                    return leave([&] {
                        wide_ = k.orbit->exact(at) + ComplexExp(d.re, d.im);
                        if (settle(i_, wide_.re, wide_.im, wide_.e))
                            wide_ = ComplexExp(settled_.re, settled_.im, settled_.e);
                    });
                }
            }
            // The rebase watch serves cycles that pass too close to 0 for
            // the pixel's own watch in doubles. Far from 0 the orbit may
            // rebase every few steps (a reference that escaped early, a
            // pixel far from it): that watch would cost more than the
            // steps.
            const bool approach = !kDoubles || r2 < kApproach2 || m == k.last || !k.findInterior;
            d = z;
            d2 = z2;
            m = 0;
            zm = Delta();
            std::int64_t e = 0;
            if constexpr (!kDoubles)
                e = z.e;
            if (approach && settle(i, z.re, z.im, e)) {
                if constexpr (kDoubles)
                    d = {settled_.re, settled_.im};
                else
                    d = ComplexExp(settled_.re, settled_.im, settled_.e);
                d2 = R::norm(d);
            }
        }
        if (i >= stop) {
            if constexpr (kDoubles)
                return PointResult{zm.im + d.im, static_cast<std::int32_t>(cap)};
            else
                return PointResult{(zm + d).imDouble(), static_cast<std::int32_t>(cap)};
        }
        if constexpr (!kDoubles) {
            if (!lessMagnitude(d2, kDoubleFloor2Exp))
                return leave([&] { small_ = {d.reDouble(), d.imDouble()}; });
            if (k.scaled) {
                wide_ = d;
                i_ = i;
                m_ = m;
                lower();
                if (range_ == Range::scaled)
                    return std::nullopt;
            }
        }
        TableRun run;
        if (m > 0 && findRun<R>(t, m, stop - i, d2, run, prefixHint_)) {
            const typename R::Entry& s = entryOf<R>(t, run);
            bool stays = true;
            if constexpr (kDoubles) {
                const double nr = (s.ar * d.re - s.ai * d.im) + (s.bhr * dx_ + s.bhi * dy_);
                const double ni = (s.ar * d.im + s.ai * d.re) + (s.bhi * dx_ - s.bhr * dy_);
                if (nr * nr + ni * ni < kDoubleFloor2) {
                    const BlaStepExp& e = entryOf<InWideRange>(t, run);
                    wide_ = e.a * ComplexExp(d.re, d.im) + e.b * dc_;
                    stays = false;
                } else {
                    d = {nr, ni};
                }
            } else {
                d = s.a * d + s.b * dc_;
            }
            m += run.steps;
            i += run.steps;
            done_.tableSteps += run.steps - 1;
            if (run.level >= 0)
                done_.tableLevels |= 1ULL << run.level;
            if (!stays)
                return leave([] {});
            continue;
        }
        if constexpr (kDoubles) {
            // (2 Z + d) d + dc
            const double tr = 2.0 * zm.re + d.re;
            const double ti = 2.0 * zm.im + d.im;
            const double nr = (tr * d.re - ti * d.im) + dcr_;
            const double ni = (tr * d.im + ti * d.re) + dci_;
            if (nr * nr + ni * ni < kDoubleFloor2) {
                const long long at = m;
                ++m;
                ++i;
                return leave([&] { wide_ = wideStep(k.orbit->exact(at), ComplexExp(d.re, d.im), dc_); });
            }
            d = {nr, ni};
        } else {
            d = wideStep(zm, d, dc_);
        }
        ++m;
        ++i;
        if constexpr (kUntil == Until::plainStep)
            return pause(d);
        if constexpr (kUntil == Until::plainRun) {
            if (!(R::norm(d) < t.widest2()))
                return pause(d);
        }
    }
}

// The wide range's steps on deltas held as w = d 2^S in doubles: every
// value that may lie below the doubles (the reference near 0, the pixel's
// z after a rebase) is held scaled too, the rest (the reference elsewhere,
// the escape test) unscaled. A delta the scale no longer holds goes on in
// doubles or the wide range from the same step.
inline std::optional<PointResult> PixelOrbit::runScaled()
{
    const Kernel& k = k_;
    const BlaTable& t = *k.table;
    const long long cap = k.cap;
    const long long stop = stop_;
    const int scale = k.scale;
    long long i = i_;
    long long m = m_;
    double wr = scaledD_.re, wi = scaledD_.im;
    auto leave = [&](Range to) {
        i_ = i;
        m_ = m;
        range_ = to;
        if (to == Range::doubles)
            small_ = {unscaled(wr), unscaled(wi)};
        else
            wide_ = ComplexExp(wr, wi, -scale);
        return std::nullopt;
    };
    for (;;) {
        double w2 = wr * wr + wi * wi;
        if (!(w2 >= kScaledFloor2))
            return leave(Range::wide);
        if (!(w2 < scaledTop2_))
            return leave(ComplexExp(wr, wi, -scale).norm().e >= -800 ? Range::doubles : Range::wide);
        // Z unscaled, and scaled where it comes near 0 (no rebase happens
        // elsewhere: |z| > |d| and |Z| > |d| there) or at the orbit's end.
        double zmr = k.z[2 * m], zmi = k.z[2 * m + 1];
        double tr, ti;  // 2 Z + d, unscaled
        double zr, zi;  // z, unscaled
        if (zmr * zmr + zmi * zmi < 0x1p-798 || m == k.last) {
            // A pixel near a small copy comes back to the same index once
            // a period: its scaled value is read once.
            if (m != nearAt_) {
                const ComplexExp exact = k.orbit->exact(m);
                nearRe_ = floatexp_detail::scale(exact.re, exact.e + scale);
                nearIm_ = floatexp_detail::scale(exact.im, exact.e + scale);
                nearAt_ = m;
            }
            const double sr = nearRe_;
            const double si = nearIm_;
            // At the end of an orbit far from 0: z lies far above the scale.
            if (!(std::fabs(sr) + std::fabs(si) < 0x1p500))
                return leave(Range::wide);
            double ur = sr + wr, ui = si + wi;  // z scaled
            zr = unscaled(ur);
            zi = unscaled(ui);
            const double r2 = zr * zr + zi * zi;
            if (r2 >= 4.0 && i <= cap - 2) {
                lastZr_ = (zr * zr - zi * zi) + cRe_;
                return escapedAt(i, zr, zi, cIm_);
            }
            double ar = sr, ai = si;  // Z scaled
            if (ur * ur + ui * ui < w2 || m == k.last || (m > 0 && sr * sr + si * si < w2)) {
                m = 0;
                ar = ai = 0;
                const ComplexExp z(ur, ui, -scale);
                if (settle(i, z.re, z.im, z.e)) {
                    const ComplexExp c(settled_.re, settled_.im, settled_.e);
                    ur = floatexp_detail::scale(c.re, c.e + scale);
                    ui = floatexp_detail::scale(c.im, c.e + scale);
                    zr = unscaled(ur);
                    zi = unscaled(ui);
                }
                wr = ur;
                wi = ui;
                if (i >= stop)
                    return PointResult{zi, static_cast<std::int32_t>(cap)};
                w2 = wr * wr + wi * wi;
                if (!(w2 >= kScaledFloor2 && w2 < scaledTop2_))
                    continue;  // leaves at the loop's top
            } else if (i >= stop) {
                return PointResult{zi, static_cast<std::int32_t>(cap)};
            }
            tr = unscaled(2.0 * ar + wr);
            ti = unscaled(2.0 * ai + wi);
        } else {
            zr = zmr + unscaled(wr);
            zi = zmi + unscaled(wi);
            if (zr * zr + zi * zi >= 4.0 && i <= cap - 2) {
                lastZr_ = (zr * zr - zi * zi) + cRe_;
                return escapedAt(i, zr, zi, cIm_);
            }
            if (i >= stop)
                return PointResult{zi, static_cast<std::int32_t>(cap)};
            tr = 2.0 * zmr + unscaled(wr);
            ti = 2.0 * zmi + unscaled(wi);
        }
        TableRun run;
        if (m > 0 && findRun<InScaled>(t, m, stop - i, w2, run, prefixHint_)) {
            const BlaStep& e = entryOf<InScaled>(t, run);
            const double nr = (e.ar * wr - e.ai * wi) + (e.bhr * dx_ + e.bhi * dy_);
            const double ni = (e.ar * wi + e.ai * wr) + (e.bhi * dx_ - e.bhr * dy_);
            // A run may carry the delta far past the scale (its
            // coefficients being large): that run is the wide range's.
            const bool past = !(nr * nr + ni * ni < kScaledTop2);
            if (past) {
                const BlaStepExp& x = entryOf<InWideRange>(t, run);
                wide_ = x.a * ComplexExp(wr, wi, -scale) + x.b * dc_;
            }
            wr = nr;
            wi = ni;
            m += run.steps;
            i += run.steps;
            done_.tableSteps += run.steps - 1;
            if (run.level >= 0)
                done_.tableLevels |= 1ULL << run.level;
            if (past) {
                i_ = i;
                m_ = m;
                range_ = Range::wide;
                return std::nullopt;
            }
            continue;
        }
        // (2 Z + d) d + dc, times 2^S
        const double nr = (tr * wr - ti * wi) + dcs_.re;
        const double ni = (tr * wi + ti * wr) + dcs_.im;
        wr = nr;
        wi = ni;
        ++m;
        ++i;
    }
}

// With `zr`, *zr gets the pixel's lastZr().
inline PointResult iterate(const Kernel& k, double dx, double dy, DeepShortcuts& done, double* zr = nullptr)
{
    PixelOrbit p(k, dx, dy, done);
    const PointResult result = p.result();
    if (zr)
        *zr = p.lastZr();
    return result;
}

} // namespace deep
} // namespace mandel
