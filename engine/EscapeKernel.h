#pragma once

#include "PointResult.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace mandel {

// Rows of one column that a thread takes as one piece of work.
inline constexpr int kSegmentRows = 160;

// Extra readable (zero) entries the kernel needs past the last row of `cy`.
inline constexpr int kRowPadding = 64;

// Segments front..back-1 of one thread's share, packed in one word: the
// owner takes from the front, a thread that has run out from the back.
struct alignas(64) SegmentRange {
    std::atomic<std::uint64_t> span{0};

    void set(std::uint32_t front, std::uint32_t back) noexcept
    {
        span.store(std::uint64_t{back} << 32 | front, std::memory_order_relaxed);
    }
};

// One run of columns, shared by every thread that works on it. Segment s
// is rows s % perColumn * kSegmentRows onwards of column s / perColumn;
// thread i owns ranges[i] and helps the others when it is empty.
struct EscapeTask {
    const double* cx = nullptr;  // plane x of each column of the run
    const double* cy = nullptr;  // plane y of each row, zero-padded by kRowPadding
    int rows = 0;
    PointResult* out = nullptr;  // out[c * rows + y]
    SegmentRange* ranges = nullptr;
    int threads = 0;
};

// Buffers one thread's kernel keeps between pictures, and which thread it is.
struct EscapeScratch {
    explicit EscapeScratch(int self);
    int self;
    std::vector<double> zr, zi, ci, row, steps;
};

// Iterates every segment it can take from `task`, on the Highway target
// `target` (one HWY_* bit), or on the best one this CPU offers when 0.
void runEscapeKernel(std::int64_t target, const EscapeTask& task, EscapeScratch& scratch);

// The target runEscapeKernel(0, ...) uses on this CPU.
std::int64_t bestEscapeTarget();

// Every target compiled into the kernel that this CPU can run, best first.
std::vector<std::int64_t> escapeTargets();

// The Highway name of a target ("AVX3", "AVX2", "SSE4", "SCALAR", ...).
std::string escapeTargetName(std::int64_t target);

} // namespace mandel
