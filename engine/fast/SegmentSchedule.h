#pragma once

#include <atomic>
#include <cstdint>

namespace mandel {

// How the threads of a pool share out the points of a run of columns.
// A segment is kSegmentRows rows of one column: segment s is rows
// (s % perColumn) * kSegmentRows onwards of column s / perColumn. Each
// thread owns a stretch of segments in drawing order and takes from its
// front; a thread that has run out takes from the back of the others'.

// Rows of one column that a thread takes as one piece of work.
inline constexpr int kSegmentRows = 160;

// Segments front..back-1 of one thread's share, packed in one word so that
// the owner and a helper never take the same one.
struct alignas(64) SegmentRange {
    std::atomic<std::uint64_t> span{0};

    void set(std::uint32_t front, std::uint32_t back) noexcept
    {
        span.store(std::uint64_t{back} << 32 | front, std::memory_order_relaxed);
    }
};

// The rows of one segment: column, first row and the row after the last.
struct SegmentRows {
    int column;
    int first;
    int end;
};

// Segments in one column of `rows` rows.
int segmentsPerColumn(int rows) noexcept;

// The rows segment `s` covers in columns of `rows` rows.
SegmentRows segmentRows(int s, int rows) noexcept;

// Gives each of `threads` ranges an equal stretch of the segments of
// `columns` columns of `rows` rows, in drawing order.
void shareSegments(SegmentRange* ranges, int threads, int columns, int rows) noexcept;

// Takes one segment from the front (the owner) or the back (a helper) of
// `r`; -1 when it is empty. Safe against concurrent takers.
int takeSegment(SegmentRange& r, bool front) noexcept;

// The next segment for thread `self`: its own share first, so each thread
// writes its own stretch of results (threads writing side by side fight
// over cache lines), then the others' leftovers; -1 when none is left.
int nextSegment(SegmentRange* ranges, int threads, int self) noexcept;

} // namespace mandel
