// The explorer's navigation rules without a window: what each command does
// to the view, the history and deep mode, and what it refuses.

#include "AutoIterations.h"
#include "BigFloat.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerModel.h"
#include "Gestures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace mandel {
namespace {

struct Explorer {
    explicit Explorer(std::uint64_t seed) : rng(seed), model(rng) { model.start(); }
    RandomSource rng;
    ExplorerModel model;
};

TEST(ExplorerModel, StartsAtTheFullViewWithItsLocationAndNothingToUndo)
{
    Explorer e(1);
    const ExplorerState& s = e.model.state();
    EXPECT_EQ(s.wid, 600);
    EXPECT_EQ(s.zoomx1, 150);
    EXPECT_EQ(s.f1, 1);
    ASSERT_TRUE(e.model.location());
    EXPECT_EQ(e.model.location()->palette, paletteOf(s));
    EXPECT_TRUE(e.model.location()->clicks.empty());
    EXPECT_FALSE(e.model.history().canUndo());
    EXPECT_FALSE(e.model.deepView());
    // Undo and redo with nothing to move to change nothing and draw nothing.
    EXPECT_FALSE(e.model.undo().redraw);
    EXPECT_FALSE(e.model.redo().redraw);
}

TEST(ExplorerModel, ZoomsRecordClicksUndoRedoRetraceAndRepeatingAViewRecordsNothing)
{
    Explorer e(2);
    const auto full = e.model.location();
    ASSERT_TRUE(e.model.zoomAt(450, 150).redraw);
    ASSERT_TRUE(e.model.zoomAt(300.5f, 299.25f).redraw);
    EXPECT_EQ(e.model.location()->clicks, (std::vector<Click>{{450, 150}, {300.5f, 299.25f}}));
    EXPECT_EQ(e.model.state().f1, 100);
    const auto zoomed = e.model.location();
    ASSERT_TRUE(e.model.back().redraw);
    EXPECT_EQ(e.model.location(), full);
    EXPECT_EQ(e.model.history().undoSteps(), 3u);
    (void)e.model.back();  // the full view again: nothing new to go back to
    EXPECT_EQ(e.model.history().undoSteps(), 3u);

    ASSERT_TRUE(e.model.undo().redraw);
    EXPECT_EQ(e.model.location(), zoomed);
    EXPECT_EQ(e.model.state().f1, 100);
    ASSERT_TRUE(e.model.redo().redraw);
    EXPECT_EQ(e.model.location(), full);
    // "new" after an undo drops what there was to redo.
    (void)e.model.undo();
    (void)e.model.newColours();
    EXPECT_FALSE(e.model.history().canRedo());
    EXPECT_EQ(e.model.state().f1, 1);
}

TEST(ExplorerModel, RefusedCommandsChangeNothing)
{
    Explorer e(3);
    for (int k = 0; k < 400 && e.model.zoomAt(300, 300).done(); ++k) {
    }
    const ExplorerState before = e.model.state();
    const auto view = e.model.location();
    const std::size_t steps = e.model.history().undoSteps();
    struct Row {
        const char* name;
        CommandResult result;
        Refusal expected;
    };
    const Row rows[] = {
        {"zoom past a double", e.model.zoomAt(300, 300), Refusal::PastDoubleRange},
        {"cap below range", e.model.setIterations(false, kMinDeepIterations - 1, 0), Refusal::CapOutOfRange},
        {"cap above range", e.model.setIterations(false, kMaxDeepIterations + 1, 0), Refusal::CapOutOfRange},
        {"cap past memory", e.model.setIterations(false, 1000000, DeepComputer::bytesFor(1000000, 0.0) - 1),
         Refusal::CapTooLarge},
        {"malformed deep location",
         e.model.goTo(Location{paletteOf(before), {}, DeepCentre{"1.5.0", "0", 3, 1000}, {}}), Refusal::Location},
        {"legacy location past a double",
         e.model.goTo(Location{paletteOf(before), std::vector<Click>(400, Click{300, 300}), {}, {}}),
         Refusal::Location},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.result.refusal, row.expected) << row.name;
        EXPECT_FALSE(row.result.redraw) << row.name;
    }
    EXPECT_NE(rows[3].result.reason.find(" MB "), std::string::npos) << rows[3].result.reason;
    EXPECT_EQ(rows[4].result.reason.rfind("location: ", 0), 0u) << rows[4].result.reason;
    EXPECT_EQ(e.model.state(), before);
    EXPECT_EQ(e.model.location(), view);
    EXPECT_EQ(e.model.history().undoSteps(), steps);
    EXPECT_TRUE(e.model.automaticIterations());
}

