#include "WindowTestSupport.h"

#include "AppIcon.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace mandel {
namespace {

using testing::TestWindow;

class WindowIcon : public ::testing::TestWithParam<int> {};

// The window's icon holds a rendering of the SVG at each usual hicolor size,
// not a scaled neighbour and not an empty image: a transparent corner, the warm
// halo right of the set and the dark set in the middle, where the SVG has them.
TEST_P(WindowIcon, HoldsTheSvgRenderedAtThisSize)
{
    TestWindow w;
    const int size = GetParam();
    const QIcon icon = w->windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << "no " << size << " px rendering";

    const QImage image = icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(size, size));
    // SVG units (128 per side) to pixels of this rendering.
    const auto at = [&](int x, int y) { return QColor::fromRgba(image.pixel(x * size / 128, y * size / 128)); };
    EXPECT_LT(at(0, 0).alpha(), 128) << "corner";
    const QColor halo = at(100, 64);
    EXPECT_EQ(halo.alpha(), 255);
    EXPECT_GT(halo.red(), 150) << "halo";
    const QColor set = at(64, 64);
    EXPECT_EQ(set.alpha(), 255);
    EXPECT_LT(set.red() + set.green() + set.blue(), 120) << "set";
}

INSTANTIATE_TEST_SUITE_P(Form1, WindowIcon, ::testing::Values(16, 22, 24, 32, 48, 64, 128, 256, 512),
                         [](const auto& row) { return std::to_string(row.param) + "px"; });

} // namespace
} // namespace mandel
