#include "ColourChain.h"
#include "ExplorerState.h"
#include "ImageSurface.h"
#include "PointResult.h"
#include "RecordingSurface.h"
#include "Renderer.h"
#include "WholeField.h"
#include "TestStates.h"

#include <gtest/gtest.h>

#include <string>

namespace mandel {
namespace {

using testing::computeField;

using testing::fullView;
using testing::RecordingSurface;

int P(double v) { int out = 0; roundMod(v, 255, out); return out; }
int Pf(float v) { int out = 0; roundMod(v, 255, out); return out; }

TEST(Renderer, DrawsEveryPointColumnByColumnYieldingBeforeEachColumn)
{
    const ExplorerState s = fullView(1, 1.5f, 2.5f, 3.5f);
    RecordingSurface surface;
    std::vector<std::size_t> yieldsAt;
    std::vector<std::string> status;
    Renderer r;
    DrawHooks hooks;
    hooks.yield = [&] { yieldsAt.push_back(surface.calls.size()); return true; };
    hooks.printStatus = [&](const std::string& line) { status.push_back(line); };
    ASSERT_TRUE(r.DrawFractal(s, surface, hooks));

    ASSERT_EQ(surface.calls.size(), 601u * 601u);
    ASSERT_EQ(yieldsAt.size(), 601u);
    for (std::size_t x = 0; x < 601; ++x)
        EXPECT_EQ(yieldsAt[x], x * 601) << "yield before the rows of column " << x;
    for (std::size_t i = 0; i < surface.calls.size(); ++i) {
        ASSERT_EQ(surface.calls[i].x, static_cast<int>(i / 601));
        ASSERT_EQ(surface.calls[i].y, static_cast<int>(i % 601));
    }
    EXPECT_EQ(surface.clears, 0) << "the caller clears, not the renderer";
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].rfind("Select interesting area and CLICK", 0), 0u);
}

TEST(Renderer, KnownPixelsOfTheFullView)
{
    const ExplorerState s = fullView(1, 1.5f, 2.5f, 3.5f);
    RecordingSurface surface;
    Renderer r;
    r.DrawFractal(s, surface);
    auto at = [&](int x, int y) { return surface.calls[static_cast<std::size_t>(x) * 601 + static_cast<std::size_t>(y)].c; };
    // (0, 0) is -2+2i: n = 3, so (P(4.5), P(7.5), P(10.5)) = (4, 8, 10).
    EXPECT_EQ(at(0, 0), composeColour(4, 8, 10));
    // (300, 300) is 0: n = 200 -> (P(300), P(500), P(700)) = (45, 245, 190).
    EXPECT_EQ(at(300, 300), composeColour(45, 245, 190));
    // Every point at the cap has that colour: c = -0.5 is at (225, 300).
    EXPECT_EQ(at(225, 300), at(300, 300));
    // (600, 300) is 2: z 0, 2, 6; n = 3.
    EXPECT_EQ(at(600, 300), composeColour(4, 8, 10));
}

TEST(Renderer, ModeSevenChainsFromTheBottomOfOneColumnToTheTopOfTheNext)
{
    const ExplorerState s = fullView(7, 1.25f, 0.75f, 2);
    RecordingSurface surface;
    Renderer r;
    r.DrawFractal(s, surface);
    auto n = [&](int x, int y) { return iteratePoint(planeX(s, x), planeY(s, y)).n; };

    // Pixel (1, 0) reads the green of (0, 600), a row the surface drops.
    const int greenBottom = Pf(static_cast<float>(n(0, 600)) * 0.75f);
    const int expectRed = P(static_cast<double>(n(1, 0) + greenBottom) * 1.25);
    EXPECT_EQ(redOf(surface.calls[601].c), expectRed);
    // The first pixel uses the single product.
    EXPECT_EQ(redOf(surface.calls[0].c), Pf(static_cast<float>(n(0, 0)) * 1.25f));
    // Inside a column, each red reads the green just above.
    const int green = greenOf(surface.calls[5 * 601 + 99].c);
    EXPECT_EQ(redOf(surface.calls[5 * 601 + 100].c), P(static_cast<double>(n(5, 100) + green) * 1.25));
}

TEST(Renderer, ImageSurfaceKeepsTheDrawableAreaOnly)
{
    const ExplorerState s = fullView(3, 1.5f, 2.5f, 3.5f);
    RecordingSurface all;
    ImageSurface image;
    Renderer r;
    r.DrawFractal(s, all);
    r.DrawFractal(s, image);
    for (const auto& c : all.calls) {
        if (c.x < kDrawableSize && c.y < kDrawableSize) {
            ASSERT_EQ(image.pixel(c.x, c.y), c.c) << c.x << "," << c.y;
        }
    }
    image.setPixel(596, 0, 1);
    image.setPixel(0, 596, 1);
    image.setPixel(-1, 3, 1);
    ImageSurface again;
    r.DrawFractal(s, again);
    EXPECT_EQ(image, again) << "points outside are dropped";
}

