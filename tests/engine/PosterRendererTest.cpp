#include "DeepComputer.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "ImageSurface.h"
#include "PosterReference.h"
#include "PosterRenderer.h"
#include "ReferenceOrbit.h"
#include "Renderer.h"
#include "TestStates.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

namespace mandel {
namespace {

using testing::fullView;
using testing::MemorySink;
using testing::referencePoster;

ExplorerState zoomed(float mode)
{
    ExplorerState s = fullView(mode, 3.7f, 1.25f, 8.5f);
    ZoomAt(s, 150, 400);
    ZoomAt(s, 310.5f, 290.25f);
    return s;
}

std::vector<Colour> poster(const ExplorerState& view, PictureSize size, FieldComputer& computer,
                           std::int64_t bandPixels = 0)
{
    PosterRenderer renderer(computer, bandPixels);
    MemorySink sink(size.width);
    const Status done = renderer.render(view, size, sink);
    EXPECT_TRUE(done) << (done ? "" : done.error());
    return sink.pixels;
}

// A 5 x 3 poster of the full view in multipliers 1.5, 2.5, 0.5. Its
// counts, column by column: 3 3 3 | 3 3 3 | 3 8 8 | 3 5 5 | 3 3 3.
struct HandPixel {
    int mode, u, v;
    int red, green, blue;
};

const HandPixel kHandPixels[] = {
    // The first pixel has no predecessor: single products (4.5 -> 4).
    {7, 0, 0, 4, 8, 2},
    // (2, 1) follows n = 3, whose green was P(7.5) = 8: P((8 + 8) * 1.5).
    {7, 2, 1, 24, 20, 4},
    // (3, 0) follows the bottom of column 2 (n = 8, green 20):
    // P((3 + 20) * 1.5) = P(34.5) = 34.
    {7, 3, 0, 34, 8, 2},
    {7, 4, 0, 22, 8, 2},
    {8, 0, 0, 4, 8, 2},
    // (3, 0) follows n = 8, whose blue was 4: P((3 + 4) * 2.5) = P(17.5) = 18.
    {8, 3, 0, 4, 18, 2},
    {8, 2, 2, 12, 30, 4},
    {8, 4, 0, 4, 12, 2},
    {1, 2, 1, 12, 20, 4},
};

TEST(PosterRenderer, HandWorkedPixelsInEveryBandLayout)
{
    ReferenceComputer computer;
    for (const std::int64_t bandPixels : {5, 10, 15}) {
        for (const HandPixel& p : kHandPixels) {
            const auto image =
                poster(fullView(static_cast<float>(p.mode), 1.5f, 2.5f, 0.5f), {5, 3}, computer, bandPixels);
            ASSERT_EQ(image.size(), 15u);
            EXPECT_EQ(image[static_cast<std::size_t>(p.v * 5 + p.u)], composeColour(p.red, p.green, p.blue))
                << "mode " << p.mode << " pixel (" << p.u << ", " << p.v << "), bands of " << bandPixels / 5 << " rows";
        }
    }
}

struct Layout {
    const char* name;
    PictureSize size;
    std::int64_t bandPixels;
    bool zoomedView;
};

class PosterLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(PosterLayouts, EveryModeEqualsTheStraightforwardPoster)
{
    const Layout& l = GetParam();
    FastComputer computer(FastComputerOptions{3, 0});
    ReferenceComputer reference;
    for (int mode = 1; mode <= 9; ++mode) {
        const ExplorerState view = l.zoomedView ? zoomed(static_cast<float>(mode))
                                                : fullView(static_cast<float>(mode), 3.7f, 1.25f, 8.5f);
        const auto expected = referencePoster(view, l.size);
        ASSERT_EQ(poster(view, l.size, computer, l.bandPixels), expected) << "mode " << mode;
        ASSERT_EQ(poster(view, l.size, reference, l.bandPixels), expected) << "mode " << mode << ", serial";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PosterLayouts,
    ::testing::Values(Layout{"OnePixel", {1, 1}, 0, false}, Layout{"OneColumn", {1, 70}, 9, true},
                      Layout{"OneRow", {70, 1}, 0, true}, Layout{"OddSidesOneBand", {37, 23}, 0, false},
                      Layout{"BandsThatDoNotDivideTheHeight", {64, 48}, 64 * 5, true},
                      Layout{"BandsOfOneRow", {31, 17}, 31, false},
                      Layout{"NarrowerThanThePool", {2, 40}, 0, true},
                      Layout{"Tall", {40, 130}, 40 * 16, false}),
    [](const auto& row) { return std::string(row.param.name); });

// The window's picture, as the 596 x 596 drawable area shows it.
std::vector<Colour> windowPicture(const ExplorerState& view, Renderer& renderer)
{
    ImageSurface surface;
    renderer.DrawFractal(view, surface);
    return surface.pixels();
}

TEST(PosterRenderer, PictureSizedPosterIsTheWindowsPictureAndDoubleSizeHoldsItOnEvenPixels)
{
    // Modes 7 and 8 chain over the 601 rows the window computes, so their
    // row 0 differs; every other mode is a pure function of the pixel.
    FastComputer computer(FastComputerOptions{2, 0});
    Renderer renderer(makeFastComputer(FastComputerOptions{2, 0}));
    for (const float mode : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 9.0f}) {
        // Both views in all modes would take long; the mapping is the same.
        for (const bool isZoomed : {static_cast<int>(mode) % 2 == 0}) {
            const ExplorerState view = isZoomed ? zoomed(mode) : fullView(mode, 3.7f, 1.25f, 8.5f);
            const auto picture = windowPicture(view, renderer);
            ASSERT_EQ(poster(view, {596, 596}, computer), picture) << "mode " << mode << " zoomed " << isZoomed;
            const auto twice = poster(view, {1192, 1192}, computer);
            for (std::size_t y = 0; y < 596; ++y)
                for (std::size_t x = 0; x < 596; ++x)
                    ASSERT_EQ(twice[2 * y * 1192 + 2 * x], picture[y * 596 + x])
                        << "mode " << mode << " zoomed " << isZoomed << " at (" << x << ", " << y << ")";
        }
    }
}

// Deep posters map pixels the same way, as offsets from the view's centre:
// the same two consequences, against the deep window picture.
TEST(PosterRenderer, DeepPostersHoldTheDeepWindowPicture)
{
    auto orbit = ReferenceOrbit::compute(DeepCentre{"-0.7436", "0.1402", 5, 300});
    ASSERT_TRUE(orbit) << orbit.error();
    DeepComputer deep(std::shared_ptr<const ReferenceOrbit>(std::move(*orbit)));
    const ExplorerState palette = fullView(5, 3.7f, 1.25f, 8.5f);
    Renderer renderer(makeFastComputer(FastComputerOptions{2, 0}));
    ImageSurface surface;
    ASSERT_TRUE(renderer.DrawDeep(deep, palette, surface));
    const std::vector<Colour> picture = surface.pixels();

    PosterRenderer posters(deep);
    MemorySink same(596), twice(1192);
    ASSERT_TRUE(posters.render(palette, {596, 596}, same));
    EXPECT_EQ(same.pixels, picture);
    ASSERT_TRUE(posters.render(palette, {1192, 1192}, twice));
    for (std::size_t y = 0; y < 596; ++y)
        for (std::size_t x = 0; x < 596; ++x)
            ASSERT_EQ(twice.pixels[2 * y * 1192 + 2 * x], picture[y * 596 + x]) << "at (" << x << ", " << y << ")";
}

TEST(PosterRenderer, BandsStayWithinTheirBoundAndCoverEveryRowOnce)
{
    ReferenceComputer computer;
    struct Case {
        PictureSize size;
        std::int64_t bandPixels;
        std::vector<int> bands;
    };
    const Case cases[] = {
        {{10, 25}, 100, {10, 10, 5}},
        {{10, 25}, 5, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {{7, 3}, 1000, {3}},
    };
    for (const Case& c : cases) {
        PosterRenderer renderer(computer, c.bandPixels);
        MemorySink sink(c.size.width);
        ASSERT_TRUE(renderer.render(fullView(), c.size, sink));
        EXPECT_EQ(sink.bands, c.bands) << c.size.width << "x" << c.size.height << " in bands of " << c.bandPixels;
    }
}

TEST(PosterRenderer, StopsWhenTheSinkFailsOrTheCallerSaysSo)
{
    ReferenceComputer computer;
    PosterRenderer renderer(computer, 20);
    {
        MemorySink sink(10);
        sink.failAfter = 2;
        const Status s = renderer.render(fullView(), {10, 10}, sink);
        ASSERT_FALSE(s);
        EXPECT_EQ(s.failure().code, 28);
        EXPECT_EQ(sink.bands.size(), 2u);
    }
    {
        MemorySink sink(10);
        std::vector<int> seen;
        PosterHooks hooks;
        hooks.progress = [&](int rows) { seen.push_back(rows); return rows < 6; };
        const Status s = renderer.render(fullView(), {10, 10}, sink, hooks);
        ASSERT_FALSE(s);
        EXPECT_EQ(s.failure().code, ECANCELED);
        EXPECT_EQ(seen, (std::vector<int>{2, 4, 6}));
    }
}

TEST(PosterRenderer, RefusesSizesAndPalettesItCannotDraw)
{
    ReferenceComputer computer;
    PosterRenderer renderer(computer);
    ExplorerState negative = fullView(7, 1.0f, -1.0f, 1.0f);
    const std::tuple<ExplorerState, PictureSize> refused[] = {
        {fullView(), {0, 10}}, {fullView(), {10, -1}}, {fullView(), {65536, 1}}, {negative, {4, 4}}};
    for (const auto& [view, size] : refused) {
        MemorySink sink(std::max(1, size.width));
        EXPECT_FALSE(renderer.render(view, size, sink)) << size.width << "x" << size.height;
        EXPECT_TRUE(sink.bands.empty());
    }
}

} // namespace
} // namespace mandel
