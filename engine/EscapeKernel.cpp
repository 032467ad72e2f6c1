// The escape-time iteration on SIMD lanes, compiled once per Highway target.
//
// Every lane performs exactly the scalar steps of iteratePoint, in the same
// order and with the same roundings, so results match it bit for bit; only
// the bookkeeping around the steps differs. Two phases:
//  - first steps: the rows of a segment go through kFirstSteps steps in
//    dense groups; most points of a typical view stop there, and their
//    results are written directly;
//  - long runs: the remaining points are fed to lanes one by one; a lane
//    whose point stops takes the next point at once, so no lane waits for
//    the slowest point of its vector.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "EscapeKernel.cpp"
// SSSE3 brings nothing over SSE4 for doubles.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS HWY_SSSE3
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "EscapeKernel.h"

#include <algorithm>
#include <cstddef>

HWY_BEFORE_NAMESPACE();
namespace mandel {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

// Independent vectors in flight: the steps of one vector form a chain of
// dependent multiplies and adds, several chains fill the pipelines.
#ifndef MANDEL_STREAMS
#define MANDEL_STREAMS 4
#endif
constexpr int kStreams = MANDEL_STREAMS;
// Steps every point takes in the dense first phase.
#ifndef MANDEL_FIRST
#define MANDEL_FIRST 8
#endif
constexpr int kFirstSteps = MANDEL_FIRST;
constexpr std::size_t kMaxLanes = hn::MaxLanes(D());
// A lane that has no point: it sits at z = c = 0 and never reaches the cap.
constexpr std::int64_t kIdleStart = std::int64_t{1} << 52;
constexpr std::int64_t kLastStep = kMaxIterations - 1;

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
    double cx = 0;
    std::size_t base = 0;  // index in task.out of the segment's row 0
    std::size_t head = 0;
    std::size_t size = 0;
};

// Runs the first steps for rows r0..r1-1 of column c: writes the result of
// every point that stops and queues the others with their state.
void firstSteps(const EscapeTask& task, int c, int r0, int r1, Queue& q)
{
    const D d;
    const std::size_t N = hn::Lanes(d);
    const int group = kStreams * static_cast<int>(N);
    const V two = hn::Set(d, 2.0);
    const V four = hn::Set(d, 4.0);
    const double cx = task.cx[c];
    const V cr = hn::Set(d, cx);
    PointResult* out = task.out + static_cast<std::size_t>(c) * static_cast<std::size_t>(task.rows);
    q.cx = cx;
    q.base = static_cast<std::size_t>(c) * static_cast<std::size_t>(task.rows);
    q.head = 0;
    q.size = 0;

    for (int r = r0; r < r1; r += group) {
        V zr[kStreams], zi[kStreams], ci[kStreams], ziAt[kStreams], nAt[kStreams];
        M live[kStreams];
        for (int j = 0; j < kStreams; ++j) {
            const int first = r + j * static_cast<int>(N);
            ci[j] = hn::LoadU(d, task.cy + first);
            zr[j] = hn::Zero(d);
            zi[j] = hn::Zero(d);
            ziAt[j] = hn::Zero(d);
            nAt[j] = hn::Zero(d);
            const int real = std::clamp(r1 - first, 0, static_cast<int>(N));
            live[j] = hn::FirstN(d, static_cast<std::size_t>(real));
        }
        for (int k = 1; k <= kFirstSteps; ++k) {
            const V n = hn::Set(d, static_cast<double>(k + 1));
            M any = hn::FirstN(d, 0);
            for (int j = 0; j < kStreams; ++j) {
                V mag;
                step(zr[j], zi[j], cr, ci[j], two, mag);
                const M goOn = hn::Lt(mag, four);
                const M stops = hn::AndNot(goOn, live[j]);
                ziAt[j] = hn::IfThenElse(stops, zi[j], ziAt[j]);
                nAt[j] = hn::IfThenElse(stops, n, nAt[j]);
                live[j] = hn::And(live[j], goOn);
                any = hn::Or(any, live[j]);
            }
            if (hn::AllFalse(d, any))
                break;
        }

        M anyStopped = hn::FirstN(d, 0);
        for (int j = 0; j < kStreams; ++j)
            anyStopped = hn::Or(anyStopped, hn::Ne(nAt[j], hn::Zero(d)));
        alignas(64) double ziOut[kStreams * kMaxLanes];
        alignas(64) double nOut[kStreams * kMaxLanes];
        for (int j = 0; j < kStreams; ++j) {
            hn::Store(ziAt[j], d, ziOut + static_cast<std::size_t>(j) * N);
            hn::Store(nAt[j], d, nOut + static_cast<std::size_t>(j) * N);
        }
        // Points still running get a placeholder here; their lane writes
        // the real result later.
        const int count = std::min(r1 - r, group);
        for (int i = 0; i < count; ++i)
            out[r + i] = PointResult{ziOut[i], static_cast<std::int32_t>(nOut[i])};
        for (int j = 0; j < kStreams; ++j) {
            if (hn::AllFalse(d, live[j]))
                continue;
            const V row = hn::Iota(d, static_cast<double>(r + j * static_cast<int>(N)));
            hn::CompressStore(zr[j], live[j], d, q.zr + q.size);
            hn::CompressStore(zi[j], live[j], d, q.zi + q.size);
            hn::CompressStore(ci[j], live[j], d, q.ci + q.size);
            q.size += hn::CompressStore(row, live[j], d, q.row + q.size);
        }
    }
}

