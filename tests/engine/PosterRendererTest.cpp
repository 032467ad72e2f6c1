#include "BandSink.h"
#include "ColourChain.h"
#include "DeepComputer.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "ImageSurface.h"
#include "PosterMapping.h"
#include "PictureComputer.h"
#include "PosterRenderer.h"
#include "ReferenceOrbit.h"
#include "Renderer.h"
#include "TestStates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <tuple>

namespace mandel {
namespace {

using testing::fullView;

// A poster the straightforward way: every pixel iterated one at a time and
// coloured by one ColourChain in drawing order (down each column, columns
// left to right); row by row, top row first.
std::vector<Colour> referencePoster(const ExplorerState& view, PictureSize size)
{
    const PosterMapping mapping(view, size);
    std::vector<Colour> image(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height));
    ColourChain chain(view);
    for (int u = 0; u < size.width; ++u)
        for (int v = 0; v < size.height; ++v) {
            const PointResult p = iteratePoint(mapping.planeX(u), mapping.planeY(v));
            image[static_cast<std::size_t>(v * size.width + u)] = chain.next(p.n, p.zi);
        }
    return image;
}

// Keeps every row handed to it, as colours, and the rows of each call;
// fails after `failAfter` calls when told to.
struct MemorySink final : BandSink {
    explicit MemorySink(int w, int failing = -1) : width(w), failAfter(failing) {}
    Status writeRows(const std::uint8_t* rgb, int rows) override
    {
        if (failAfter >= 0 && static_cast<int>(bands.size()) >= failAfter)
            return fail("disk full", 28);
        bands.push_back(rows);
        for (std::size_t i = 0; i < static_cast<std::size_t>(rows * width); ++i)
            pixels.push_back(composeColour(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]));
        return {};
    }
    int width, failAfter;
    std::vector<Colour> pixels;  // row by row
    std::vector<int> bands;
};

ExplorerState view(float mode, bool zoomed)
{
    ExplorerState s = fullView(mode, 3.7f, 1.25f, 8.5f);
    if (zoomed) {
        ZoomAt(s, 150, 400);
        ZoomAt(s, 310.5f, 290.25f);
    }
    return s;
}

// The poster, after checking that its bands cover every row within their bound.
std::vector<Colour> poster(PosterRenderer& renderer, const ExplorerState& v, PictureSize size, std::int64_t bandPixels = 0)
{
    MemorySink sink(size.width);
    const Status done = renderer.render(v, size, sink);
    EXPECT_TRUE(done) << (done ? "" : done.error());
    EXPECT_EQ(std::accumulate(sink.bands.begin(), sink.bands.end(), 0), size.height);
    for (const int rows : sink.bands)
        EXPECT_LE(rows * size.width, std::max<std::int64_t>(bandPixels > 0 ? bandPixels : 1 << 30, size.width));
    return sink.pixels;
}

// A 5 x 3 poster of the full view in multipliers 1.5, 2.5, 0.5. Its
// counts, column by column: 3 3 3 | 3 3 3 | 3 8 8 | 3 5 5 | 3 3 3.
TEST(PosterRenderer, HandWorkedPixelsInEveryBandLayout)
{
    const struct {
        int mode, u, v, red, green, blue;
    } pixels[] = {
        {7, 0, 0, 4, 8, 2},    // no predecessor: single products (4.5 -> 4)
        {7, 2, 1, 24, 20, 4},  // follows n = 3, whose green was P(7.5) = 8: P((8 + 8) * 1.5)
        {7, 3, 0, 34, 8, 2},   // follows column 2's bottom (n = 8, green 20): P((3 + 20) * 1.5)
        {7, 4, 0, 22, 8, 2},
        {8, 0, 0, 4, 8, 2},
        {8, 3, 0, 4, 18, 2},   // follows n = 8, whose blue was 4: P((3 + 4) * 2.5) = P(17.5) = 18
        {8, 2, 2, 12, 30, 4},
        {8, 4, 0, 4, 12, 2},
        {1, 2, 1, 12, 20, 4},
    };
    ReferenceComputer computer;
    for (const std::int64_t bandPixels : {5, 10, 15}) {
        PosterRenderer renderer(computer, bandPixels);
        for (const auto& p : pixels) {
            const auto image = poster(renderer, fullView(static_cast<float>(p.mode), 1.5f, 2.5f, 0.5f), {5, 3}, bandPixels);
            EXPECT_EQ(image.at(static_cast<std::size_t>(p.v * 5 + p.u)), composeColour(p.red, p.green, p.blue))
                << "mode " << p.mode << " pixel (" << p.u << ", " << p.v << "), bands of " << bandPixels / 5 << " rows";
        }
    }
}

