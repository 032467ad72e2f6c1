#include "ExplorerState.h"
#include "PosterMapping.h"
#include "TestStates.h"

#include <gtest/gtest.h>

namespace mandel {
namespace {

// A view one zoom in at (450, 150) of the full view: di 1500, dj -1500,
// zoom 1500 and 0.2 on both axes.
ExplorerState zoomedView()
{
    ExplorerState s = testing::fullView();
    ZoomAt(s, 450, 150);
    return s;
}

struct Pixel {
    const char* name;
    bool zoomed;
    int width, height, u, v;
    double pictureX, pictureY;  // worked out by hand
    double cx, cy;
};

const Pixel kPixels[] = {
    // k = 1: the poster is the picture.
    {"SquareAtPictureSizeCentre", false, 596, 596, 298, 298, 298, 298, -0.01333333333333342, 0.01333333333333342},
    // k = 2: pixel 150 lands on picture pixel 300, the plane's origin.
    {"HalfSizeOrigin", false, 298, 298, 150, 150, 300, 300, 0.0, 0.0},
    // k = 596: a single pixel sits on the picture's top-left corner.
    {"OnePixel", false, 1, 1, 0, 0, 0, 0, -2.0, 2.0},
    // k = 298, W / 2 = 1.5: the wider side reaches past the square.
    {"WideRightEdge", false, 3, 2, 2, 1, 447, 298, 0.98, 0.01333333333333342},
    // k = 1 on a 2:1 poster: 298 more picture pixels on either side.
    {"DoubleWidthLeft", false, 1192, 596, 0, 0, -298, 0, -3.9866666666666664, 2.0},
    {"DoubleWidthRightBottom", false, 1192, 596, 1191, 595, 893, 595, 3.953333333333333, -1.9666666666666668},
    // The same on a tall poster: the height reaches past the square.
    {"DoubleHeightTop", false, 596, 1192, 0, 0, 0, -298, -2.0, 3.9866666666666664},
    // The zoomed view's centre pixel is c = 1 + i.
    {"ZoomedCentre", true, 596, 596, 300, 300, 300, 300, 1.0, 1.0},
    // k = 596 / 3 is not a whole number: products round.
    {"ZoomedThirds", true, 4, 3, 1, 2, 99.33333333333334, 397.3333333333333, 0.8662222222222222, 0.9351111111111112},
};

class PosterMappingPixels : public ::testing::TestWithParam<Pixel> {};

TEST_P(PosterMappingPixels, LandOnTheHandWorkedPlanePoint)
{
    const Pixel& p = GetParam();
    const PosterMapping m(p.zoomed ? zoomedView() : testing::fullView(), {p.width, p.height});
    EXPECT_EQ(m.pictureX(p.u), p.pictureX);
    EXPECT_EQ(m.pictureY(p.v), p.pictureY);
    EXPECT_EQ(m.planeX(p.u), p.cx);
    EXPECT_EQ(m.planeY(p.v), p.cy);
}

INSTANTIATE_TEST_SUITE_P(Posters, PosterMappingPixels, ::testing::ValuesIn(kPixels),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace mandel