TEST(Renderer, AYieldThatSaysStopAbandonsThePicture)
{
    const ExplorerState s = fullView(1, 1, 1, 1);
    RecordingSurface surface;
    int yields = 0, printed = 0;
    Renderer r;
    DrawHooks hooks;
    hooks.yield = [&] { return ++yields < 10; };
    hooks.printStatus = [&](const std::string&) { ++printed; };
    EXPECT_FALSE(r.DrawFractal(s, surface, hooks));
    EXPECT_EQ(surface.calls.size(), 9u * 601u);
    EXPECT_EQ(printed, 0);
}

TEST(Renderer, ADrawingDuringAYieldEndsTheInterruptedOne)
{
    ExplorerState s = fullView(7, 1.25f, 0.75f, 2);
    RecordingSurface outer, inner;
    Renderer r;
    int printed = 0, yields = 0;
    bool innerDone = false;
    DrawHooks innerHooks;
    innerHooks.printStatus = [&](const std::string&) { ++printed; };
    DrawHooks hooks;
    hooks.printStatus = innerHooks.printStatus;
    hooks.yield = [&] {
        if (++yields == 50) {
            ZoomAt(s, 100, 100);
            innerDone = r.DrawFractal(s, inner, innerHooks);
        }
        return true;
    };
    EXPECT_FALSE(r.DrawFractal(s, outer, hooks));
    EXPECT_TRUE(innerDone);
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(outer.calls.size(), 49u * 601u);

    RecordingSurface fresh;
    r.DrawFractal(s, fresh);
    ASSERT_EQ(inner.calls.size(), fresh.calls.size());
    for (std::size_t i = 0; i < fresh.calls.size(); ++i)
        ASSERT_EQ(inner.calls[i].c, fresh.calls[i].c);
}

TEST(Renderer, ComputeFieldMatchesThePointIteration)
{
    ExplorerState s = fullView(1, 1, 1, 1);
    ZoomAt(s, 186, 300);
    ReferenceComputer c;
    const auto field = computeField(s, c);
    ASSERT_EQ(field.size(), 601u * 601u);
    for (const int x : {0, 17, 300, 600})
        for (const int y : {0, 250, 600})
            EXPECT_EQ(field[static_cast<std::size_t>(x) * 601 + static_cast<std::size_t>(y)],
                      iteratePoint(planeX(s, x), planeY(s, y)));
}

} // namespace
} // namespace mandel

namespace mandel {
namespace {

struct ColumnsCase {
    int x0, columns, count;
};

TEST(ImageSurface, ARunOfColumnsIsWhatItsColumnsWouldBe)
{
    // Runs inside, across either edge and past the drawable rows, of widths
    // around the blocks the image fills at once.
    const ColumnsCase cases[] = {{0, 40, 601}, {560, 40, 601}, {580, 21, 596}, {-5, 17, 601},
                                 {3, 1, 601}, {100, 16, 10}, {200, 33, 0}, {596, 4, 601}};
    for (const ColumnsCase& c : cases) {
        std::vector<Colour> colours(static_cast<std::size_t>(c.columns) * static_cast<std::size_t>(c.count));
        for (std::size_t i = 0; i < colours.size(); ++i)
            colours[i] = static_cast<Colour>(i * 7919u + 1u);
        ImageSurface byRun, byColumn;
        byRun.setColumns(c.x0, c.columns, colours.data(), c.count);
        for (int k = 0; k < c.columns; ++k)
            byColumn.setColumn(c.x0 + k, colours.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(c.count),
                               c.count);
        EXPECT_EQ(byRun, byColumn) << c.columns << " columns from " << c.x0 << ", " << c.count << " rows";
    }
}

TEST(ImageSurface, AColumnIsWhatItsPixelsWouldBe)
{
    std::vector<Colour> colours(601);
    for (std::size_t i = 0; i < colours.size(); ++i)
        colours[i] = static_cast<Colour>(i * 977u);
    const int columns[] = {0, 1, 300, 595, 596, 600, -1};
    const int counts[] = {601, 596, 10, 0};
    for (const int x : columns) {
        for (const int count : counts) {
            ImageSurface byColumn, byPixel;
            byColumn.setColumn(x, colours.data(), count);
            for (int y = 0; y < count; ++y)
                byPixel.setPixel(x, y, colours[static_cast<std::size_t>(y)]);
            EXPECT_EQ(byColumn, byPixel) << "column " << x << ", " << count << " rows";
        }
    }
}

} // namespace
} // namespace mandel