TEST(ExplorerModel, DeepModeKeepsTheViewAndLeavesItForTheLegacyViewItCameFrom)
{
    Explorer e(4);
    (void)e.model.zoomAt(186, 255);
    (void)e.model.zoomAt(310.5f, 290);
    const ExplorerState legacy = e.model.state();
    const auto legacyView = e.model.location();

    ASSERT_TRUE(e.model.toggleDeep().redraw);
    ASSERT_TRUE(e.model.deepView());
    EXPECT_EQ(*e.model.deepView(), deepViewOf(legacy, kDefaultDeepIterations));
    EXPECT_TRUE(e.model.choosingCap());
    // The orbit of another view is stale; this one's brings the cap chosen.
    DeepCentre other = *e.model.deepView();
    other.zoom += 1;
    EXPECT_FALSE(e.model.orbitReady(other, 5000));
    EXPECT_TRUE(e.model.choosingCap());
    EXPECT_TRUE(e.model.orbitReady(*e.model.deepView(), 4000));
    EXPECT_FALSE(e.model.choosingCap());
    EXPECT_EQ(e.model.deepView()->iterations, 4000);
    EXPECT_EQ(e.model.location()->deep->iterations, 4000);

    ASSERT_TRUE(e.model.toggleDeep().redraw);
    EXPECT_FALSE(e.model.deepView());
    EXPECT_EQ(e.model.state(), legacy);
    EXPECT_EQ(e.model.location(), legacyView);

    // After deep zooms: the clicks from the full view that reach the centre.
    (void)e.model.toggleDeep();
    DeepCentre view = *e.model.deepView();
    for (const Click c : {Click{400, 100}, Click{123, 456}}) {
        (void)e.model.zoomAt(c.x, c.y);
        view = zoomDeepAt(view, c.x - 300, c.y - 300);
    }
    EXPECT_EQ(*e.model.deepView(), view);
    ASSERT_TRUE(e.model.toggleDeep().redraw);
    EXPECT_EQ(e.model.location()->clicks, clicksToward(view));
    EXPECT_EQ(e.model.state().f1, 10000);

    // Past 1E+14 deep mode stays on.
    (void)e.model.toggleDeep();
    for (int k = 0; k < 12; ++k)
        (void)e.model.zoomAt(300, 300);
    const CommandResult off = e.model.toggleDeep();
    EXPECT_EQ(off.refusal, Refusal::DeepStaysOn);
    EXPECT_TRUE(e.model.deepView());
}

TEST(ExplorerModel, NewAndBackStayInDeepModeAndACapSetByHandIsKept)
{
    Explorer e(5);
    (void)e.model.toggleDeep();
    (void)e.model.zoomAt(100, 100);
    const ExplorerState before = e.model.state();
    ASSERT_TRUE(e.model.newColours().redraw);
    ASSERT_TRUE(e.model.deepView());
    EXPECT_EQ(*e.model.deepView(), (DeepCentre{"0", "0", 0, kDefaultDeepIterations}));
    EXPECT_TRUE(e.model.choosingCap());
    EXPECT_NE(paletteOf(e.model.state()), paletteOf(before));

    ASSERT_TRUE(e.model.setIterations(false, 3000, 0).redraw);
    EXPECT_EQ(e.model.deepView()->iterations, 3000);
    EXPECT_FALSE(e.model.choosingCap());
    const Palette colours = paletteOf(e.model.state());
    (void)e.model.zoomAt(200, 200);
    ASSERT_TRUE(e.model.back().redraw);
    EXPECT_EQ(*e.model.deepView(), (DeepCentre{"0", "0", 0, 3000}));
    EXPECT_EQ(paletteOf(e.model.state()), colours);
    // In legacy mode a cap is only remembered for later.
    (void)e.model.undo();
    Explorer legacy(6);
    const CommandResult set = legacy.model.setIterations(false, 2500, 0);
    EXPECT_TRUE(set.done());
    EXPECT_FALSE(set.redraw);
    (void)legacy.model.toggleDeep();
    EXPECT_EQ(legacy.model.deepView()->iterations, 2500);
    EXPECT_FALSE(legacy.model.choosingCap());
}

