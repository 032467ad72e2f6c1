// The escape-time iteration on SIMD lanes: the vector steps, compiled
// once per Highway target (EscapeKernel.cpp includes this file through
// foreach_target.h). Scheduling lives in SegmentSchedule, dispatch in
// EscapeKernel.cpp.
//
// Every lane performs exactly the scalar steps of iteratePoint, in the same
// order and with the same roundings, so results match it bit for bit; only
// the bookkeeping around the steps differs. Two phases:
//  - dense groups: neighbouring rows of a column run side by side, one point
//    per lane. A point that stops is written and its lane parked; the group
//    runs on while at least half its points do, to the cap if need be, so
//    views inside the set or far outside it need nothing more;
//  - long runs: the points of groups that thinned out wait in a queue and
//    are fed to lanes of their own; a lane whose point stops takes the next
//    point at the end of the block, so no lane waits for the slowest point
//    of its vector.
// A step tests all lanes at once through the largest zr2 + zi2; the rare
// steps where some point stops do the per-lane work.
// Inside the set an orbit settles on a cycle, and in doubles it often comes
// to repeat exactly. At every block end (every kBlock steps of a dense
// group, the cap being one) the group compares z with z kept at the 1st,
// 2nd, 4th, 8th ... block end: a point whose z is bit for bit the same goes
// round a cycle whose period divides the distance, so it never stops, and
// at the cap z is z the distance's remainder on. When that holds for every
// point still running, the group runs that remainder and ends with the
// results of the cap (at once where the caller reads no z at the cap).

// Include guard that flips for every target, as Highway's -inl headers do.
#if defined(MANDEL_ENGINE_ESCAPE_KERNEL_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MANDEL_ENGINE_ESCAPE_KERNEL_INL_H_
#undef MANDEL_ENGINE_ESCAPE_KERNEL_INL_H_
#else
#define MANDEL_ENGINE_ESCAPE_KERNEL_INL_H_
#endif

#include "EscapeKernel.h"
#include "SegmentSchedule.h"

#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

// Loops over the vectors in flight are unrolled whole: arrays of vectors
// stay in registers only while every index is a constant the compiler sees.
#ifndef ESCAPE_UNROLL
#define ESCAPE_UNROLL _Pragma("GCC unroll 16")
#endif

