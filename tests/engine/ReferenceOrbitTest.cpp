// The reference orbit: extending one gives what computing it at once gives;
// it refuses an orbit memory cannot hold and stops when asked. Its values
// are checked through the deep differential tests.

#include "ReferenceOrbit.h"

#include <gtest/gtest.h>

#include <string>

namespace mandel {
namespace {

TEST(ReferenceOrbit, ExtendingGivesWhatOneLongRunGives)
{
    const DeepCentre view{"-0.7436438870371587", "0.1318259042053119", 15, 1000};
    auto extended = ReferenceOrbit::compute(view);
    auto atOnce = ReferenceOrbit::compute({view.re, view.im, view.zoom, 3000});
    ASSERT_TRUE(extended.ok() && atOnce.ok());
    ASSERT_TRUE((*extended)->extend(3000).ok());
    ASSERT_TRUE((*extended)->extend(500).ok());  // a smaller cap changes nothing
    EXPECT_EQ((*extended)->view().iterations, 3000);
    ASSERT_EQ((*extended)->size(), (*atOnce)->size());
    for (long long m = 0; m < 2 * (*atOnce)->size(); ++m)
        ASSERT_EQ((*extended)->values()[m], (*atOnce)->values()[m]) << m / 2;
}

TEST(ReferenceOrbit, RefusesWhatDoesNotFitAndStopsWhenAsked)
{
    WorkControl small;
    small.memoryLimit = 1000;
    const auto refused = ReferenceOrbit::compute({"-0.75", "0.1", 30, 100000}, small);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find("memory"), std::string::npos) << refused.error();

    int reports = 0;
    WorkControl stopping;
    stopping.progress = [&](double done) {
        EXPECT_TRUE(done >= 0.0 && done <= 1.0) << done;
        return ++reports < 3;
    };
    const auto stopped = ReferenceOrbit::compute({"0", "0", 30, 100000}, stopping);
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.error(), "stopped");
    EXPECT_EQ(reports, 3);
}

} // namespace
} // namespace mandel
