// Undo, redo, Copy location and Go to location in the window, checked against
// pictures drawn straight from the chain of zooms each view stands for.
#include "WindowTestSupport.h"

#include "ExplorerMenus.h"
#include "ColoursDialog.h"
#include "LocationPicture.h"
#include "RandomSource.h"
#include "StatusLine.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mandel {
namespace {

using testing::clickPicture;
using testing::clipboardText;
using testing::drawingOf;
using testing::pictureOf;
using testing::TestWindow;

// Every view the window should have, in order, and the one shown; "new"
// draws its colours from a source seeded as the window's.
struct Model {
    std::vector<Location> views;
    std::size_t at = 0;
    RandomSource rng;

    explicit Model(std::uint64_t seed) : rng(seed) { views.push_back({newPalette(), {}, {}, {}}); }
    Palette newPalette()
    {
        ExplorerState s;
        DrawColourParameters(s, rng);
        return paletteOf(s);
    }
    void go(const Location& next)
    {
        if (next == views[at])
            return;  // nothing changes, nothing to undo
        views.resize(at + 1);
        views.push_back(next);
        ++at;
    }
};

const std::string kPalette = "mandel-location/1 mode=3 fn=4.25,0.5,9.75 moduli=150,200,304";

std::string tooDeep()
{
    std::string text = kPalette + " clicks=300,300";
    for (int k = 1; k < 320; ++k)
        text += "/300,300";
    return text;
}

// Clipboard texts Go to location refuses, and what the notice says of each.
const std::pair<std::string, const char*> kBadTexts[] = {
    {"", "empty"},
    {"a shopping list", "not a location"},
    {kPalette + " clicks=none\n" + kPalette + " clicks=none", "one line"},
    {tooDeep(), "range of a double"},
    {kPalette + " centre=-0.75,0.1 zoom=20 iterations=199", "iterations"},
    // Hostile texts: megabytes of them are never shown whole, control
    // characters never shown at all.
    {std::string(10 << 20, 'x'), "longer than any location"},
    {kPalette + " clicks=none " + std::string(2 << 20, 'w'), "unknown field 'wwwwwwww"},
    {kPalette + " clicks=none \xc2\x9b[2J", "unknown field '\\xc2\\x9b[2J'"},
};

// Random sessions, each opened by zoom, new, undo, redo, new ("new" undone
// and redone keeps its colours and draws no new ones), then every bad text
// pasted (refused, changing nothing, a redo step kept), then zooms far past a
// magnification of 1E+15. Every view reached is copied: the copy is the view.
TEST(Form1UndoRedo, RandomSessionsShowAndCopyWhatTheChainOfEachViewDraws)
{
    for (const std::uint64_t seed : {3u, 11u}) {
        TestWindow w(seed);
        w->OnLoad();
        Model m(seed);
        std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
        const std::string opening = "znurnzzu" + std::string(std::size(kBadTexts), 'x') + std::string(18, 'z');
        std::size_t pasted = 0;
        double deepest = 1;
        QAction* undo = w->menus()->action(QStringLiteral("actionUndo"));
        QAction* redo = w->menus()->action(QStringLiteral("actionRedo"));
        ASSERT_FALSE(undo->isEnabled() || redo->isEnabled()) << "nothing to undo or redo at start-up";
        for (std::size_t step = 0; step < 60; ++step) {
            const char did = step < opening.size() ? opening[step]
                                                   : "nbuurgxzzzz"[std::uniform_int_distribution<int>(0, 10)(rng)];
            const Location now = m.views[m.at];
            if (did == 'n') {
                w->OnNew();
                m.go({m.newPalette(), {}, {}, {}});
            } else if (did == 'b') {
                w->OnBack();
                m.go({now.palette, {}, {}, {}});
            } else if (did == 'u') {
                w->OnUndo();
                m.at -= m.at > 0;
            } else if (did == 'r') {
                w->OnRedo();
                m.at += m.at + 1 < m.views.size();
            } else if (did == 'x') {
                const auto& [text, mentions] = kBadTexts[pasted++ % std::size(kBadTexts)];
                QGuiApplication::clipboard()->setText(QString::fromStdString(text));
                w->OnGoToLocation();
                const std::string notice = w->noticeText().toStdString();
                ASSERT_TRUE(notice.find(mentions) != std::string::npos && notice.find('\n') == std::string::npos)
                    << notice;
                const QString shown = w->noticeText();
                ASSERT_LT(shown.size(), 404) << "a notice shows at most 400 characters";
                ASSERT_FALSE(std::any_of(shown.begin(), shown.end(),
                                         [](QChar c) { return c.category() == QChar::Other_Control; }))
                    << notice;
            } else if (did == 'g') {
                const Location there = m.views[std::uniform_int_distribution<std::size_t>(0, m.views.size() - 1)(rng)];
                ASSERT_TRUE(w->goToLocation(formatLocation(there)));
                m.go(there);
            } else {
                // As a press at a fractional scale factor can give it.
                const float scale = std::array{1.0f, 1.25f, 1.5f, 2.0f}[step % 4];
                std::uniform_real_distribution<float> at(0.0f, 595.99f);
                const Click c{std::floor(at(rng) * scale) / scale, std::floor(at(rng) * scale) / scale};
                clickPicture(*w, c.x, c.y);
                Location next = now;
                next.clicks.push_back(c);
                m.go(next);
            }
            const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step) + " " + did;
            ASSERT_TRUE(w->location()) << where;
            ASSERT_EQ(*w->location(), m.views[m.at]) << where;
            ASSERT_EQ(pictureOf(*w), drawingOf(m.views[m.at])) << where;
            ASSERT_EQ(undo->isEnabled(), m.at > 0) << where;
            ASSERT_EQ(redo->isEnabled(), m.at + 1 < m.views.size()) << where;
            w->OnCopyLocation();
            const Result<Location> copied = parseLocation(clipboardText());
            ASSERT_TRUE(copied && *copied == m.views[m.at]) << where << ": " << clipboardText();
            deepest = std::max(deepest, w->state().f1);
        }
        EXPECT_GE(deepest, 1e15);
    }
}