// Where the plane point under pixel (x, y) of `from` lies in `to`, in
// pixels, computed far more precisely than any view is written.
std::pair<double, double> pixelIn(const DeepCentre& from, double x, double y, const DeepCentre& to)
{
    const auto coordinate = [](const std::string& centre, double offset, double zoom, BigFloat& out) {
        BigFloat scale(4000), d(4000);
        mpfr_set_d(scale.get(), zoom, MPFR_RNDN);
        mpfr_exp10(scale.get(), scale.get(), MPFR_RNDN);
        mpfr_mul_ui(scale.get(), scale.get(), 150, MPFR_RNDN);
        EXPECT_TRUE(out.setDecimal(centre));
        mpfr_set_d(d.get(), offset, MPFR_RNDN);
        mpfr_div(d.get(), d.get(), scale.get(), MPFR_RNDN);
        mpfr_add(out.get(), out.get(), d.get(), MPFR_RNDN);
    };
    BigFloat re(4000), im(4000), toRe(4000), toIm(4000);
    coordinate(from.re, x - kDeepCentrePixel, from.zoom, re);
    coordinate(from.im, kDeepCentrePixel - y, from.zoom, im);
    coordinate(to.re, 0, to.zoom, toRe);
    coordinate(to.im, 0, to.zoom, toIm);
    BigFloat scale(4000);
    mpfr_set_d(scale.get(), to.zoom, MPFR_RNDN);
    mpfr_exp10(scale.get(), scale.get(), MPFR_RNDN);
    mpfr_mul_ui(scale.get(), scale.get(), 150, MPFR_RNDN);
    mpfr_sub(re.get(), re.get(), toRe.get(), MPFR_RNDN);
    mpfr_sub(im.get(), toIm.get(), im.get(), MPFR_RNDN);
    mpfr_mul(re.get(), re.get(), scale.get(), MPFR_RNDN);
    mpfr_mul(im.get(), im.get(), scale.get(), MPFR_RNDN);
    return {mpfr_get_d(re.get(), MPFR_RNDN) + kDeepCentrePixel, mpfr_get_d(im.get(), MPFR_RNDN) + kDeepCentrePixel};
}

// The gestures of the free view: what each does to the zoom, and a point
// it must carry from one pixel to another (the wheel keeps the point under
// the pointer, a drag moves it with the pointer, a rectangle centres its
// middle). Each starts from a classic view zoomed twice and from a deep
// free view, and can be undone in one step.
TEST(ExplorerModel, FreeViewGesturesKeepTheirPointAndScaleAsAskedAndUndoInOneStep)
{
    const struct {
        const char* name;
        std::function<CommandResult(ExplorerModel&)> gesture;
        double zoomStep;
        double x, y, toX, toY;  // the point under (x, y) ends under (toX, toY)
    } rows[] = {
        {"wheel notch in at a corner", [](ExplorerModel& m) { return m.zoomBy(2, 10, 580); }, std::log10(2.0), 10, 580,
         10, 580},
        {"fine wheel in", [](ExplorerModel& m) { return m.zoomBy(std::pow(2.0, 0.125), 333.5, 12); },
         std::log10(2.0) / 8, 333.5, 12, 333.5, 12},
        {"wheel notch out", [](ExplorerModel& m) { return m.zoomBy(0.5, 400, 100); }, -std::log10(2.0), 400, 100, 400,
         100},
        {"tenfold out", [](ExplorerModel& m) { return m.zoomOut(123, 456); }, -1, 123, 456, 123, 456},
        {"drag", [](ExplorerModel& m) { return m.pan(30, -12.5); }, 0, 300, 300, 330, 287.5},
        {"long drag", [](ExplorerModel& m) { return m.pan(-590, 400); }, 0, 590, 10, 0, 410},
        {"rectangle", [](ExplorerModel& m) { return m.zoomToRectangle(249, 200, 100, 100); }, std::log10(596.0 / 149),
         174.5, 150, 300, 300},
        {"tall rectangle", [](ExplorerModel& m) { return m.zoomToRectangle(500, 0, 510, 298); }, std::log10(2.0), 505,
         149, 300, 300},
    };
    for (const auto& row : rows) {
        for (const bool startFree : {false, true}) {
            Explorer e(7);
            (void)e.model.zoomAt(186, 255);
            (void)e.model.zoomAt(310.5f, 290);
            if (startFree)
                (void)e.model.goToCoordinates("-0.743643887037158704752191506114774", "0.131825904205311970493132056385139",
                                              "30.25", "5000");
            const auto before = e.model.location();
            const DeepCentre from = startFree ? *e.model.deepView() : deepViewOf(e.model.state(), 1000);
            const std::size_t steps = e.model.history().undoSteps();
            const std::string name = std::string(row.name) + (startFree ? " in a free view" : " from the classic view");

            const CommandResult r = row.gesture(e.model);
            ASSERT_TRUE(r.redraw) << name;
            ASSERT_TRUE(e.model.deepView()) << name;
            EXPECT_EQ(e.model.viewKind(), ViewKind::Free) << name;
            const DeepCentre& to = *e.model.deepView();
            EXPECT_NEAR(to.zoom, from.zoom + row.zoomStep, 1e-12) << name;
            const auto [x, y] = pixelIn(from, row.x, row.y, to);
            EXPECT_NEAR(x, row.toX, 1e-6) << name;
            EXPECT_NEAR(y, row.toY, 1e-6) << name;
            // Its location reads back to the same view.
            const auto back = parseLocation(formatLocation(*e.model.location()));
            ASSERT_TRUE(back) << name;
            EXPECT_EQ(back->deep, e.model.location()->deep) << name;

            EXPECT_EQ(e.model.history().undoSteps(), steps + 1) << name;
            ASSERT_TRUE(e.model.undo().redraw) << name;
            EXPECT_EQ(e.model.location(), before) << name;
            EXPECT_EQ(e.model.viewKind(), startFree ? ViewKind::Free : ViewKind::Classic) << name;
        }
    }
}

