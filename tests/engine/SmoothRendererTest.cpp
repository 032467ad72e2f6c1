#include "SmoothRenderer.h"

#include "BandSink.h"
#include "DeepComputer.h"
#include "DeepSmooth.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "ImageSurface.h"
#include "LocationPicture.h"
#include "PosterMapping.h"
#include "ReferenceOrbit.h"
#include "SmoothColour.h"
#include "TestStates.h"
#include "ThreadPool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace mandel {
namespace {

using testing::fullView;

// Where pixel (x, y) of a picture `width` wide starts among its bytes.
std::size_t byteOf(int x, int y, int width)
{
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
}

struct RgbSink final : BandSink {
    explicit RgbSink(int w) : width(w) {}
    Status writeRows(const std::uint8_t* rgb, int rows) override
    {
        maxRows = std::max(maxRows, rows);
        pixels.insert(pixels.end(), rgb, rgb + static_cast<std::ptrdiff_t>(rows) * width * 3);
        return {};
    }
    int width;
    int maxRows = 0;
    std::vector<std::uint8_t> pixels;  // row by row, three bytes a pixel
};

std::vector<std::uint8_t> draw(const ExplorerState& v, const SmoothColours& c, PictureSize size, ThreadPool* pool,
                               std::int64_t bandPixels = 0)
{
    SmoothRenderer renderer(pool, bandPixels);
    RgbSink sink(size.width);
    EXPECT_TRUE(renderer.render(v, c, size, sink));
    EXPECT_EQ(sink.pixels.size(), byteOf(0, size.height, size.width));
    return sink.pixels;
}

ExplorerState zoomed()
{
    ExplorerState s = fullView();
    ZoomAt(s, 150, 400);
    ZoomAt(s, 310.5f, 290.25f);
    return s;
}

struct Sampling {
    const char* name;
    int samples;
    PictureSize size;
    Shading shading;
    std::int64_t bandPixels;
};

class SupersampledPictures : public ::testing::TestWithParam<Sampling> {};

// A supersampled W x H picture is the N W x N H poster averaged over N x N
// blocks in linear light: its definition, recomputed here from the poster.
TEST_P(SupersampledPictures, EqualTheBlockAverageOfTheLargerPoster)
{
    const Sampling& p = GetParam();
    SmoothColours c;
    c.palette = "ocean";
    c.density = 6;
    c.shading = p.shading;
    const ExplorerState view = zoomed();
    const int n = p.samples;
    const PictureSize big{p.size.width * n, p.size.height * n};
    const auto poster = draw(view, c, big, nullptr);
    c.samples = n;
    ThreadPool pool(3);
    const auto picture = draw(view, c, p.size, &pool, p.bandPixels);
    // Counts from the fast computer first: the same picture.
    FastComputer fast(FastComputerOptions{2});
    SmoothRenderer fastRenderer(fast, p.bandPixels);
    RgbSink sink(p.size.width);
    ASSERT_TRUE(fastRenderer.render(view, c, p.size, sink));
    ASSERT_EQ(sink.pixels, picture);
    for (int v = 0; v < p.size.height; ++v)
        for (int u = 0; u < p.size.width; ++u)
            for (int k = 0; k < 3; ++k) {
                double sum = 0;
                for (int j = 0; j < n; ++j)
                    for (int i = 0; i < n; ++i)
                        sum += decodeSrgb(poster[byteOf(u * n + i, v * n + j, big.width) + static_cast<std::size_t>(k)]);
                ASSERT_EQ(picture[byteOf(u, v, p.size.width) + static_cast<std::size_t>(k)], encodeSrgb(sum / (n * n)))
                    << "pixel " << u << "," << v;
            }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SupersampledPictures,
    ::testing::Values(Sampling{"OneSampleIsThePoster", 1, {31, 17}, Shading::None, 0},
                      Sampling{"TwoByTwo", 2, {40, 30}, Shading::Distance, 0},
                      Sampling{"ThreeByThreeInBandsOfOneRow", 3, {21, 13}, Shading::Slopes, 1},
                      Sampling{"EightByEightOddSides", 8, {7, 5}, Shading::Distance, 500}),
    [](const auto& row) { return std::string(row.param.name); });

// With counts and last values from the fast computer, whole pictures are
// the reference's byte for byte: the full view, where most samples escape
// within a few steps, and a view on the edge, where many run to the cap;
// tall ones go through several pieces of columns, the last not whole.
TEST(SmoothRenderer, FastPicturesAreTheReferenceByteForByte)
{
    const struct {
        const char* name;
        ExplorerState view;
        const char* palette;
        bool logDensity;
        Shading shading;
        PictureSize size;
    } rows[] = {{"full view", fullView(), "classic", false, Shading::None, {257, 203}},
                {"full view, log density", fullView(), "fire", true, Shading::None, {257, 203}},
                {"edge", zoomed(), "ocean", false, Shading::None, {257, 203}},
                {"edge, slopes", zoomed(), "ice", false, Shading::Slopes, {257, 203}},
                {"full view in pieces", fullView(), "sunset", false, Shading::None, {301, 1003}}};
    FastComputer fast(FastComputerOptions{2});
    for (const auto& row : rows) {
        SmoothColours c;
        c.palette = row.palette;
        c.logDensity = row.logDensity;
        c.shading = row.shading;
        const PictureSize size = row.size;
        RgbSink sink(size.width);
        ASSERT_TRUE(SmoothRenderer(fast).render(row.view, c, size, sink));
        ASSERT_EQ(sink.pixels, draw(row.view, c, size, &ThreadPool::shared())) << row.name;
    }
}

TEST(SmoothRenderer, WindowPictureIsThe596Poster)
{
    SmoothColours c;
    c.palette = "fire";
    const ExplorerState view = zoomed();
    ImageSurface surface;
    ASSERT_TRUE(SmoothRenderer(&ThreadPool::shared()).renderPicture(view, c, surface));
    const auto poster = draw(view, c, {kDrawableSize, kDrawableSize}, nullptr);
    for (int y = 0; y < kDrawableSize; y += 7)
        for (int x = 0; x < kDrawableSize; x += 5) {
            const std::size_t at = byteOf(x, y, kDrawableSize);
            ASSERT_EQ(surface.pixel(x, y), composeColour(poster[at], poster[at + 1], poster[at + 2]));
        }
}

// Away from the set a smooth picture has no steps: neighbours differ by
// little; and lit as a relief, the full view shows many thousands of colours.
TEST(SmoothRenderer, FullViewIsSmoothAndRich)
{
    SmoothColours c;
    c.palette = "classic";
    c.shading = Shading::Slopes;
    const PictureSize size{300, 300};
    const auto image = draw(fullView(), c, size, &ThreadPool::shared());
    std::set<int> colours;
    int far = 0;
    const PosterMapping mapping(fullView(), size);
    const double pixel = mapping.planeX(1) - mapping.planeX(0);
    for (int v = 0; v + 1 < size.height; ++v)
        for (int u = 0; u + 1 < size.width; ++u) {
            const std::size_t at = byteOf(u, v, size.width);
            colours.insert(image[at] << 16 | image[at + 1] << 8 | image[at + 2]);
            const SmoothPoint p = iterateSmooth(mapping.planeX(u), mapping.planeY(v));
            if (p.inside || p.distance < 8 * pixel)
                continue;
            ++far;
            for (const std::size_t next : {byteOf(u + 1, v, size.width), byteOf(u, v + 1, size.width)})
                for (std::size_t k = 0; k < 3; ++k)
                    ASSERT_LE(std::abs(image[at + k] - image[next + k]), 10) << u << "," << v;
        }
    EXPECT_GT(far, 20000);
    EXPECT_GT(colours.size(), 10000u);
}

// Deep views keep the sample rule: their samples are picture pixels of the
// larger poster, offsets from the centre as deep posters' pixels are.
TEST(SmoothRenderer, DeepPicturesAreTheBlockAverageOfTheLargerPoster)
{
    auto orbit = ReferenceOrbit::compute(DeepCentre{"-0.7436438870371587", "0.1318259042053119", 8, 2000});
    ASSERT_TRUE(orbit) << orbit.error();
    DeepComputer deep(std::shared_ptr<const ReferenceOrbit>(std::move(*orbit)));
    SmoothColours c;
    c.palette = "ice";
    c.density = 40;
    c.shading = Shading::Distance;
    const PictureSize size{24, 18};
    RgbSink big(48);
    ASSERT_TRUE(SmoothRenderer(deep, 500).render(c, {48, 36}, big));
    c.samples = 2;
    RgbSink small(size.width);
    ASSERT_TRUE(SmoothRenderer(deep, 500).render(c, size, small));
    std::set<int> colours;
    for (int v = 0; v < size.height; ++v)
        for (int u = 0; u < size.width; ++u)
            for (int k = 0; k < 3; ++k) {
                double sum = 0;
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 2; ++i)
                        sum += decodeSrgb(big.pixels[byteOf(2 * u + i, 2 * v + j, 48) + static_cast<std::size_t>(k)]);
                const std::uint8_t pixel = small.pixels[byteOf(u, v, size.width) + static_cast<std::size_t>(k)];
                ASSERT_EQ(pixel, encodeSrgb(sum / 4)) << "pixel " << u << "," << v;
                colours.insert(pixel);
            }
    EXPECT_GT(colours.size(), 50u);  // smooth colours, not a few bands
}