HWY_BEFORE_NAMESPACE();
namespace mandel {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

// Steps between the rounds in which lanes get new points.
constexpr int kBlock = kCapBlock;
constexpr std::size_t kMaxLanes = hn::MaxLanes(D());
// A lane that has no point: it sits at z = c = 0 and never reaches the cap.
constexpr std::int64_t kIdleStart = std::int64_t{1} << 52;

// 2 as the compiler cannot see it: it would turn 2 * zi into zi + zi, which
// is as exact but lands on the busier adder ports.
volatile double gTwo = 2.0;

// One step of the iteration, exactly as iteratePoint takes it; `mag` gets
// zr2 + zi2, the value the next loop test reads.
HWY_INLINE void step(V& zr, V& zi, V cr, V ci, V two, V& mag)
{
    const V zr2 = hn::Mul(zr, zr);
    const V zi2 = hn::Mul(zi, zi);
    zi = hn::Add(hn::Mul(hn::Mul(two, zi), zr), ci);
    zr = hn::Add(hn::Sub(zr2, zi2), cr);
    mag = hn::Add(zr2, zi2);
}

// Lanes whose c lies inside the main cardioid or the disc of period 2, where
// the orbit of 0 is drawn to a fixed point or a 2-cycle whose multiplier
// (mu for c = mu/2 - mu^2/4; 4(c + 1)) has |.|^2 < kWithin. Near the cycle
// each step shrinks a deviation by 1 - |.| >= 1/2000, so the roundings of
// doubles (2^-52 a step) add up to some 10^-12 at most, while the way out
// (past the repelling cycle beside it) is at least 1/2000 away: these
// points reach any cap. Nearer the edge points take the ordinary steps.
// With w = 1 - 4c = (1 - mu)^2, |mu|^2 = 1 - 2 Re(sqrt w) + |w|.
HWY_INLINE M insideByShape(V cr, V ci)
{
    constexpr double kWithin = 0.999;
    const D d;
    const V one = hn::Set(d, 1.0);
    const V a = hn::Sub(one, hn::Mul(hn::Set(d, 4.0), cr));
    const V b = hn::Mul(hn::Set(d, 4.0), ci);
    const V m = hn::Sqrt(hn::Add(hn::Mul(a, a), hn::Mul(b, b)));
    const V root = hn::Sqrt(hn::Mul(hn::Add(m, a), hn::Set(d, 0.5)));
    const V mu2 = hn::Sub(hn::Add(one, m), hn::Add(root, root));
    const V x = hn::Add(cr, one);
    const V disc = hn::Add(hn::Mul(x, x), hn::Mul(ci, ci));
    return hn::Or(hn::Lt(mu2, hn::Set(d, kWithin)), hn::Lt(disc, hn::Set(d, kWithin / 16)));
}

// Points of one segment that outlived the first steps, waiting for a lane.
struct Queue {
    double* zr;
    double* zi;
    double* ci;
    double* row;
    double* steps;  // steps the point has taken
    long long* interior;  // points ended early by the cycle check
    double cx = 0;
    std::size_t base = 0;  // index in task.out of the segment's row 0
    std::size_t head = 0;
    std::size_t size = 0;
};

// The whole number n of a double holding it, as the bits of a 64-bit lane:
// 2^52 + n has n in its low bits, xor with 2^52 clears the rest.
HWY_INLINE V countBits(V n)
{
    const V shift = hn::Set(D(), 4503599627370496.0);  // 2^52
    return hn::Xor(hn::Add(n, shift), shift);
}

// Writes the results of points out[0..count-1] from the vectors of where
// and when they stopped: whole vectors at once where they fit, the last few
// one by one.
template <int kCount>
HWY_INLINE void writeResults(PointResult* out, int count, const V (&ziAt)[kCount], const V (&nAt)[kCount])
{
    const D d;
    const auto N = static_cast<int>(hn::Lanes(d));
    for (int j = 0; j < kCount; ++j) {
        const int first = j * N;
        if (first >= count)
            return;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        // A result is 16 bytes: zi, then n in the low half of the next 8.
        static_assert(sizeof(PointResult) == 16 && offsetof(PointResult, n) == 8, "results are zi, n, padding");
        if (first + N <= count) {
            hn::StoreInterleaved2(ziAt[j], countBits(nAt[j]), d, reinterpret_cast<double*>(out + first));
            continue;
        }
#endif
        alignas(64) double zi[kMaxLanes];
        alignas(64) double n[kMaxLanes];
        hn::Store(ziAt[j], d, zi);
        hn::Store(nAt[j], d, n);
        for (int i = 0; i < N && first + i < count; ++i)
            out[first + i] = PointResult{zi[i], static_cast<std::int32_t>(n[i])};
    }
}

// The same from arrays in memory.
template <int kCount>
HWY_INLINE void writeResults(PointResult* out, int count, const double* ziAt, const double* nAt)
{
    const D d;
    V zi[kCount], n[kCount];
    for (int j = 0; j < kCount; ++j) {
        zi[j] = hn::Load(d, ziAt + static_cast<std::size_t>(j) * hn::Lanes(d));
        n[j] = hn::Load(d, nAt + static_cast<std::size_t>(j) * hn::Lanes(d));
    }
    writeResults<kCount>(out, count, zi, n);
}

// Writes the real parts zr of points 0..count-1 from vectors, as
// writeResults does their zi.
template <int kCount>
HWY_INLINE void writeZr(double* to, int count, const V (&zrAt)[kCount])
{
    const D d;
    const auto N = static_cast<int>(hn::Lanes(d));
    for (int j = 0; j < kCount; ++j) {
        const int first = j * N;
        if (first >= count)
            return;
        if (first + N <= count) {
            hn::StoreU(zrAt[j], d, to + first);
            continue;
        }
        alignas(64) double zr[kMaxLanes];
        hn::Store(zrAt[j], d, zr);
        std::copy(zr, zr + (count - first), to + first);
    }
}

// Steps every point of a group takes without a branch per step, in two
// rounds with a look in between: far from the set most points stop within
// them, and stops at varying steps would otherwise mispredict a branch
// nearly every step.
constexpr int kPrefixRound = 4;
constexpr int kPrefixSteps = 2 * kPrefixRound;
static_assert(kPrefixSteps == kCapPrefix, "the prefix is part of the first steps");

// Runs the points of rows r0..r1-1 of column c in dense groups, one point
// per lane, and writes the result of every point that stops. A group first
// takes up to kPrefixSteps steps in which every lane just notes when its
// loop test first fails. If points still run, the group goes on with
// stopped lanes parked at 0, while at least half a group's worth of points
// runs: at most to the cap, so a group inside the set needs nothing else.
// Once it thins out, at task.firstSteps or a whole number of blocks later, its
// running points go to the queue.
template <int kFirstStreams, bool kEachStream, bool kZr>
void denseRuns(const EscapeTask& task, int c, int r0, int r1, Queue& q)
{
    static_assert(kFirstStreams * kMaxLanes <= kRowPadding, "a group reads past its segment into the padding");
    const D d;
    const std::size_t N = hn::Lanes(d);
    const int group = kFirstStreams * static_cast<int>(N);
    const V two = hn::Set(d, gTwo);
    const V four = hn::Set(d, 4.0);
    const V one = hn::Set(d, 1.0);
    const V zero = hn::Zero(d);
    const double cx = task.cx[c];
    PointResult* out = task.out + static_cast<std::size_t>(c) * static_cast<std::size_t>(task.rows);
    double* const zrOut = kZr ? task.zr + static_cast<std::size_t>(c) * static_cast<std::size_t>(task.rows) : nullptr;
    q.cx = cx;
    q.base = static_cast<std::size_t>(c) * static_cast<std::size_t>(task.rows);
    q.head = 0;
    q.size = 0;

    for (int r = r0; r < r1; r += group) {
        const int count = std::min(r1 - r, group);
        V zr[kFirstStreams], zi[kFirstStreams], ci[kFirstStreams];
        V ziFirst[kFirstStreams], nFirst[kFirstStreams], zrFirst[kFirstStreams];
        M isReal[kFirstStreams];
        // The prefix. Lanes past the segment run rows of the next segment or
        // the zero padding; their results are never written. A lane that
        // stopped runs on to huge values or NaN, which never look like a
        // first stop again: only a lane without a count takes one.
        const V cr = hn::Set(d, cx);
        ESCAPE_UNROLL
        for (int j = 0; j < kFirstStreams; ++j) {
            const int real = std::clamp(count - j * static_cast<int>(N), 0, static_cast<int>(N));
            isReal[j] = hn::FirstN(d, static_cast<std::size_t>(real));
            ci[j] = hn::LoadU(d, task.cy + r + j * static_cast<int>(N));
            zr[j] = zero;
            zi[j] = zero;
            ziFirst[j] = zero;
            nFirst[j] = zero;
            zrFirst[j] = zero;
        }
        bool done = false;
        if (task.capZUnread) {
            // Such points have their count from the start; a group of them
            // alone takes no step.
            const V capN = hn::Set(d, static_cast<double>(task.cap));
            done = true;
            ESCAPE_UNROLL
            for (int j = 0; j < kFirstStreams; ++j) {
                const M inside = insideByShape(cr, ci[j]);
                nFirst[j] = hn::IfThenElseZero(inside, capN);
                done = done && hn::AllFalse(d, hn::AndNot(inside, isReal[j]));
            }
        }
        V n = hn::Set(d, 2.0);  // the count of a point whose test fails after this step
        for (int round = 0; round < kPrefixSteps / kPrefixRound && !done; ++round) {
            for (int k = 0; k < kPrefixRound; ++k) {
                ESCAPE_UNROLL
                for (int j = 0; j < kFirstStreams; ++j) {
                    V mag;
                    step(zr[j], zi[j], cr, ci[j], two, mag);
                    const M first = hn::AndNot(hn::Lt(mag, four), hn::Eq(nFirst[j], zero));
                    ziFirst[j] = hn::IfThenElse(first, zi[j], ziFirst[j]);
                    if constexpr (kZr)
                        zrFirst[j] = hn::IfThenElse(first, zr[j], zrFirst[j]);
                    nFirst[j] = hn::IfThenElse(first, n, nFirst[j]);
                }
                n = hn::Add(n, one);
            }
            done = true;
            ESCAPE_UNROLL
            for (int j = 0; j < kFirstStreams; ++j)
                done = done && hn::AllFalse(d, hn::And(isReal[j], hn::Eq(nFirst[j], zero)));
        }
        if (done) {
            writeResults<kFirstStreams>(out + r, count, ziFirst, nFirst);
            if constexpr (kZr)
                writeZr<kFirstStreams>(zrOut + r, count, zrFirst);
            continue;
        }
        // Where and when points stopped; from here on touched only when some
        // do, so they live in memory and leave the registers to the state.
        alignas(64) double ziAt[kFirstStreams * kMaxLanes];
        alignas(64) double nAt[kFirstStreams * kMaxLanes];
        alignas(64) double zrAt[kZr ? kFirstStreams * kMaxLanes : 1];
        int running = 0;
        V crOf[kFirstStreams];
        ESCAPE_UNROLL
        for (int j = 0; j < kFirstStreams; ++j) {
            const M live = hn::And(isReal[j], hn::Eq(nFirst[j], zero));
            running += static_cast<int>(hn::CountTrue(d, live));
            hn::Store(ziFirst[j], d, ziAt + static_cast<std::size_t>(j) * N);
            hn::Store(nFirst[j], d, nAt + static_cast<std::size_t>(j) * N);
            if constexpr (kZr)
                hn::Store(zrFirst[j], d, zrAt + static_cast<std::size_t>(j) * N);
            // Lanes that stopped, and lanes past the segment, are parked at
            // z = c = 0, which never stops.
            zr[j] = hn::IfThenElseZero(live, zr[j]);
            zi[j] = hn::IfThenElseZero(live, zi[j]);
            ci[j] = hn::IfThenElseZero(live, ci[j]);
            crOf[j] = hn::IfThenElseZero(live, cr);
        }

        int k = kPrefixSteps;  // steps taken
        int until = task.firstSteps;
        int blockEnds = 0;  // cycle checks so far
        int keptAt = 0;     // the step whose z is kept for the check
        int finishAt = -1;  // once every point cycles: the step whose z is z at the cap
        // With kEachStream, c comes from memory at every step and each
        // vector is tested on its own, so only z needs registers: for cores
        // with 16 of them. Otherwise all of c stays in registers and one
        // test of the largest zr2 + zi2 serves every vector.
        alignas(64) double crAt[kFirstStreams * kMaxLanes];
        alignas(64) double ciAt[kFirstStreams * kMaxLanes];
        if (kEachStream) {
            ESCAPE_UNROLL
            for (int j = 0; j < kFirstStreams; ++j) {
                hn::Store(crOf[j], d, crAt + static_cast<std::size_t>(j) * N);
                hn::Store(ci[j], d, ciAt + static_cast<std::size_t>(j) * N);
            }
        }
        // z at the last block end, for the cycle check; none yet (no z is
        // NaN).
        alignas(64) double savedR[kFirstStreams * kMaxLanes];
        alignas(64) double savedI[kFirstStreams * kMaxLanes];
        const V none = hn::Set(d, std::numeric_limits<double>::quiet_NaN());
        ESCAPE_UNROLL
        for (int j = 0; j < kFirstStreams; ++j) {
            hn::Store(none, d, savedR + static_cast<std::size_t>(j) * N);
            hn::Store(none, d, savedI + static_cast<std::size_t>(j) * N);
        }
        // Notes where and when the lanes `stops` of vector j stopped, and
        // parks them at z = c = 0. Inlined into the unrolled loops, where j
        // is a constant and the vectors stay in registers.
        const auto park = [&](int j, M stops, V stopN) HWY_ATTR __attribute__((always_inline)) {
            const std::size_t at = static_cast<std::size_t>(j) * N;
            hn::Store(hn::IfThenElse(stops, zi[j], hn::Load(d, ziAt + at)), d, ziAt + at);
            hn::Store(hn::IfThenElse(stops, stopN, hn::Load(d, nAt + at)), d, nAt + at);
            if constexpr (kZr)
                hn::Store(hn::IfThenElse(stops, zr[j], hn::Load(d, zrAt + at)), d, zrAt + at);
            zr[j] = hn::IfThenZeroElse(stops, zr[j]);
            zi[j] = hn::IfThenZeroElse(stops, zi[j]);
            if (kEachStream) {
                hn::Store(hn::IfThenZeroElse(stops, hn::Load(d, crAt + at)), d, crAt + at);
                hn::Store(hn::IfThenZeroElse(stops, hn::Load(d, ciAt + at)), d, ciAt + at);
            } else {
                crOf[j] = hn::IfThenZeroElse(stops, crOf[j]);
                ci[j] = hn::IfThenZeroElse(stops, ci[j]);
            }
            running -= static_cast<int>(hn::CountTrue(d, stops));
        };
        for (;;) {
            for (; k < until; ++k) {
                if (kEachStream) {
                    bool some = false;
                    ESCAPE_UNROLL
                    for (int j = 0; j < kFirstStreams; ++j) {
                        const std::size_t at = static_cast<std::size_t>(j) * N;
                        V mag;
                        step(zr[j], zi[j], hn::Load(d, crAt + at), hn::Load(d, ciAt + at), two, mag);
                        if (HWY_UNLIKELY(!hn::AllTrue(d, hn::Lt(mag, four)))) {
                            const M stops = hn::Not(hn::Lt(mag, four));
                            const V stopN = hn::Set(d, static_cast<double>(k + 2));
                            park(j, stops, stopN);
                            some = true;
                        }
                    }
                    if (some && running == 0)
                        break;
                    continue;
                }
                V mag[kFirstStreams];
                ESCAPE_UNROLL
                for (int j = 0; j < kFirstStreams; ++j)
                    step(zr[j], zi[j], crOf[j], ci[j], two, mag[j]);
                // As in the long runs: a lane that stops is parked at 0, so
                // the largest zr2 + zi2 tells whether any lane stops now.
                V largest = mag[0];
                ESCAPE_UNROLL
                for (int j = 1; j < kFirstStreams; ++j)
                    largest = hn::Max(largest, mag[j]);
                if (HWY_LIKELY(hn::AllTrue(d, hn::Lt(largest, four))))
                    continue;
                const V stopN = hn::Set(d, static_cast<double>(k + 2));
                ESCAPE_UNROLL
                for (int j = 0; j < kFirstStreams; ++j) {
                    const M stops = hn::Not(hn::Lt(mag[j], four));
                    if (!hn::AllFalse(d, stops))
                        park(j, stops, stopN);
                }
                if (running == 0)
                    break;
            }
            if (task.findInterior && k == until && k < task.lastStep && running > 0) {
                // Parked lanes sit at 0 and compare equal from the block
                // after they stopped.
                bool cycles = finishAt == k;
                if (finishAt < 0) {
                    cycles = true;
                    const hn::RebindToSigned<D> di;
                    ESCAPE_UNROLL
                    for (int j = 0; j < kFirstStreams && cycles; ++j) {
                        const std::size_t at = static_cast<std::size_t>(j) * N;
                        const auto r = hn::Eq(hn::BitCast(di, zr[j]), hn::BitCast(di, hn::Load(d, savedR + at)));
                        const auto i = hn::Eq(hn::BitCast(di, zi[j]), hn::BitCast(di, hn::Load(d, savedI + at)));
                        cycles = hn::AllTrue(di, hn::And(r, i));
                    }
                    // z repeats every k - keptAt steps from here on; z at the
                    // cap is z that many steps, less whole rounds, on.
                    if (HWY_UNLIKELY(cycles) && !task.capZUnread) {
                        const int rest = (task.lastStep - k) % (k - keptAt);
                        if (rest != 0) {
                            finishAt = k + rest;
                            cycles = false;
                        }
                    }
                }
                if (HWY_UNLIKELY(cycles)) {
                    *q.interior += running;
                    const V capN = hn::Set(d, static_cast<double>(task.cap));
                    ESCAPE_UNROLL
                    for (int j = 0; j < kFirstStreams; ++j) {
                        const M live = hn::And(isReal[j], hn::Eq(hn::Load(d, nAt + static_cast<std::size_t>(j) * N), zero));
                        park(j, live, capN);
                    }
                    break;
                }
                // z is kept at the 1st, 2nd, 4th, 8th ... block end: a match
                // comes whole blocks later, a multiple of any period once the
                // kept z is old enough.
                ++blockEnds;
                if (finishAt < 0 && (blockEnds & (blockEnds - 1)) == 0) {
                    keptAt = k;
                    ESCAPE_UNROLL
                    for (int j = 0; j < kFirstStreams; ++j) {
                        hn::Store(zr[j], d, savedR + static_cast<std::size_t>(j) * N);
                        hn::Store(zi[j], d, savedI + static_cast<std::size_t>(j) * N);
                    }
                }
            }
            // A group with few points left, or few from the start (the
            // last of a segment), hands them to the lanes of the long runs.
            if (running == 0 || k == task.lastStep || 2 * running < group)
                break;
            until = k + kBlock;
        }
        if (kEachStream) {
            ESCAPE_UNROLL
            for (int j = 0; j < kFirstStreams; ++j)
                ci[j] = hn::Load(d, ciAt + static_cast<std::size_t>(j) * N);
        }

        // The points still running: at the cap they are done, otherwise
        // they wait in the queue for a lane of the long runs.
        const bool capped = k == task.lastStep;
        M live[kFirstStreams];
        ESCAPE_UNROLL
        for (int j = 0; j < kFirstStreams; ++j) {
            double* ziOf = ziAt + static_cast<std::size_t>(j) * N;
            double* nOf = nAt + static_cast<std::size_t>(j) * N;
            live[j] = hn::And(isReal[j], hn::Eq(hn::Load(d, nOf), zero));
            if (capped) {
                hn::Store(hn::IfThenElse(live[j], zi[j], hn::Load(d, ziOf)), d, ziOf);
                hn::Store(hn::IfThenElse(live[j], hn::Set(d, static_cast<double>(task.cap)), hn::Load(d, nOf)), d, nOf);
                if constexpr (kZr) {
                    double* zrOf = zrAt + static_cast<std::size_t>(j) * N;
                    hn::Store(hn::IfThenElse(live[j], zr[j], hn::Load(d, zrOf)), d, zrOf);
                }
            }
        }
        // Points still running get a placeholder, unless all do; their
        // lane writes the real result later.
        if (capped || running < count) {
            writeResults<kFirstStreams>(out + r, count, ziAt, nAt);
            if constexpr (kZr)
                std::copy(zrAt, zrAt + count, zrOut + r);
        }
        if (capped || running == 0)
            continue;
        const V taken = hn::Set(d, static_cast<double>(k));
        ESCAPE_UNROLL
        for (int j = 0; j < kFirstStreams; ++j) {
            if (hn::AllFalse(d, live[j]))
                continue;
            const V row = hn::Iota(d, static_cast<double>(r + j * static_cast<int>(N)));
            hn::CompressStore(zr[j], live[j], d, q.zr + q.size);
            hn::CompressStore(zi[j], live[j], d, q.zi + q.size);
            hn::CompressStore(ci[j], live[j], d, q.ci + q.size);
            hn::CompressStore(taken, live[j], d, q.steps + q.size);
            q.size += hn::CompressStore(row, live[j], d, q.row + q.size);
        }
    }
}

// What each lane works on, kept in memory while the vectors run; read and
// patched only when a lane changes its point.
template <int kStreams>
struct LaneBook {
    alignas(64) double zr[kStreams][kMaxLanes];
    alignas(64) double zi[kStreams][kMaxLanes];
    alignas(64) double cr[kStreams][kMaxLanes];
    alignas(64) double ci[kStreams][kMaxLanes];
    alignas(64) double mag[kStreams][kMaxLanes];  // zr2 + zi2 of the latest step
    // The step count at which the lane's point would have taken 0 steps.
    alignas(64) double start[kStreams][kMaxLanes];
    alignas(64) double at[kStreams][kMaxLanes];  // index of the point in task.out
};

// For each set of lanes (a bit mask), lane l's rank among them: where a
// lane finds its point among the next ones in the queue.
struct Spread {
    alignas(64) std::int64_t rank[std::size_t{1} << kMaxLanes][kMaxLanes] = {};
    constexpr Spread()
    {
        for (std::size_t m = 0; m < (std::size_t{1} << kMaxLanes); ++m) {
            std::int64_t below = 0;
            for (std::size_t l = 0; l < kMaxLanes; ++l) {
                if ((m >> l & 1u) != 0)
                    rank[m][l] = below++;
            }
        }
    }
};
constexpr Spread kSpread;

HWY_INLINE M laneMask(unsigned bits)
{
    const std::uint8_t b[8] = {static_cast<std::uint8_t>(bits)};
    return hn::LoadMaskBits(D(), b);
}

// The lowest `count` set bits of `bits`.
inline unsigned lowestBits(unsigned bits, std::size_t count)
{
    unsigned taken = 0;
    for (std::size_t i = 0; i < count && bits != 0; ++i) {
        taken |= bits & (0u - bits);
        bits &= bits - 1;
    }
    return taken;
}

// Where lanes get their points from: the queue, refilled segment by segment.
template <int kFirstStreams, bool kEachStream, bool kZr>
struct Feeder {
    const EscapeTask task;
    Queue& q;
    int self;