// What each lane works on, kept in memory while the vectors run; read and
// patched only when a lane changes its point.
struct LaneBook {
    alignas(64) double zr[kStreams][kMaxLanes];
    alignas(64) double zi[kStreams][kMaxLanes];
    alignas(64) double cr[kStreams][kMaxLanes];
    alignas(64) double ci[kStreams][kMaxLanes];
    // The step count at which the lane's point would have taken 0 steps.
    alignas(64) double start[kStreams][kMaxLanes];
    std::size_t at[kStreams][kMaxLanes];  // index of the point in task.out
};

// Takes one segment from `r`, from its front or its back; -1 when empty.
int takeSegment(SegmentRange& r, bool front)
{
    std::uint64_t v = r.span.load(std::memory_order_relaxed);
    for (;;) {
        const auto first = static_cast<std::uint32_t>(v);
        const auto end = static_cast<std::uint32_t>(v >> 32);
        if (first >= end)
            return -1;
        const std::uint64_t taken = front ? v + 1 : v - (std::uint64_t{1} << 32);
        if (r.span.compare_exchange_weak(v, taken, std::memory_order_relaxed))
            return static_cast<int>(front ? first : end - 1);
    }
}

// Where lanes get their points from: the queue, refilled segment by segment.
struct Feeder {
    const EscapeTask task;
    Queue& q;
    int self;
    int segmentsPerColumn;

    // The next segment for this thread: its own share first, so that each
    // thread writes its own stretch of results (threads writing side by
    // side in memory fight over cache lines), then the others' leftovers.
    int nextSegment()
    {
        const int own = takeSegment(task.ranges[self], true);
        if (own >= 0)
            return own;
        for (int k = 1; k < task.threads; ++k) {
            const int s = takeSegment(task.ranges[(self + k) % task.threads], false);
            if (s >= 0)
                return s;
        }
        return -1;
    }

    // Gives lane (j, l) the next waiting point, which has taken kFirstSteps
    // steps by step count t; returns false and leaves the lane idle when no
    // point is left.
    HWY_NOINLINE bool feed(LaneBook& book, int j, std::size_t l, std::int64_t t)
    {
        while (q.head == q.size) {
            const int s = nextSegment();
            if (s < 0) {
                book.zr[j][l] = book.zi[j][l] = book.cr[j][l] = book.ci[j][l] = 0;
                book.start[j][l] = kIdleStart;
                return false;
            }
            const int c = s / segmentsPerColumn;
            const int r0 = (s % segmentsPerColumn) * kSegmentRows;
            firstSteps(task, c, r0, std::min(task.rows, r0 + kSegmentRows), q);
        }
        const std::size_t h = q.head++;
        book.zr[j][l] = q.zr[h];
        book.zi[j][l] = q.zi[h];
        book.cr[j][l] = q.cx;
        book.ci[j][l] = q.ci[h];
        book.at[j][l] = q.base + static_cast<std::size_t>(q.row[h]);
        book.start[j][l] = static_cast<double>(t - kFirstSteps);
        return true;
    }
};

