#include "Clock.h"

#include <cstdio>
#include <ctime>

namespace mandel {

namespace {
// Two digits for 0-99; other values are clamped so the text keeps its width.
int clamp2(int v) { return v < 0 ? 0 : (v > 99 ? 99 : v); }
int clamp4(int v) { return v < 0 ? 0 : (v > 9999 ? 9999 : v); }
} // namespace

std::string Clock::dateText() const
{
    const LocalDateTime t = now();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", clamp2(t.month), clamp2(t.day), clamp4(t.year));
    return buf;
}

std::string Clock::timeText() const
{
    const LocalDateTime t = now();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", clamp2(t.hour), clamp2(t.minute), clamp2(t.second));
    return buf;
}

LocalDateTime SystemClock::now() const
{
    const std::time_t raw = std::time(nullptr);
    std::tm local{};
    localtime_r(&raw, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour, local.tm_min, local.tm_sec};
}

} // namespace mandel
