#include "Location.h"

#include "ExplorerState.h"
#include "ImageSurface.h"
#include "RandomSource.h"
#include "Renderer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

namespace mandel {
namespace {

constexpr const char* kPalette = "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304";

TEST(Location, ReadsLegacyAndDeepViews)
{
    const auto legacy = parseLocation(std::string(kPalette) + " clicks=300,300/450.5,150.25\n");
    ASSERT_TRUE(legacy) << legacy.error();
    EXPECT_EQ(legacy->palette, (Palette{4.2187495f, 0.5f, 9.99f, 3, 150, 200, 304}));
    EXPECT_EQ(legacy->clicks, (std::vector<Click>{{300, 300}, {450.5f, 150.25f}}));
    EXPECT_FALSE(legacy->deep);

    // Fields in any order, runs of blanks between them.
    const auto deep = parseLocation("  mandel-location/1 zoom=40  iterations=5000 centre=-0.75000000000000000000000001,+0.1 "
                                    "moduli=150,150,150 fn=0,0,0 mode=9 size=3840x2160");
    ASSERT_TRUE(deep) << deep.error();
    ASSERT_TRUE(deep->deep);
    EXPECT_EQ(deep->deep->re, "-0.75000000000000000000000001");
    EXPECT_EQ(deep->deep->im, "+0.1");
    EXPECT_EQ(deep->deep->zoom, 40);
    EXPECT_EQ(deep->deep->iterations, 5000);
    EXPECT_EQ(deep->size, (PictureSize{3840, 2160}));
    EXPECT_FALSE(deep->smooth);

    // Smooth colours: given fields read, the others default; stops
    // without positions spread evenly.
    const auto smooth = parseLocation(std::string(kPalette) + " clicks=none stops=000000,FF8000,ffffff density=log:1.5");
    ASSERT_TRUE(smooth) << smooth.error();
    ASSERT_TRUE(smooth->smooth);
    EXPECT_EQ(smooth->smooth->palette, "");
    EXPECT_EQ(smooth->smooth->stops,
              (std::vector<GradientStop>{{0, 0, 0, 0}, {1.0f / 3, 255, 128, 0}, {2.0f / 3, 255, 255, 255}}));
    EXPECT_TRUE(smooth->smooth->logDensity);
    EXPECT_EQ(smooth->smooth->density, 1.5f);
    EXPECT_EQ(smooth->smooth->samples, 1);
}

struct Refusal {
    const char* name;
    std::string text;
    const char* mentions;
};

TEST(Location, RefusesMalformedTextNamingTheField)
{
    const std::string p = kPalette;
    const Refusal cases[] = {
        {"empty", "  \n", "empty"},
        {"not a location", "hello world", "not a location"},
        {"unknown version", "mandel-location/2 mode=1", "version '2'"},
        {"two lines", p + " clicks=none\n" + p + " clicks=none", "one line"},
        {"missing mode", "mandel-location/1 fn=1,1,1 moduli=150,150,150 clicks=none", "'mode' is missing"},
        {"missing view", p, "'clicks' is missing"},
        {"repeated field", p + " clicks=none clicks=none", "twice"},
        {"unknown field", p + " clicks=none colour=red", "unknown field"},
        {"trailing garbage", p + " clicks=none x", "unknown field"},
        {"mode out of range", "mandel-location/1 mode=10 fn=1,1,1 moduli=150,150,150 clicks=none", "mode takes"},
        {"mode not whole", "mandel-location/1 mode=2.5 fn=1,1,1 moduli=150,150,150 clicks=none", "mode takes"},
        {"fn of ten", "mandel-location/1 mode=1 fn=1,10,1 moduli=150,150,150 clicks=none", "fn takes"},
        {"fn rounding to ten", "mandel-location/1 mode=1 fn=1,9.99999999,1 moduli=150,150,150 clicks=none", "fn takes"},
        {"fn nan", "mandel-location/1 mode=1 fn=nan,1,1 moduli=150,150,150 clicks=none", "fn takes"},
        {"fn negative", "mandel-location/1 mode=1 fn=-1,1,1 moduli=150,150,150 clicks=none", "fn takes"},
        {"fn exponent", "mandel-location/1 mode=1 fn=1e0,1,1 moduli=150,150,150 clicks=none", "fn takes"},
        {"fn two", "mandel-location/1 mode=1 fn=1,1 moduli=150,150,150 clicks=none", "fn takes"},
        {"modulus low", "mandel-location/1 mode=1 fn=1,1,1 moduli=149,150,150 clicks=none", "moduli takes"},
        {"click off the picture", p + " clicks=596,1", "clicks takes"},
        {"click half a pair", p + " clicks=1,2/3", "clicks takes"},
        {"click empty pair", p + " clicks=1,2//3,4", "clicks takes"},
        {"centre with exponent", p + " centre=1e-5,0 zoom=3 iterations=200", "centre takes"},
        {"centre infinity", p + " centre=inf,0 zoom=3 iterations=200", "centre takes"},
        {"centre one part", p + " centre=0.5 zoom=3 iterations=200", "centre takes"},
        {"zoom negative", p + " centre=0,0 zoom=-1 iterations=200", "zoom takes"},
        {"iterations low", p + " centre=0,0 zoom=3 iterations=199", "iterations takes"},
        {"deep without iterations", p + " centre=0,0 zoom=3", "'iterations' is missing"},
        {"deep with clicks", p + " centre=0,0 zoom=3 iterations=200 clicks=none", "cannot be combined"},
        {"size without height", p + " clicks=none size=100", "size takes"},
        {"size too wide", p + " clicks=none size=65536x10", "size takes"},
        {"unknown palette", p + " clicks=none palette=mauve", "palette takes"},
        {"stops not hex", p + " clicks=none stops=00zz00,ffffff", "stops takes"},
        {"stops short", p + " clicks=none stops=fff,000000", "stops takes"},
        {"stops falling", p + " clicks=none stops=000000@0.5,ffffff@0.25", "stops takes"},
        {"stops half placed", p + " clicks=none stops=000000@0,ffffff", "stops takes"},
        {"stop at one", p + " clicks=none stops=000000@0,ffffff@1", "stops takes"},
        {"stops empty", p + " clicks=none stops=", "stops takes"},
        {"palette and stops", p + " clicks=none palette=fire stops=000000", "cannot be combined"},
        {"density zero", p + " clicks=none palette=fire density=0", "density takes"},
        {"density log zero", p + " clicks=none palette=fire density=log:0", "density takes"},
        {"density negative", p + " clicks=none palette=fire density=-2", "density takes"},
        {"offset one", p + " clicks=none palette=fire offset=1", "offset takes"},
        {"shading unknown", p + " clicks=none palette=fire shading=bumps", "shading takes"},
        {"samples nine", p + " clicks=none palette=fire samples=9", "samples takes"},
        {"samples zero", p + " clicks=none palette=fire samples=0", "samples takes"},
        {"density without palette", p + " clicks=none density=4", "'palette' is missing"},
    };
    for (const Refusal& c : cases) {
        const auto r = parseLocation(c.text);
        ASSERT_FALSE(r) << c.name;
        EXPECT_NE(r.error().find(c.mentions), std::string::npos) << c.name << ": " << r.error();
        EXPECT_EQ(r.error().find('\n'), std::string::npos) << c.name;
    }
}

TEST(Location, ChainPastTheRangeOfADoubleIsRefused)
{
    Location l;
    l.palette = {1, 1, 1, 1, 150, 150, 150};
    l.clicks.assign(320, Click{300, 300});
    const auto s = legacyStateOf(l);
    ASSERT_FALSE(s);
    EXPECT_NE(s.error().find("click 30"), std::string::npos) << s.error();
}

// Random reachable states: palettes as start-up draws them, chains of whole
// and fractional clicks, some far past 1E+15.
TEST(Location, EveryReachableStateSurvivesTheRoundTrip)
{
    std::mt19937_64 rng(20261209);
    for (int trial = 0; trial < 400; ++trial) {
        ExplorerState s;
        s.wid = s.hei = kSurfaceSize;
        RandomSource colours(rng());
        DrawColourParameters(s, colours);
        ResetView(s);
        Location l;
        l.palette = paletteOf(s);
        const int depth = std::uniform_int_distribution<int>(0, trial % 10 == 0 ? 60 : 18)(rng);
        for (int k = 0; k < depth; ++k) {
            std::uniform_real_distribution<float> pixel(0.0f, 595.99f);
            const float scale = std::uniform_int_distribution<int>(0, 1)(rng) ? 1.0f : 1.5f;
            const Click c{std::floor(pixel(rng) * scale) / scale, std::floor(pixel(rng) * scale) / scale};
            if (tryZoomAt(s, c.x, c.y))
                l.clicks.push_back(c);
        }
        if (trial % 3 == 1) {
            // Smooth colours: a built-in or random stops, and the rest drawn.
            SmoothColours c;
            const auto palettes = builtInPalettes();
            if (trial % 2 == 0) {
                c.palette.clear();
                float at = 0;
                for (int k = std::uniform_int_distribution<int>(1, 8)(rng); k > 0 && at < 1; --k) {
                    const auto rgb = static_cast<std::uint32_t>(rng());
                    c.stops.push_back({at, static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
                                       static_cast<std::uint8_t>(rgb >> 16)});
                    at = std::nextafter(at, 1.0f) + std::uniform_real_distribution<float>(0, 0.3f)(rng);
                }
            } else {
                c.palette = palettes[rng() % palettes.size()].name;
            }
            c.density = std::uniform_real_distribution<float>(1e-3f, 5000)(rng);
            c.logDensity = rng() % 2 == 0;
            c.offset = std::uniform_real_distribution<float>(0, 1)(rng);
            c.shading = static_cast<Shading>(rng() % 3);
            c.samples = static_cast<int>(rng() % kMaxSamples) + 1;
            l.smooth = c;
        }
        const std::string text = formatLocation(l);
        const auto back = parseLocation(text);
        ASSERT_TRUE(back) << text << ": " << back.error();
        ASSERT_EQ(*back, l) << text;
        const auto rebuilt = legacyStateOf(*back);
        ASSERT_TRUE(rebuilt) << rebuilt.error();
        for (const auto& [a, b] : {std::pair{rebuilt->di, s.di}, {rebuilt->dj, s.dj}, {rebuilt->zoomx1, s.zoomx1},
                                  {rebuilt->zoomx2, s.zoomx2}, {rebuilt->zoomy2, s.zoomy2}, {rebuilt->f1, s.f1}})
            ASSERT_EQ(std::bit_cast<std::uint64_t>(a), std::bit_cast<std::uint64_t>(b)) << text;
        ASSERT_EQ(*rebuilt, s) << text;
        if (trial % 100 == 0) {
            Renderer renderer;
            ImageSurface drawn, again;
            renderer.DrawFractal(s, drawn);
            renderer.DrawFractal(*rebuilt, again);
            EXPECT_TRUE(drawn == again) << text;
        }
    }
}

} // namespace
} // namespace mandel
