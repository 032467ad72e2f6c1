#include "SmoothColours.h"

#include "Numbers.h"

#include <array>
#include <charconv>

namespace mandel {

namespace {

constexpr GradientStop stop(float at, std::uint32_t rgb)
{
    return {at, static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
            static_cast<std::uint8_t>(rgb)};
}

// Each cycle starts dark, so bands read as steps outward from the set; the
// last stop leads back into the first, as the gradient repeats.
const std::vector<BuiltInPalette>& table()
{
    static const std::vector<BuiltInPalette> palettes = {
        {"classic", {stop(0, 0x000764), stop(0.16f, 0x206bcb), stop(0.42f, 0xedffff), stop(0.6425f, 0xffaa00),
                     stop(0.8575f, 0x000200)}, {0, 0, 0}},
        {"fire", {stop(0, 0x140000), stop(0.25f, 0x8f1d00), stop(0.5f, 0xff7a00), stop(0.7f, 0xffe38a),
                  stop(0.88f, 0x6a0f00)}, {0, 0, 0}},
        {"ice", {stop(0, 0x02081a), stop(0.3f, 0x10447a), stop(0.6f, 0x7fc8f0), stop(0.8f, 0xf4fbff),
                 stop(0.92f, 0x1a4f7f)}, {0, 0, 0}},
        {"grey", {stop(0, 0x101010), stop(0.5f, 0xf0f0f0)}, {0, 0, 0}},
        {"contrast", {stop(0, 0x000000), stop(0.2f, 0xffffff), stop(0.5f, 0x000000), stop(0.7f, 0xff2020)},
         {255, 255, 255}},
        {"sunset", {stop(0, 0x1a0533), stop(0.25f, 0x6b1b6e), stop(0.5f, 0xd9455f), stop(0.75f, 0xffb35c)},
         {0, 0, 0}},
        {"ocean", {stop(0, 0x001219), stop(0.25f, 0x005f73), stop(0.45f, 0x0a9396), stop(0.65f, 0x94d2bd),
                   stop(0.82f, 0xe9d8a6)}, {0, 0, 0}},
        {"forest", {stop(0, 0x0b1d0b), stop(0.3f, 0x2d5a27), stop(0.6f, 0x9fc25b), stop(0.8f, 0xf2eac2)},
         {0, 0, 0}},
        {"spectrum", {stop(0, 0xff3030), stop(0.2f, 0xffd030), stop(0.4f, 0x30d050), stop(0.6f, 0x30a0ff),
                      stop(0.8f, 0xa040ff)}, {0, 0, 0}},
        {"copper", {stop(0, 0x120804), stop(0.35f, 0x7a3b1a), stop(0.65f, 0xe8a36a), stop(0.8f, 0xfff0d8)},
         {0, 0, 0}},
    };
    return palettes;
}

std::string decimalOf(float v)
{
    std::array<char, 64> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed);
    return std::string(buf.data(), r.ptr);
}

std::optional<int> hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return std::nullopt;
}

} // namespace

std::span<const BuiltInPalette> builtInPalettes() { return table(); }

const BuiltInPalette* findPalette(std::string_view name)
{
    for (const BuiltInPalette& p : table())
        if (p.name == name)
            return &p;
    return nullptr;
}

std::span<const GradientStop> stopsOf(const SmoothColours& colours)
{
    if (colours.palette.empty())
        return colours.stops;
    const BuiltInPalette* p = findPalette(colours.palette);
    return p ? std::span<const GradientStop>(p->stops) : std::span<const GradientStop>();
}

std::string paletteNames()
{
    std::string names;
    for (const BuiltInPalette& p : table())
        names += (names.empty() ? "" : ", ") + std::string(p.name);
    return names;
}

std::optional<std::vector<GradientStop>> parseStops(std::string_view text)
{
    const auto parts = splitAt(text, ',');
    if (parts.size() > kMaxStops)
        return std::nullopt;
    std::vector<GradientStop> stops;
    int placed = 0;
    for (const std::string_view part : parts) {
        const auto atSign = part.find('@');
        const std::string_view hex = part.substr(0, atSign);
        if (hex.size() != 6)
            return std::nullopt;
        int rgb[3];
        for (std::size_t k = 0; k < 3; ++k) {
            const auto hi = hexDigit(hex[2 * k]), lo = hexDigit(hex[2 * k + 1]);
            if (!hi || !lo)
                return std::nullopt;
            rgb[k] = *hi * 16 + *lo;
        }
        GradientStop s{0, static_cast<std::uint8_t>(rgb[0]), static_cast<std::uint8_t>(rgb[1]),
                       static_cast<std::uint8_t>(rgb[2])};
        if (atSign != std::string_view::npos) {
            const auto at = readSingle(part.substr(atSign + 1), 0.0f, 1.0f);
            if (!at || (!stops.empty() && !(*at > stops.back().at)))
                return std::nullopt;
            s.at = *at;
            ++placed;
        }
        stops.push_back(s);
    }
    if (placed == 0)
        for (std::size_t k = 0; k < stops.size(); ++k)
            stops[k].at = static_cast<float>(k) / static_cast<float>(stops.size());
    else if (placed != static_cast<int>(stops.size()))
        return std::nullopt;
    return stops;
}

std::string formatStops(std::span<const GradientStop> stops)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const GradientStop& s : stops) {
        if (!text.empty())
            text += ',';
        for (const std::uint8_t c : {s.red, s.green, s.blue}) {
            text += kHex[c >> 4];
            text += kHex[c & 15];
        }
        text += '@' + decimalOf(s.at);
    }
    return text;
}

std::optional<Density> parseDensity(std::string_view text)
{
    constexpr std::string_view kLog = "log:";
    Density d;
    if (text.substr(0, kLog.size()) == kLog) {
        d.logarithmic = true;
        text.remove_prefix(kLog.size());
    }
    const auto v = readSingle(text, 0.0f, kMaxDensity);
    if (!v || !(*v > 0))
        return std::nullopt;
    d.value = *v;
    return d;
}

std::string formatDensity(float value, bool logarithmic)
{
    return (logarithmic ? "log:" : "") + decimalOf(value);
}

std::optional<Shading> parseShading(std::string_view text)
{
    for (const Shading s : {Shading::None, Shading::Distance, Shading::Slopes})
        if (text == shadingName(s))
            return s;
    return std::nullopt;
}

std::string_view shadingName(Shading shading)
{
    switch (shading) {
    case Shading::Distance:
        return "distance";
    case Shading::Slopes:
        return "slopes";
    case Shading::None:
        break;
    }
    return "none";
}

} // namespace mandel