void IterateSegments(const EscapeTask& shared, EscapeScratch& scratch)
{
    // A private copy: the shared one may sit on a cache line that its owner
    // keeps writing.
    const EscapeTask task = shared;
    const D d;
    const std::size_t N = hn::Lanes(d);
    const int segmentsPerColumn = (task.rows + kSegmentRows - 1) / kSegmentRows;
    Queue q{scratch.zr.data(), scratch.zi.data(), scratch.ci.data(), scratch.row.data()};
    Feeder feeder{task, q, scratch.self, segmentsPerColumn};
    LaneBook book;
    std::int64_t t = 0;               // steps taken by the vectors so far
    std::int64_t capAt = kIdleStart;  // no lane reaches the cap before this step
    int busy = 0;                     // lanes that hold a point

    for (int j = 0; j < kStreams; ++j)
        for (std::size_t l = 0; l < N; ++l)
            busy += feeder.feed(book, j, l, t) ? 1 : 0;
    if (busy == 0)
        return;
    capAt = -kFirstSteps + kLastStep;

    const V two = hn::Set(d, gTwo);
    const V four = hn::Set(d, 4.0);
    V zr[kStreams], zi[kStreams], cr[kStreams], ci[kStreams];
    for (int j = 0; j < kStreams; ++j) {
        zr[j] = hn::Load(d, book.zr[j]);
        zi[j] = hn::Load(d, book.zi[j]);
        cr[j] = hn::Load(d, book.cr[j]);
        ci[j] = hn::Load(d, book.ci[j]);
    }

    for (;;) {
        M goOn[kStreams];
        for (int j = 0; j < kStreams; ++j) {
            V mag;
            step(zr[j], zi[j], cr[j], ci[j], two, mag);
            goOn[j] = hn::Lt(mag, four);
        }
        ++t;
        M all = goOn[0];
        for (int j = 1; j < kStreams; ++j)
            all = hn::And(all, goOn[j]);
        if (HWY_LIKELY(hn::AllTrue(d, all) && t < capAt))
            continue;

        // Some lane's point has stopped: write it and feed the lane.
        const bool capping = t >= capAt;
        const V lastStart = hn::Set(d, static_cast<double>(t - kLastStep));
        bool fed = false;
#pragma GCC unroll 8
        for (int j = 0; j < kStreams; ++j) {
            M stops = hn::Not(goOn[j]);
            if (capping)
                stops = hn::Or(stops, hn::Le(hn::Load(d, book.start[j]), lastStart));
            if (hn::AllFalse(d, stops))
                continue;
            std::uint8_t bits[8] = {};
            hn::StoreMaskBits(d, stops, bits);
            hn::Store(zr[j], d, book.zr[j]);
            hn::Store(zi[j], d, book.zi[j]);
            for (unsigned done = bits[0]; done != 0; done &= done - 1) {
                const auto l = static_cast<std::size_t>(hwy::Num0BitsBelowLS1Bit_Nonzero32(done));
                const auto n = static_cast<std::int32_t>(1 + (t - static_cast<std::int64_t>(book.start[j][l])));
                task.out[book.at[j][l]] = PointResult{book.zi[j][l], n};
                if (feeder.feed(book, j, l, t))
                    fed = true;
                else
                    --busy;
            }
            zr[j] = hn::Load(d, book.zr[j]);
            zi[j] = hn::Load(d, book.zi[j]);
            cr[j] = hn::Load(d, book.cr[j]);
            ci[j] = hn::Load(d, book.ci[j]);
        }
        if (busy == 0)
            return;
        // Points fed now reach the cap kLastStep - kFirstSteps steps from now.
        if (fed)
            capAt = std::min(capAt, t - kFirstSteps + kLastStep);
        if (capping) {
            V first = hn::Load(d, book.start[0]);
            for (int j = 1; j < kStreams; ++j)
                first = hn::Min(first, hn::Load(d, book.start[j]));
            capAt = static_cast<std::int64_t>(hn::GetLane(hn::MinOfLanes(d, first))) + kLastStep;
        }
    }
}

} // namespace

// Exported per target: the kernel and the target it was compiled for.
void IterateField(const EscapeTask& task, EscapeScratch& scratch)
{
    IterateSegments(task, scratch);
}

std::int64_t CompiledTarget()
{
    return HWY_TARGET;
}

} // namespace HWY_NAMESPACE
} // namespace mandel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace mandel {

HWY_EXPORT(IterateField);
HWY_EXPORT(CompiledTarget);

namespace {

// The dispatch-table entry for one target, chosen as Highway's own dispatch
// would choose it if `target` were the only one this CPU supported.
std::size_t tableIndex(std::int64_t target)
{
    const auto mask = static_cast<std::uint64_t>(
        (HWY_CHOSEN_TARGET_SHIFT(target) | HWY_CHOSEN_TARGET_MASK_SCALAR) & HWY_CHOSEN_TARGET_MASK_TARGETS);
    return hwy::Num0BitsBelowLS1Bit_Nonzero64(mask);
}

} // namespace

EscapeScratch::EscapeScratch(int index)
    : self(index), zr(kSegmentRows + kRowPadding), zi(kSegmentRows + kRowPadding),
      ci(kSegmentRows + kRowPadding), row(kSegmentRows + kRowPadding)
{
}

void runEscapeKernel(std::int64_t target, const EscapeTask& task, EscapeScratch& scratch)
{
    if (target == 0) {
        HWY_DYNAMIC_DISPATCH(IterateField)(task, scratch);
        return;
    }
    HWY_DISPATCH_TABLE(IterateField)[tableIndex(target)](task, scratch);
}

std::int64_t bestEscapeTarget()
{
    return HWY_DYNAMIC_DISPATCH(CompiledTarget)();
}

std::vector<std::int64_t> escapeTargets()
{
    std::vector<std::int64_t> targets;
    for (std::int64_t left = hwy::SupportedTargets() & HWY_TARGETS; left != 0; left &= left - 1) {
        const std::int64_t target = left & -left;
        // Only targets that really have their own entry; the check also
        // keeps a scalar fallback that the mask might spell differently.
        if (HWY_DISPATCH_TABLE(CompiledTarget)[tableIndex(target)]() == target)
            targets.push_back(target);
    }
    return targets;
}

std::string escapeTargetName(std::int64_t target)
{
    return hwy::TargetName(target);
}

} // namespace mandel
#endif // HWY_ONCE