    // Makes sure points wait in the queue, running the first steps of the
    // next segment when it is empty; false when no segment is left.
    bool fill()
    {
        while (q.head == q.size) {
            const int s = nextSegment(task.ranges, task.threads, self);
            if (s < 0)
                return false;
            const SegmentRows rows = segmentRows(s, task.rows);
            denseRuns<kFirstStreams, kEachStream, kZr>(task, rows.column, rows.first, rows.end, q);
        }
        return true;
    }

    // Gives the lanes `free` of stream j the next waiting points at step
    // count t, in lane order; lanes left
    // over when no point is left become idle. Returns how many went idle.
    template <class Book>
    int refill(Book& book, int j, unsigned free, std::int64_t t)
    {
        const D d;
        V zr = hn::Load(d, book.zr[j]);
        V zi = hn::Load(d, book.zi[j]);
        V cr = hn::Load(d, book.cr[j]);
        V ci = hn::Load(d, book.ci[j]);
        V start = hn::Load(d, book.start[j]);
        V at = hn::Load(d, book.at[j]);
        int idle = 0;
        while (free != 0) {
            if (!fill()) {
                const M m = laneMask(free);
                zr = hn::IfThenZeroElse(m, zr);
                zi = hn::IfThenZeroElse(m, zi);
                cr = hn::IfThenZeroElse(m, cr);
                ci = hn::IfThenZeroElse(m, ci);
                start = hn::IfThenElse(m, hn::Set(d, static_cast<double>(kIdleStart)), start);
                idle = static_cast<int>(hwy::PopCount(free));
                break;
            }
            const unsigned take = lowestBits(free, q.size - q.head);
            const M m = laneMask(take);
            const auto spread = hn::SetTableIndices(d, kSpread.rank[take]);
            auto next = [&](const double* from) { return hn::TableLookupLanes(hn::LoadU(d, from + q.head), spread); };
            zr = hn::IfThenElse(m, next(q.zr), zr);
            zi = hn::IfThenElse(m, next(q.zi), zi);
            ci = hn::IfThenElse(m, next(q.ci), ci);
            at = hn::IfThenElse(m, hn::Add(hn::Set(d, static_cast<double>(q.base)), next(q.row)), at);
            cr = hn::IfThenElse(m, hn::Set(d, q.cx), cr);
            start = hn::IfThenElse(m, hn::Sub(hn::Set(d, static_cast<double>(t)), next(q.steps)), start);
            q.head += hwy::PopCount(take);
            free &= ~take;
        }
        hn::Store(zr, d, book.zr[j]);
        hn::Store(zi, d, book.zi[j]);
        hn::Store(cr, d, book.cr[j]);
        hn::Store(ci, d, book.ci[j]);
        hn::Store(start, d, book.start[j]);
        hn::Store(at, d, book.at[j]);
        return idle;
    }
};

// The vectors of the long runs. Arrays of vectors stay in registers only
// while every index is a constant the compiler sees, so all bookkeeping
// works on the lane book in memory: the vectors go there and come back
// whole, and only when lanes change their points.
template <int kStreams>
struct Lanes {
    V zr[kStreams], zi[kStreams], cr[kStreams], ci[kStreams], mag[kStreams];
};

template <int kStreams>
HWY_INLINE void toBook(const Lanes<kStreams>& v, LaneBook<kStreams>& book)
{
    const D d;
    ESCAPE_UNROLL
    for (int j = 0; j < kStreams; ++j) {
        hn::Store(v.zr[j], d, book.zr[j]);
        hn::Store(v.zi[j], d, book.zi[j]);
        hn::Store(v.mag[j], d, book.mag[j]);
    }
}

template <int kStreams>
HWY_INLINE void fromBook(Lanes<kStreams>& v, const LaneBook<kStreams>& book)
{
    const D d;
    ESCAPE_UNROLL
    for (int j = 0; j < kStreams; ++j) {
        v.zr[j] = hn::Load(d, book.zr[j]);
        v.zi[j] = hn::Load(d, book.zi[j]);
        v.cr[j] = hn::Load(d, book.cr[j]);
        v.ci[j] = hn::Load(d, book.ci[j]);
    }
}

// The bookkeeping of the long runs, all on the lane book.
template <int kStreams, int kFirstStreams, bool kEachStream, bool kZr>
struct Runs {
    Feeder<kFirstStreams, kEachStream, kZr>& feeder;
    LaneBook<kStreams>& book;
    PointResult* out;
    std::int64_t capAt = kIdleStart;  // no lane reaches the cap before this step
    int busy = 0;                     // lanes that hold a point
    // Lanes whose point has stopped inside the current block, per stream.
    unsigned parked[kStreams] = {};

