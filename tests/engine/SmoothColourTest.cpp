#include "SmoothColour.h"

#include "PointResult.h"
#include "SmoothColours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

namespace mandel {
namespace {

using Z = std::complex<long double>;

// The smooth value straight from its definition: iterate from 0 until
// |z_i| >= 65536, then nu = i + 3 - log2(log2 |z_i|). Escaped points only;
// the steps rounded as the loop rounds them, so chaotic orbits agree.
double directNu(double cr, double ci)
{
    double zr = 0, zi = 0;
    int i = 0;
    while (std::hypot(zr, zi) < 65536.0 && i < 400) {
        const double next = (2.0 * zi) * zr + ci;
        zr = (zr * zr - zi * zi) + cr;
        zi = next;
        ++i;
    }
    return i + 3 - std::log2(std::log2(std::hypot(zr, zi)));
}

// Points of the full view and around the boundary, where counts change.
std::vector<std::pair<double, double>> samplePoints()
{
    std::mt19937_64 rng(25);
    std::uniform_real_distribution<double> re(-2.0, 0.6), im(-1.3, 1.3), near(-1e-3, 1e-3);
    std::vector<std::pair<double, double>> points;
    for (int k = 0; k < 3000; ++k)
        points.emplace_back(re(rng), im(rng));
    for (int k = 0; k < 1000; ++k)
        points.emplace_back(-0.7436438870371587 + near(rng), 0.1318259042053119 + near(rng));
    points.emplace_back(-2.0, 2.0);
    return points;
}

TEST(SmoothColour, KeepsTheCountAndFollowsTheDefinition)
{
    for (const auto& [cr, ci] : samplePoints()) {
        const SmoothPoint p = iterateSmooth(cr, ci);
        const PointResult legacy = iteratePoint(cr, ci);
        ASSERT_EQ(p.n, legacy.n) << cr << "," << ci;
        ASSERT_EQ(p.inside, legacy.n == kMaxIterations);
        if (p.inside)
            continue;
        EXPECT_NEAR(p.nu, directNu(cr, ci), 1e-12) << cr << "," << ci;
    }
}

TEST(SmoothColour, NeighboursAwayFromTheSetHaveCloseValues)
{
    // Along a ray out of the set the count steps, but nu does not jump.
    double last = iterateSmooth(-2.5, 0.8).nu;
    for (int k = 1; k <= 20000; ++k) {
        const double cr = -2.5 + 1.5 * k / 20000.0;
        const SmoothPoint p = iterateSmooth(cr, 0.8);
        ASSERT_FALSE(p.inside);
        EXPECT_NEAR(p.nu, last, 0.01) << cr;
        last = p.nu;
    }
}

// The distance estimate |z| ln|z| / |z'| with z' from a central difference
// of z in c, taken at the same step in long double (on orbits short enough
// that rounding has not yet made them part from the double ones).
TEST(SmoothColour, DistanceMatchesABruteForceDerivative)
{
    int checked = 0;
    for (const auto& [cr, ci] : samplePoints()) {
        const SmoothPoint p = iterateSmooth(cr, ci);
        if (p.inside || p.n > 60)
            continue;
        const Z c(cr, ci);
        const long double h = 1e-13L;
        Z z = 0, zp = 0, zm = 0;
        int i = 0;
        while (std::abs(z) < 65536.0L && i < 400) {
            z = z * z + c;
            zp = zp * zp + (c + h);
            zm = zm * zm + (c - h);
            ++i;
        }
        const long double dz = std::abs((zp - zm) / (2 * h));
        const long double expected = std::abs(z) * std::log(std::abs(z)) / dz;
        EXPECT_NEAR(p.distance / static_cast<double>(expected), 1.0, 1e-4) << cr << "," << ci;
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

// The logarithm both colouring paths share, across the exponents smooth
// values and escape radii reach, and at the mantissa's fold.
TEST(SmoothColour, SeriesLog2FollowsTheLibrary)
{
    std::mt19937_64 rng(2);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    for (int e = -30; e <= 200; ++e)
        for (int k = 0; k < 50; ++k) {
            const double x = std::ldexp(mantissa(rng), e);
            ASSERT_NEAR(seriesLog2(x), std::log2(x), 2e-9) << x;
        }
    for (const double x : {1.0, 1.4142135623730951, 1.4142135623730954, 2.0, 0.5, 65536.0})
        EXPECT_NEAR(seriesLog2(x), std::log2(x), 2e-9) << x;
}

TEST(SmoothColour, SrgbRoundTripsEveryByte)
{
    for (int v = 0; v < 256; ++v)
        EXPECT_EQ(encodeSrgb(decodeSrgb(static_cast<std::uint8_t>(v))), v);
    // Every light is encoded as the count of halfway lights (where the
    // encoded value reaches v - 1/2) at or below it, found by bisection:
    // on either side of each halfway light, at the ends, and on a fine
    // sweep of the whole range.
    std::vector<double> halfway;
    for (int v = 1; v < 256; ++v) {
        const double s = (v - 0.5) / 255;
        halfway.push_back(s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4));
    }
    std::vector<double> lights = {0.0, -1.0, 1.0, 2.0, 1e-300, std::nextafter(1.0, 0.0)};
    for (const double h : halfway)
        lights.insert(lights.end(), {std::nextafter(h, 0.0), h, std::nextafter(h, 2.0)});
    for (int k = 0; k <= 100000; ++k)
        lights.push_back(k / 100000.0);
    for (const double linear : lights) {
        const auto count = std::upper_bound(halfway.begin(), halfway.end(), linear) - halfway.begin();
        ASSERT_EQ(encodeSrgb(linear), linear > 0 ? count : 0) << linear;
    }
}

SmoothColours withStops(const char* stops, float density = 10, float offset = 0, bool log = false)
{
    SmoothColours c;
    c.palette.clear();
    c.stops = *parseStops(stops);
    c.density = density;
    c.offset = offset;
    c.logDensity = log;
    return c;
}

TEST(SmoothColour, GradientPassesThroughEveryStopOfEveryPalette)
{
    for (const BuiltInPalette& p : builtInPalettes()) {
        SmoothColours c;
        c.palette = std::string(p.name);
        const GradientMap map(c);
        for (const GradientStop& s : p.stops)
            EXPECT_EQ(colourOf(map.gradientAt(s.at)), composeColour(s.red, s.green, s.blue))
                << p.name << " at " << s.at;
    }
}

TEST(SmoothColour, GradientInterpolatesPerceptuallyAndRepeats)
{
    const GradientMap grey(withStops("000000@0,ffffff@0.5"));
    // Half way from black to white in OKLab: lightness 0.5, light 0.125.
    EXPECT_EQ(colourOf(grey.gradientAt(0.25)), composeColour(99, 99, 99));
    EXPECT_EQ(colourOf(grey.gradientAt(0.75)), composeColour(99, 99, 99));
    // Past the last stop it runs back to the first.
    EXPECT_EQ(colourOf(grey.gradientAt(0.999999)), composeColour(0, 0, 0));
    // A gradient starting late wraps before its first stop too.
    const GradientMap late(withStops("ff0000@0.5,0000ff@0.75"));
    EXPECT_EQ(colourOf(late.gradientAt(0.5)), colourOf(late.gradientAt(0.5)));
    EXPECT_NE(colourOf(late.gradientAt(0.1)), composeColour(255, 0, 0));
    EXPECT_NEAR(late.gradientAt(0.0).red, late.gradientAt(0.999999).red, 1e-4);
}

TEST(SmoothColour, PositionFollowsDensityAndOffset)
{
    const struct {
        const char* name;
        float density, offset;
        bool log;
        double nu, position;
    } rows[] = {
        {"ten per cycle", 10, 0, false, 25, 0.5},
        {"offset shifts", 10, 0.75f, false, 25, 0.25},
        {"whole cycles", 10, 0, false, 30, 0},
        {"log: a doubling a cycle", 1, 0, true, 12, std::log2(12.0) - 3},
        {"log: two doublings a cycle", 2, 0.5f, true, 8, 0},
    };
    for (const auto& r : rows) {
        const GradientMap map(withStops("000000,ffffff", r.density, r.offset, r.log));
        EXPECT_NEAR(map.positionOf(r.nu), r.position, 1e-7) << r.name;
    }
}

TEST(SmoothColour, InteriorAndShading)
{
    SmoothColours c;
    c.palette = "contrast";
    SmoothPoint inside;
    EXPECT_EQ(colourOf(GradientMap(c).colourOf(inside, 1e-3)), composeColour(255, 255, 255));

    SmoothPoint near;
    near.inside = false;
    near.nu = 10;
    near.distance = 0.25e-3;  // a quarter of a pixel from the set
    near.slopeRe = 1;         // facing away from the light
    const LinearRgb plain = GradientMap(c).colourOf(near, 1e-3);
    c.shading = Shading::Distance;
    EXPECT_NEAR(GradientMap(c).colourOf(near, 1e-3).red, plain.red * 0.25, 1e-12);
    c.shading = Shading::Slopes;
    EXPECT_LT(GradientMap(c).colourOf(near, 1e-3).red, plain.red);
    near.slopeRe = -0.70710678118654752;
    near.slopeIm = 0.70710678118654752;
    EXPECT_NEAR(GradientMap(c).colourOf(near, 1e-3).red, plain.red, 1e-12);
}

// Pictures in the same colours share the gradient's cells, whatever else
// differs; other stops or another interior get their own, and a gradient
// pushed out by many others is made again alike.
TEST(SmoothColour, GradientCellsAreSharedBetweenTheSameColoursOnly)
{
    SmoothColours fire;
    fire.palette = "fire";
    SmoothColours fireElsewhere = fire;
    fireElsewhere.density = 3;
    fireElsewhere.logDensity = true;
    fireElsewhere.offset = 0.5f;
    fireElsewhere.shading = Shading::Slopes;
    fireElsewhere.samples = 4;
    SmoothColours fireStops;  // the same stops, without the palette's interior
    fireStops.palette.clear();
    fireStops.stops = findPalette("fire")->stops;
    const auto cells = gradientCellsOf(fire);
    EXPECT_EQ(SampleColouring(fireElsewhere, 1e-3).cells, cells);
    const auto own = gradientCellsOf(fireStops);
    ASSERT_NE(own, cells);
    EXPECT_EQ(own->packed, cells->packed);
    EXPECT_EQ(own->colours.front(), 0u);
    const BuiltInPalette& p = *findPalette("fire");
    EXPECT_EQ(cells->colours.front(), static_cast<std::uint32_t>(p.interior[0] | p.interior[1] << 8 | p.interior[2] << 16));
    EXPECT_EQ(cells->interior, cells->colours.front());
    EXPECT_EQ(std::vector<std::uint32_t>(cells->colours.begin() + 1, cells->colours.end()),
              std::vector<std::uint32_t>(cells->packed.begin(), cells->packed.end()));
    for (const BuiltInPalette& other : builtInPalettes()) {
        SmoothColours c;
        c.palette = std::string(other.name);
        if (c.palette != "fire") {
            EXPECT_NE(gradientCellsOf(c)->packed, cells->packed) << other.name;
        }
    }
    EXPECT_EQ(gradientCellsOf(fire)->colours, cells->colours);
}

struct ColouringCase {
    const char* name;
    const char* palette;
    Shading shading;
    bool logDensity;
};

class SampleColourings : public ::testing::TestWithParam<ColouringCase> {};

// The renderers' colouring (tables, the shared logarithm) against the plain
// one of finishSmooth and GradientMap: never more than a level apart a
// channel, and nearly always the same.
TEST_P(SampleColourings, StayWithinALevelOfThePlainColouring)
{
    const ColouringCase& r = GetParam();
    SmoothColours c;
    c.palette = r.palette;
    c.shading = r.shading;
    c.logDensity = r.logDensity;
    c.density = r.logDensity ? 2 : 7;
    c.offset = 0.3f;
    const double pixel = 1e-3;
    const SampleColouring colouring(c, pixel);
    const GradientMap plain(c);
    int escaped = 0, same = 0;
    for (const auto& [cr, ci] : samplePoints()) {
        // The loop of iterateSmooth, its last z and z' kept.
        double zr = 0, zi = 0, zr2 = 0, zi2 = 0, dzr = 0, dzi = 0;
        int n = 1;
        while ((n < kMaxIterations) & (zr2 + zi2 < 4.0)) {
            const double ndr = 2.0 * (zr * dzr - zi * dzi) + 1.0;
            dzi = 2.0 * (zr * dzi + zi * dzr);
            dzr = ndr;
            zr2 = zr * zr;
            zi2 = zi * zi;
            zi = (2.0 * zi) * zr + ci;
            zr = (zr2 - zi2) + cr;
            ++n;
        }
        if (n >= kMaxIterations)
            continue;
        ++escaped;
        const std::uint32_t colour = colouring.colourEscaped(cr, ci, n, zr, zi, dzr, dzi);
        const int rgb[3] = {static_cast<int>(colour & 255), static_cast<int>(colour >> 8 & 255),
                            static_cast<int>(colour >> 16)};
        const Colour expected = colourOf(plain.colourOf(iterateSmooth(cr, ci), pixel));
        const int want[3] = {redOf(expected), greenOf(expected), blueOf(expected)};
        for (int k = 0; k < 3; ++k)
            ASSERT_LE(std::abs(rgb[k] - want[k]), 1) << cr << "," << ci << " channel " << k;
        same += rgb[0] == want[0] && rgb[1] == want[1] && rgb[2] == want[2];
    }
    EXPECT_GT(escaped, 2000);
    EXPECT_GE(same, escaped * 97 / 100) << same << " of " << escaped;
}

INSTANTIATE_TEST_SUITE_P(Colourings, SampleColourings,
                         ::testing::Values(ColouringCase{"ClassicPlain", "classic", Shading::None, false},
                                           ColouringCase{"FireLogDensity", "fire", Shading::None, true},
                                           ColouringCase{"OceanDistance", "ocean", Shading::Distance, false},
                                           ColouringCase{"SpectrumSlopes", "spectrum", Shading::Slopes, false}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace mandel
