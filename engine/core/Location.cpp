#include "Location.h"

#include "ExplorerState.h"
#include "Numbers.h"
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

SmoothColours& smoothOf(Location& l)
{
    if (!l.smooth)
        l.smooth.emplace();
    return *l.smooth;
}

std::string range(long long lo, long long hi)
{
    return "a whole number " + std::to_string(lo) + " to " + std::to_string(hi);
}

// A field of version 1: its name, what it takes (for refusals), and how
// its value is read into a location (false: refused).
struct FieldRow {
    std::string_view name;
    std::string accepts;
    bool (*read)(std::string_view value, Location& out);
};

// The fields of version 1, in the order they are written.
const FieldRow kFields[] = {
    {"mode", range(1, 9),
     [](std::string_view v, Location& out) {
         const auto b = readWhole(v, 1, 9);
         if (b)
             out.palette.b = static_cast<float>(*b);
         return b.has_value();
     }},
    {"fn", "three decimals R,G,B, each in [0, 10)",
     [](std::string_view v, Location& out) {
         const auto fn = readSingles(v, 3, 0.0f, 10.0f);
         if (fn) {
             out.palette.fn1 = (*fn)[0];
             out.palette.fn2 = (*fn)[1];
             out.palette.fn3 = (*fn)[2];
         }
         return fn.has_value();
     }},
    {"moduli", "three whole numbers M1,M2,M3, each 150 to 304",
     [](std::string_view v, Location& out) {
         const auto m = readWholes(v, 3, 150, 304);
         if (m) {
             out.palette.m1 = (*m)[0];
             out.palette.m2 = (*m)[1];
             out.palette.m3 = (*m)[2];
         }
         return m.has_value();
     }},
    {"clicks", "'none' or X,Y pairs joined by '/', each number in [0, 596)",
     [](std::string_view v, Location& out) {
         if (v == "none")
             return true;
         for (const std::string_view pair : splitAt(v, '/')) {
             const auto xy = readSingles(pair, 2, 0.0f, 596.0f);
             if (!xy)
                 return false;
             out.clicks.push_back({(*xy)[0], (*xy)[1]});
         }
         return true;
     }},
    {"centre", "RE,IM, two plain decimals such as -0.75,0.1",
     [](std::string_view v, Location& out) {
         const auto parts = splitAt(v, ',');
         if (parts.size() != 2 || !isPlainDecimal(parts[0]) || !isPlainDecimal(parts[1]))
             return false;
         deepOf(out).re = std::string(parts[0]);
         deepOf(out).im = std::string(parts[1]);
         return true;
     }},
    {"zoom", "a decimal 0 to " + std::to_string(kMaxDeepZoom),
     [](std::string_view v, Location& out) {
         const auto zoom = readDouble(v, 0, kMaxDeepZoom);
         if (zoom)
             deepOf(out).zoom = *zoom;
         return zoom.has_value();
     }},
    {"iterations", range(kMinDeepIterations, kMaxDeepIterations),
     [](std::string_view v, Location& out) {
         const auto n = readWhole(v, kMinDeepIterations, kMaxDeepIterations);
         if (n)
             deepOf(out).iterations = *n;
         return n.has_value();
     }},
    {"size", "WxH, two whole numbers 1 to 65535",
     [](std::string_view v, Location& out) {
         out.size = parsePictureSize(v);
         return out.size.has_value();
     }},
    // Smooth colours: a built-in palette or stops, and how they are laid on.
    {"palette", "the name of a built-in palette: " + paletteNames(),
     [](std::string_view v, Location& out) {
         smoothOf(out).palette = std::string(v);
         return findPalette(v) != nullptr;
     }},
    {"stops", std::string(kStopsAccepts),
     [](std::string_view v, Location& out) {
         auto stops = parseStops(v);
         smoothOf(out).palette.clear();
         if (stops)
             smoothOf(out).stops = std::move(*stops);
         return stops.has_value();
     }},
    {"density", std::string(kDensityAccepts),
     [](std::string_view v, Location& out) {
         const auto d = parseDensity(v);
         if (d) {
             smoothOf(out).density = d->value;
             smoothOf(out).logDensity = d->logarithmic;
         }
         return d.has_value();
     }},
    {"offset", std::string(kOffsetAccepts),
     [](std::string_view v, Location& out) {
         const auto f = readSingle(v, 0.0f, 1.0f);
         if (f)
             smoothOf(out).offset = *f;
         return f.has_value();
     }},
    {"shading", std::string(kShadingAccepts),
     [](std::string_view v, Location& out) {
         const auto s = parseShading(v);
         if (s)
             smoothOf(out).shading = *s;
         return s.has_value();
     }},
    {"samples", std::string(kSamplesAccepts),
     [](std::string_view v, Location& out) {
         const auto n = readWhole(v, 1, kMaxSamples);
         if (n)
             smoothOf(out).samples = static_cast<int>(*n);
         return n.has_value();
     }},
};
enum Field {
    kMode, kFn, kModuli, kClicks, kCentre, kZoom, kIterations, kSize,
    kPalette, kStops, kDensity, kOffset, kShading, kSamples, kFieldCount
};
static_assert(std::size(kFields) == kFieldCount);

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
        text += " zoom=" + writeDouble(d.zoom);
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
    if (location.smooth) {
        const SmoothColours& c = *location.smooth;
        text += c.palette.empty() ? " stops=" + formatStops(c.stops) : " palette=" + c.palette;
        text += " density=" + formatDensity(c.density, c.logDensity);
        text += " offset=" + decimalOf(c.offset);
        text += " shading=" + std::string(shadingName(c.shading));
        text += " samples=" + std::to_string(c.samples);
    }
    return text;
}