    // After step t some lane of vector j has a zr2 + zi2 that is not below
    // 4: writes those points and parks their lanes at z = c = 0 until the
    // block ends.
    HWY_NOINLINE void escapedIn(int j, std::int64_t t)
    {
        const D d;
        const V zero = hn::Zero(d);
        const M stops = hn::Not(hn::Lt(hn::Load(d, book.mag[j]), hn::Set(d, 4.0)));
        std::uint8_t bits[8] = {};
        hn::StoreMaskBits(d, stops, bits);
        for (unsigned done = bits[0]; done != 0; done &= done - 1) {
            const auto l = static_cast<std::size_t>(hwy::Num0BitsBelowLS1Bit_Nonzero32(done));
            const auto n = static_cast<std::int32_t>(1 + (t - static_cast<std::int64_t>(book.start[j][l])));
            out[static_cast<std::size_t>(book.at[j][l])] = PointResult{book.zi[j][l], n};
            if constexpr (kZr)
                feeder.task.zr[static_cast<std::size_t>(book.at[j][l])] = book.zr[j][l];
            book.start[j][l] = kIdleStart;
        }
        parked[j] |= bits[0];
        hn::Store(hn::IfThenElse(stops, zero, hn::Load(d, book.zr[j])), d, book.zr[j]);
        hn::Store(hn::IfThenElse(stops, zero, hn::Load(d, book.zi[j])), d, book.zi[j]);
        hn::Store(hn::IfThenElse(stops, zero, hn::Load(d, book.cr[j])), d, book.cr[j]);
        hn::Store(hn::IfThenElse(stops, zero, hn::Load(d, book.ci[j])), d, book.ci[j]);
    }

