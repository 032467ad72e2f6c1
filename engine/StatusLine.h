#pragma once

#include <string>

namespace mandel {

struct ExplorerState;

// Where the status line is printed, in window pixels.
inline constexpr int kStatusX = 55;
inline constexpr int kStatusY = 670;

// The prompt that opens the status line.
inline constexpr const char* kPrompt = "Select interesting area and CLICK";

// A number as the line prints it: a sign place (space or minus), the digits
// with at most `digits` significant ones, and a trailing space. Exponent form
// (1E+15) from 10^digits on and below 0.1.
std::string formatNumber(double v, int digits);

// The status line after a picture of `s`: prompt, 45 spaces, mode and
// magnification.
std::string statusLine(const ExplorerState& s);

} // namespace mandel
