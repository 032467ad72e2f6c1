#include "ThreadPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

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

namespace mandel {
namespace {

TEST(ThreadPool, TheSharedPoolIsOneForTheProcessWithEveryHardwareThread)
{
    ThreadPool& pool = ThreadPool::shared();
    EXPECT_EQ(&pool, &ThreadPool::shared());
    EXPECT_EQ(pool.size(), static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

struct Callers {
    const char* name;
    int poolThreads;
    int callers;
};

TEST(ThreadPool, CallersOnSeveralThreadsTakeTurnsAndEachJobRunsWhole)
{
    const Callers cases[] = {{"two callers, 2 threads", 2, 2}, {"four callers, 3 threads", 3, 4}, {"three callers, 1 thread", 1, 3}};
    for (const Callers& c : cases) {
        ThreadPool pool(c.poolThreads);
        std::atomic<int> inside{0}, most{0}, calls{0};
        auto call = [&] {
            for (int round = 0; round < 100; ++round) {
                std::atomic<int> seen{0};
                auto job = [&](int) {
                    const int now = inside.fetch_add(1) + 1;
                    int m = most.load();
                    while (now > m && !most.compare_exchange_weak(m, now)) {
                    }
                    seen.fetch_add(1);
                    calls.fetch_add(1);
                    inside.fetch_sub(1);
                };
                pool.run(job);
                // Every call of this job has returned when run does.
                ASSERT_EQ(seen.load(), c.poolThreads) << c.name;
            }
        };
        std::vector<std::jthread> callers;
        for (int i = 0; i < c.callers; ++i)
            callers.emplace_back(call);
        callers.clear();
        EXPECT_EQ(calls.load(), c.callers * 100 * c.poolThreads) << c.name;
        EXPECT_LE(most.load(), c.poolThreads) << c.name << ": two jobs ran at once";
    }
}

TEST(ThreadPool, AJobThatRunsTheSamePoolGetsEveryCallOnItsOwnThread)
{
    ThreadPool pool(3);
    std::atomic<int> innerCalls{0};
    std::atomic<bool> innerOnOneThread{true};
    auto outer = [&](int) {
        const auto me = std::this_thread::get_id();
        auto inner = [&](int) {
            innerCalls.fetch_add(1);
            if (std::this_thread::get_id() != me)
                innerOnOneThread = false;
        };
        pool.run(inner);
    };
    pool.run(outer);
    EXPECT_EQ(innerCalls.load(), 9);
    EXPECT_TRUE(innerOnOneThread.load());
}

#if defined(__linux__)
// CPUs a thread may run on.
int allowedCpus()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (pthread_getaffinity_np(pthread_self(), sizeof set, &set) != 0)
        return -1;
    return CPU_COUNT(&set);
}

TEST(ThreadPool, WorkersKeepToOneCoreOnlyWhenAsked)
{
    const int cpus = allowedCpus();
    if (cpus < 2)
        GTEST_SKIP() << "one CPU: nothing to pin to";
    for (const bool pin : {false, true}) {
        ThreadPool pool(2, pin);
        std::atomic<int> workerCpus{0};
        auto job = [&](int i) {
            if (i == 1)
                workerCpus = allowedCpus();
        };
        pool.run(job);
        EXPECT_EQ(workerCpus.load(), pin ? 1 : cpus) << (pin ? "pinned" : "not pinned");
    }
}
#endif

} // namespace
} // namespace mandel
