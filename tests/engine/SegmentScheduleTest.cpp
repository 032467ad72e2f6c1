#include "SegmentSchedule.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace mandel {
namespace {

// Threads taking segments at once, as a pool's do: every row of every
// column is computed exactly once, and nothing is left.
TEST(SegmentSchedule, ThreadsTakingAtOnceCoverEveryRowOfEveryColumnOnce)
{
    const struct {
        const char* name;
        int threads, columns, rows;
    } cases[] = {
        {"picture run, 2 threads", 2, 40, 601},
        {"fewer segments than threads", 4, 1, 100},
        {"one thread", 1, 13, 601},
        {"columns one row longer than a segment, 3 threads", 3, 50, kSegmentRows + 1},
        {"many exactly full segments, 3 threads", 3, 400, kSegmentRows},
        {"single rows", 3, 30, 1},
    };
    for (const auto& c : cases) {
        std::vector<SegmentRange> ranges(static_cast<std::size_t>(c.threads));
        shareSegments(ranges.data(), c.threads, c.columns, c.rows);
        std::vector<std::atomic<int>> done(static_cast<std::size_t>(c.columns * c.rows));
        {
            std::vector<std::jthread> threads;
            for (int i = 0; i < c.threads; ++i)
                threads.emplace_back([&, i] {
                    for (int s; (s = nextSegment(ranges.data(), c.threads, i)) >= 0;) {
                        const SegmentRows r = segmentRows(s, c.rows);
                        ASSERT_TRUE(r.column < c.columns && r.first >= 0 && r.end <= c.rows) << s;
                        ASSERT_LE(r.end - r.first, kSegmentRows);
                        for (int y = r.first; y < r.end; ++y)
                            done[static_cast<std::size_t>(r.column * c.rows + y)].fetch_add(1);
                    }
                });
        }
        for (std::size_t i = 0; i < done.size(); ++i)
            ASSERT_EQ(done[i].load(), 1) << c.name << ", column " << i / static_cast<std::size_t>(c.rows) << ", row "
                                         << i % static_cast<std::size_t>(c.rows);
        EXPECT_EQ(nextSegment(ranges.data(), c.threads, 0), -1) << c.name << ": nothing left";
    }
}

} // namespace
} // namespace mandel
