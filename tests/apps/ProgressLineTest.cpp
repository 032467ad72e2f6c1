#include "ProgressLine.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mandel {
namespace {

TEST(ProgressLine, TextsSayShareRateAndTimeLeft)
{
    const struct {
        std::int64_t done, total;
        double seconds;
        const char* text;
    } moments[] = {
        {0, 100, 1.0, "  0%  0.0 Mpx/s  time left unknown"},
        {999999, 1000000, 1.0, " 99%  1.0 Mpx/s  1 s left"},  // never shows done early
        {1000000, 268435456, 1.0, "  0%  1.0 Mpx/s  4 min 28 s left"},
        {1000000, 4294836225, 1.0, "  0%  1.0 Mpx/s  1 h 11 min left"},
    };
    for (const auto& m : moments)
        EXPECT_EQ(ProgressLine::text(m.done, m.total, m.seconds), m.text);
}

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

    std::ostringstream quiet;
    ProgressLine never(quiet, 10);
    never.update(10, 0.2);
    never.finish();
    EXPECT_EQ(quiet.str(), "") << "a line never shown leaves nothing to clear";
}

} // namespace
} // namespace mandel
