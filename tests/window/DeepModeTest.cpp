// Deep mode in the window: turning it on keeps the view and off goes back,
// presses zoom deep, the picture is the engine's, the orbit is computed off
// the GUI thread, the cap can be set, and history and locations carry deep
// views like the others.
#include "WindowTestSupport.h"

#include "AutoIterations.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerMenus.h"
#include "IterationsDialog.h"
#include "StatusLine.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QSpinBox>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace mandel {
namespace {

using testing::pictureOf;
using testing::TestWindow;

// Runs the event loop until the deep picture of the view shown is drawn (or
// `seconds` pass); whether it was.
bool waitForDeepPicture(Form1& form, qint64 seconds = 120)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        testing::runPendingEvents();
        if (!form.isPreparingDeep() && !form.isDrawing() && !form.statusText().isEmpty())
            return true;
        QThread::msleep(5);
    }
    return false;
}

// The engine's picture of a deep view in the palette of `s`.
std::vector<Colour> deepDrawing(const ExplorerState& s, const DeepCentre& view)
{
    auto orbit = ReferenceOrbit::compute(view);
    EXPECT_TRUE(orbit.ok());
    DeepComputer computer(std::shared_ptr<const ReferenceOrbit>(std::move(orbit.value())));
    ImageSurface surface;
    Renderer renderer;
    renderer.DrawDeep(computer, s, surface);
    return surface.pixels();
}

bool sameCentre(const DeepCentre& a, const DeepCentre& b)
{
    return a.re == b.re && a.im == b.im && a.zoom == b.zoom;
}

TEST(Form1Deep, TurningOnKeepsTheViewAndDrawsTheEnginesPicture)
{
    TestWindow w(5);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 186, 255);
    w->OnPictureMouseDown(Qt::LeftButton, {}, 310.5f, 290);
    const ExplorerState legacy = w->state();
    const std::size_t steps = w->history().undoSteps();

    w->OnDeepZoom();
    ASSERT_TRUE(w->deepView());
    const DeepCentre expected = deepViewOf(legacy, kDefaultDeepIterations);
    EXPECT_TRUE(sameCentre(*w->deepView(), expected)) << w->deepView()->re << "," << w->deepView()->im;
    EXPECT_TRUE(w->menus()->action(QStringLiteral("actionDeepZoom"))->isChecked());
    ASSERT_TRUE(waitForDeepPicture(*w));
    // The cap chosen from the picture is part of the view and its location.
    DeepCentre shown = expected;
    shown.iterations = w->deepView()->iterations;
    auto chosen = orbitWithAutoIterations(expected);
    ASSERT_TRUE(chosen.ok());
    EXPECT_EQ(shown.iterations, chosen.value()->view().iterations);
    ASSERT_TRUE(w->location() && w->location()->deep);
    EXPECT_EQ(*w->location()->deep, shown);
    EXPECT_EQ(w->history().undoSteps(), steps + 1);
    EXPECT_EQ(pictureOf(*w), deepDrawing(w->state(), shown));
    EXPECT_EQ(w->statusText().toStdString(), deepStatusLine(w->state().b, 2));
}

TEST(Form1Deep, PressesZoomTenfoldAboutThePressedPointWithoutLimit)
{
    TestWindow w(6);
    w->OnLoad();
    ASSERT_TRUE(w->setIterations(false, 300));
    w->OnDeepZoom();
    ASSERT_TRUE(waitForDeepPicture(*w));
    DeepCentre view = *w->deepView();
    EXPECT_EQ(view.iterations, 300);
    // Past where doubles end, and on: every press is a deep zoom.
    for (int k = 0; k < 18; ++k) {
        w->OnPictureMouseDown(Qt::LeftButton, {}, 300.25f, 299.5f);
        view = zoomDeepAt(view, 0.25, -0.5);
    }
    EXPECT_EQ(*w->deepView(), view);
    ASSERT_TRUE(waitForDeepPicture(*w));
    EXPECT_EQ(pictureOf(*w), deepDrawing(w->state(), view));
    EXPECT_NE(w->statusText().toStdString().find("1E+18"), std::string::npos);
}

TEST(Form1Deep, TurningOffGoesBackToTheLegacyViewOrOneAsNearAsClicksGo)
{
    TestWindow w(7);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 186, 255);
    const ExplorerState legacy = w->state();
    const auto legacyView = w->location();
    const std::vector<Colour> legacyPicture = pictureOf(*w);

    // Unchanged: exactly the view it came from.
    w->OnDeepZoom();
    w->OnDeepZoom();
    EXPECT_FALSE(w->deepView());
    EXPECT_FALSE(w->menus()->action(QStringLiteral("actionDeepZoom"))->isChecked());
    EXPECT_EQ(w->state(), legacy);
    EXPECT_EQ(w->location(), legacyView);
    EXPECT_EQ(pictureOf(*w), legacyPicture);

    // Zoomed on: clicks from the full view to the same centre and zoom.
    w->OnDeepZoom();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 400, 100);
    w->OnPictureMouseDown(Qt::LeftButton, {}, 123, 456);
    const DeepCentre deep = *w->deepView();
    w->OnDeepZoom();
    ASSERT_FALSE(w->deepView());
    ASSERT_TRUE(w->location());
    EXPECT_EQ(w->location()->clicks, clicksToward(deep));
    EXPECT_EQ(w->state().f1, 1000);
}

