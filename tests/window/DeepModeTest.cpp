// Deep mode in the window, its pictures checked against the engine's.
#include "WindowTestSupport.h"

#include "AutoIterations.h"
#include "DeepComputer.h"
#include "DeepSetup.h"
#include "DeepView.h"
#include "ExplorerMenus.h"
#include "IterationsDialog.h"
#include "Numbers.h"
#include "PictureComputer.h"
#include "SmoothRenderer.h"
#include "StatusLine.h"

#include <QAction>
#include <QTest>
#include <QCheckBox>
#include <QLabel>
#include <QStatusBar>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace mandel {
namespace {

using testing::clickPicture;
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
    renderer.DrawDeep(computer, paletteOf(s), surface);
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
    clickPicture(*w, 186, 255);
    clickPicture(*w, 310.5f, 290);
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
        clickPicture(*w, c.x, c.y);
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
        clickPicture(*w, 300.25f, 299.5f);
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

// Smooth colours in deep mode: the engine's picture of the same view, and
// undo brings back the modes' picture.
TEST(Form1Deep, SmoothColoursDrawTheDeepViewAsTheEngineDoes)
{
    TestWindow w(5);
    w->OnLoad();
    clickPicture(*w, 186, 255);
    w->OnDeepZoom();
    ASSERT_TRUE(waitForPicture(*w));
    const std::vector<Colour> modes = pictureOf(*w);
    SmoothColours c;
    c.palette = "copper";
    c.shading = Shading::Slopes;
    ASSERT_TRUE(w->setColours(c));
    ASSERT_TRUE(waitForPicture(*w));
    DeepSetupRequest request;
    request.view = *w->deepView();
    auto setup = setUpFreeView(request);
    ASSERT_TRUE(setup.ok()) << setup.error();
    ImageSurface engine;
    ASSERT_TRUE(SmoothRenderer(*setup->pixels).renderPicture(c, engine));
    EXPECT_EQ(pictureOf(*w), engine.pixels());
    w->OnUndo();
    ASSERT_TRUE(waitForPicture(*w));
    EXPECT_EQ(pictureOf(*w), modes);
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
    clickPicture(*w, 200, 100);
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
        clickPicture(*w, 300, 300);
        EXPECT_EQ(w->noticeText().contains(QStringLiteral("Free view (Ctrl+D)")), k >= 13 && k <= 15) << k;
    }
}

// The free view's gestures as the window hands them to the model, and what
// the status bar says about them.
TEST(Form1Free, WheelDragRectangleAndZoomOutMoveTheViewAndTheStatusBarFollows)
{
    TestWindow w(14);
    w->OnLoad();
    ASSERT_TRUE(w->setIterations(false, 300));
    EXPECT_EQ(w->statusField(QStringLiteral("viewKind"))->text(), QStringLiteral("Classic view"));
    const DeepCentre start = w->currentFreeView();

    // A wheel notch over (100, 200): the free view, twice as close, that point kept.
    w->OnPictureWheel(120, 100, 200);
    ASSERT_TRUE(w->deepView());
    DeepCentre want = reframeDeep(start, -100, -50, std::log10(2.0));
    EXPECT_EQ(*w->deepView(), want);
    EXPECT_EQ(w->statusField(QStringLiteral("viewKind"))->text(), QStringLiteral("Free view"));
    EXPECT_EQ(w->statusField(QStringLiteral("zoom"))->text(), QStringLiteral("zoom 2E+0"));
    EXPECT_EQ(w->statusField(QStringLiteral("cap"))->text(), QStringLiteral("cap 300"));

    // A drag by (40, 10) moves the picture with it; a press that slips zooms.
    w->OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
    w->OnPictureMouseMove(320, 305);
    w->OnPictureMouseUp(Qt::LeftButton, 340, 310);
    want = reframeDeep(want, -40, -10, want.zoom);
    EXPECT_EQ(*w->deepView(), want);
    w->OnPictureMouseDown(Qt::LeftButton, {}, 200, 100);
    w->OnPictureMouseUp(Qt::LeftButton, 201, 101);
    want = zoomDeepAt(want, -100, -200);
    EXPECT_EQ(*w->deepView(), want);

    // Right button: tenfold out about the point; Ctrl+drag: the rectangle.
    w->OnPictureMouseDown(Qt::RightButton, {}, 300, 300);
    w->OnPictureMouseUp(Qt::RightButton, 300, 300);
    want = reframeDeep(want, 0, 0, want.zoom - 1);
    EXPECT_EQ(*w->deepView(), want);
    w->OnPictureMouseDown(Qt::LeftButton, Qt::ControlModifier, 250, 250);
    w->OnPictureMouseUp(Qt::LeftButton, 350, 300);
    want = reframeDeep(want, 0, -25, want.zoom + std::log10(5.96));
    EXPECT_EQ(*w->deepView(), want);
    ASSERT_TRUE(waitForPicture(*w));
    EXPECT_EQ(pictureOf(*w), deepDrawing(w->state(), want));
    EXPECT_TRUE(w->statusField(QStringLiteral("progress"))->text().startsWith(QStringLiteral("drawn in")));

    // The pointer over the centre pixel shows the centre, whole on hover.
    w->OnPictureMouseMove(300, 300);
    const DeepCentre at = moveDeepCentre(want, 0, 0);
    EXPECT_EQ(w->statusField(QStringLiteral("pointer"))->toolTip().toStdString(), at.re + ", " + at.im);
    EXPECT_EQ(w->statusField(QStringLiteral("centre"))->toolTip().toStdString(), want.re + ", " + want.im);

    // Typed coordinates: a bad field is named, a good one is gone to.
    EXPECT_FALSE(w->goToCoordinates("-0.75", "0.1", "2e3", ""));
    EXPECT_TRUE(w->noticeText().startsWith(QStringLiteral("zoom:"))) << w->noticeText().toStdString();
    EXPECT_TRUE(w->goToCoordinates("-0.75", "0.1", "2.5", "400"));
    EXPECT_EQ(*w->deepView(), (DeepCentre{"-0.75", "0.1", 2.5, 400}));
    EXPECT_EQ(w->statusField(QStringLiteral("zoom"))->text(), QStringLiteral("zoom 3.16E+2"));
    // Six steps back: before the wheel, the classic view.
    for (int k = 0; k < 6; ++k)
        w->OnUndo();
    EXPECT_FALSE(w->deepView());
    EXPECT_EQ(w->statusField(QStringLiteral("viewKind"))->text(), QStringLiteral("Classic view"));
    // Very deep, the pointer is shown as its offset from the centre.
    ASSERT_TRUE(w->goToCoordinates("-1.5", "0", "6000", "1000"));
    w->OnPictureMouseMove(310, 290);
    EXPECT_EQ(w->statusField(QStringLiteral("pointer"))->text(), QStringLiteral("centre + (10, 10) pixels"));
}

