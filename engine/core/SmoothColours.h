#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mandel {

// One colour of a gradient and where it sits on the cycle, 0 <= at < 1.
struct GradientStop {
    float at = 0;
    std::uint8_t red = 0, green = 0, blue = 0;  // sRGB

    friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

// How the distance to the set lights the picture.
enum class Shading { None, Distance, Slopes };

// The second way to colour beside the nine modes: the smooth escape value
// mapped onto a repeating gradient. Plain data, so locations can carry it.
struct SmoothColours {
    std::string palette = "classic";  // a built-in's name; empty: `stops`
    std::vector<GradientStop> stops;  // a custom gradient, used when palette is empty
    float density = 24;               // escape values per cycle, > 0
    bool logDensity = false;          // then: doublings of the escape value per cycle
    float offset = 0;                 // shifts the cycle, 0 <= offset < 1
    Shading shading = Shading::None;
    int samples = 1;                  // samples x samples per pixel, 1..8

    friend bool operator==(const SmoothColours&, const SmoothColours&) = default;
};

inline constexpr int kMaxSamples = 8;
inline constexpr std::size_t kMaxStops = 64;
inline constexpr float kMaxDensity = 1000000;

// A gradient the program ships, chosen to look good on the set.
struct BuiltInPalette {
    std::string_view name;
    std::vector<GradientStop> stops;
    std::uint8_t interior[3];  // the colour of points inside the set
};

// Every built-in palette, the classic one first.
std::span<const BuiltInPalette> builtInPalettes();
const BuiltInPalette* findPalette(std::string_view name);

// The stops of `colours`: its built-in's, or its own (empty for a name that
// is no built-in's).
std::span<const GradientStop> stopsOf(const SmoothColours& colours);

// Text forms, shared by locations and both programs' options. Stops are
// RRGGBB@P joined by commas, P a decimal in [0, 1) rising from stop to stop;
// written without any @P they are spread evenly, k / count. A density is a
// decimal D > 0, or log:D. A shading is none, distance or slopes.
std::optional<std::vector<GradientStop>> parseStops(std::string_view text);
std::string formatStops(std::span<const GradientStop> stops);
struct Density {
    float value = 24;
    bool logarithmic = false;
};
std::optional<Density> parseDensity(std::string_view text);
std::string formatDensity(float value, bool logarithmic);
std::optional<Shading> parseShading(std::string_view text);
std::string_view shadingName(Shading shading);

// What each takes, for refusals.
inline constexpr std::string_view kStopsAccepts =
    "colours RRGGBB@P joined by commas (P in [0, 1), rising; or no @P at all), 1 to 64 of them";
inline constexpr std::string_view kDensityAccepts = "a decimal D > 0 (escape values per cycle) or log:D, below 1000000";
inline constexpr std::string_view kOffsetAccepts = "a decimal in [0, 1)";
inline constexpr std::string_view kShadingAccepts = "none, distance or slopes";
inline constexpr std::string_view kSamplesAccepts = "a whole number 1 to 8";

// The names of the built-ins joined by ", ", for messages.
std::string paletteNames();

} // namespace mandel
