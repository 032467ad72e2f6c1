// The window's one background-job type: the newest run wins, and nothing of
// an abandoned run arrives; a stopped run still hands back its result.
#include "WindowTestSupport.h"

#include "BackgroundJob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace mandel {
namespace {

// Work that reports `tag` as progress, waits until stopped or released,
// then hands back `tag`.
BackgroundJob::Work waiting(int tag, std::atomic<bool>& release, std::vector<int>& results)
{
    return [tag, &release, &results](BackgroundJob::Run& run) {
        run.progress(tag);
        while (!run.stopping() && !release.load())
            std::this_thread::yield();
        run.deliver([tag, &results] { results.push_back(tag); });
    };
}

TEST(BackgroundJob, TheNewestRunWinsAndAStoppedOneStillAnswers)
{
    testing::qtApp();
    std::vector<int> results, progress;
    std::atomic<bool> release{false};
    {
        BackgroundJob job;
        QObject::connect(&job, &BackgroundJob::progressed, [&progress](int p) { progress.push_back(p); });
        job.start(waiting(1, release, results));
        job.start(waiting(2, release, results));  // abandons the first
        ASSERT_TRUE(job.running());
        release = true;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !job.running(); }, 5000));
        QTest::qWait(50);
        EXPECT_EQ(results, std::vector<int>{2});
        EXPECT_EQ(progress.back(), 2);
        EXPECT_EQ(std::count(progress.begin(), progress.end(), 1), 0);

        release = false;
        job.start(waiting(3, release, results));
        job.stop();  // asked to stop, its answer still comes
        ASSERT_TRUE(QTest::qWaitFor([&] { return !job.running(); }, 5000));
        EXPECT_EQ(results, (std::vector<int>{2, 3}));

        job.start([](BackgroundJob::Run&) {});  // returns without a result
        ASSERT_TRUE(QTest::qWaitFor([&] { return !job.running(); }, 5000));
        job.start(waiting(4, release, results));
    }  // the job goes while a run waits: it is stopped and joined, its answer dropped
    QTest::qWait(50);
    EXPECT_EQ(results, (std::vector<int>{2, 3}));
}

} // namespace
} // namespace mandel
