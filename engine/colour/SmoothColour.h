#pragma once

#include "Colour.h"
#include "SmoothColours.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace mandel {

// The extra steps past the escape radius go on until |z| reaches this, where
// the continuous value no longer depends on which step it is read from.
inline constexpr double kSmoothRadius = 65536.0;
inline constexpr int kMaxExtraSteps = 64;

// 2 / (k ln 2) for k = 1, 3, ..., 9: the series of seriesLog2.
inline constexpr int kLog2Terms = 5;
inline constexpr double kLog2Series[kLog2Terms] = {2.8853900817779268, 0.9617966939259757, 0.5770780163555853,
                                                   0.41219858311113244, 0.3205988979753252};
inline constexpr double kLn2 = 0.69314718055994530942;
// Slopes: light falls from the upper left, from above the plane; slopes
// facing it are lit, the others shaded by up to kSlopeStrength.
inline constexpr double kLightRe = -0.70710678118654752;
inline constexpr double kLightIm = 0.70710678118654752;
inline constexpr double kLightHeight = 1.5;
inline constexpr double kSlopeStrength = 0.6;
// Cells of a gradient's cycle, and of the table that finds an 8-bit value
// (a cell narrower than the gap between halfway points).
inline constexpr int kGradientCells = 16384;
inline constexpr int kEncodeCells = 4096;

// What smooth colouring needs of one point.
struct SmoothPoint {
    int n = 0;            // the loop's count, as the nine modes read it
    bool inside = true;   // n reached the cap: coloured as the interior
    double nu = 0;        // the smooth escape value (escaped points)
    double distance = 0;  // estimated distance to the set in the plane
    double slopeRe = 0, slopeIm = 0;  // unit direction of z / z', for slopes
};

// The point after the loop stopped: its count, its final value z and the
// derivative z' = dz/dc beside it. Takes the extra steps and forms
//   nu = n + 2 + k - log2(log2 |z_(n-1+k)|),
// k >= 0 the fewest extra steps with |z| >= kSmoothRadius (at most 64),
// and the distance |z| ln|z| / |z'| at that step.
SmoothPoint finishSmooth(double cr, double ci, int n, int cap, double zr, double zi, double dzr, double dzi) noexcept;

// The legacy loop of c = cr + ci i, its count unchanged, with z' carried
// beside it; the reference every faster smooth path must match.
SmoothPoint iterateSmooth(double cr, double ci) noexcept;

// Light-linear red, green, blue in [0, 1].
struct LinearRgb {
    double red = 0, green = 0, blue = 0;
};

double decodeSrgb(std::uint8_t value) noexcept;
// decodeSrgb of every byte, for loops that decode many.
const std::array<double, 256>& srgbDecoded() noexcept;
// The 8-bit sRGB value nearest to `linear` on the encoded scale, halves up
// (clamped to [0, 1]).
std::uint8_t encodeSrgb(double linear) noexcept;

Colour colourOf(const LinearRgb& c) noexcept;

// A repeating gradient: stops interpolated in OKLab, so that no band gets
// muddier or brighter than its ends, and the smooth value placed on it by
// density and offset.
class GradientMap {
public:
    explicit GradientMap(const SmoothColours& colours);

    // The gradient at t in [0, 1), wrapping from the last stop to the first.
    LinearRgb gradientAt(double t) const noexcept;
    // Where the smooth value nu falls on the cycle, in [0, 1).
    double positionOf(double nu) const noexcept;
    // The colour of a point, shaded; `pixel` is one pixel's width in the plane.
    LinearRgb colourOf(const SmoothPoint& p, double pixel) const noexcept;

private:
    struct Lab {
        double l, a, b;
    };
    std::vector<double> at_;
    std::vector<Lab> lab_;
    LinearRgb interior_;
    double density_, offset_;
    bool log_;
    Shading shading_;
};

// log2 of a positive finite x from its exponent and an odd series in the
// mantissa, with additions and products alone, so the scalar form and every
// SIMD target give the same bits. Within 2e-9 of std::log2: far below what
// a colour shows, and a short chain of steps.
double seriesLog2(double x) noexcept;

// Counts the thresholds at or below x (upper_bound's index) through a table
// of cells over [0, top]: the count at each cell's start, then as many
// compares as a cell holds thresholds. The same compares in any form.
struct StepLookup {
    StepLookup() = default;
    StepLookup(std::vector<double> thresholds, int cells, double top);
    std::size_t count(double x) const noexcept;
    std::vector<double> thresholds;  // rising, then one +infinity
    std::vector<std::int64_t> base;  // thresholds <= each cell's start; cells + 1 entries
    double scale = 1;                // cells per unit of x (a power of two)
    double top = 1;                  // x is taken as min(x, top) when finding its cell
    int checks = 0;                  // thresholds inside one cell, at most
};

// encodeSrgb's lookup, for loops that encode many: the light at which the
// encoded value reaches v - 1/2, for v = 1..255, in kEncodeCells cells;
// the value is how many of them a light has reached.
const StepLookup& srgbEncoding() noexcept;

// A gradient by cell (kGradientCells a cycle, each the gradient at its
// middle), made from the stops and the interior colour alone: pictures in
// the same colours share one (gradientCellsOf), whatever their density,
// offset, shading or size.
struct GradientCells {
    // Light-linear red, green, blue, and the 8-bit sRGB bytes of the same,
    // red | green << 8 | blue << 16.
    std::vector<double> red, green, blue;
    std::vector<std::int64_t> packed;
    // The interior's bytes first, then packed's: a sample's colour is entry
    // cell + 1, or entry 0 inside, with no test.
    std::vector<std::uint32_t> colours;
    std::uint32_t interior = 0;
    // Light-linear values to 8-bit sRGB: the count of halfway points reached.
    StepLookup encode;
};

// The cells of `colours`' gradient, made once for the last few gradients
// asked for; safe from any thread.
std::shared_ptr<const GradientCells> gradientCellsOf(const SmoothColours& colours);

// How the renderers colour a sample from what the loop left: its count, the
// last z and z' (z' only with shading). The extra steps, nu through
// seriesLog2, the place t on the gradient, the colour of t's cell, shading
// and the 8-bit encoding: written once here as the reference, and read as
// flat tables by the SIMD form (SmoothKernel.h), which repeats every
// operation in the same order. Beside GradientMap::colourOf of finishSmooth,
// t moves by at most half a cell and nu by a few ulps of the logarithm:
// within a level of 8-bit sRGB a channel for the built-in palettes.
struct SampleColouring {
    SampleColouring(const SmoothColours& colours, double pixel);

    // The 8-bit sRGB colour of an escaped sample c whose loop stopped at n
    // with value z and derivative z', as red | green << 8 | blue << 16.
    std::uint32_t colourEscaped(double cr, double ci, int n, double zr, double zi, double dzr, double dzi) const noexcept;

    std::shared_ptr<const GradientCells> cells;
    std::uint32_t interior = 0;  // the same for points inside
    Shading shading = Shading::None;
    bool needsDerivative = false;
    bool logDensity = false;
    double density = 24, offset = 0, pixel = 0;
    // What each step adds to z' = 2 z z' + step: 1 for dz/dc in the plane;
    // deep views carry dz/dx, in pixels, and add the pixel spacing.
    double derivativeStep = 1;
};

} // namespace mandel
