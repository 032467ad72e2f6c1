// Deep mode in the window, its pictures checked against the engine's.
#include "WindowTestSupport.h"

#include "AutoIterations.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerMenus.h"
#include "IterationsDialog.h"
#include "StatusLine.h"

#include <QAction>
#include <QCheckBox>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace mandel {
namespace {

using testing::pictureOf;
using testing::TestWindow;
using testing::waitForPicture;

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

bool deepChecked(const Form1& w)
{
    return w.menus()->action(QStringLiteral("actionDeepZoom"))->isChecked();
}

TEST(Form1Deep, OnKeepsTheViewPressesZoomTenfoldWithoutLimitAndOffGoesBack)
{
    TestWindow w(5);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 186, 255);
    w->OnPictureMouseDown(Qt::LeftButton, {}, 310.5f, 290);
    const ExplorerState legacy = w->state();
    const auto legacyView = w->location();
    const std::vector<Colour> legacyPicture = pictureOf(*w);

    // On: the same centre and zoom, at the cap chosen from the picture.
    w->OnDeepZoom();
    ASSERT_TRUE(w->deepView() && deepChecked(*w));
    ASSERT_TRUE(waitForPicture(*w));
    auto chosen = orbitWithAutoIterations(deepViewOf(legacy, kDefaultDeepIterations));
    ASSERT_TRUE(chosen.ok());
    const DeepCentre on = chosen->view;
    EXPECT_EQ(*w->deepView(), on);
    EXPECT_EQ(w->location()->deep, on);
    EXPECT_EQ(pictureOf(*w), deepDrawing(w->state(), on));
    EXPECT_EQ(w->statusText().toStdString(), deepStatusLine(w->state().b, 2));

    // Off, unchanged: exactly the view it came from.
    w->OnDeepZoom();
    EXPECT_FALSE(w->deepView() || deepChecked(*w));
    EXPECT_EQ(w->state(), legacy);
    EXPECT_EQ(w->location(), legacyView);
    EXPECT_EQ(pictureOf(*w), legacyPicture);

    // Off after deep zooms: clicks from the full view to the same centre.
    ASSERT_TRUE(w->setIterations(false, 300));
    w->OnDeepZoom();
    DeepCentre view = *w->deepView();
    for (const Click c : {Click{400, 100}, Click{123, 456}}) {
        w->OnPictureMouseDown(Qt::LeftButton, {}, c.x, c.y);
        view = zoomDeepAt(view, c.x - 300, c.y - 300);
    }
    EXPECT_EQ(*w->deepView(), view);
    w->OnDeepZoom();
    ASSERT_FALSE(w->deepView());
    EXPECT_EQ(w->location()->clicks, clicksToward(view));
    EXPECT_EQ(w->state().f1, 10000);

    // Past where doubles end, and on: every press zooms tenfold about its
    // point, and deep mode stays on.
    w->OnDeepZoom();
    view = *w->deepView();
    for (int k = 0; k < 16; ++k) {
        w->OnPictureMouseDown(Qt::LeftButton, {}, 300.25f, 299.5f);
        view = zoomDeepAt(view, 0.25, -0.5);
    }
    EXPECT_EQ(*w->deepView(), view);
    ASSERT_TRUE(waitForPicture(*w));
    EXPECT_EQ(pictureOf(*w), deepDrawing(w->state(), view));
    EXPECT_EQ(w->statusText().toStdString(), deepStatusLine(w->state().b, 20));
    w->OnDeepZoom();
    EXPECT_TRUE(w->deepView() && deepChecked(*w));
    EXPECT_EQ(*w->deepView(), view);
    EXPECT_TRUE(w->noticeText().contains(QStringLiteral("1E+14"))) << w->noticeText().toStdString();
}

TEST(Form1Deep, RepeatingTheFullViewKeepsTheCapItsFirstPictureChose)
{
    TestWindow w(12);
    w->OnLoad();
    w->OnDeepZoom();
    ASSERT_TRUE(waitForPicture(*w));
    const DeepCentre full = *w->deepView();
    ASSERT_EQ(full, orbitWithAutoIterations({"0", "0", 0, kDefaultDeepIterations})->view);
    // Each finds the orbit of the same centre, longer than the cap needs.
    for (void (Form1::*command)() : {&Form1::OnNew, &Form1::OnBack, &Form1::OnNew, &Form1::OnUndo, &Form1::OnRedo}) {
        ((*w).*command)();
        ASSERT_TRUE(waitForPicture(*w));
        EXPECT_EQ(*w->deepView(), full);
        EXPECT_EQ(w->location()->deep, full) << w->deepView()->iterations << " against " << full.iterations;
    }
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
    EXPECT_EQ(w->location(), legacyView);
    w->OnRedo();
    w->OnRedo();
    EXPECT_EQ(w->location(), deepLocation);
    ASSERT_TRUE(waitForPicture(*w));

    // Pasted into a window with automatic caps: the same picture at the
    // location's own cap.
    w->OnCopyLocation();
    TestWindow other(10);
    other->OnLoad();
    ASSERT_TRUE(other->automaticIterations());
    ASSERT_TRUE(other->goToLocation(testing::clipboardText()));
    ASSERT_TRUE(waitForPicture(*other));
    EXPECT_EQ(other->location(), deepLocation);
    EXPECT_EQ(pictureOf(*other), pictureOf(*w));
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
    QTest::qWait(1000);
    EXPECT_TRUE(w->isPreparingDeep());
    EXPECT_TRUE(w->noticeText().contains(QStringLiteral("reference orbit"))) << w->noticeText().toStdString();
    // A command meanwhile is taken at once; the old orbit is given up.
    w->OnUndo();
    EXPECT_FALSE(w->deepView());
    EXPECT_FALSE(w->isPreparingDeep());
}

// Out of range, whether set directly or through the dialog, which sets it.
TEST(Form1Deep, IterationCapsOutOfRangeAreRefused)
{
    TestWindow w(12);
    w->OnLoad();
    EXPECT_FALSE(w->setIterations(false, kMinDeepIterations - 1));
    EXPECT_FALSE(w->setIterations(false, kMaxDeepIterations + 1));
    IterationsDialog dialog(*w);
    EXPECT_EQ(dialog.iterations()->minimum(), kMinDeepIterations);
    EXPECT_EQ(dialog.iterations()->maximum(), kMaxDeepIterations);
    dialog.automatic()->setChecked(false);
    dialog.iterations()->setValue(5000);
    dialog.accept();
    w->OnDeepZoom();
    EXPECT_EQ(w->deepView()->iterations, 5000);
}

TEST(Form1Deep, LegacyZoomsFrom1E13To1E15PointToDeepZoom)
{
    TestWindow w(13);
    w->OnLoad();
    for (int k = 1; k <= 16; ++k) {
        w->OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
        EXPECT_EQ(w->noticeText().contains(QStringLiteral("Deep zoom (Ctrl+D)")), k >= 13 && k <= 15) << k;
    }
}

} // namespace
} // namespace mandel