// The classic view enters the free view exactly at its own centre and
// scale; wheel notches in and as many out come back to the tenfold step.
TEST(ExplorerModel, WheelNotchesInAndOutReturnToTheWholeZoomTheyLeft)
{
    Explorer e(8);
    (void)e.model.zoomAt(450, 150);
    const DeepCentre start = deepViewOf(e.model.state(), kDefaultDeepIterations);
    for (int k = 0; k < 7; ++k)
        ASSERT_TRUE(e.model.zoomBy(2, 300, 300).redraw);
    const auto sameNumber = [](const std::string& a, const std::string& b) {
        BigFloat x(512), y(512);
        return x.setDecimal(a) && y.setDecimal(b) && mpfr_cmp(x.get(), y.get()) == 0;
    };
    EXPECT_TRUE(sameNumber(e.model.deepView()->re, start.re)) << e.model.deepView()->re;
    for (int k = 0; k < 7; ++k)
        ASSERT_TRUE(e.model.zoomBy(0.5, 300, 300).redraw);
    EXPECT_EQ(e.model.deepView()->zoom, 1);
    EXPECT_TRUE(sameNumber(e.model.deepView()->re, start.re)) << e.model.deepView()->re;
    EXPECT_TRUE(sameNumber(e.model.deepView()->im, start.im)) << e.model.deepView()->im;
    // Whole again: the classic view it was (not a picture between steps).
    EXPECT_TRUE(e.model.toggleDeep().redraw);
    EXPECT_EQ(e.model.viewKind(), ViewKind::Classic);
    EXPECT_EQ(e.model.state().f1, 10);
}

TEST(ExplorerModel, WheelNotchesCloseInTimeAreOneStepOfTheHistory)
{
    // Each row: when the notches come (seconds), and whether a key pan
    // comes before the notch of that index (-1: none); the undo steps the
    // notches leave, and the zoom one Undo goes back to.
    const struct {
        const char* name;
        std::vector<double> notches;
        int panBefore;
        std::size_t steps;
        double undoneZoom;
    } rows[] = {
        {"one notch", {10}, -1, 2, 0},  // entering the free view, then the notch
        {"a quick turn of four notches", {10, 10.1, 10.2, 10.3}, -1, 2, 0},
        {"notches just within the burst", {10, 10.375}, -1, 2, 0},
        {"notches just past the burst", {10, 10.5}, -1, 3, std::log10(2.0)},
        {"a pause between two turns", {10, 10.1, 11, 11.1}, -1, 3, 2 * std::log10(2.0)},
        {"a slow wheel: every notch its own", {10, 11, 12}, -1, 4, 2 * std::log10(2.0)},
        {"a pan between notches ends the turn", {10, 10.1, 10.2}, 2, 4, 2 * std::log10(2.0)},
        {"a clock that went back starts a new turn", {10, 9}, -1, 3, std::log10(2.0)},
    };
    for (const auto& row : rows) {
        Explorer e(12);
        ASSERT_TRUE(e.model.toggleDeep().redraw) << row.name;
        for (std::size_t i = 0; i < row.notches.size(); ++i) {
            if (row.panBefore == static_cast<int>(i)) {
                ASSERT_TRUE(e.model.pan(10, 0).redraw) << row.name;
            }
            ASSERT_TRUE(e.model.wheelZoom(2, 300, 300, row.notches[i]).redraw) << row.name;
        }
        const double zoom = e.model.deepView()->zoom;
        EXPECT_NEAR(zoom, static_cast<double>(row.notches.size()) * std::log10(2.0), 1e-12) << row.name;
        EXPECT_EQ(e.model.history().undoSteps(), row.steps) << row.name;
        ASSERT_TRUE(e.model.undo().redraw) << row.name;
        EXPECT_NEAR(e.model.deepView()->zoom, row.undoneZoom, 1e-12) << row.name;
        // Redo brings the whole turn back.
        ASSERT_TRUE(e.model.redo().redraw) << row.name;
        EXPECT_EQ(e.model.deepView()->zoom, zoom) << row.name;
    }
}

