#include "Clock.h"

#include "FixedClock.h"

#include <gtest/gtest.h>

namespace mandel {
namespace {

struct ClockCase {
    LocalDateTime moment;
    const char* date;
    const char* time;
};

TEST(Clock, TextsAreZeroPaddedWithFixedPositions)
{
    const ClockCase cases[] = {
        {{2024, 3, 9, 8, 5, 7}, "03-09-2024", "08:05:07"},
        {{1999, 12, 31, 23, 59, 59}, "12-31-1999", "23:59:59"},
        {{2026, 1, 1, 0, 0, 0}, "01-01-2026", "00:00:00"},
        {{987, 7, 4, 13, 30, 1}, "07-04-0987", "13:30:01"},
    };
    for (const auto& c : cases) {
        const testing::FixedClock clock(c.moment);
        EXPECT_EQ(clock.dateText(), c.date);
        EXPECT_EQ(clock.timeText(), c.time);
    }
}

TEST(Clock, SystemClockTextsHaveTheirWidths)
{
    const SystemClock clock;
    EXPECT_EQ(clock.dateText().size(), 10u);
    EXPECT_EQ(clock.timeText().size(), 8u);
}

} // namespace
} // namespace mandel
