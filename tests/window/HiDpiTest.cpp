// Runs with QT_SCALE_FACTOR=2: every logical pixel is two device pixels.
#include "WindowTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

namespace mandel {
namespace {

using testing::engineDrawing;
using testing::pictureOf;
using testing::TestWindow;

struct At {
    const char* name;
    QPointF local;  // in logical pixels of Picture1, border included
    float X, Y;     // the picture pixel it lands on
};

const At kPresses[] = {
    {"WholePixel", {2 + 100.0, 2 + 50.0}, 100, 50},
    {"SecondDevicePixelOfIt", {2 + 100.5, 2 + 50.5}, 100, 50},
    {"LastPixel", {2 + 595.5, 2 + 595.5}, 595, 595},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const At& row, std::ostream* os) { *os << row.name; }

class HiDpiPress : public ::testing::TestWithParam<At> {};

TEST_P(HiDpiPress, LandsOnTheSamePicturePixelAsAtScaleOne)
{
    testing::qtApp("2");
    TestWindow w(7);
    w->OnLoad();
    ASSERT_EQ(w->devicePixelRatioF(), 2.0) << "QT_SCALE_FACTOR was not applied";
    ExplorerState expected = w->state();
    ZoomAt(expected, GetParam().X, GetParam().Y);

    const QPointF local = GetParam().local;
    QMouseEvent press(QEvent::MouseButtonPress, local, w->Picture1()->mapToGlobal(local), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w->Picture1(), &press);

    EXPECT_EQ(w->state(), expected);
    EXPECT_EQ(w->pictureImage().size(), QSize(596, 596));
    EXPECT_EQ(pictureOf(*w), engineDrawing(expected));
    EXPECT_EQ(w->Picture1()->geometry(), QRect(48, 48, 600, 600));
}

INSTANTIATE_TEST_SUITE_P(Form1, HiDpiPress, ::testing::ValuesIn(kPresses),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(HiDpiResize, AGrownPictureIsDrawnInDevicePixelsAndPressesLandThroughThePosterRule)
{
    testing::qtApp("2");
    TestWindow w(7);
    w->OnLoad();
    ASSERT_TRUE(testing::waitForPicture(*w));
    w->resize(w->size() + QSize(100, 0));
    testing::runPendingEvents();
    ASSERT_TRUE(testing::waitForPicture(*w));
    // 696 x 596 logical pixels of drawable area, twice as many device pixels.
    EXPECT_EQ(w->Picture1()->geometry(), QRect(48, 48, 700, 600));
    EXPECT_EQ(w->pictureImage().size(), QSize(1392, 1192));
    // Logical (348, 298), the middle, is device pixel (696, 596): picture
    // pixel (696 - 696) * 596 / 1192 + 298 = 298 both ways.
    ExplorerState expected = w->state();
    ZoomAt(expected, 298.0f, 298.0f);
    const QPointF local(2 + 348.0, 2 + 298.0);
    QMouseEvent press(QEvent::MouseButtonPress, local, w->Picture1()->mapToGlobal(local), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w->Picture1(), &press);
    EXPECT_EQ(w->state(), expected);
}

} // namespace
} // namespace mandel
