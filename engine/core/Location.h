#pragma once

#include "Result.h"
#include "SmoothColours.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mandel {

struct ExplorerState;

// The colour parameters of a picture, as ExplorerState holds them.
struct Palette {
    float fn1 = 0, fn2 = 0, fn3 = 0;  // multipliers, [0, 10)
    float b = 1;                      // colour mode, whole 1..9
    float m1 = 150, m2 = 150, m3 = 150;  // moduli, whole 150..304

    friend bool operator==(const Palette&, const Palette&) = default;
};

// One press on the picture: drawable-area pixels, as the window took them.
struct Click {
    float x = 0, y = 0;

    friend bool operator==(const Click&, const Click&) = default;
};

// A deep view: centre (re, im) as decimal text with every digit kept,
// magnification 10^zoom and iteration cap `iterations`.
struct DeepCentre {
    std::string re, im;
    long long zoom = 0;
    long long iterations = 0;

    friend bool operator==(const DeepCentre&, const DeepCentre&) = default;
};

// The size of a picture in pixels.
struct PictureSize {
    int width = 0, height = 0;

    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// A place in the set that fixes a picture exactly: the palette, and either
// the chain of clicks from the full view (a legacy view) or a deep view;
// optionally the size of a poster of it, and smooth colours.
struct Location {
    Palette palette;
    std::vector<Click> clicks;       // legacy view: zooms since the full view
    std::optional<DeepCentre> deep;  // set: a deep view (clicks then empty)
    std::optional<PictureSize> size;
    std::optional<SmoothColours> smooth = std::nullopt;  // set: smooth colours instead of the mode

    friend bool operator==(const Location&, const Location&) = default;
};

// Limits of the fields a location holds.
inline constexpr long long kMaxDeepZoom = 1000000;
inline constexpr long long kMinDeepIterations = 200;
inline constexpr long long kMaxDeepIterations = 100000000;
inline constexpr int kMaxPictureSide = 65535;

// The first word of every location this program writes.
inline constexpr std::string_view kLocationTag = "mandel-location/1";

// The palette of `s`.
Palette paletteOf(const ExplorerState& s);

// Sets the colour parameters of `s` to `p`; nothing else changes.
void applyPalette(ExplorerState& s, const Palette& p);

// The one-line text of `location` (no line break), in the canonical form
// parseLocation reads back to an equal Location.
std::string formatLocation(const Location& location);

// Reads a location; refuses anything else with a one-line reason that names
// the field and what it accepts. Surrounding white space (a final line
// break among it) is ignored.
Result<Location> parseLocation(std::string_view text);

// The legacy explorer state a location without a deep view stands for: the
// start-up size, its palette, the full view and then its clicks in order.
// Fails when a click would carry the view past the range of a double.
Result<ExplorerState> legacyStateOf(const Location& location);

// A picture size written WxH, each side a whole number 1 to 65535 in
// decimal digits; nothing else.
std::optional<PictureSize> parsePictureSize(std::string_view text);

// Whether `text` is a plain decimal: optional sign, digits, optionally a
// point and more digits (the form deep centres are written in).
bool isPlainDecimal(std::string_view text);

} // namespace mandel
