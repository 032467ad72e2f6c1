// Undo and redo in the window, checked against pictures drawn straight from
// the chain of zooms each view stands for.
#include "WindowTestSupport.h"

#include "FastComputer.h"
#include "RandomSource.h"
#include "StatusLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace mandel {
namespace {

using testing::pictureOf;
using testing::TestWindow;

// The picture of `view` made without the window and without locations: the
// full view in its colours, then ZoomAt at each click.
std::vector<Colour> directDrawing(const Location& view)
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    applyPalette(s, view.palette);
    ResetView(s);
    for (const Click& c : view.clicks)
        ZoomAt(s, c.x, c.y);
    static Renderer renderer(makeFastComputer());
    ImageSurface surface;
    renderer.DrawFractal(s, surface);
    return surface.pixels();
}

Location fullViewIn(const Palette& p)
{
    return Location{p, {}, {}, {}};
}

// What the window should show: every view in order and the one shown; the
// colours "new" draws come from the same seeded source as the window's.
struct Model {
    std::vector<Location> views;
    std::size_t at = 0;
    RandomSource rng;

    explicit Model(std::uint64_t seed) : rng(seed) { views.push_back(fullViewIn(drawPalette())); }
    Palette drawPalette()
    {
        ExplorerState s;
        DrawColourParameters(s, rng);
        return paletteOf(s);
    }
    const Location& current() const { return views[at]; }
    void go(const Location& next)
    {
        if (next == current())
            return;  // nothing changes, nothing to undo
        views.resize(at + 1);
        views.push_back(next);
        ++at;
    }
    void undo()
    {
        if (at > 0)
            --at;
    }
    void redo()
    {
        if (at + 1 < views.size())
            ++at;
    }
};

// A pixel position as a press at a fractional scale factor can give it.
float pixel(std::mt19937& rng)
{
    const float scales[] = {1.0f, 1.25f, 1.5f, 2.0f};
    const float scale = scales[std::uniform_int_distribution<int>(0, 3)(rng)];
    return std::floor(std::uniform_real_distribution<float>(0.0f, 595.99f)(rng) * scale) / scale;
}

TEST(Form1UndoRedo, RandomSessionsShowWhatTheChainOfEachViewDraws)
{
    for (const std::uint64_t seed : {3u, 11u}) {
        TestWindow w(seed);
        w->OnLoad();
        Model m(seed);
        std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
        for (int step = 0; step < 40; ++step) {
            std::string did;
            switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
            case 0:
                did = "new";
                w->OnNew();
                m.go(fullViewIn(m.drawPalette()));
                break;
            case 1:
                did = "back";
                w->OnBack();
                m.go(fullViewIn(m.current().palette));
                break;
            case 2:
            case 3:
                did = "undo";
                w->OnUndo();
                m.undo();
                break;
            case 4:
                did = "redo";
                w->OnRedo();
                m.redo();
                break;
            case 5: {
                did = "go to an earlier view";
                const Location there = m.views[std::uniform_int_distribution<std::size_t>(0, m.views.size() - 1)(rng)];
                ASSERT_TRUE(w->goToLocation(formatLocation(there)));
                m.go(there);
                break;
            }
            default: {
                const Click c{pixel(rng), pixel(rng)};
                did = "zoom at " + std::to_string(c.x) + "," + std::to_string(c.y);
                w->OnPictureMouseDown(Qt::LeftButton, {}, c.x, c.y);
                Location next = m.current();
                next.clicks.push_back(c);
                m.go(next);
            }
            }
            const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step) + " (" + did + ")";
            ASSERT_TRUE(w->location()) << where;
            ASSERT_EQ(*w->location(), m.current()) << where;
            ASSERT_EQ(pictureOf(*w), directDrawing(m.current())) << where;
            ASSERT_EQ(w->history().canUndo(), m.at > 0) << where;
            ASSERT_EQ(w->history().canRedo(), m.at + 1 < m.views.size()) << where;
        }
    }
}

