// Zoom videos: the dive's timeline of frames and keyframes, and frames made
// from two keyframes, checked against the scene they show.

#include "DeepView.h"
#include "ExplorerState.h"
#include "PosterMapping.h"
#include "ThreadPool.h"
#include "ZoomDive.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <utility>

namespace mandel {
namespace {

TEST(ZoomDive, KeyframesComeOnePerDoublingAndFramesRunFromStartToTarget)
{
    struct Row {
        const char* name;
        double start, target;
        int frames, keyframes;
    };
    const Row rows[] = {
        {"whole doublings", 0, 3 * std::log10(2.0), 50, 4},
        {"a shorter last step", 0, 1, 60, 5},  // 3.32 doublings
        {"deep", 30, 50, 600, 68},
        {"less than a doubling", 2, 2.1, 10, 2},
    };
    for (const Row& r : rows) {
        const ZoomDive dive(r.start, r.target, r.frames);
        EXPECT_EQ(dive.keyframes(), r.keyframes) << r.name;
        EXPECT_EQ(dive.keyframeZoom(0), r.start) << r.name;
        EXPECT_EQ(dive.keyframeZoom(dive.keyframes() - 1), r.target) << r.name;
        EXPECT_EQ(dive.frameZoom(0), r.start) << r.name;
        EXPECT_EQ(dive.frameZoom(r.frames - 1), r.target) << r.name;
        for (int j = 1; j < dive.keyframes(); ++j) {
            const double step = dive.keyframeZoom(j) - dive.keyframeZoom(j - 1);
            EXPECT_GT(step, 0) << r.name;
            EXPECT_LE(step, std::log10(2.0) + 1e-12) << r.name;
        }
        // Every frame lies between its outer keyframe and the next.
        for (int f = 0; f < r.frames; ++f) {
            const double z = dive.frameZoom(f);
            const int j = dive.outerKeyframe(z);
            ASSERT_GE(j, 0);
            ASSERT_LT(j + 1, dive.keyframes());
            EXPECT_LE(dive.keyframeZoom(j), z) << r.name << " frame " << f;
            EXPECT_GE(dive.keyframeZoom(j + 1), z) << r.name << " frame " << f;
        }
    }
}

// A smooth scene around the dive's centre, in plane units at zoom `base`.
double scene(double x, double y, int channel)
{
    return 127.5 + 100 * std::sin(3 * x + channel) * std::cos(2 * y - channel);
}

// The picture of the scene at zoom `zoom` (relative to the scene's own).
RgbImage picture(int width, int height, double zoom)
{
    RgbImage image(width, height);
    const double step = 4.0 / (std::pow(10.0, zoom) * std::min(width, height));
    std::size_t at = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < 3; ++k)
                image.rgb[at++] = static_cast<std::uint8_t>(
                    std::lround(scene((x + 0.5 - diveCentre(width, std::min(width, height))) * step,
                                      -(y + 0.5 - diveCentre(height, std::min(width, height))) * step, k)));
    return image;
}

// Rows: the keyframes dives draw (twice the frame, the inner one halved),
// and keyframes sqrt(2) the frame, which leave the border of a frame just
// past a keyframe with fewer samples than pixels: their error shows it.
TEST(ZoomDive, FramesShowTheSceneOfTheirZoomWithoutASeam)
{
    const int width = 96, height = 54;
    const ZoomDive dive(0, 0.6, 9);
    const struct {
        const char* name;
        PictureSize keyframe;
        bool halveInner;
        int worst;  // bilinear error grows with the square of the spacing
    } rules[] = {{"twice, inner halved", keyframeSize({width, height}), true, 6},
                 {"sqrt(2), as drawn", {137, 77}, false, 8}};
    for (const auto& rule : rules)
        for (int f = 0; f < dive.frames(); ++f) {
            const double z = dive.frameZoom(f);
            const int j = dive.outerKeyframe(z);
            const RgbImage outer = picture(rule.keyframe.width, rule.keyframe.height, dive.keyframeZoom(j));
            RgbImage inner = picture(rule.keyframe.width, rule.keyframe.height, dive.keyframeZoom(j + 1));
            if (rule.halveInner)
                inner = halved(inner);
            RgbImage frame(width, height);
            assembleFrame(outer, dive.keyframeZoom(j), inner, dive.keyframeZoom(j + 1), z, frame);
            const RgbImage exact = picture(width, height, z);
            int worst = 0;
            for (std::size_t p = 0; p < frame.rgb.size(); ++p)
                worst = std::max(worst, std::abs(frame.rgb[p] - exact.rgb[p]));
            // Bilinear samples of a scene this smooth: a few levels at most,
            // in the blend as elsewhere.
            EXPECT_LE(worst, rule.worst) << rule.name << ": frame " << f << " at zoom " << z;
        }
}

// Keyframes and frames are deep posters: the dive's centre must sit where
// a poster of each size shows picture pixel 300, or every frame would be
// pieced from pictures a few pixels apart (4 at 1920 x 1080).
TEST(ZoomDive, TheCentreIsWherePostersShowTheDeepCentre)
{
    ExplorerState view;
    view.wid = view.hei = kSurfaceSize;
    ResetView(view);
    for (const PictureSize size : {PictureSize{1920, 1080}, PictureSize{3840, 2160}, PictureSize{64, 36},
                                   PictureSize{36, 64}, PictureSize{596, 596}, PictureSize{193, 109}}) {
        const PosterMapping mapping(view, size);
        const int shorter = std::min(size.width, size.height);
        // Pixel u's centre is at u + 0.5; pictureX runs linearly in u.
        const double u = diveCentre(size.width, shorter) - 0.5, v = diveCentre(size.height, shorter) - 0.5;
        const double stepX = mapping.pictureX(1) - mapping.pictureX(0), stepY = mapping.pictureY(1) - mapping.pictureY(0);
        EXPECT_NEAR(mapping.pictureX(0) + u * stepX, kDeepCentrePixel, 1e-9) << size.width << "x" << size.height;
        EXPECT_NEAR(mapping.pictureY(0) + v * stepY, kDeepCentrePixel, 1e-9) << size.width << "x" << size.height;
    }
}

// The fast assembly finds each column's and row's samples once; it must
// give the reference's bytes on noise (where any misplaced sample shows), at
// odd and even sizes, across a step and at its ends, on one or more threads.
TEST(ZoomDive, FramesAreTheReferencesByteForByte)
{
    ThreadPool pool(3);
    std::uint32_t state = 12345;
    auto noise = [&state](int w, int h) {
        RgbImage image(w, h);
        for (auto& byte : image.rgb) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
        return image;
    };
    const double step = std::log10(2.0);
    for (const auto& [w, h] : {std::pair{64, 36}, std::pair{37, 53}, std::pair{2, 2}, std::pair{101, 100}}) {
        const RgbImage outer = noise(2 * w, 2 * h), innerHalf = halved(noise(2 * w, 2 * h));
        for (const double at : {0.0, 0.001, 0.37, 0.5, 0.999, 1.0}) {
            RgbImage fast(w, h), threaded(w, h), reference(w, h);
            assembleFrame(outer, 7, innerHalf, 7 + step, 7 + at * step, fast);
            assembleFrame(outer, 7, innerHalf, 7 + step, 7 + at * step, threaded, &pool);
            assembleFrameReference(outer, 7, innerHalf, 7 + step, 7 + at * step, reference);
            EXPECT_EQ(fast.rgb, reference.rgb) << w << "x" << h << " at " << at;
            EXPECT_EQ(threaded.rgb, reference.rgb) << w << "x" << h << " at " << at;
        }
    }
}

TEST(ZoomDive, HalvingAveragesBlocks)
{
    RgbImage image(3, 2);
    for (std::size_t p = 0; p < image.rgb.size(); ++p)
        image.rgb[p] = static_cast<std::uint8_t>(p * 10);
    const RgbImage half = halved(image);
    ASSERT_EQ(half.width, 2);
    ASSERT_EQ(half.height, 1);
    // Red of the first block: pixels 0, 1 (row 0) and 3, 4 (row 1).
    EXPECT_EQ(half.rgb[0], (0 + 30 + 90 + 120 + 2) / 4);
    // The odd last column averages its own two pixels.
    EXPECT_EQ(half.rgb[3], (60 + 150 + 1) / 2);
}

} // namespace
} // namespace mandel
