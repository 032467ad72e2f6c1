#include "StatusLine.h"

#include "ExplorerState.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace mandel {

namespace {

// Drops trailing zeros of a fraction, and the point if nothing is left.
std::string trimFraction(std::string s)
{
    if (s.find('.') == std::string::npos)
        return s;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

} // namespace

std::string formatNumber(double v, int digits)
{
    if (std::isnan(v))
        return " NaN ";
    if (std::isinf(v))
        return v < 0 ? "-Inf " : " Inf ";
    std::string sign = std::signbit(v) && v != 0.0 ? "-" : " ";
    const double a = std::fabs(v);
    if (a == 0.0)
        return " 0 ";
    // Round to `digits` significant digits first: the exponent of the
    // rounded value decides the form (9.99999999999999999E14 prints 1E+15).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", digits - 1, a);
    const std::string_view text(buf);
    const std::size_t e = text.find('E');
    const int exponent = std::atoi(buf + e + 1);
    std::string body;
    if (exponent >= digits || exponent < -1) {
        const std::string mantissa = trimFraction(std::string(text.substr(0, e)));
        char ebuf[16];
        std::snprintf(ebuf, sizeof ebuf, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        body = mantissa + ebuf;
    } else {
        const int decimals = digits - 1 - exponent;
        std::snprintf(buf, sizeof buf, "%.*f", decimals, a);
        body = trimFraction(buf);
        if (body.rfind("0.", 0) == 0)
            body.erase(0, 1);  // fractions print without their leading zero
    }
    return sign + body + " ";
}

namespace {

std::string lineWith(float b, const std::string& magnification)
{
    std::string line = kPrompt;
    line += std::string(45, ' ');
    line += "mode = ";
    line += formatNumber(static_cast<double>(b), 7);
    line += "                   magnification ";
    line += magnification;
    line += " times";
    return line;
}

} // namespace

std::string statusLine(const ExplorerState& s)
{
    return lineWith(s.b, formatNumber(s.f1, 15));
}

std::string magnificationText(double zoom)
{
    if (zoom == std::floor(zoom)) {
        const long long k = static_cast<long long>(zoom);
        if (k < 15)
            return " 1" + std::string(static_cast<std::size_t>(k < 0 ? 0 : k), '0') + " ";
        return " 1E+" + std::to_string(k) + " ";
    }
    // 10^K = m * 10^e with 1 <= m < 10; m rounded to three digits may
    // carry into the exponent (9.996 prints 1E+(e+1)).
    long long e = static_cast<long long>(std::floor(zoom));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", std::pow(10.0, zoom - std::floor(zoom)));
    std::string mantissa = trimFraction(buf);
    if (mantissa == "10") {
        mantissa = "1";
        ++e;
    }
    return " " + mantissa + "E+" + std::to_string(e) + " ";
}

std::string deepStatusLine(float b, double zoom)
{
    return lineWith(b, magnificationText(zoom));
}

} // namespace mandel