struct Layout {
    const char* name;
    PictureSize size;
    std::int64_t bandPixels;
    bool zoomed;
};

class PosterLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(PosterLayouts, EveryModeEqualsTheStraightforwardPoster)
{
    const Layout& l = GetParam();
    FastComputer fast(FastComputerOptions{3});
    ReferenceComputer serial;
    PosterRenderer renderers[] = {PosterRenderer(fast, l.bandPixels), PosterRenderer(serial, l.bandPixels)};
    for (int mode = 1; mode <= 9; ++mode) {
        const ExplorerState v = view(static_cast<float>(mode), l.zoomed);
        const auto expected = referencePoster(v, l.size);
        for (PosterRenderer& renderer : renderers)
            ASSERT_EQ(poster(renderer, v, l.size, l.bandPixels), expected) << "mode " << mode;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PosterLayouts,
    ::testing::Values(Layout{"OnePixel", {1, 1}, 0, false}, Layout{"OneColumn", {1, 70}, 9, true},
                      Layout{"OneRow", {70, 1}, 0, true}, Layout{"OddSidesOneBand", {37, 23}, 0, false},
                      Layout{"BandsThatDoNotDivideTheHeight", {64, 48}, 64 * 5, true},
                      Layout{"BandsOfOneRow", {31, 17}, 31, false}, Layout{"NarrowerThanThePool", {2, 40}, 0, true},
                      Layout{"Tall", {40, 130}, 40 * 16, false}),
    [](const auto& row) { return std::string(row.param.name); });

// A 596 x 596 poster is the window's picture; a 1192 x 1192 one holds it
// on its even pixels.
void expectHoldsThePicture(PosterRenderer& renderer, const ExplorerState& v, const ImageSurface& window,
                           const std::string& what)
{
    const std::vector<Colour> picture = window.pixels();
    ASSERT_EQ(poster(renderer, v, {596, 596}), picture) << what;
    const auto twice = poster(renderer, v, {1192, 1192});
    for (std::size_t y = 0; y < 596; ++y)
        for (std::size_t x = 0; x < 596; ++x)
            ASSERT_EQ(twice[2 * y * 1192 + 2 * x], picture[y * 596 + x]) << what << " at (" << x << ", " << y << ")";
}

TEST(PosterRenderer, PictureSizedPostersAreTheWindowsPictureForLegacyAndDeepViews)
{
    // Modes 7 and 8 chain over the 601 rows the window computes, so their
    // row 0 differs; every other mode is a pure function of the pixel.
    FastComputer computer(FastComputerOptions{2});
    PosterRenderer posters(computer);
    Renderer renderer(makeFastComputer(FastComputerOptions{2}));
    for (const float mode : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 9.0f}) {
        const ExplorerState v = view(mode, static_cast<int>(mode) % 2 == 0);
        ImageSurface window;
        renderer.DrawFractal(v, window);
        expectHoldsThePicture(posters, v, window, "mode " + std::to_string(mode));
    }
    // Deep posters map pixels the same way, as offsets from the centre.
    auto orbit = ReferenceOrbit::compute(DeepCentre{"-0.7436", "0.1402", 5, 300});
    ASSERT_TRUE(orbit) << orbit.error();
    DeepComputer deep(std::shared_ptr<const ReferenceOrbit>(std::move(*orbit)));
    PosterRenderer deepPosters(deep);
    ImageSurface window;
    ASSERT_TRUE(renderer.DrawDeep(deep, paletteOf(fullView(5, 3.7f, 1.25f, 8.5f)), window));
    expectHoldsThePicture(deepPosters, fullView(5, 3.7f, 1.25f, 8.5f), window, "deep");
}

Result<FreeViewSetup> freeView(const DeepCentre& view)
{
    DeepSetupRequest request;
    request.view = view;
    return setUpFreeView(request);
}

