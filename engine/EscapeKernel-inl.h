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

HWY_BEFORE_NAMESPACE();
namespace mandel {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

// Steps every point takes in the dense first phase.
constexpr int kFirstSteps = 23;
// Steps between the rounds in which lanes get new points.
constexpr int kBlock = 16;
constexpr std::size_t kMaxLanes = hn::MaxLanes(D());
// A lane that has no point: it sits at z = c = 0 and never reaches the cap.
constexpr std::int64_t kIdleStart = std::int64_t{1} << 52;
constexpr std::int64_t kLastStep = kMaxIterations - 1;
static_assert((kLastStep - kFirstSteps) % kBlock == 0, "caps must fall on block ends");

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

// Points of one segment that outlived the first steps, waiting for a lane.
struct Queue {
    double* zr;
    double* zi;
    double* ci;
    double* row;
    double* steps;  // steps the point has taken
    double cx = 0;
    std::size_t base = 0;  // index in task.out of the segment's row 0
    std::size_t head = 0;
    std::size_t size = 0;
};

// Runs the points of rows r0..r1-1 of column c in dense groups, one point
// per lane, and writes the result of every point that stops. A group runs
// on while at least half its points do: at most to the cap, so a group
// inside the set needs nothing else. Once it thins out, at kFirstSteps or
// a whole number of blocks later, its running points go to the queue.
template <int kFirstStreams>
void denseRuns(const EscapeTask& task, int c, int r0, int r1, Queue& q)
{
    const D d;
    const std::size_t N = hn::Lanes(d);
    const int group = kFirstStreams * static_cast<int>(N);
    const V two = hn::Set(d, gTwo);
    const V four = hn::Set(d, 4.0);
    const double cx = task.cx[c];
    PointResult* out = task.out + static_cast<std::size_t>(c) * static_cast<std::size_t>(task.rows);
    q.cx = cx;
    q.base = static_cast<std::size_t>(c) * static_cast<std::size_t>(task.rows);
    q.head = 0;
    q.size = 0;

    for (int r = r0; r < r1; r += group) {
        V zr[kFirstStreams], zi[kFirstStreams], cr[kFirstStreams], ci[kFirstStreams];
        // Where and when points stopped; touched only when some do, so they
        // live in memory and leave the registers to the running state.
        alignas(64) double ziAt[kFirstStreams * kMaxLanes] = {};
        alignas(64) double nAt[kFirstStreams * kMaxLanes] = {};
        const int count = std::min(r1 - r, group);
        int running = count;
        for (int j = 0; j < kFirstStreams; ++j) {
            const int first = r + j * static_cast<int>(N);
            const int real = std::clamp(r1 - first, 0, static_cast<int>(N));
            // Lanes past the segment sit at z = c = 0, which never stops.
            const M isReal = hn::FirstN(d, static_cast<std::size_t>(real));
            ci[j] = hn::IfThenElseZero(isReal, hn::LoadU(d, task.cy + first));
            cr[j] = hn::IfThenElseZero(isReal, hn::Set(d, cx));
            zr[j] = hn::Zero(d);
            zi[j] = hn::Zero(d);
        }
        int k = 0;  // steps taken
        int until = kFirstSteps;
        for (;;) {
            for (; k < until; ++k) {
                V mag[kFirstStreams];
                for (int j = 0; j < kFirstStreams; ++j)
                    step(zr[j], zi[j], cr[j], ci[j], two, mag[j]);
                // As in the long runs: a lane that stops is parked at 0, so
                // the largest zr2 + zi2 tells whether any lane stops now.
                V largest = mag[0];
                for (int j = 1; j < kFirstStreams; ++j)
                    largest = hn::Max(largest, mag[j]);
                if (HWY_LIKELY(hn::AllTrue(d, hn::Lt(largest, four))))
                    continue;
                const V n = hn::Set(d, static_cast<double>(k + 2));
                for (int j = 0; j < kFirstStreams; ++j) {
                    const M stops = hn::Not(hn::Lt(mag[j], four));
                    double* ziOf = ziAt + static_cast<std::size_t>(j) * N;
                    double* nOf = nAt + static_cast<std::size_t>(j) * N;
                    hn::Store(hn::IfThenElse(stops, zi[j], hn::Load(d, ziOf)), d, ziOf);
                    hn::Store(hn::IfThenElse(stops, n, hn::Load(d, nOf)), d, nOf);
                    zr[j] = hn::IfThenZeroElse(stops, zr[j]);
                    zi[j] = hn::IfThenZeroElse(stops, zi[j]);
                    cr[j] = hn::IfThenZeroElse(stops, cr[j]);
                    ci[j] = hn::IfThenZeroElse(stops, ci[j]);
                    running -= static_cast<int>(hn::CountTrue(d, stops));
                }
                if (running == 0)
                    break;
            }
            if (running == 0 || k == kLastStep || 2 * running < count)
                break;
            until = k + kBlock;
        }

        // The points still running: at the cap they are done, otherwise
        // they wait in the queue for a lane of the long runs.
        const bool capped = k == kLastStep;
        M live[kFirstStreams];
        for (int j = 0; j < kFirstStreams; ++j) {
            const int first = r + j * static_cast<int>(N);
            const int real = std::clamp(r1 - first, 0, static_cast<int>(N));
            double* ziOf = ziAt + static_cast<std::size_t>(j) * N;
            double* nOf = nAt + static_cast<std::size_t>(j) * N;
            live[j] = hn::And(hn::FirstN(d, static_cast<std::size_t>(real)), hn::Eq(hn::Load(d, nOf), hn::Zero(d)));
            if (capped) {
                hn::Store(hn::IfThenElse(live[j], zi[j], hn::Load(d, ziOf)), d, ziOf);
                hn::Store(hn::IfThenElse(live[j], hn::Set(d, double{kMaxIterations}), hn::Load(d, nOf)), d, nOf);
            }
        }
        // Points still running get a placeholder, unless all do; their
        // lane writes the real result later.
        if (capped || running < count) {
            for (int i = 0; i < count; ++i)
                out[r + i] = PointResult{ziAt[i], static_cast<std::int32_t>(nAt[i])};
        }
        if (capped || running == 0)
            continue;
        const V taken = hn::Set(d, static_cast<double>(k));
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
template <int kFirstStreams>
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
            denseRuns<kFirstStreams>(task, rows.column, rows.first, rows.end, q);
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
    for (int j = 0; j < kStreams; ++j) {
        v.zr[j] = hn::Load(d, book.zr[j]);
        v.zi[j] = hn::Load(d, book.zi[j]);
        v.cr[j] = hn::Load(d, book.cr[j]);
        v.ci[j] = hn::Load(d, book.ci[j]);
    }
}

// The bookkeeping of the long runs, all on the lane book.
template <int kStreams, int kFirstStreams>
struct Runs {
    Feeder<kFirstStreams>& feeder;
    LaneBook<kStreams>& book;
    PointResult* out;
    std::int64_t capAt = kIdleStart;  // no lane reaches the cap before this step
    int busy = 0;                     // lanes that hold a point
    // Lanes whose point has stopped inside the current block, per stream.
    unsigned parked[kStreams] = {};

    // After step t some lane's zr2 + zi2 is not below 4: writes those
    // points and parks their lanes at z = c = 0 until the block ends.
    HWY_NOINLINE void escaped(std::int64_t t)
    {
        const D d;
        const V four = hn::Set(d, 4.0);
        const V zero = hn::Zero(d);
        for (int j = 0; j < kStreams; ++j) {
            const M stops = hn::Not(hn::Lt(hn::Load(d, book.mag[j]), four));
            if (hn::AllFalse(d, stops))
                continue;
            std::uint8_t bits[8] = {};
            hn::StoreMaskBits(d, stops, bits);
            for (unsigned done = bits[0]; done != 0; done &= done - 1) {
                const auto l = static_cast<std::size_t>(hwy::Num0BitsBelowLS1Bit_Nonzero32(done));
                const auto n = static_cast<std::int32_t>(1 + (t - static_cast<std::int64_t>(book.start[j][l])));
                out[static_cast<std::size_t>(book.at[j][l])] = PointResult{book.zi[j][l], n};
                book.start[j][l] = kIdleStart;
            }
            parked[j] |= bits[0];
            hn::Store(hn::IfThenElse(stops, zero, hn::Load(d, book.zr[j])), d, book.zr[j]);
            hn::Store(hn::IfThenElse(stops, zero, hn::Load(d, book.zi[j])), d, book.zi[j]);
            hn::Store(hn::IfThenElse(stops, zero, hn::Load(d, book.cr[j])), d, book.cr[j]);
            hn::Store(hn::IfThenElse(stops, zero, hn::Load(d, book.ci[j])), d, book.ci[j]);
        }
    }

    // Whether a block ending at step t has work: a cap or a parked lane.
    bool due(std::int64_t t) const
    {
        unsigned any = 0;
        for (int j = 0; j < kStreams; ++j)
            any |= parked[j];
        return any != 0 || t >= capAt;
    }

    // At the end of a block, step t: writes the points that reached the
    // cap, and feeds every lane that is free. Points are queued after
    // kFirstSteps steps or a whole number of blocks more, and fed at block
    // ends, so they reach the cap at a block end: kLastStep - kFirstSteps is
    // whole blocks.
    HWY_NOINLINE void blockEnd(std::int64_t t)
    {
        const D d;
        const bool capping = t >= capAt;
        const V lastStart = hn::Set(d, static_cast<double>(t - kLastStep));
        bool fed = false;
        for (int j = 0; j < kStreams; ++j) {
            unsigned capped = 0;
            if (capping) {
                std::uint8_t bits[8] = {};
                hn::StoreMaskBits(d, hn::Le(hn::Load(d, book.start[j]), lastStart), bits);
                capped = bits[0];
            }
            for (unsigned done = capped; done != 0; done &= done - 1) {
                const auto l = static_cast<std::size_t>(hwy::Num0BitsBelowLS1Bit_Nonzero32(done));
                out[static_cast<std::size_t>(book.at[j][l])] = PointResult{book.zi[j][l], kMaxIterations};
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
        for (int j = 1; j < kStreams; ++j)
            first = hn::Min(first, hn::Load(d, book.start[j]));
        capAt = static_cast<std::int64_t>(hn::GetLane(hn::MinOfLanes(d, first))) + kLastStep;
    }
};

// The kernel with kStreams vectors in the long runs and kFirstStreams in
// the dense groups.
template <int kStreams, int kFirstStreams>
void IterateSegments(const EscapeTask& shared, EscapeScratch& scratch)
{
    // A private copy: the shared one may sit on a cache line that its owner
    // keeps writing.
    const EscapeTask task = shared;
    const D d;
    const std::size_t N = hn::Lanes(d);
    Queue q{scratch.zr.data(), scratch.zi.data(), scratch.ci.data(), scratch.row.data(), scratch.steps.data()};
    Feeder<kFirstStreams> feeder{task, q, scratch.self};
    LaneBook<kStreams> book;
    Runs<kStreams, kFirstStreams> runs{feeder, book, task.out};
    std::int64_t t = 0;  // steps taken by the vectors so far

    const unsigned all = (1u << N) - 1;
    runs.busy = kStreams * static_cast<int>(N);
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
    Lanes<kStreams> v;
    fromBook(v, book);
    for (;;) {
        for (int b = 0; b < kBlock; ++b) {
            for (int j = 0; j < kStreams; ++j)
                step(v.zr[j], v.zi[j], v.cr[j], v.ci[j], two, v.mag[j]);
            ++t;
            // One test for all lanes: the largest zr2 + zi2 below 4. Every
            // value here is finite (a lane stops at the first one that is
            // not below 4 and then sits at 0), so the maximum decides exactly.
            V largest = v.mag[0];
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
