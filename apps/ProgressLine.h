#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace mandel {

// Seconds since a fixed moment, never going back: what the line measures
// time with. Tests pass a clock of their own.
using SecondsClock = std::function<double()>;

// This machine's steady clock, in seconds.
double steadySeconds();

// A line on a terminal that tells how far a long picture has come: percent,
// pixels per second and time left, redrawn in place. Quiet for a picture
// that is done in a moment, and never redrawn more often than the eye
// can follow.
class ProgressLine {
public:
    // Reports on `out` for a picture of `totalPixels`.
    ProgressLine(std::ostream& out, std::int64_t totalPixels);

    // Notes that `donePixels` are finished, `seconds` after the start;
    // redraws the line when it is due.
    void update(std::int64_t donePixels, double seconds);

    // Clears the line, if one was drawn.
    void finish();

    // The text of the line: " 37%  52.1 Mpx/s  1 min 05 s left".
    static std::string text(std::int64_t donePixels, std::int64_t totalPixels, double seconds);

private:
    std::ostream& out_;
    std::int64_t total_;
    double lastShown_ = -1;
    std::size_t width_ = 0;  // of the text last drawn
};

} // namespace mandel
