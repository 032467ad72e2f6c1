#include "ProgressLine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace mandel {

namespace {

// A picture done within this many seconds shows no line at all.
constexpr double kQuietStart = 0.5;
// Seconds between two redraws.
constexpr double kRedrawEvery = 0.25;

std::string timeLeft(double seconds)
{
    const auto s = static_cast<long long>(std::ceil(seconds));
    char buf[48];
    if (s < 60)
        std::snprintf(buf, sizeof buf, "%lld s left", s);
    else if (s < 3600)
        std::snprintf(buf, sizeof buf, "%lld min %02lld s left", s / 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld h %02lld min left", s / 3600, s % 3600 / 60);
    return buf;
}

} // namespace

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ProgressLine::ProgressLine(std::ostream& out, std::int64_t totalPixels) : out_(out), total_(totalPixels) {}

std::string ProgressLine::text(std::int64_t donePixels, std::int64_t totalPixels, double seconds)
{
    const double share = totalPixels > 0 ? static_cast<double>(donePixels) / static_cast<double>(totalPixels) : 1.0;
    const double rate = seconds > 0 ? static_cast<double>(donePixels) / seconds : 0.0;
    char head[64];
    std::snprintf(head, sizeof head, "%3d%%  %.1f Mpx/s  ", static_cast<int>(std::floor(share * 100.0)), rate / 1e6);
    if (rate <= 0)
        return std::string(head) + "time left unknown";
    return head + timeLeft(static_cast<double>(totalPixels - donePixels) / rate);
}

void ProgressLine::update(std::int64_t donePixels, double seconds)
{
    if (seconds < kQuietStart || (lastShown_ >= 0 && seconds - lastShown_ < kRedrawEvery))
        return;
    lastShown_ = seconds;
    const std::string line = text(donePixels, total_, seconds);
    // Blanks wipe what a longer earlier line left.
    out_ << '\r' << line << std::string(width_ > line.size() ? width_ - line.size() : 0, ' ') << std::flush;
    width_ = line.size();
}

void ProgressLine::finish()
{
    if (width_ == 0)
        return;
    out_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    width_ = 0;
}

} // namespace mandel
