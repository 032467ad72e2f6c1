#include "Numbers.h"

#include <charconv>

namespace mandel {

namespace {

bool isDigits(std::string_view text)
{
    if (text.empty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

bool isUnsignedDecimal(std::string_view text)
{
    const auto point = text.find('.');
    if (point == std::string_view::npos)
        return isDigits(text);
    return isDigits(text.substr(0, point)) && isDigits(text.substr(point + 1));
}

std::vector<std::string_view> splitAt(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos)
            return parts;
        start = at + 1;
    }
}

std::optional<long long> readWhole(std::string_view text, long long lo, long long hi)
{
    if (!isDigits(text) || text.size() > 18)
        return std::nullopt;
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi)
        return std::nullopt;
    return v;
}

std::optional<float> readSingle(std::string_view text, float lo, float hi)
{
    if (!isUnsignedDecimal(text))
        return std::nullopt;
    float v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    // Beyond a single's range either way is refused.
    if (ec != std::errc() || end != text.data() + text.size() || !(v >= lo && v < hi))
        return std::nullopt;
    return v;
}

std::optional<double> readDouble(std::string_view text, double lo, double hi)
{
    if (!isUnsignedDecimal(text))
        return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !(v >= lo && v <= hi))
        return std::nullopt;
    return v;
}

std::string writeDouble(double v)
{
    // Fixed notation keeps the grammar; to_chars gives the shortest digits
    // that read back to the same double.
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

std::optional<std::vector<float>> readSingles(std::string_view text, std::size_t count, float lo, float hi)
{
    const auto parts = splitAt(text, ',');
    if (parts.size() != count)
        return std::nullopt;
    std::vector<float> values;
    for (const std::string_view part : parts) {
        const auto v = readSingle(part, lo, hi);
        if (!v)
            return std::nullopt;
        values.push_back(*v);
    }
    return values;
}

std::optional<std::vector<float>> readWholes(std::string_view text, std::size_t count, long long lo, long long hi)
{
    const auto parts = splitAt(text, ',');
    if (parts.size() != count)
        return std::nullopt;
    std::vector<float> values;
    for (const std::string_view part : parts) {
        const auto v = readWhole(part, lo, hi);
        if (!v)
            return std::nullopt;
        values.push_back(static_cast<float>(*v));
    }
    return values;
}

} // namespace mandel
