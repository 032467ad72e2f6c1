#include "ProgressLine.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mandel {
namespace {

struct Moment {
    const char* name;
    std::int64_t done, total;
    double seconds;
    const char* text;
};

class ProgressTexts : public ::testing::TestWithParam<Moment> {};

TEST_P(ProgressTexts, SayShareRateAndTimeLeft)
{
    const Moment& m = GetParam();
    EXPECT_EQ(ProgressLine::text(m.done, m.total, m.seconds), m.text);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, ProgressTexts,
    ::testing::Values(Moment{"NothingYet", 0, 100, 1.0, "  0%  0.0 Mpx/s  time left unknown"},
                      // 1/3 done: the share rounds down, never shows done early.
                      Moment{"ThirdRoundsDown", 1000000, 3000000, 2.0, " 33%  0.5 Mpx/s  4 s left"},
                      Moment{"AlmostDone", 999999, 1000000, 1.0, " 99%  1.0 Mpx/s  1 s left"},
                      Moment{"SecondsLeft", 50000000, 268435456, 10.0, " 18%  5.0 Mpx/s  44 s left"},
                      Moment{"MinutesLeft", 1000000, 268435456, 1.0, "  0%  1.0 Mpx/s  4 min 28 s left"},
                      Moment{"HoursLeft", 1000000, 4294836225, 1.0, "  0%  1.0 Mpx/s  1 h 11 min left"},
                      Moment{"Done", 10, 10, 0.5, "100%  0.0 Mpx/s  0 s left"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ProgressLine, QuietForAMomentThenRedrawnInPlaceAndClearedAtTheEnd)
{
    std::ostringstream out;
    ProgressLine line(out, 100000000);
    line.update(1000000, 0.1);
    line.update(2000000, 0.4);
    EXPECT_EQ(out.str(), "") << "a picture done in a moment shows nothing";
    line.update(30000000, 0.6);
    line.update(31000000, 0.7);  // too soon after the last one
    line.update(90000000, 1.0);
    const std::string first = " 30%  50.0 Mpx/s  2 s left";
    const std::string second = " 90%  90.0 Mpx/s  1 s left";
    EXPECT_EQ(out.str(), "\r" + first + "\r" + second);
    line.finish();
    EXPECT_EQ(out.str(), "\r" + first + "\r" + second + "\r" + std::string(second.size(), ' ') + "\r");
}

TEST(ProgressLine, ALineThatWasNeverShownLeavesNothingToClear)
{
    std::ostringstream out;
    ProgressLine line(out, 10);
    line.update(10, 0.2);
    line.finish();
    EXPECT_EQ(out.str(), "");
}

} // namespace
} // namespace mandel
