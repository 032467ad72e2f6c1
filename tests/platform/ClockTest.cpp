#include "Clock.h"

#include "FixedClock.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

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

// The local date and time as strftime writes them, for `format`.
std::string localNow(const char* format)
{
    const std::time_t raw = std::time(nullptr);
    std::tm local{};
    localtime_r(&raw, &local);
    char buf[32];
    return std::string(buf, std::strftime(buf, sizeof buf, format, &local));
}

TEST(Clock, SystemClockTextsHaveTheirWidths)
{
    const SystemClock clock;
    EXPECT_EQ(clock.dateText().size(), 10u);
    EXPECT_EQ(clock.timeText().size(), 8u);
    // Today's date and the time now, read around the clock's own reading so
    // that a second (or a midnight) passing in between is allowed for.
    const std::string dateBefore = localNow("%m-%d-%Y"), timeBefore = localNow("%H:%M:%S");
    const std::string date = clock.dateText(), time = clock.timeText();
    const std::string dateAfter = localNow("%m-%d-%Y"), timeAfter = localNow("%H:%M:%S");
    EXPECT_TRUE(date == dateBefore || date == dateAfter) << date << " is not today, " << dateBefore;
    EXPECT_TRUE(time >= timeBefore && time <= timeAfter) << time << " is not now, " << timeBefore;
}

} // namespace
} // namespace mandel