TEST(PosterRenderer, AFreeViewMovedByWholePixelsComputesOnlyTheStripsThatCameIntoSight)
{
    // A 90 x 60 poster of a free view at 1E+2 in doubles, then moved by
    // whole poster pixels (k = 596 / 60 picture pixels each): the poster
    // drawn over the counts kept is the one drawn afresh, and only the
    // uncovered strips were computed (|du| whole columns, |dv| whole rows).
    const PictureSize size{90, 60};
    const double k = 596.0 / 60;
    const DeepCentre start{"-0.745", "0.1", 2, 200};
    const ExplorerState palette = view(4, false);
    const struct {
        const char* name;
        int du, dv;
    } moves[] = {{"right", 7, 0}, {"left", -12, 0}, {"down", 0, 5}, {"up", 0, -1},
                 {"diagonally", -9, 4}, {"out of sight", 95, 0}, {"not at all", 0, 0}};
    for (const auto& move : moves) {
        auto first = freeView(start);
        ASSERT_TRUE(first.ok());
        KeptCounts kept{size, {}, {}};
        KeptPixels keeping(*first->pixels, kept);
        PosterRenderer drawn(keeping);
        EXPECT_EQ(poster(drawn, palette, size), [&] {
            PosterRenderer plain(*first->pixels);
            return poster(plain, palette, size);
        }()) << move.name;
        EXPECT_EQ(keeping.computed(), 90 * 60) << move.name;

        // The picture follows the pointer: moved right by du, its centre
        // goes left by du pixels.
        const DeepCentre moved = moveDeepCentre(start, -move.du * k, -move.dv * k);
        auto next = freeView(moved);
        ASSERT_TRUE(next.ok());
        KeptCounts shifted = kept.shifted(move.du, move.dv);
        KeptPixels reusing(*next->pixels, shifted);
        PosterRenderer again(reusing);
        PosterRenderer fresh(*next->pixels);
        EXPECT_EQ(poster(again, palette, size), poster(fresh, palette, size)) << move.name;
        const long long du = std::min(std::abs(move.du), 90), dv = std::min(std::abs(move.dv), 60);
        EXPECT_EQ(reusing.computed(), du == 90 ? 90 * 60 : du * 60 + dv * 90) << move.name;
    }
}

// Kept from a poster whose colours read no z at the cap (mode 1: points
// inside the big components end without theirs), counts serve the next
// poster in mode 1, and are computed again for mode 4, which reads z.
TEST(PosterRenderer, CountsKeptWithoutTheirZAreComputedAgainForColoursThatReadIt)
{
    const PictureSize size{90, 60};
    auto free = freeView(DeepCentre{"-0.745", "0.1", 2, 200});
    ASSERT_TRUE(free.ok());
    KeptCounts kept{size, {}, {}};
    KeptPixels keeping(*free->pixels, kept);
    PosterRenderer drawn(keeping);
    PosterRenderer plain(*free->pixels);
    const struct {
        int mode;
        long long computed;  // pixels computed afresh
    } draws[] = {{1, 90 * 60}, {1, 0}, {4, 90 * 60}, {4, 0}, {1, 0}};
    for (const auto& draw : draws) {
        const ExplorerState palette = view(static_cast<float>(draw.mode), false);
        const long long before = keeping.computed();
        EXPECT_EQ(poster(drawn, palette, size), poster(plain, palette, size)) << "mode " << draw.mode;
        EXPECT_EQ(keeping.computed() - before, draw.computed) << "mode " << draw.mode;
    }
}

TEST(PosterRenderer, StopsWhenTheSinkFailsOrTheCallerSaysSo)
{
    ReferenceComputer computer;
    PosterRenderer renderer(computer, 20);
    MemorySink failing(10, 2);
    const Status full = renderer.render(fullView(), {10, 10}, failing);
    ASSERT_FALSE(full);
    EXPECT_EQ(full.failure().code, 28);
    EXPECT_EQ(failing.bands.size(), 2u);

    MemorySink sink(10);
    std::vector<int> seen;
    PosterHooks hooks;
    hooks.progress = [&](int rows) { seen.push_back(rows); return rows < 6; };
    const Status stopped = renderer.render(fullView(), {10, 10}, sink, hooks);
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.failure().code, ECANCELED);
    EXPECT_EQ(seen, (std::vector<int>{2, 4, 6}));
}

TEST(PosterRenderer, RefusesSizesAndPalettesItCannotDraw)
{
    ReferenceComputer computer;
    PosterRenderer renderer(computer);
    const std::tuple<ExplorerState, PictureSize> refused[] = {
        {fullView(), {0, 10}}, {fullView(), {10, -1}}, {fullView(), {65536, 1}}, {fullView(7, 1, -1, 1), {4, 4}}};
    for (const auto& [v, size] : refused) {
        MemorySink sink(std::max(1, size.width));
        EXPECT_FALSE(renderer.render(v, size, sink)) << size.width << "x" << size.height;
        EXPECT_TRUE(sink.bands.empty());
    }
}

} // namespace
} // namespace mandel
