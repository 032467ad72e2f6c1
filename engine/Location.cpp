#include "Location.h"

#include "ExplorerState.h"
#include "OneLine.h"

#include <array>
#include <charconv>
#include <optional>

namespace mandel {

namespace {

constexpr std::string_view kBlank = " \t\r\n\f\v";

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kBlank);
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> split(std::string_view text, char separator)
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

bool isDigits(std::string_view text)
{
    if (text.empty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Digits, optionally a point and more digits: the unsigned decimals the
// fields of a location are written in (no exponent, no inf or nan).
bool isUnsignedDecimal(std::string_view text)
{
    const auto point = text.find('.');
    if (point == std::string_view::npos)
        return isDigits(text);
    return isDigits(text.substr(0, point)) && isDigits(text.substr(point + 1));
}

// The single nearest to the decimal `text`, when it lies in [lo, hi).
std::optional<float> singleIn(std::string_view text, float lo, float hi)
{
    if (!isUnsignedDecimal(text))
        return std::nullopt;
    float v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !(v >= lo && v < hi))
        return std::nullopt;
    return v;
}

std::optional<long long> wholeIn(std::string_view text, long long lo, long long hi)
{
    if (!isDigits(text) || text.size() > 18)
        return std::nullopt;
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi)
        return std::nullopt;
    return v;
}

// A single in the shortest plain decimal that reads back to it.
std::string decimalOf(float v)
{
    std::array<char, 64> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed);
    return std::string(buf.data(), r.ptr);
}

std::string wholeOf(float v)
{
    return std::to_string(static_cast<long long>(v));
}

Failure refuse(std::string_view field, std::string_view accepts, std::string_view got)
{
    return fail("location: " + std::string(field) + " takes " + std::string(accepts) + ", got " + inQuotes(got));
}

DeepCentre& deepOf(Location& l)
{
    if (!l.deep)
        l.deep.emplace();
    return *l.deep;
}

// The fields of version 1, in the order they are written.
enum Field { kMode, kFn, kModuli, kClicks, kCentre, kZoom, kIterations, kSize, kFieldCount };
constexpr std::array<std::string_view, kFieldCount> kFieldNames = {"mode",   "fn",   "moduli",     "clicks",
                                                                   "centre", "zoom", "iterations", "size"};

Status readField(Field field, std::string_view value, Location& out)
{
    switch (field) {
    case kMode: {
        const auto v = wholeIn(value, 1, 9);
        if (!v)
            return refuse("mode", "a whole number 1 to 9", value);
        out.palette.b = static_cast<float>(*v);
        return {};
    }
    case kFn: {
        const auto parts = split(value, ',');
        float fn[3] = {};
        for (std::size_t i = 0; parts.size() == 3 && i < 3; ++i) {
            const auto v = singleIn(parts[i], 0.0f, 10.0f);
            if (!v)
                return refuse("fn", "three decimals R,G,B, each in [0, 10)", value);
            fn[i] = *v;
        }
        if (parts.size() != 3)
            return refuse("fn", "three decimals R,G,B, each in [0, 10)", value);
        out.palette.fn1 = fn[0];
        out.palette.fn2 = fn[1];
        out.palette.fn3 = fn[2];
        return {};
    }
    case kModuli: {
        const auto parts = split(value, ',');
        float m[3] = {};
        for (std::size_t i = 0; parts.size() == 3 && i < 3; ++i) {
            const auto v = wholeIn(parts[i], 150, 304);
            if (!v)
                return refuse("moduli", "three whole numbers M1,M2,M3, each 150 to 304", value);
            m[i] = static_cast<float>(*v);
        }
        if (parts.size() != 3)
            return refuse("moduli", "three whole numbers M1,M2,M3, each 150 to 304", value);
        out.palette.m1 = m[0];
        out.palette.m2 = m[1];
        out.palette.m3 = m[2];
        return {};
    }
    case kClicks: {
        constexpr std::string_view accepts = "'none' or X,Y pairs joined by '/', each number in [0, 596)";
        if (value == "none")
            return {};
        // A refusal quotes the click at fault, which may be the last of thousands.
        for (const std::string_view pair : split(value, '/')) {
            const auto xy = split(pair, ',');
            const auto x = xy.size() == 2 ? singleIn(xy[0], 0.0f, 596.0f) : std::nullopt;
            const auto y = xy.size() == 2 ? singleIn(xy[1], 0.0f, 596.0f) : std::nullopt;
            if (!x || !y)
                return fail(refuse("clicks", accepts, pair).reason + " (click " + std::to_string(out.clicks.size() + 1) + ")");
            out.clicks.push_back({*x, *y});
        }
        return {};
    }
    case kCentre: {
        const auto parts = split(value, ',');
        if (parts.size() != 2 || !isPlainDecimal(parts[0]) || !isPlainDecimal(parts[1]))
            return refuse("centre", "RE,IM, two plain decimals such as -0.75,0.1", value);
        deepOf(out).re = std::string(parts[0]);
        deepOf(out).im = std::string(parts[1]);
        return {};
    }
    case kZoom: {
        const auto v = wholeIn(value, 0, kMaxDeepZoom);
        if (!v)
            return refuse("zoom", "a whole number 0 to " + std::to_string(kMaxDeepZoom), value);
        deepOf(out).zoom = *v;
        return {};
    }
    case kIterations: {
        const auto v = wholeIn(value, kMinDeepIterations, kMaxDeepIterations);
        if (!v)
            return refuse("iterations",
                          "a whole number " + std::to_string(kMinDeepIterations) + " to " +
                              std::to_string(kMaxDeepIterations),
                          value);
        deepOf(out).iterations = *v;
        return {};
    }
    case kSize: {
        out.size = parsePictureSize(value);
        if (!out.size)
            return refuse("size", "WxH, two whole numbers 1 to 65535", value);
        return {};
    }
    case kFieldCount:
        break;
    }
    return fail("location: unknown field");
}

} // namespace

