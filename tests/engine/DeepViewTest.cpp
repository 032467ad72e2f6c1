// Deep views as values: zooming and moving about a pixel at any depth, and
// the way between legacy views and deep ones.

#include "BigFloat.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "TestStates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace mandel {
namespace {

// How many pixels of 10^-zoom / 150 `to` lies from `from`, in high precision.
double pixelsBetween(const std::string& from, const std::string& to, double zoom)
{
    BigFloat a(5000), b(5000), scale(5000);
    EXPECT_TRUE(a.setDecimal(from) && b.setDecimal(to)) << from << " " << to;
    mpfr_sub(b.get(), b.get(), a.get(), MPFR_RNDN);
    mpfr_set_d(scale.get(), zoom, MPFR_RNDN);
    mpfr_exp10(scale.get(), scale.get(), MPFR_RNDN);
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
                      Move{"FarBelowDoubles", {"-0.75", "0.125", 600, 1000}, 30.25, -20},
                      Move{"FractionalZoom", {"-0.75", "0.1", 2.5, 1000}, 10, -7},
                      Move{"WheelNotchesDeep", {"-1.25", "0", 40 + 3 * 0.3010299956639812, 5000}, -120.5, 33},
                      Move{"FractionalFarBelowDoubles", {"-0.75", "0.125", 600.7, 1000}, 1, 1}),
    [](const auto& p) { return std::string(p.param.name); });

// Views the deep path is handed from locations, files and the window: one
// bad field is enough to refuse, and the reason names it.
TEST(DeepView, CheckRefusesAnyOneMalformedFieldNamingIt)
{
    const struct {
        const char* name;
        DeepCentre view;
        const char* mentions;  // null: accepted
    } rows[] = {
        {"widest range", {"-1.5", "+0.25", kMaxDeepZoom, kMinDeepIterations}, nullptr},
        {"whole numbers", {"2", "-0", 0, kMaxDeepIterations}, nullptr},
        {"real part malformed", {"1e-5", "0.1", 3, 1000}, "centre"},
        {"imaginary part malformed", {"-0.75", "0.1.2", 3, 1000}, "centre"},
        {"imaginary part empty", {"-0.75", "", 3, 1000}, "centre"},
        {"real part a bare sign", {"-", "0", 3, 1000}, "centre"},
        {"zoom negative", {"0", "0", -1, 1000}, "zoom"},
        {"zoom too deep", {"0", "0", kMaxDeepZoom + 1, 1000}, "zoom"},
        {"zoom fractional", {"0", "0", 2.5, 1000}, nullptr},
        {"zoom just past the deepest", {"0", "0", kMaxDeepZoom + 0.5, 1000}, "zoom"},
        {"zoom not a number", {"0", "0", std::nan(""), 1000}, "zoom"},
        {"iterations too few", {"0", "0", 3, kMinDeepIterations - 1}, "iterations"},
        {"iterations too many", {"0", "0", 3, kMaxDeepIterations + 1}, "iterations"},
    };
    for (const auto& row : rows) {
        const Status checked = checkDeepView(row.view);
        if (!row.mentions) {
            EXPECT_TRUE(checked.ok()) << row.name << ": " << checked.error();
            continue;
        }
        ASSERT_FALSE(checked.ok()) << row.name;
        EXPECT_EQ(checked.error().rfind(row.mentions, 0), 0u) << row.name << ": " << checked.error();
    }
}

// A whole zoom scales pixels by exactly the power of ten it always did, at
// every precision the deep path asks for: the pictures of every location
// written before zooms took decimals stay the same, bit for bit.
TEST(DeepView, WholeZoomsScaleByTheExactPowerOfTen)
{
    for (const long long k : {0LL, 1LL, 7LL, 14LL, 15LL, 20LL, 313LL, 1000LL, 54321LL, kMaxDeepZoom}) {
        for (const long bits : {64L, 128L, precisionFor(static_cast<double>(k)), precisionFor(static_cast<double>(k)) + 64}) {
            BigFloat got(bits), want(bits);
            setPixelsPerUnit(got, static_cast<double>(k));
            mpfr_ui_pow_ui(want.get(), 10, static_cast<unsigned long>(k), MPFR_RNDN);
            mpfr_mul_ui(want.get(), want.get(), 150, MPFR_RNDN);
            ASSERT_EQ(mpfr_cmp(got.get(), want.get()), 0) << "10^" << k << " at " << bits << " bits";
        }
        EXPECT_EQ(centreDigitsFor(static_cast<double>(k)), k + 20);
    }
    // A fractional zoom lies between its neighbours and rounds precision up.
    EXPECT_EQ(precisionFor(20.5), precisionFor(20) + 2);
    EXPECT_EQ(centreDigitsFor(20.5), 41);
    EXPECT_GT(pixelSpacing(20).toDouble(), pixelSpacing(20.5).toDouble());
    EXPECT_GT(pixelSpacing(20.5).toDouble(), pixelSpacing(21).toDouble());
}

// Deep views a legacy view can show, centred on the full view or far off
// it, written with few digits or many: leaving deep mode takes clicks that
// stay on the picture, so the location of the legacy view reads back.
TEST(DeepView, ClicksBackToALegacyViewMakeALocationThatReadsBack)
{
    std::mt19937_64 rng(20260322);
    std::uniform_real_distribution<double> plane(-3.0, 3.0);
    for (int trial = 0; trial < 300; ++trial) {
        const int digits = std::uniform_int_distribution<int>(0, 24)(rng);
        char re[64], im[64];
        std::snprintf(re, sizeof re, "%.*f", digits, plane(rng));
        std::snprintf(im, sizeof im, "%.*f", digits, trial % 3 == 0 ? plane(rng) / 1000 : plane(rng));
        const DeepCentre view{re, im, static_cast<double>(std::uniform_int_distribution<long long>(0, kMaxLegacyZoom)(rng)),
                              1000};
        ASSERT_TRUE(checkDeepView(view).ok()) << re << "," << im;
        const Location legacy{paletteOf(testing::fullView()), clicksToward(view), {}, {}};
        ASSERT_EQ(static_cast<double>(legacy.clicks.size()), view.zoom);
        for (const Click c : legacy.clicks)
            ASSERT_TRUE(c.x >= 0 && c.x < 596 && c.y >= 0 && c.y < 596) << re << "," << im << ": " << c.x << "," << c.y;
        const std::string text = formatLocation(legacy);
        const Result<Location> back = parseLocation(text);
        ASSERT_TRUE(back) << text << ": " << back.error();
        ASSERT_EQ(*back, legacy) << text;
        ASSERT_TRUE(legacyStateOf(*back)) << text;
    }
}

// Zoom chains on the legacy view: clicks, as a location keeps them.
class LegacyAndDeep : public ::testing::TestWithParam<std::vector<Click>> {};

TEST_P(LegacyAndDeep, ShowTheSamePlace)
{
    ExplorerState s = testing::fullView(), back = testing::fullView();
    for (const Click c : GetParam())
        ZoomAt(s, c.x, c.y);
    const DeepCentre deep = deepViewOf(s, 1000);
    ASSERT_EQ(deep.zoom, static_cast<double>(GetParam().size()));
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
