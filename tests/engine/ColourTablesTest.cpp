#include "ColourChain.h"
#include "ColourTables.h"
#include "ExplorerState.h"
#include "TestStates.h"
#include "PointResult.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

namespace mandel {
namespace {

using testing::palette;

struct Pixel {
    int n;
    double zi;
};

// Both rules over the same pixels in the same order: every colour equal.
void expectSameColours(const ExplorerState& s, const std::vector<Pixel>& pixels, const char* what)
{
    ColourChain chain(s);
    ColourTables tables(s);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        ASSERT_EQ(tables.next(pixels[i].n, pixels[i].zi), chain.next(pixels[i].n, pixels[i].zi))
            << what << ", mode " << s.b << ", pixel " << i << " (n " << pixels[i].n << ", zi " << pixels[i].zi << ")";
}

// Counts of a picture and the zi seen at them, halves of whole numbers
// included (mode 4-6 products n + |zi| land on .5 with fn = 1).
std::vector<Pixel> pictureLike(std::mt19937_64& rng, std::size_t count)
{
    std::uniform_int_distribution<int> n(3, 200);
    std::uniform_real_distribution<double> zi(-6.0, 6.0);
    std::vector<Pixel> pixels;
    for (std::size_t i = 0; i < count; ++i) {
        const int k = n(rng);
        switch (i % 4) {
        case 0: pixels.push_back({k, zi(rng)}); break;
        case 1: pixels.push_back({k, 0.5}); break;
        case 2: pixels.push_back({kMaxIterations, -1.5}); break;
        default: pixels.push_back({k, 0.0}); break;
        }
    }
    return pixels;
}

TEST(ColourTables, EveryModeAndRandomPaletteAsTheChain)
{
    std::mt19937_64 rng(0x7AB1E5u);
    std::uniform_real_distribution<float> multiplier(0.0f, 10.0f);
    std::uniform_int_distribution<int> modulus(150, 304);
    for (int round = 0; round < 40; ++round) {
        const auto pixels = pictureLike(rng, 3000);
        for (int mode = 1; mode <= 9; ++mode) {
            const ExplorerState s = palette(static_cast<float>(mode), multiplier(rng), multiplier(rng), multiplier(rng),
                                            static_cast<float>(modulus(rng)), static_cast<float>(modulus(rng)),
                                            static_cast<float>(modulus(rng)));
            expectSameColours(s, pixels, "random palette");
        }
    }
}

TEST(ColourTables, PalettesOutsideTheDrawnRangesAsTheChain)
{
    // Products that cannot be formed keep the previous component; odd modes
    // colour as mode 1; counts outside 0..200 miss the tables.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const ExplorerState palettes[] = {
        palette(1, 1.0f, 1.0f, 1.0f, 200, 200, 200),
        palette(4, 1.0f, 0.5f, 0.1f, 200, 200, 200),
        palette(7, -1.0f, 2.0f, 3.0f, 200, 200, 200),
        palette(8, 2.0f, nan, 3.0f, 200, 200, 200),
        palette(9, 1.0f, 2.0f, 1e9f, 200, 200, 200),
        palette(2, 1.0f, 1.0f, 1.0f, 0, -5, 304.5f),
        palette(3, inf, 1.0f, 1.0f, 150, 151, 152),
        palette(5, 3.0f, -0.25f, 1.0f, 200, 200, 200),
        palette(6, 1.0f, 1.0f, 1e7f, 200, 200, 200),
        palette(0, 1.0f, 2.0f, 3.0f, 200, 200, 200),
        palette(7.5f, 1.0f, 2.0f, 3.0f, 200, 200, 200),
        palette(12, 1.0f, 2.0f, 3.0f, 200, 200, 200),
    };
    const std::vector<Pixel> pixels = {
        {3, 0.0}, {200, 1.5}, {1, -0.5}, {0, 0.0}, {-4, 2.0}, {201, 0.25}, {455, 0.0}, {100000, 3.0},
        {7, std::numeric_limits<double>::quiet_NaN()}, {7, 1e300}, {50, -2.5}, {200, 0.0}, {3, 4.5},
    };
    for (const auto& s : palettes)
        expectSameColours(s, pixels, "edge palette");
}

} // namespace
} // namespace mandel

namespace mandel {
namespace {

// Runs of a column at a time, as the renderer colours them, give the
// chain's colours too, and leave the components the next run continues from.
TEST(ColourTables, RunsOfPixelsAsTheChain)
{
    std::mt19937_64 rng(0xC0105u);
    std::uniform_real_distribution<float> multiplier(0.0f, 10.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::size_t runs[] = {601, 1, 0, 17, 601, 2};
    for (int mode = 1; mode <= 9; ++mode) {
        const ExplorerState palettes[] = {
            palette(static_cast<float>(mode), multiplier(rng), multiplier(rng), multiplier(rng), 150, 233, 304),
            // A component that cannot be formed keeps the previous pixel's.
            palette(static_cast<float>(mode), 1.5f, nan, 2.0f, 151, 152, 153),
        };
        for (const ExplorerState& s : palettes) {
            std::vector<Pixel> pixels = pictureLike(rng, 601 * 3 + 21);
            pixels[5].n = 201;  // outside the tables
            pixels[9].n = -3;
            std::vector<PointResult> points;
            for (const Pixel& p : pixels)
                points.push_back({p.zi, p.n});
            ColourChain chain(s);
            ColourTables tables(s);
            std::size_t at = 0;
            std::vector<Colour> out(601);
            for (const std::size_t run : runs) {
                tables.colourRun(points.data() + at, static_cast<int>(run), out.data());
                for (std::size_t i = 0; i < run; ++i, ++at)
                    ASSERT_EQ(out[i], chain.next(pixels[at].n, pixels[at].zi)) << "mode " << mode << ", pixel " << at;
            }
            ASSERT_EQ(tables.next(7, 0.5), chain.next(7, 0.5)) << "mode " << mode << " after the runs";
        }
    }
}

} // namespace
} // namespace mandel