// Deep pictures without shading colour from the deep loop's own last z
// (steps skipped by the approximation tables, the last one formed in
// doubles); the second pass, every step by perturbation, is the reference.
// Both z agree to far below a colour: pictures differ at most in pixels
// whose nu falls that close to a cell's edge.
TEST(SmoothRenderer, DeepPicturesWithoutShadingColourFromTheLoopsLastZ)
{
    auto orbit = ReferenceOrbit::compute(DeepCentre{"-0.7436438870371587", "0.1318259042053119", 8, 2000});
    ASSERT_TRUE(orbit) << orbit.error();
    DeepComputer deep(std::shared_ptr<const ReferenceOrbit>(std::move(*orbit)));
    SmoothColours c;
    c.palette = "sunset";
    c.density = 40;
    const PictureSize size{90, 70};
    RgbSink sink(size.width);
    ASSERT_TRUE(SmoothRenderer(deep).render(c, size, sink));

    const PosterMapping mapping(size);
    std::vector<double> dx, dy;
    for (int u = 0; u < size.width; ++u)
        dx.push_back(mapping.pictureX(u) - kDeepCentrePixel);
    for (int v = 0; v < size.height; ++v)
        dy.push_back(mapping.pictureY(v) - kDeepCentrePixel);
    std::vector<PointResult> results(dx.size() * dy.size());
    std::vector<double> zr(results.size());
    deep.computeGrid(dx.data(), size.width, dy.data(), size.height, results.data(), zr.data());
    const DeepSmooth second(deep.orbit(), deep.spacing());
    SampleColouring colouring(c, mapping.pictureX(1) - mapping.pictureX(0));
    colouring.derivativeStep = second.spacing();
    int escaped = 0, same = 0;
    for (int u = 0; u < size.width; ++u)
        for (int v = 0; v < size.height; ++v) {
            const auto i = static_cast<std::size_t>(u) * dy.size() + static_cast<std::size_t>(v);
            const std::size_t at = byteOf(u, v, size.width);
            const std::uint32_t got = static_cast<std::uint32_t>(sink.pixels[at] | sink.pixels[at + 1] << 8 |
                                                                 sink.pixels[at + 2] << 16);
            const PointResult& p = results[i];
            if (p.n >= deep.iterations()) {
                ASSERT_EQ(got, colouring.interior) << u << "," << v;
                continue;
            }
            ++escaped;
            const DeepFinal f = second.finalValue(dx[static_cast<std::size_t>(u)], dy[static_cast<std::size_t>(v)], p.n);
            ASSERT_NEAR(zr[i], f.zr, 1e-9 * std::abs(f.zr) + 1e-12) << u << "," << v;
            ASSERT_NEAR(p.zi, f.zi, 1e-9 * std::abs(f.zi) + 1e-12) << u << "," << v;
            const std::uint32_t want = colouring.colourEscaped(second.planeRe(dx[static_cast<std::size_t>(u)]),
                                                               second.planeIm(dy[static_cast<std::size_t>(v)]), p.n,
                                                               f.zr, f.zi, f.dzr, f.dzi);
            same += got == want ? 1 : 0;
        }
    EXPECT_GT(escaped, 3000);
    EXPECT_GE(same, escaped - escaped / 1000) << same << " of " << escaped;
}

// A deep location in smooth colours draws, and its text brings back the
// same picture.
TEST(SmoothRenderer, DeepLocationsInSmoothColoursRoundTrip)
{
    Location at;
    at.deep = DeepCentre{"-0.7436438870371587", "0.1318259042053119", 8, 2000};
    at.size = PictureSize{30, 20};
    at.smooth = SmoothColours{};
    at.smooth->palette = "sunset";
    at.smooth->shading = Shading::Slopes;
    at.smooth->samples = 2;
    auto draw = [](const Location& l) {
        auto picture = LocationPicture::prepare(l, nullptr, {});
        EXPECT_TRUE(picture) << picture.error();
        RgbSink sink(30);
        EXPECT_TRUE(picture->drawPoster(sink, {}));
        return sink.pixels;
    };
    const auto read = parseLocation(formatLocation(at));
    ASSERT_TRUE(read) << read.error();
    ASSERT_EQ(*read, at);
    EXPECT_EQ(draw(*read), draw(at));
}

} // namespace
} // namespace mandel
