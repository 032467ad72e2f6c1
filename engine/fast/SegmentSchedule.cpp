#include "SegmentSchedule.h"

namespace mandel {

int segmentsPerColumn(int rows) noexcept
{
    return (rows + kSegmentRows - 1) / kSegmentRows;
}

SegmentRows segmentRows(int s, int rows) noexcept
{
    const int perColumn = segmentsPerColumn(rows);
    const int first = (s % perColumn) * kSegmentRows;
    const int end = first + kSegmentRows < rows ? first + kSegmentRows : rows;
    return {s / perColumn, first, end};
}

void shareSegments(SegmentRange* ranges, int threads, int columns, int rows) noexcept
{
    const auto segments = static_cast<std::uint64_t>(columns) * static_cast<std::uint64_t>(segmentsPerColumn(rows));
    const auto n = static_cast<std::uint64_t>(threads);
    for (std::uint64_t i = 0; i < n; ++i)
        ranges[i].set(static_cast<std::uint32_t>(segments * i / n), static_cast<std::uint32_t>(segments * (i + 1) / n));
}

int takeSegment(SegmentRange& r, bool front) noexcept
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

int nextSegment(SegmentRange* ranges, int threads, int self) noexcept
{
    const int own = takeSegment(ranges[self], true);
    if (own >= 0)
        return own;
    for (int k = 1; k < threads; ++k) {
        const int s = takeSegment(ranges[(self + k) % threads], false);
        if (s >= 0)
            return s;
    }
    return -1;
}

} // namespace mandel
