#pragma once

#include "Colour.h"
#include "SmoothColours.h"

#include <array>
#include <cstdint>
#include <vector>

namespace mandel {

// The extra steps past the escape radius go on until |z| reaches this, where
// the continuous value no longer depends on which step it is read from.
inline constexpr double kSmoothRadius = 65536.0;
inline constexpr int kMaxExtraSteps = 64;

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

} // namespace mandel