    // The same for every vector whose lanes stop after step t.
    HWY_NOINLINE void escaped(std::int64_t t)
    {
        const D d;
        const V four = hn::Set(d, 4.0);
        for (int j = 0; j < kStreams; ++j) {
            if (!hn::AllTrue(d, hn::Lt(hn::Load(d, book.mag[j]), four)))
                escapedIn(j, t);
        }
    }

    // Whether a block ending at step t has work: a cap or a parked lane.
    bool due(std::int64_t t) const
    {
        unsigned any = 0;
        ESCAPE_UNROLL
        for (int j = 0; j < kStreams; ++j)
            any |= parked[j];
        return any != 0 || t >= capAt;
    }

    // At the end of a block, step t: writes the points that reached the
    // cap, and feeds every lane that is free. Points are queued after
    // task.firstSteps steps or a whole number of blocks more, and fed at block
    // ends, so they reach the cap at a block end: lastStep - firstSteps is
    // whole blocks.
    HWY_NOINLINE void blockEnd(std::int64_t t)
    {
        const D d;
        const bool capping = t >= capAt;
        const V lastStart = hn::Set(d, static_cast<double>(t - feeder.task.lastStep));
        bool fed = false;
        ESCAPE_UNROLL
        for (int j = 0; j < kStreams; ++j) {
            unsigned capped = 0;
            if (capping) {
                std::uint8_t bits[8] = {};
                hn::StoreMaskBits(d, hn::Le(hn::Load(d, book.start[j]), lastStart), bits);
                capped = bits[0];
            }
            for (unsigned done = capped; done != 0; done &= done - 1) {
                const auto l = static_cast<std::size_t>(hwy::Num0BitsBelowLS1Bit_Nonzero32(done));
                out[static_cast<std::size_t>(book.at[j][l])] = PointResult{book.zi[j][l], feeder.task.cap};
                if constexpr (kZr)
                    feeder.task.zr[static_cast<std::size_t>(book.at[j][l])] = book.zr[j][l];
            }
            const unsigned free = parked[j] | capped;
            parked[j] = 0;
            if (free != 0) {
                busy -= feeder.refill(book, j, free, t);
                fed = true;
            }
        }
        if (fed || capping)
            findCap();
    }