const Click kA{100, 120};
const Click kB{420.5f, 200.75f};
const Click kC{300, 300};

// Queues `commands` as events bring them: u undo, r redo, b back, z a press at C.
void post(Form1& f, std::string_view commands)
{
    for (const char c : commands) {
        if (c == 'z')
            testing::postPress(f, kC.x, kC.y);
        else
            QMetaObject::invokeMethod(&f, c == 'u' ? &Form1::OnUndo : c == 'r' ? &Form1::OnRedo : &Form1::OnBack,
                                      Qt::QueuedConnection);
    }
}

struct Interruption {
    const char* name;
    bool zoom;                         // the picture interrupted: a zoom at C, or else an undo (after zooms A and B)
    const char* posted;                // queued at its column 100
    std::size_t undoSteps, redoSteps;  // afterwards
    std::vector<Click> clicks;         // of the view shown at the end
};

void PrintTo(const Interruption& row, std::ostream* os) { *os << row.name; }

const Interruption kInterruptions[] = {
    {"UndoDuringAZoom", true, "u", 2, 1, {kA, kB}},
    {"RedoDuringAnUndo", false, "r", 2, 0, {kA, kB}},
    {"UndoDuringAnUndo", false, "u", 0, 2, {}},
    {"ZoomDuringAnUndo", false, "z", 2, 0, {kA, kC}},
    {"BackThenUndoDuringAZoom", true, "bu", 3, 1, {kA, kB, kC}},
};

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
            post(*w, in.posted);
    });
    if (in.zoom)
        w->OnPictureMouseDown(Qt::LeftButton, {}, kC.x, kC.y);
    else
        w->OnUndo();

    ASSERT_TRUE(w->location());
    EXPECT_EQ(w->location()->clicks, in.clicks);
    EXPECT_EQ(pictureOf(*w), drawingOf(*w->location()));
    EXPECT_EQ(w->statusText().toStdString(), statusLine(w->state()));
    EXPECT_EQ(statusPrints, 1) << "the interrupted picture prints no status line";
    EXPECT_EQ(yields, 101 + 601) << "the newest picture is drawn once, whole";
    EXPECT_EQ(w->history().undoSteps(), in.undoSteps);
    EXPECT_EQ(w->history().redoSteps(), in.redoSteps);
}

INSTANTIATE_TEST_SUITE_P(Form1, UndoRedoDuringDrawing, ::testing::ValuesIn(kInterruptions),
                         [](const auto& row) { return std::string(row.param.name); });

