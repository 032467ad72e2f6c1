#include "SegmentSchedule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace mandel {
namespace {

struct RowsCase {
    const char* name;
    int rows, segment;
    SegmentRows want;
};

TEST(SegmentSchedule, SegmentsCoverEachColumnTopToBottomThenTheNext)
{
    const RowsCase cases[] = {
        {"first of a picture column", 601, 0, {0, 0, 160}},
        {"last, short, of a picture column", 601, 3, {0, 480, 601}},
        {"first of the second column", 601, 4, {1, 0, 160}},
        {"one segment per column, exactly full", 160, 7, {7, 0, 160}},
        {"a column one row longer than a segment", 161, 3, {1, 160, 161}},
        {"a single row", 1, 9, {9, 0, 1}},
    };
    for (const RowsCase& c : cases) {
        const SegmentRows got = segmentRows(c.segment, c.rows);
        EXPECT_EQ(got.column, c.want.column) << c.name;
        EXPECT_EQ(got.first, c.want.first) << c.name;
        EXPECT_EQ(got.end, c.want.end) << c.name;
    }
}

struct ShareCase {
    const char* name;
    int threads, columns, rows;
};

TEST(SegmentSchedule, ThreadsTakingAtOnceGetEverySegmentExactlyOnce)
{
    const ShareCase cases[] = {
        {"picture run, 2 threads", 2, 40, 601},
        {"fewer segments than threads", 4, 1, 100},
        {"one thread", 1, 13, 601},
        {"many small segments, 3 threads", 3, 400, 160},
    };
    for (const ShareCase& c : cases) {
        std::vector<SegmentRange> ranges(static_cast<std::size_t>(c.threads));
        shareSegments(ranges.data(), c.threads, c.columns, c.rows);
        const int total = c.columns * segmentsPerColumn(c.rows);
        std::vector<std::atomic<int>> taken(static_cast<std::size_t>(total));
        {
            std::vector<std::jthread> threads;
            for (int i = 0; i < c.threads; ++i) {
                threads.emplace_back([&, i] {
                    for (int s; (s = nextSegment(ranges.data(), c.threads, i)) >= 0;)
                        taken[static_cast<std::size_t>(s)].fetch_add(1);
                });
            }
        }
        for (int s = 0; s < total; ++s)
            ASSERT_EQ(taken[static_cast<std::size_t>(s)].load(), 1) << c.name << ", segment " << s;
        EXPECT_EQ(nextSegment(ranges.data(), c.threads, 0), -1) << c.name << ": nothing left";
    }
}

TEST(SegmentSchedule, AThreadTakesItsOwnStretchInOrderThenHelpsFromTheOthersBacks)
{
    // 2 threads, 10 segments: thread 0 owns 0..4, thread 1 owns 5..9. With
    // thread 1 idle, thread 0 drains its own in drawing order, then
    // thread 1's from the far end, so the owner would meet it in the middle.
    std::vector<SegmentRange> ranges(2);
    shareSegments(ranges.data(), 2, 10, 1);
    std::vector<int> order;
    for (int s; (s = nextSegment(ranges.data(), 2, 0)) >= 0;)
        order.push_back(s);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 9, 8, 7, 6, 5}));

    // The owner and a helper meet without taking a segment twice.
    shareSegments(ranges.data(), 2, 4, 1);
    EXPECT_EQ(takeSegment(ranges[1], true), 2);
    EXPECT_EQ(takeSegment(ranges[1], false), 3);
    EXPECT_EQ(takeSegment(ranges[1], true), -1);
    EXPECT_EQ(takeSegment(ranges[1], false), -1);
}

} // namespace
} // namespace mandel