    // The first step at which some lane reaches the cap.
    void findCap()
    {
        const D d;
        V first = hn::Load(d, book.start[0]);
        ESCAPE_UNROLL
        for (int j = 1; j < kStreams; ++j)
            first = hn::Min(first, hn::Load(d, book.start[j]));
        capAt = static_cast<std::int64_t>(hn::GetLane(hn::MinOfLanes(d, first))) + feeder.task.lastStep;
    }
};

// The kernel with kStreams vectors in the long runs and kFirstStreams in
// the dense groups; with kZr it writes task.zr too.
template <int kStreams, int kFirstStreams, bool kEachStream, bool kZr>
void IterateSegments(const EscapeTask& shared, EscapeScratch& scratch)
{
    // A private copy: the shared one may sit on a cache line that its owner
    // keeps writing.
    const EscapeTask task = shared;
    const D d;
    const std::size_t N = hn::Lanes(d);
    Queue q{scratch.zr.data(), scratch.zi.data(), scratch.ci.data(), scratch.row.data(), scratch.steps.data(),
            &scratch.interior};
    Feeder<kFirstStreams, kEachStream, kZr> feeder{task, q, scratch.self};
    LaneBook<kStreams> book;
    Runs<kStreams, kFirstStreams, kEachStream, kZr> runs{feeder, book, task.out};
    std::int64_t t = 0;  // steps taken by the vectors so far

    const unsigned all = (1u << N) - 1;
    runs.busy = kStreams * static_cast<int>(N);
    ESCAPE_UNROLL
    for (int j = 0; j < kStreams; ++j) {
        hn::Store(hn::Set(d, static_cast<double>(kIdleStart)), d, book.start[j]);
        hn::Store(hn::Zero(d), d, book.at[j]);
        hn::Store(hn::Zero(d), d, book.zr[j]);
        hn::Store(hn::Zero(d), d, book.zi[j]);
        hn::Store(hn::Zero(d), d, book.cr[j]);
        hn::Store(hn::Zero(d), d, book.ci[j]);
        runs.busy -= feeder.refill(book, j, all, t);
    }
    if (runs.busy == 0)
        return;
    runs.findCap();

    const V two = hn::Set(d, gTwo);
    const V four = hn::Set(d, 4.0);
    if (kEachStream) {
        // c stays in the book and is read from memory at every step; each
        // vector is tested on its own, so only z needs registers.
        V zr[kStreams], zi[kStreams];
        ESCAPE_UNROLL
        for (int j = 0; j < kStreams; ++j) {
            zr[j] = hn::Load(d, book.zr[j]);
            zi[j] = hn::Load(d, book.zi[j]);
        }
        for (;;) {
            for (int b = 0; b < kBlock; ++b) {
                ESCAPE_UNROLL
                for (int j = 0; j < kStreams; ++j) {
                    V mag;
                    step(zr[j], zi[j], hn::Load(d, book.cr[j]), hn::Load(d, book.ci[j]), two, mag);
                    if (HWY_UNLIKELY(!hn::AllTrue(d, hn::Lt(mag, four)))) {
                        hn::Store(zr[j], d, book.zr[j]);
                        hn::Store(zi[j], d, book.zi[j]);
                        hn::Store(mag, d, book.mag[j]);
                        runs.escapedIn(j, t + 1);
                        zr[j] = hn::Load(d, book.zr[j]);
                        zi[j] = hn::Load(d, book.zi[j]);
                    }
                }
                ++t;
            }
            if (!runs.due(t))
                continue;
            ESCAPE_UNROLL
            for (int j = 0; j < kStreams; ++j) {
                hn::Store(zr[j], d, book.zr[j]);
                hn::Store(zi[j], d, book.zi[j]);
            }
            runs.blockEnd(t);
            if (runs.busy == 0)
                return;
            ESCAPE_UNROLL
            for (int j = 0; j < kStreams; ++j) {
                zr[j] = hn::Load(d, book.zr[j]);
                zi[j] = hn::Load(d, book.zi[j]);
            }
        }
    }
    Lanes<kStreams> v;
    fromBook(v, book);
    for (;;) {
        for (int b = 0; b < kBlock; ++b) {
            ESCAPE_UNROLL
            for (int j = 0; j < kStreams; ++j)
                step(v.zr[j], v.zi[j], v.cr[j], v.ci[j], two, v.mag[j]);
            ++t;
            // One test for all lanes: the largest zr2 + zi2 below 4. Every
            // value here is finite (a lane stops at the first one that is
            // not below 4 and then sits at 0), so the maximum decides exactly.
            V largest = v.mag[0];
            ESCAPE_UNROLL
            for (int j = 1; j < kStreams; ++j)
                largest = hn::Max(largest, v.mag[j]);
            if (HWY_LIKELY(hn::AllTrue(d, hn::Lt(largest, four))))
                continue;
            toBook(v, book);
            runs.escaped(t);
            fromBook(v, book);
        }
        if (!runs.due(t))
            continue;
        toBook(v, book);
        runs.blockEnd(t);
        if (runs.busy == 0)
            return;
        fromBook(v, book);
    }
}

} // namespace
} // namespace HWY_NAMESPACE
} // namespace mandel
HWY_AFTER_NAMESPACE();

#endif // include guard
