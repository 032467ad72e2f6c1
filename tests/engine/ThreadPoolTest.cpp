#include "ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace mandel {
namespace {

struct PoolCase {
    int asked;
    int size;
};

TEST(ThreadPool, RunsTheJobOnceOnEveryThreadAndTheCallerIsThreadZero)
{
    const PoolCase cases[] = {{-3, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 3}, {5, 5}};
    for (const auto& c : cases) {
        ThreadPool pool(c.asked);
        ASSERT_EQ(pool.size(), c.size) << "asked " << c.asked;
        // Many jobs in a row: a worker that missed or repeated one shows.
        for (int round = 0; round < 200; ++round) {
            std::vector<std::atomic<int>> calls(static_cast<std::size_t>(c.size));
            std::thread::id zero;
            auto job = [&](int i) {
                calls[static_cast<std::size_t>(i)].fetch_add(1);
                if (i == 0)
                    zero = std::this_thread::get_id();
            };
            pool.run(job);
            for (int i = 0; i < c.size; ++i)
                ASSERT_EQ(calls[static_cast<std::size_t>(i)].load(), 1) << "thread " << i << ", round " << round;
            ASSERT_EQ(zero, std::this_thread::get_id());
        }
    }
}

TEST(ThreadPool, RunReturnsOnlyWhenEveryThreadHasFinished)
{
    ThreadPool pool(3);
    std::atomic<int> finished{0};
    auto job = [&](int i) {
        // The workers finish well after the caller.
        if (i != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        finished.fetch_add(1);
    };
    pool.run(job);
    EXPECT_EQ(finished.load(), 3);
}

TEST(ThreadPool, WorkersThatSleptThroughALongPauseStillTakeTheNextJob)
{
    ThreadPool pool(2);
    std::atomic<int> calls{0};
    auto job = [&](int) { calls.fetch_add(1); };
    pool.run(job);
    // Longer than the workers keep spinning.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pool.run(job);
    EXPECT_EQ(calls.load(), 4);
}

} // namespace
} // namespace mandel