TEST(ExplorerModel, FreeViewRefusalsChangeNothingAndNameTheField)
{
    Explorer e(9);
    EXPECT_EQ(e.model.zoomBy(0.5, 300, 300).refusal, Refusal::PastWidestZoom);
    EXPECT_EQ(e.model.viewKind(), ViewKind::Classic);
    // Out past the full view's scale stops there, once.
    (void)e.model.zoomBy(3, 300, 300);
    ASSERT_TRUE(e.model.zoomOut(300, 300).redraw);
    EXPECT_EQ(e.model.deepView()->zoom, 0);
    EXPECT_EQ(e.model.zoomOut(300, 300).refusal, Refusal::PastWidestZoom);
    (void)e.model.zoomBy(3, 300, 300);
    EXPECT_EQ(e.model.toggleDeep().refusal, Refusal::DeepStaysOn);  // between tenfold steps
    const auto view = e.model.location();
    const std::size_t steps = e.model.history().undoSteps();
    const struct {
        const char* name;
        CommandResult result;
        const char* mentions;  // the start of the reason; nullptr: nothing done, nothing said
    } rows[] = {
        {"no drag", e.model.pan(0, 0), nullptr},
        {"a slipped press is no rectangle", e.model.zoomToRectangle(100, 100, 102, 98), nullptr},
        {"no wheel", e.model.zoomBy(0, 300, 300), nullptr},
        {"real part with exponent", e.model.goToCoordinates("1e-3", "0", "3", ""), "real part"},
        {"imaginary part empty", e.model.goToCoordinates("0", " ", "3", ""), "imaginary part"},
        {"zoom negative", e.model.goToCoordinates("0", "0", "-1", ""), "zoom"},
        {"zoom past the deepest", e.model.goToCoordinates("0", "0", "1000001", ""), "zoom"},
        {"cap too small", e.model.goToCoordinates("0", "0", "3", "100"), "iterations"},
        {"cap not whole", e.model.goToCoordinates("0", "0", "3", "1000.5"), "iterations"},
    };
    for (const auto& row : rows) {
        EXPECT_FALSE(row.result.redraw) << row.name;
        if (row.mentions) {
            EXPECT_EQ(row.result.refusal, Refusal::Location) << row.name;
            EXPECT_EQ(row.result.reason.rfind(row.mentions, 0), 0u) << row.name << ": " << row.result.reason;
        }
    }
    EXPECT_EQ(e.model.location(), view);
    EXPECT_EQ(e.model.history().undoSteps(), steps);
    // Deeper than views go.
    ASSERT_TRUE(e.model.goToCoordinates(" -0.5 ", "0.25", "999999.9", "1000").redraw);
    EXPECT_EQ(*e.model.deepView(), (DeepCentre{"-0.5", "0.25", 999999.9, 1000}));
    EXPECT_FALSE(e.model.choosingCap());
    EXPECT_EQ(e.model.zoomBy(2, 300, 300).refusal, Refusal::PastDeepestZoom);
    // An empty cap is chosen from the picture, as the menu says.
    ASSERT_TRUE(e.model.goToCoordinates("0", "1", "2", "").redraw);
    EXPECT_TRUE(e.model.choosingCap());
}

