#pragma once

#include "PointResult.h"
#include "SegmentSchedule.h"

#include <cstdint>
#include <vector>

namespace mandel {

// Extra readable (zero) entries the kernel needs past the last row of `cy`.
inline constexpr int kRowPadding = 64;

// Steps between the kernel's block ends, and the steps every point takes
// before its first: the cap must fall on a block end (EscapeKernel-inl.h).
inline constexpr int kCapBlock = 16;
inline constexpr int kCapPrefix = 8;
// The least cap the kernel runs; below it a computer loops point by point.
inline constexpr int kMinKernelCap = 2 * kCapBlock;

// One run of columns, shared by every thread that works on it: thread i
// owns ranges[i] and helps the others when it is empty (SegmentSchedule.h).
struct EscapeTask {
    const double* cx = nullptr;  // plane x of each column of the run
    const double* cy = nullptr;  // plane y of each row, zero-padded by kRowPadding
    int rows = 0;
    PointResult* out = nullptr;  // out[c * rows + y]
    // When not null, zr[c * rows + y] gets the real part of the point's last
    // z (zi is in out): what smooth colouring goes on from. Only the forms'
    // runWithZr write it.
    double* zr = nullptr;
    SegmentRange* ranges = nullptr;
    int threads = 0;
    // Whether points whose orbit comes round a cycle end early (with the
    // results they would reach at the cap); off, every point runs its steps.
    bool findInterior = true;
    // Whether the caller reads no z of points that reach the cap. Then
    // points well inside the main cardioid or the disc of period 2 end at
    // once with n the cap and z 0 (insideByShape, EscapeKernel-inl.h), and
    // the cycle check finds cycles of any period, not only those whose z
    // at the cap is z now.
    bool capZUnread = false;
    // The cap n stops at, its last step (cap - 1) and the steps of the dense
    // first phase, which put the cap on a block end: see setCap.
    std::int32_t cap = kMaxIterations;
    int lastStep = kMaxIterations - 1;
    int firstSteps = kCapPrefix + (kMaxIterations - 1 - kCapPrefix) % kCapBlock;
};

// Sets the task's cap, at least kMinKernelCap.
inline void setCap(EscapeTask& task, std::int32_t cap)
{
    task.cap = cap;
    task.lastStep = cap - 1;
    task.firstSteps = kCapPrefix + (task.lastStep - kCapPrefix) % kCapBlock;
}

// What one thread's kernel keeps between runs: which thread it is, and the
// queue of points waiting for a lane (one segment's worth at most).
struct EscapeScratch {
    explicit EscapeScratch(int self);
    int self;
    std::vector<double> zr, zi, ci, row, steps;
    long long interior = 0;  // points ended early by the cycle check, ever
};

// One compiled form of the kernel for one target; the forms differ in how
// many vectors they keep in flight, which suits some cores better than
// others. Every form gives the same results, bit for bit.
struct EscapeVariant {
    const char* name;
    // Iterates every segment this thread can take from the task.
    void (*run)(const EscapeTask& task, EscapeScratch& scratch);
    // The same, writing task.zr too: a form of its own, so that the counts
    // alone pay nothing for it.
    void (*runWithZr)(const EscapeTask& task, EscapeScratch& scratch);
};

// The kernel as compiled for one Highway target.
struct EscapeKernels {
    std::int64_t target;  // one HWY_* bit
    const EscapeVariant* variants;
    int count;  // at least 1; the first is the one to use without measuring
};

// The kernels for the target Highway's dispatch chooses at the time of the
// call: the best this CPU runs, or the one a test or benchmark picked with
// hwy::SetSupportedTargetsForTest.
const EscapeKernels& escapeKernels();

} // namespace mandel
