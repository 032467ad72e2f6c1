// The reference orbit: extending one gives what computing it at once gives;
// it refuses an orbit memory cannot hold and stops when asked; it holds
// what its estimate says, reports progress now and then, keeps an escape
// once and values below the range of doubles in full. Its values are
// checked through the deep differential tests.

#include "DeepViews.h"
#include "ReferenceOrbit.h"

#include <gtest/gtest.h>

#include <cmath>
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

TEST(ReferenceOrbit, HoldsWhatItsEstimateSays)
{
    // c = 0 never escapes and never comes below the range of doubles.
    auto atOnce = ReferenceOrbit::compute({"0", "0", 30, 5000});
    auto extended = ReferenceOrbit::compute({"0", "0", 30, 1000});
    ASSERT_TRUE(atOnce.ok() && extended.ok());
    ASSERT_TRUE((*extended)->extend(3000).ok() && (*extended)->extend(5000).ok());
    EXPECT_EQ((*atOnce)->bytes(), ReferenceOrbit::bytesFor(5000));
    EXPECT_EQ((*extended)->bytes(), ReferenceOrbit::bytesFor(5000));
}

TEST(ReferenceOrbit, ReportsProgressEvery8192StepsAndKeepsAnEscapeOnce)
{
    int reports = 0;
    WorkControl counting;
    counting.progress = [&](double) { return ++reports > 0; };
    const auto counted = ReferenceOrbit::compute({"0", "0", 30, 100000}, counting);
    ASSERT_TRUE(counted.ok()) << counted.error();
    EXPECT_GE(reports, 100000 / 8192);
    EXPECT_LE(reports, 100000 / 8192 + 2);

    // c = 1: 0, 1, 2, and 2 is where it escapes.
    auto escaping = ReferenceOrbit::compute({"1", "0", 30, 200});
    ASSERT_TRUE(escaping.ok());
    for (const long long cap : {300, 400}) {
        ASSERT_TRUE((*escaping)->extend(cap).ok());
        EXPECT_TRUE((*escaping)->escaped());
        EXPECT_EQ((*escaping)->size(), 3);
        EXPECT_EQ((*escaping)->view().iterations, cap);
    }
}

TEST(ReferenceOrbit, KeepsValuesBelowTheDoublesInFullOnTheRealAxis)
{
    // Z_3, Z_6, ... of the period-3 nucleus come as near 0 as the
    // precision of 1E+330 lets them, exactly on the axis.
    const DeepCentre view{std::string(testing::kAirplane), "0", 330, 3000};
    auto orbit = ReferenceOrbit::compute(view);
    ASSERT_TRUE(orbit.ok()) << orbit.error();
    const ComplexExp z3 = (*orbit)->exact(3);
    EXPECT_EQ((*orbit)->values()[6], 0.0);  // below every double
    ASSERT_NE(z3.re, 0.0);
    EXPECT_EQ(z3.im, 0.0);
    EXPECT_LT(std::log2(std::fabs(z3.re)) + static_cast<double>(z3.e), -1100);
    EXPECT_GT((*orbit)->bytes(), ReferenceOrbit::bytesFor(3000));

    // Those values count against the memory limit too.
    WorkControl tight;
    tight.memoryLimit = ReferenceOrbit::bytesFor(3000);
    EXPECT_FALSE(ReferenceOrbit::compute(view, tight).ok());
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