Palette paletteOf(const ExplorerState& s)
{
    return {s.fn1, s.fn2, s.fn3, s.b, s.m1, s.m2, s.m3};
}

void applyPalette(ExplorerState& s, const Palette& p)
{
    s.fn1 = p.fn1;
    s.fn2 = p.fn2;
    s.fn3 = p.fn3;
    s.b = p.b;
    s.m1 = p.m1;
    s.m2 = p.m2;
    s.m3 = p.m3;
}

bool isPlainDecimal(std::string_view text)
{
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    return isUnsignedDecimal(text);
}

std::string formatLocation(const Location& location)
{
    const Palette& p = location.palette;
    std::string text(kLocationTag);
    text += " mode=" + wholeOf(p.b);
    text += " fn=" + decimalOf(p.fn1) + "," + decimalOf(p.fn2) + "," + decimalOf(p.fn3);
    text += " moduli=" + wholeOf(p.m1) + "," + wholeOf(p.m2) + "," + wholeOf(p.m3);
    if (location.deep) {
        const DeepCentre& d = *location.deep;
        text += " centre=" + d.re + "," + d.im;
        text += " zoom=" + std::to_string(d.zoom);
        text += " iterations=" + std::to_string(d.iterations);
    } else {
        text += " clicks=";
        if (location.clicks.empty())
            text += "none";
        for (std::size_t i = 0; i < location.clicks.size(); ++i) {
            if (i > 0)
                text += "/";
            text += decimalOf(location.clicks[i].x) + "," + decimalOf(location.clicks[i].y);
        }
    }
    if (location.size)
        text += " size=" + std::to_string(location.size->width) + "x" + std::to_string(location.size->height);
    return text;
}

std::optional<PictureSize> parsePictureSize(std::string_view text)
{
    const auto x = text.find('x');
    if (x == std::string_view::npos)
        return std::nullopt;
    const auto w = wholeIn(text.substr(0, x), 1, kMaxPictureSide);
    const auto h = wholeIn(text.substr(x + 1), 1, kMaxPictureSide);
    if (!w || !h)
        return std::nullopt;
    return PictureSize{static_cast<int>(*w), static_cast<int>(*h)};
}

Result<Location> parseLocation(std::string_view text)
{
    const std::string_view line = trimmed(text);
    if (line.empty())
        return fail("location: empty; a location starts with " + std::string(kLocationTag));
    if (line.find_first_of("\r\n") != std::string_view::npos)
        return fail("location: more than one line; a location is one line of text");

    // Words are taken one at a time: a refusal comes at the first bad one,
    // however many follow.
    std::size_t at = 0;
    auto nextWord = [&line, &at]() -> std::string_view {
        at = std::min(line.find_first_not_of(kBlank, at), line.size());
        const auto end = std::min(line.find_first_of(kBlank, at), line.size());
        const std::string_view word = line.substr(at, end - at);
        at = end;
        return word;
    };
    const std::string_view tag = nextWord();
    constexpr std::string_view family = "mandel-location/";
    if (tag != kLocationTag) {
        if (tag.substr(0, family.size()) == family)
            return fail("location: version " + inQuotes(tag.substr(family.size())) +
                        " is not known; this program reads " + std::string(kLocationTag));
        return fail("location: not a location; a location starts with " + std::string(kLocationTag));
    }

    Location out;
    std::array<bool, kFieldCount> seen{};
    for (std::string_view word = nextWord(); !word.empty(); word = nextWord()) {
        const auto eq = word.find('=');
        const std::string_view name = word.substr(0, eq);
        std::size_t field = 0;
        while (field < kFieldCount && kFieldNames[field] != name)
            ++field;
        if (eq == std::string_view::npos || field == kFieldCount)
            return fail("location: unknown field " + inQuotes(word) +
                        "; fields are mode, fn, moduli, clicks, centre, zoom, iterations and size");
        if (seen[field])
            return fail("location: field '" + std::string(name) + "' appears twice");
        seen[field] = true;
        if (Status read = readField(static_cast<Field>(field), word.substr(eq + 1), out); !read)
            return read.failure();
    }

    for (const Field f : {kMode, kFn, kModuli})
        if (!seen[f])
            return fail("location: field '" + std::string(kFieldNames[f]) + "' is missing");
    const bool deep = seen[kCentre] || seen[kZoom] || seen[kIterations];
    if (deep) {
        if (seen[kClicks])
            return fail("location: clicks cannot be combined with a deep view (centre, zoom, iterations)");
        for (const Field f : {kCentre, kZoom, kIterations})
            if (!seen[f])
                return fail("location: field '" + std::string(kFieldNames[f]) +
                            "' is missing; a deep view has centre, zoom and iterations");
    } else if (!seen[kClicks]) {
        return fail("location: field 'clicks' is missing; a view has clicks, or centre, zoom and iterations");
    }
    return out;
}

Result<ExplorerState> legacyStateOf(const Location& location)
{
    if (location.deep)
        return fail("location: a deep view has no legacy state");
    ExplorerState s;
    s.wid = kSurfaceSize;
    s.hei = kSurfaceSize;
    applyPalette(s, location.palette);
    ResetView(s);
    for (std::size_t k = 0; k < location.clicks.size(); ++k) {
        const Click& c = location.clicks[k];
        if (!tryZoomAt(s, c.x, c.y))
            return fail("location: click " + std::to_string(k + 1) +
                        " would zoom past the range of a double; at most about 300 zooms fit");
    }
    return s;
}

} // namespace mandel