TEST(Form1Deep, StaysOnPastWhereDoublesCanShowTheView)
{
    TestWindow w(8);
    w->OnLoad();
    ASSERT_TRUE(w->setIterations(false, 200));
    w->OnDeepZoom();
    for (int k = 0; k < 15; ++k)
        w->OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
    const auto view = w->location();
    w->OnDeepZoom();
    EXPECT_TRUE(w->deepView());
    EXPECT_TRUE(w->menus()->action(QStringLiteral("actionDeepZoom"))->isChecked());
    EXPECT_EQ(w->location(), view);
    EXPECT_TRUE(w->noticeText().contains(QStringLiteral("1E+14"))) << w->noticeText().toStdString();
}

TEST(Form1Deep, UndoRedoAndLocationsCarryDeepViews)
{
    TestWindow w(9);
    w->OnLoad();
    ASSERT_TRUE(w->setIterations(false, 400));
    const auto legacyView = w->location();
    w->OnDeepZoom();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 200, 100);
    const auto deepLocation = w->location();
    ASSERT_TRUE(deepLocation && deepLocation->deep);

    w->OnUndo();
    w->OnUndo();
    EXPECT_FALSE(w->deepView());
    EXPECT_EQ(w->location(), legacyView);
    w->OnRedo();
    w->OnRedo();
    EXPECT_EQ(w->location(), deepLocation);
    ASSERT_TRUE(waitForDeepPicture(*w));
    const std::vector<Colour> picture = pictureOf(*w);

    // Copied and pasted into another window: the same picture, its cap
    // taken as it is even where automatic caps are on.
    w->OnCopyLocation();
    const std::string text = QGuiApplication::clipboard()->text().toStdString();
    EXPECT_NE(text.find(" zoom=1 iterations=400"), std::string::npos) << text;
    TestWindow other(10);
    other->OnLoad();
    ASSERT_TRUE(other->automaticIterations());
    ASSERT_TRUE(other->goToLocation(text));
    ASSERT_TRUE(waitForDeepPicture(*other));
    EXPECT_EQ(other->location(), deepLocation);
    EXPECT_EQ(pictureOf(*other), picture);
    other->OnUndo();
    EXPECT_FALSE(other->deepView());
}

TEST(Form1Deep, TheWindowAnswersWhileALongOrbitIsComputed)
{
    TestWindow w(11);
    w->OnLoad();
    // 10^6 iterations at 1E+5000: minutes of high-precision work.
    ASSERT_TRUE(w->goToLocation("mandel-location/1 mode=1 fn=1,2,3 moduli=150,150,150 centre=-1.5,0 zoom=5000 "
                                "iterations=1000000"));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1500)
        testing::runPendingEvents();
    EXPECT_TRUE(w->isPreparingDeep());
    EXPECT_TRUE(w->noticeText().contains(QStringLiteral("reference orbit"))) << w->noticeText().toStdString();
    // A command meanwhile is taken at once; the old orbit is given up.
    clock.restart();
    w->OnUndo();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(w->deepView());
    EXPECT_FALSE(w->isPreparingDeep());
}

TEST(Form1Deep, IterationCapsOutOfRangeOrMemoryAreRefused)
{
    TestWindow w(12);
    w->OnLoad();
    EXPECT_FALSE(w->setIterations(false, 199));
    EXPECT_FALSE(w->setIterations(false, 100000001));
    EXPECT_TRUE(w->automaticIterations());

    IterationsDialog dialog(*w);
    EXPECT_TRUE(dialog.automatic()->isChecked());
    EXPECT_FALSE(dialog.iterations()->isEnabled());
    EXPECT_EQ(dialog.iterations()->minimum(), kMinDeepIterations);
    EXPECT_EQ(dialog.iterations()->maximum(), kMaxDeepIterations);
    dialog.automatic()->setChecked(false);
    EXPECT_TRUE(dialog.iterations()->isEnabled());
    dialog.iterations()->setValue(5000);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(w->automaticIterations());
    w->OnDeepZoom();
    EXPECT_EQ(w->deepView()->iterations, 5000);
}

TEST(Form1Deep, LegacyZoomsNearTheEndOfDoublesPointToDeepZoom)
{
    TestWindow w(13);
    w->OnLoad();
    for (int k = 0; k < 12; ++k)
        w->OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
    EXPECT_FALSE(w->noticeText().contains(QStringLiteral("Deep zoom")));
    // From 1E+13 to 1E+15, as doubles give out.
    for (int k = 13; k <= 15; ++k) {
        w->OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
        EXPECT_TRUE(w->noticeText().contains(QStringLiteral("Deep zoom (Ctrl+D)"))) << k;
    }
    w->OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
    EXPECT_FALSE(w->noticeText().contains(QStringLiteral("Deep zoom")));
}

} // namespace
} // namespace mandel
