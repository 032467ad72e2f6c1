#pragma once

#include <string>

namespace mandel {

struct ExplorerState;

// The prompt that opens the status line.
inline constexpr const char* kPrompt = "Select interesting area and CLICK";

// A number as the line prints it: a sign place (space or minus), the digits
// with at most `digits` significant ones, and a trailing space. Exponent form
// (1E+15) from 10^digits on and below 0.1.
std::string formatNumber(double v, int digits);

// The status line after a picture of `s`: prompt, 45 spaces, mode and
// magnification.
std::string statusLine(const ExplorerState& s);

// The magnification 10^zoom as the line prints it: a whole zoom in full
// digits below 10^15, from there on as " 1E+K " for any K (past the range
// of doubles too); a fractional one as mantissa and exponent with three
// significant digits, " 2E+2 " for log10 200, " 3.16E+5 " for 5.5.
std::string magnificationText(double zoom);

// The status line after a deep picture in colour mode `b` at 10^zoom: the
// same line as after a legacy picture at that magnification.
std::string deepStatusLine(float b, double zoom);

} // namespace mandel