TEST(Gestures, PressesDragsAndWheelsBecomeTheirCommands)
{
    const struct {
        const char* name;
        PointerPress press;
        double x1, y1;
        GestureKind expected;
    } rows[] = {
        {"left press", {PointerButton::Left, false, false, 100, 100}, 100, 100, GestureKind::ZoomIn},
        {"left press that slips", {PointerButton::Left, false, false, 100, 100}, 102, 98, GestureKind::ZoomIn},
        {"left drag", {PointerButton::Left, false, false, 100, 100}, 103, 100, GestureKind::Pan},
        {"left drag upward", {PointerButton::Left, false, false, 100, 100}, 100, 20, GestureKind::Pan},
        {"ctrl drag", {PointerButton::Left, false, true, 100, 100}, 200, 150, GestureKind::Rectangle},
        {"ctrl press", {PointerButton::Left, false, true, 100, 100}, 101, 100, GestureKind::ZoomIn},
        {"shift press", {PointerButton::Left, true, false, 100, 100}, 100, 100, GestureKind::ZoomOut},
        {"shift drag", {PointerButton::Left, true, false, 100, 100}, 300, 100, GestureKind::ZoomOut},
        {"right press", {PointerButton::Right, false, false, 5, 5}, 5, 5, GestureKind::ZoomOut},
        {"middle drag", {PointerButton::Middle, false, false, 5, 5}, 50, 5, GestureKind::ZoomIn},
    };
    for (const auto& r : rows)
        EXPECT_EQ(gestureOf(r.press, r.x1, r.y1), r.expected) << r.name;
    EXPECT_EQ(wheelFactor(120), 2);
    EXPECT_EQ(wheelFactor(-120), 0.5);
    EXPECT_EQ(wheelFactor(0), 1);
    // Eight steps of a fine wheel make one notch.
    double fine = 1;
    for (int k = 0; k < 8; ++k)
        fine *= wheelFactor(15);
    EXPECT_NEAR(fine, 2, 1e-12);
}

// A location in smooth colours keeps them through zooms and "back"; "new"
// draws another built-in palette and offset; undo brings the old ones back.
TEST(ExplorerModel, SmoothColoursFollowTheView)
{
    Explorer e(5);
    EXPECT_EQ(e.model.smoothColours(), nullptr);
    Location at = *e.model.location();
    at.smooth = SmoothColours{};
    at.smooth->palette = "ice";
    at.smooth->offset = 0.5f;
    ASSERT_TRUE(e.model.goTo(at).redraw);
    ASSERT_TRUE(e.model.zoomAt(200, 300).redraw);
    EXPECT_NE(e.model.smoothColours(), nullptr);
    EXPECT_EQ(e.model.location()->smooth, at.smooth);
    ASSERT_TRUE(e.model.back().redraw);
    EXPECT_EQ(e.model.location()->smooth, at.smooth);

    ASSERT_TRUE(e.model.newColours().redraw);
    const std::optional<SmoothColours> drawn = e.model.location()->smooth;
    ASSERT_TRUE(drawn);
    EXPECT_NE(findPalette(drawn->palette), nullptr);
    EXPECT_NE(drawn->offset, 0.5f);
    EXPECT_LT(drawn->offset, 1.0f);
    ASSERT_TRUE(e.model.undo().redraw);
    EXPECT_EQ(e.model.location()->smooth, at.smooth);

    // Chosen in the window: a command of its own; the same colours again
    // change nothing; undo goes back to the modes.
    ASSERT_TRUE(e.model.setColours(std::nullopt).redraw);
    EXPECT_EQ(e.model.smoothColours(), nullptr);
    EXPECT_FALSE(e.model.setColours(std::nullopt).redraw);
    ASSERT_TRUE(e.model.undo().redraw);
    EXPECT_EQ(e.model.location()->smooth, at.smooth);
    // Deep mode keeps them, and changes them as a command of its own on
    // the same view; the way back to the legacy view keeps the latest.
    ASSERT_TRUE(e.model.toggleDeep().redraw);
    const DeepCentre deep = *e.model.deepView();
    ASSERT_NE(e.model.smoothColours(), nullptr);
    EXPECT_EQ(*e.model.smoothColours(), *at.smooth);
    ASSERT_TRUE(e.model.setColours(std::nullopt).redraw);
    EXPECT_EQ(*e.model.deepView(), deep);
    EXPECT_EQ(e.model.smoothColours(), nullptr);
    ASSERT_TRUE(e.model.undo().redraw);
    EXPECT_EQ(e.model.location()->smooth, at.smooth);
    ASSERT_TRUE(e.model.toggleDeep().redraw);
    EXPECT_EQ(e.model.location()->smooth, at.smooth);
}

} // namespace
} // namespace mandel
