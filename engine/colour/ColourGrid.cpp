#include "ColourGrid.h"

#include "ThreadPool.h"

#include <atomic>

namespace mandel {

bool colourGrid(const ColourTables& tables, const PointResult* grid, int columns, int rows, const std::int32_t* before,
                Colour* out, ThreadPool* pool)
{
    if (columns <= 0 || rows <= 0)
        return true;
    std::atomic<bool> formed{true};
    const int threads = pool ? pool->size() : 1;
    // Whole columns per thread, in stretches, so each writes its own memory.
    auto job = [&](int i) {
        const int from = static_cast<int>(static_cast<long long>(columns) * i / threads);
        const int to = static_cast<int>(static_cast<long long>(columns) * (i + 1) / threads);
        bool mine = true;
        for (int c = from; c < to; ++c) {
            const auto at = static_cast<std::size_t>(c) * static_cast<std::size_t>(rows);
            mine = tables.colourColumn(grid + at, rows, before[c], out + at) && mine;
        }
        if (!mine)
            formed.store(false, std::memory_order_relaxed);
    };
    if (pool)
        pool->run(job);
    else
        job(0);
    return formed.load(std::memory_order_relaxed);
}

} // namespace mandel
