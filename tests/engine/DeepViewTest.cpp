// Deep views as values: the check of their fields, the pixel spacing,
// zooming and moving about a pixel, and the way between legacy views and
// deep ones.

#include "BigFloat.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "TestStates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace mandel {
namespace {

// The decimal `text` as a double.
double value(const std::string& text)
{
    BigFloat b(256);
    EXPECT_TRUE(b.setDecimal(text)) << text;
    return mpfr_get_d(b.get(), MPFR_RNDN);
}

// Significant digits of a plain decimal (leading zeros do not count).
long significantDigits(const std::string& text)
{
    long count = 0;
    bool started = false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            continue;
        started = started || c != '0';
        count += started ? 1 : 0;
    }
    return count;
}

struct BadView {
    const char* name;
    DeepCentre view;
    const char* field;
};

class DeepViewCheck : public ::testing::TestWithParam<BadView> {};

TEST_P(DeepViewCheck, NamesTheFieldAtFault)
{
    const Status s = checkDeepView(GetParam().view);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().rfind(GetParam().field, 0), 0u) << s.error();
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DeepViewCheck,
    ::testing::Values(BadView{"Exponent", {"1e-5", "0", 5, 1000}, "centre"},
                      BadView{"NotANumber", {"nan", "0", 5, 1000}, "centre"},
                      BadView{"Infinity", {"0", "-inf", 5, 1000}, "centre"},
                      BadView{"Empty", {"", "0", 5, 1000}, "centre"},
                      BadView{"TwoPoints", {"0.1.2", "0", 5, 1000}, "centre"},
                      BadView{"NegativeZoom", {"0", "0", -1, 1000}, "zoom"},
                      BadView{"ZoomTooDeep", {"0", "0", kMaxDeepZoom + 1, 1000}, "zoom"},
                      BadView{"TooFewIterations", {"0", "0", 5, 199}, "iterations"},
                      BadView{"TooManyIterations", {"0", "0", 5, 100000001}, "iterations"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DeepView, AcceptsTheLimits)
{
    EXPECT_TRUE(checkDeepView({"-1.5", "+0.25", 0, kMinDeepIterations}).ok());
    EXPECT_TRUE(checkDeepView({"0", "0", kMaxDeepZoom, kMaxDeepIterations}).ok());
}

TEST(DeepView, PixelSpacingIsOneOver150TimesTheMagnification)
{
    EXPECT_DOUBLE_EQ(pixelSpacing(0).toDouble(), 1.0 / 150);
    EXPECT_DOUBLE_EQ(pixelSpacing(15).toDouble(), 1.0 / 150e15);
    // 10^-1000 / 150 = 6.666...E-1003 = m 2^e: check through logarithms.
    const FloatExp h = pixelSpacing(1000);
    const double log10h = std::log10(h.m) + static_cast<double>(h.e) * std::log10(2.0);
    EXPECT_NEAR(log10h, -1000 - std::log10(150.0), 1e-12);
}

struct ZoomCase {
    const char* name;
    DeepCentre from;
    double dx, dy;
    double re, im;  // the new centre, to double precision
};

class DeepZoom : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(DeepZoom, CentresThePressedPointWithDigitsToSpare)
{
    const ZoomCase& c = GetParam();
    const DeepCentre next = zoomDeepAt(c.from, c.dx, c.dy);
    EXPECT_EQ(next.zoom, c.from.zoom + 1);
    EXPECT_EQ(next.iterations, c.from.iterations);
    EXPECT_TRUE(checkDeepView(next).ok()) << next.re << "," << next.im;
    EXPECT_DOUBLE_EQ(value(next.re), c.re);
    EXPECT_DOUBLE_EQ(value(next.im), c.im);
    for (const std::string& part : {next.re, next.im}) {
        if (part != "0") {
            EXPECT_GE(significantDigits(part), next.zoom + 20) << part;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, DeepZoom,
    ::testing::Values(ZoomCase{"FullViewCorner", {"0", "0", 0, 1000}, -300, -300, -2, 2},
                      ZoomCase{"FullViewRightUp", {"0", "0", 0, 1000}, 150, -150, 1, 1},
                      ZoomCase{"CentreStays", {"-0.75", "0.1", 7, 1000}, 0, 0, -0.75, 0.1},
                      ZoomCase{"ThirdOfAPixel", {"0", "0", 3, 1000}, 1.0 / 3, 0, 1.0 / 3 / 150e3, 0},
                      ZoomCase{"Deep", {"-1.25", "0", 40, 5000}, 150, 300, -1.25 + 1e-40, -2e-40}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DeepView, ZoomsKeepThePointAtDepth)
{
    // Ten zooms at 1E+200 about the same plane point: it stays under the
    // pointer to far below a pixel.
    DeepCentre v{"-0.75", "0.125", 200, 1000};
    for (int k = 0; k < 10; ++k)
        v = zoomDeepAt(v, 30, -20);
    BigFloat want(2000);
    BigFloat got(2000);
    BigFloat step(2000);
    want.setDecimal("-0.75");
    mpfr_ui_pow_ui(step.get(), 10, 200, MPFR_RNDN);
    mpfr_mul_ui(step.get(), step.get(), 150, MPFR_RNDN);
    // The shift: 30 pixels of 10^-200, then 30 of 10^-201, ...
    got.setDecimal(v.re);
    mpfr_sub(got.get(), got.get(), want.get(), MPFR_RNDN);
    mpfr_mul(got.get(), got.get(), step.get(), MPFR_RNDN);
    EXPECT_NEAR(mpfr_get_d(got.get(), MPFR_RNDN), 33.333333333, 1e-6);
    EXPECT_EQ(v.zoom, 210);
}

TEST(DeepView, MovingKeepsTheZoom)
{
    const DeepCentre v{"0.25", "-0.5", 12, 800};
    const DeepCentre moved = moveDeepCentre(v, -150, 75);
    EXPECT_EQ(moved.zoom, 12);
    EXPECT_DOUBLE_EQ(value(moved.re), 0.25 - 1e-12);
    EXPECT_DOUBLE_EQ(value(moved.im), -0.5 - 0.5e-12);
}

// Zoom chains on the legacy view: clicks, as a location keeps them.
struct Chain {
    const char* name;
    std::vector<Click> clicks;
};

class LegacyAndDeep : public ::testing::TestWithParam<Chain> {};

TEST_P(LegacyAndDeep, ShowTheSamePlace)
{
    ExplorerState s = testing::fullView();
    for (const Click c : GetParam().clicks)
        ZoomAt(s, c.x, c.y);
    const DeepCentre deep = deepViewOf(s, 1000);
    EXPECT_EQ(deep.zoom, static_cast<long long>(GetParam().clicks.size()));
    EXPECT_EQ(deep.iterations, 1000);
    const double h = pixelSpacing(deep.zoom).toDouble();
    // Every pixel maps to the same plane point, to the legacy rounding.
    for (const int x : {0, 17, 300, 599}) {
        const double deepX = value(deep.re) + (x - kDeepCentrePixel) * h;
        const double deepY = value(deep.im) - (x - kDeepCentrePixel) * h;
        EXPECT_NEAR(planeX(s, x), deepX, 1e-3 * h + 1e-15 * std::fabs(deepX)) << x;
        EXPECT_NEAR(planeY(s, x), deepY, 1e-3 * h + 1e-15 * std::fabs(deepY)) << x;
    }
    // And back: the clicks toward the deep centre reach it within a tiny
    // part of a pixel at the same zoom.
    ExplorerState back = testing::fullView();
    const std::vector<Click> clicks = clicksToward(deep);
    ASSERT_EQ(clicks.size(), GetParam().clicks.size());
    for (const Click c : clicks) {
        EXPECT_TRUE(c.x >= 0 && c.x < 596 && c.y >= 0 && c.y < 596) << c.x << "," << c.y;
        ZoomAt(back, c.x, c.y);
    }
    EXPECT_EQ(back.f1, s.f1);
    EXPECT_NEAR(planeX(back, 300), planeX(s, 300), 0.01 * h + 1e-15 * std::fabs(planeX(s, 300)));
    EXPECT_NEAR(planeY(back, 300), planeY(s, 300), 0.01 * h + 1e-15 * std::fabs(planeY(s, 300)));
}

INSTANTIATE_TEST_SUITE_P(Chains, LegacyAndDeep,
                         ::testing::Values(Chain{"FullView", {}}, Chain{"OneClick", {{450, 150}}},
                                           Chain{"Seahorse", {{186, 255}, {310.5f, 290}, {100, 500}, {595, 0}}},
                                           Chain{"Fourteen",
                                                 {{186, 255}, {300, 310}, {290, 280}, {320, 300}, {250, 350},
                                                  {300, 300}, {310, 290}, {280, 305}, {333, 333}, {295, 301},
                                                  {300, 299}, {100, 100}, {500, 200}, {301, 302}}}),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace mandel