// As mandel-explorer --location starts: start-up first, then the location,
// which arrives while the first picture is being drawn. Its poster size is
// no part of the window's view.
TEST(Form1Locations, ALocationAtStartUpReplacesTheFirstPictureAndUndoReturnsToIt)
{
    const std::string view = "mandel-location/1 mode=6 fn=2.5,7.25,0.75 moduli=200,210,220 clicks=186,300/301.5,10";
    TestWindow w(8);
    int statusPrints = 0;
    QObject::connect(w.form.get(), &Form1::statusPrinted, [&] { ++statusPrints; });
    QTimer::singleShot(0, w.form.get(), &Form1::OnLoad);
    QTimer::singleShot(0, w.form.get(), [&] { ASSERT_TRUE(w->goTo(*parseLocation(view + " size=3840x2160"))); });
    for (int k = 0; k < 10000 && statusPrints == 0; ++k)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);

    EXPECT_EQ(statusPrints, 1) << "the start-up picture gave way to the location";
    EXPECT_EQ(pictureOf(*w), drawingOf(*parseLocation(view)));
    w->OnCopyLocation();
    EXPECT_EQ(clipboardText(), view);
    w->OnUndo();
    EXPECT_EQ(w->state(), testing::startupState(8));
}

// A location in smooth colours shows its palette in the window, pixel for
// pixel the picture mandel-render draws of it, and Copy location keeps it.
TEST(Form1Locations, ASmoothLocationIsDrawnInItsPalette)
{
    const std::string view = kPalette + " clicks=186,300 palette=fire density=log:0.5 offset=0.25 shading=slopes "
                                        "samples=2";
    TestWindow w(9);
    w->OnLoad();
    ASSERT_TRUE(w->goTo(*parseLocation(view)));
    Result<LocationPicture> picture = LocationPicture::prepare(*parseLocation(view), nullptr, {});
    ASSERT_TRUE(picture);
    ImageSurface expected;
    ASSERT_TRUE(picture->drawWindowPicture(expected, {}));
    EXPECT_EQ(pictureOf(*w), expected.pixels());
    w->OnCopyLocation();
    EXPECT_EQ(clipboardText(), view);
}

// The smooth colours the window shows (defaults when it shows the modes).
SmoothColours shownColours(const Form1& form)
{
    const SmoothColours* c = form.smoothColours();
    return c ? *c : SmoothColours{};
}

// View > Colours...: a palette chosen in the dialog is drawn and carried by
// the location, custom stops as typed; malformed stops keep the dialog open;
// undo returns to the modes.
TEST(Form1Locations, TheColoursDialogChoosesAPaletteAsACommand)
{
    TestWindow w(10);
    w->OnLoad();
    const std::vector<Colour> modes = pictureOf(*w);
    {
        ColoursDialog dialog(*w);
        EXPECT_FALSE(dialog.stops()->isEnabled()) << "the modes are shown";
        dialog.palette()->setCurrentText(QStringLiteral("ocean"));
        for (const BuiltInPalette& p : builtInPalettes()) {
            if (p.name == "ocean") {
                EXPECT_EQ(dialog.stops()->text().toStdString(), formatStops(p.stops));
            }
        }
        dialog.offset()->setValue(500);
        dialog.shading()->setCurrentIndex(2);
        dialog.accept();
    }
    ASSERT_NE(w->smoothColours(), nullptr);
    EXPECT_EQ(shownColours(*w).palette, "ocean");
    EXPECT_EQ(shownColours(*w).offset, 0.5f);
    EXPECT_EQ(shownColours(*w).shading, Shading::Slopes);
    EXPECT_NE(pictureOf(*w), modes);
    {
        ColoursDialog dialog(*w);
        dialog.stops()->setText(QStringLiteral("000000@0,ffffff@0.4"));
        emit dialog.stops()->textEdited(dialog.stops()->text());
        dialog.accept();
        EXPECT_TRUE(shownColours(*w).palette.empty());
        dialog.stops()->setText(QStringLiteral("000000@0.5,ffffff@0.4"));
        emit dialog.stops()->textEdited(dialog.stops()->text());
        EXPECT_FALSE(dialog.problem()->isHidden());
        EXPECT_FALSE(dialog.chosen());
    }
    w->OnCopyLocation();
    EXPECT_NE(clipboardText().find("stops=000000@0,ffffff@0.4"), std::string::npos) << clipboardText();
    w->OnUndo();
    w->OnUndo();
    EXPECT_EQ(w->smoothColours(), nullptr);
    EXPECT_EQ(pictureOf(*w), modes);
}

} // namespace
} // namespace mandel