std::optional<PictureSize> parsePictureSize(std::string_view text)
{
    const auto x = text.find('x');
    if (x == std::string_view::npos)
        return std::nullopt;
    const auto w = readWhole(text.substr(0, x), 1, kMaxPictureSide);
    const auto h = readWhole(text.substr(x + 1), 1, kMaxPictureSide);
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
        while (field < kFieldCount && kFields[field].name != name)
            ++field;
        if (eq == std::string_view::npos || field == kFieldCount)
            return fail("location: unknown field " + inQuotes(word) +
                        "; fields are mode, fn, moduli, clicks, centre, zoom, iterations, size, palette, "
                        "stops, density, offset, shading and samples");
        if (seen[field])
            return fail("location: field '" + std::string(name) + "' appears twice");
        seen[field] = true;
        const std::string_view value = word.substr(eq + 1);
        if (kFields[field].read(value, out))
            continue;
        if (field == kClicks && value != "none") {
            // The refusal quotes the click at fault, which may be the last
            // of thousands: the clicks before it were read.
            const std::size_t bad = out.clicks.size();
            const auto pairs = splitAt(value, '/');
            if (bad < pairs.size())
                return fail(refuse(name, kFields[field].accepts, pairs[bad]).reason + " (click " +
                            std::to_string(bad + 1) + ")");
        }
        return refuse(name, kFields[field].accepts, value);
    }

    for (const Field f : {kMode, kFn, kModuli})
        if (!seen[f])
            return fail("location: field '" + std::string(kFields[f].name) + "' is missing");
    const bool deep = seen[kCentre] || seen[kZoom] || seen[kIterations];
    if (deep) {
        if (seen[kClicks])
            return fail("location: clicks cannot be combined with a deep view (centre, zoom, iterations)");
        for (const Field f : {kCentre, kZoom, kIterations})
            if (!seen[f])
                return fail("location: field '" + std::string(kFields[f].name) +
                            "' is missing; a deep view has centre, zoom and iterations");
    } else if (!seen[kClicks]) {
        return fail("location: field 'clicks' is missing; a view has clicks, or centre, zoom and iterations");
    }
    if (seen[kPalette] && seen[kStops])
        return fail("location: palette and stops cannot be combined; a picture has one gradient");
    if (out.smooth && !seen[kPalette] && !seen[kStops])
        return fail("location: field 'palette' is missing; density, offset, shading and samples go with a palette "
                    "or stops");
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
