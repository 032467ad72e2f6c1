// Deep views as values: zooming and moving about a pixel at any depth, and
// the way between legacy views and deep ones.

#include "BigFloat.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "TestStates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace mandel {
namespace {

// How many pixels of 10^-zoom / 150 `to` lies from `from`, in high precision.
double pixelsBetween(const std::string& from, const std::string& to, long long zoom)
{
    BigFloat a(5000), b(5000), scale(5000);
    EXPECT_TRUE(a.setDecimal(from) && b.setDecimal(to)) << from << " " << to;
    mpfr_sub(b.get(), b.get(), a.get(), MPFR_RNDN);
    mpfr_ui_pow_ui(scale.get(), 10, static_cast<unsigned long>(zoom), MPFR_RNDN);
    mpfr_mul_ui(scale.get(), scale.get(), 150, MPFR_RNDN);
    mpfr_mul(b.get(), b.get(), scale.get(), MPFR_RNDN);
    return mpfr_get_d(b.get(), MPFR_RNDN);
}

long significantDigits(const std::string& text)
{
    const auto first = text.find_first_of("123456789");
    const std::string_view rest = first == std::string::npos ? "" : std::string_view(text).substr(first);
    return static_cast<long>(std::count_if(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }));
}

struct Move {
    const char* name;
    DeepCentre from;
    double dx, dy;
};

class DeepMove : public ::testing::TestWithParam<Move> {};

TEST_P(DeepMove, CentresThePointAPixelOffsetAwayWithDigitsToSpare)
{
    const Move& m = GetParam();
    const DeepCentre zoomed = zoomDeepAt(m.from, m.dx, m.dy);
    const DeepCentre moved = moveDeepCentre(m.from, m.dx, m.dy);
    EXPECT_EQ(zoomed.zoom, m.from.zoom + 1);
    EXPECT_EQ(moved.zoom, m.from.zoom);
    for (const DeepCentre& v : {zoomed, moved}) {
        EXPECT_EQ(v.iterations, m.from.iterations);
        EXPECT_TRUE(checkDeepView(v).ok()) << v.re << "," << v.im;
        EXPECT_NEAR(pixelsBetween(m.from.re, v.re, m.from.zoom), m.dx, 1e-6);
        EXPECT_NEAR(pixelsBetween(v.im, m.from.im, m.from.zoom), m.dy, 1e-6);
    }
    for (const std::string& part : {zoomed.re, zoomed.im}) {
        if (part != "0") {
            EXPECT_GE(significantDigits(part), zoomed.zoom + 20) << part;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, DeepMove,
    ::testing::Values(Move{"FullViewCorner", {"0", "0", 0, 1000}, -300, -300},
                      Move{"CentreStays", {"-0.75", "0.1", 7, 1000}, 0, 0},
                      Move{"ThirdOfAPixel", {"0", "0", 3, 1000}, 1.0 / 3, 0},
                      Move{"Deep", {"-1.25", "0", 40, 5000}, 150, 300},
                      Move{"FarBelowDoubles", {"-0.75", "0.125", 600, 1000}, 30.25, -20}),
    [](const auto& p) { return std::string(p.param.name); });

// Zoom chains on the legacy view: clicks, as a location keeps them.
class LegacyAndDeep : public ::testing::TestWithParam<std::vector<Click>> {};

TEST_P(LegacyAndDeep, ShowTheSamePlace)
{
    ExplorerState s = testing::fullView(), back = testing::fullView();
    for (const Click c : GetParam())
        ZoomAt(s, c.x, c.y);
    const DeepCentre deep = deepViewOf(s, 1000);
    ASSERT_EQ(deep.zoom, static_cast<long long>(GetParam().size()));
    const double h = pixelSpacing(deep.zoom).toDouble();
    BigFloat re(256), im(256);
    ASSERT_TRUE(re.setDecimal(deep.re) && im.setDecimal(deep.im));
    // Every pixel maps to the same plane point, to the legacy rounding.
    for (const int x : {0, 17, 300, 599}) {
        const double deepX = mpfr_get_d(re.get(), MPFR_RNDN) + (x - kDeepCentrePixel) * h;
        const double deepY = mpfr_get_d(im.get(), MPFR_RNDN) - (x - kDeepCentrePixel) * h;
        EXPECT_NEAR(planeX(s, x), deepX, 1e-3 * h + 1e-15 * std::fabs(deepX)) << x;
        EXPECT_NEAR(planeY(s, x), deepY, 1e-3 * h + 1e-15 * std::fabs(deepY)) << x;
    }
    // And back: clicks inside the picture toward the deep centre reach it
    // within a tiny part of a pixel at the same zoom.
    const std::vector<Click> clicks = clicksToward(deep);
    ASSERT_EQ(clicks.size(), GetParam().size());
    for (const Click c : clicks) {
        EXPECT_TRUE(c.x >= 0 && c.x < 596 && c.y >= 0 && c.y < 596) << c.x << "," << c.y;
        ZoomAt(back, c.x, c.y);
    }
    EXPECT_NEAR(planeX(back, 300), planeX(s, 300), 0.01 * h + 1e-15 * std::fabs(planeX(s, 300)));
    EXPECT_NEAR(planeY(back, 300), planeY(s, 300), 0.01 * h + 1e-15 * std::fabs(planeY(s, 300)));
}

INSTANTIATE_TEST_SUITE_P(Chains, LegacyAndDeep,
                         ::testing::Values(std::vector<Click>{}, std::vector<Click>{{450, 150}},
                                           std::vector<Click>{{186, 255}, {310.5f, 290}, {100, 500}, {595, 0}},
                                           std::vector<Click>{{186, 255}, {300, 310}, {290, 280}, {320, 300}, {250, 350},
                                                              {300, 300}, {310, 290}, {280, 305}, {333, 333}, {295, 301},
                                                              {300, 299}, {100, 100}, {500, 200}, {301, 302}}));

} // namespace
} // namespace mandel