TEST(Form1UndoRedo, NewUndoneAndRedoneKeepsItsColoursAndDrawsNoNewOnes)
{
    TestWindow w(21);
    w->OnLoad();
    Model m(21);
    const Palette first = m.current().palette;
    const Palette second = m.drawPalette();
    const Palette third = m.drawPalette();

    w->OnPictureMouseDown(Qt::LeftButton, {}, 120.5f, 340.25f);
    w->OnNew();
    EXPECT_EQ(paletteOf(w->state()), second);
    w->OnUndo();
    EXPECT_EQ(paletteOf(w->state()), first);
    EXPECT_EQ(w->state().f1, 10.0) << "back to the zoomed view the new colours replaced";
    w->OnRedo();
    EXPECT_EQ(paletteOf(w->state()), second);
    EXPECT_EQ(pictureOf(*w), directDrawing(fullViewIn(second)));
    w->OnNew();
    EXPECT_EQ(paletteOf(w->state()), third) << "undo and redo drew no random numbers";
}

TEST(Form1UndoRedo, SavedPictureNameSurvivesUndo)
{
    TestWindow w(5);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
    w->OnSave();
    ASSERT_FALSE(w->state().imeslike.empty());
    const std::string name = w->state().imeslike;
    w->OnUndo();
    EXPECT_EQ(w->state().imeslike, name) << "a view carries no file name";
    EXPECT_EQ(w->state().f1, 1.0);
}

struct Interruption {
    const char* name;
    std::function<void(Form1&)> start;  // starts a picture, after zooms A and B
    std::function<void(Form1&)> post;   // queued at its column 100
    int undoSteps, redoSteps;           // afterwards
    std::vector<Click> clicks;          // of the view shown at the end
};

const Click kA{100, 120};
const Click kB{420.5f, 200.75f};
const Click kC{300, 300};

void queue(Form1& f, void (Form1::*command)())
{
    QMetaObject::invokeMethod(&f, command, Qt::QueuedConnection);
}

void zoomC(Form1& f)
{
    f.OnPictureMouseDown(Qt::LeftButton, {}, kC.x, kC.y);
}

const Interruption kInterruptions[] = {
    {"UndoDuringAZoom", zoomC, [](Form1& f) { queue(f, &Form1::OnUndo); }, 2, 1, {kA, kB}},
    {"RedoDuringAnUndo", [](Form1& f) { f.OnUndo(); }, [](Form1& f) { queue(f, &Form1::OnRedo); }, 2, 0, {kA, kB}},
    {"UndoDuringAnUndo", [](Form1& f) { f.OnUndo(); }, [](Form1& f) { queue(f, &Form1::OnUndo); }, 0, 2, {}},
    {"ZoomDuringAnUndo", [](Form1& f) { f.OnUndo(); }, [](Form1& f) { testing::postPress(f, kC.x, kC.y); }, 2, 0,
     {kA, kC}},
    {"BackThenUndoDuringAZoom", zoomC,
     [](Form1& f) {
         queue(f, &Form1::OnBack);
         queue(f, &Form1::OnUndo);
     },
     3, 1, {kA, kB, kC}},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Interruption& row, std::ostream* os) { *os << row.name; }

class UndoRedoDuringDrawing : public ::testing::TestWithParam<Interruption> {};

TEST_P(UndoRedoDuringDrawing, TheNewestViewIsDrawnWholeOnce)
{
    const Interruption& in = GetParam();
    TestWindow w(7);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, kA.x, kA.y);
    w->OnPictureMouseDown(Qt::LeftButton, {}, kB.x, kB.y);
    int statusPrints = 0;
    QObject::connect(w.form.get(), &Form1::statusPrinted, [&] { ++statusPrints; });
    int yields = 0;
    w->setYieldHook([&](int) {
        if (++yields == 101)
            in.post(*w);
    });
    in.start(*w);

    ASSERT_TRUE(w->location());
    Location expected = *w->location();
    expected.clicks = in.clicks;
    EXPECT_EQ(*w->location(), expected);
    EXPECT_EQ(pictureOf(*w), directDrawing(expected));
    EXPECT_EQ(w->statusText().toStdString(), statusLine(w->state()));
    EXPECT_EQ(statusPrints, 1) << "the interrupted picture prints no status line";
    EXPECT_EQ(yields, 101 + 601) << "the newest picture is drawn once, whole";
    EXPECT_EQ(w->history().undoSteps(), static_cast<std::size_t>(in.undoSteps));
    EXPECT_EQ(w->history().redoSteps(), static_cast<std::size_t>(in.redoSteps));
    EXPECT_FALSE(w->isDrawing());
}

INSTANTIATE_TEST_SUITE_P(Form1, UndoRedoDuringDrawing, ::testing::ValuesIn(kInterruptions),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace mandel