// A pan of a deep view is drawn against the orbit the window holds, at
// once and with the cap the picture had.
TEST(Form1Free, APanOfADeepViewDrawsAgainstTheOrbitHeld)
{
    TestWindow w(15);
    w->OnLoad();
    ASSERT_TRUE(w->goToLocation("mandel-location/1 mode=1 fn=1,2,3 moduli=150,150,150 "
                                "centre=-0.00000000000000005080655206364047861695457499256407823361646978964504433388298,"
                                "1.000000000000000632720065388414143680992769992608350212556972 zoom=31 iterations=3000"));
    ASSERT_TRUE(waitForPicture(*w));
    w->OnPanKey(-60, 40);
    EXPECT_FALSE(w->isPreparingDeep());
    const DeepCentre panned = *w->deepView();
    EXPECT_EQ(panned.iterations, 3000);
    ASSERT_TRUE(waitForPicture(*w));
    const std::vector<Colour> got = pictureOf(*w), own = deepDrawing(w->state(), panned);
    ASSERT_EQ(got.size(), own.size());
    std::size_t same = 0;
    for (std::size_t i = 0; i < got.size(); ++i)
        same += got[i] == own[i] ? 1u : 0u;
    EXPECT_GE(same * 1000, got.size() * 999) << same << " of " << got.size();
}

TEST(Form1Free, AQuickTurnOfTheWheelIsOneStepBackAndOnePicture)
{
    TestWindow w(16);
    w->OnLoad();
    w->OnDeepZoom();
    ASSERT_TRUE(waitForPicture(*w));
    const std::size_t steps = w->history().undoSteps();
    int pictures = 0;
    QObject::connect(w.operator->(), &Form1::statusPrinted, [&pictures](const QString&) { ++pictures; });
    for (int notch = 0; notch < 4; ++notch)
        w->OnPictureWheel(120, 300, 300);
    ASSERT_TRUE(waitForPicture(*w));
    EXPECT_NEAR(w->deepView()->zoom, 4 * std::log10(2.0), 1e-12);
    EXPECT_EQ(w->history().undoSteps(), steps + 1);
    EXPECT_EQ(pictures, 1) << "drawn once the wheel rested";
    w->OnUndo();
    EXPECT_EQ(w->deepView()->zoom, 0);
}

TEST(Form1Free, TheIterationsDialogRefusesACapOutOfRangeWithAMessage)
{
    TestWindow w(15);
    w->OnLoad();
    w->OnDeepZoom();
    IterationsDialog dialog(*w);
    dialog.automatic()->setChecked(false);
    dialog.iterations()->selectAll();
    QTest::keyClicks(dialog.iterations(), QStringLiteral("50"));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.problem()->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.problem()->text().contains(QStringLiteral("200 to 100000000")))
        << dialog.problem()->text().toStdString();
}

} // namespace
} // namespace mandel
