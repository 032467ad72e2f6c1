// The explorer's navigation rules without a window: what each command does
// to the view, the history and deep mode, and what it refuses.

#include "AutoIterations.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerModel.h"

#include <gtest/gtest.h>

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
        {"cap past memory", e.model.setIterations(false, 1000000, DeepComputer::bytesFor(1000000) - 1),
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
    EXPECT_EQ(rows[3].result.bytesNeeded, DeepComputer::bytesFor(1000000));
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
    ASSERT_TRUE(e.model.toggleDeep().redraw);
    EXPECT_EQ(e.model.setColours(at.smooth).refusal, Refusal::Location);
}

} // namespace
} // namespace mandel
