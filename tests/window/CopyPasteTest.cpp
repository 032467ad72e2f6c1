// Copy location and Go to location in the window, through the clipboard.
#include "WindowTestSupport.h"

#include "FastComputer.h"
#include "RandomSource.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace mandel {
namespace {

using testing::pictureOf;
using testing::TestWindow;

std::string clipboardText(QClipboard::Mode mode = QClipboard::Clipboard)
{
    return QGuiApplication::clipboard()->text(mode).toStdString();
}

void setClipboard(const std::string& text)
{
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

// The picture a location stands for, drawn by the engine alone.
std::vector<Colour> drawingOf(const std::string& text)
{
    const Result<Location> l = parseLocation(text);
    EXPECT_TRUE(l) << l.error();
    if (!l)
        return {};
    const Result<ExplorerState> s = legacyStateOf(*l);
    EXPECT_TRUE(s) << s.error();
    if (!s)
        return {};
    static Renderer renderer(makeFastComputer());
    ImageSurface surface;
    renderer.DrawFractal(*s, surface);
    return surface.pixels();
}

TEST(Form1Locations, CopyPutsTheViewOnTheClipboardAndTheSelection)
{
    TestWindow w(4);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::RightButton, {}, 450.5f, 150.25f);
    setClipboard("something else");
    w->OnCopyLocation();
    const std::string text = clipboardText();
    EXPECT_EQ(text.rfind("mandel-location/1 ", 0), 0u) << text;
    EXPECT_NE(text.find(" clicks=450.5,150.25"), std::string::npos) << text;
    if (QGuiApplication::clipboard()->supportsSelection()) {
        EXPECT_EQ(clipboardText(QClipboard::Selection), text);
    }
    EXPECT_TRUE(w->noticeText().contains(QString::fromStdString(text))) << "the notice says what was copied";
}

TEST(Form1Locations, PastingGoesThereAsAnUndoableCommand)
{
    TestWindow from(4), to(9);
    from->OnLoad();
    from->OnPictureMouseDown(Qt::LeftButton, {}, 186, 300);
    from->OnPictureMouseDown(Qt::LeftButton, {}, 300.5f, 250.75f);
    from->OnCopyLocation();
    to->OnLoad();
    const std::vector<Colour> startUp = pictureOf(*to);

    to->OnGoToLocation();
    EXPECT_EQ(to->location(), from->location());
    ExplorerState expected = from->state();
    expected.imeslike = to->state().imeslike;
    EXPECT_EQ(to->state(), expected);
    EXPECT_EQ(pictureOf(*to), pictureOf(*from));
    to->OnUndo();
    EXPECT_EQ(pictureOf(*to), startUp);
    to->OnRedo();
    EXPECT_EQ(pictureOf(*to), pictureOf(*from));
}

TEST(Form1Locations, APosterSizeIsNoPartOfTheWindowsView)
{
    TestWindow w(4);
    w->OnLoad();
    const std::string view = "mandel-location/1 mode=2 fn=1.5,2.5,0.5 moduli=170,230,300 clicks=300,300";
    ASSERT_TRUE(w->goToLocation(view + " size=3840x2160"));
    w->OnCopyLocation();
    EXPECT_EQ(clipboardText(), view);
}

// As mandel-explorer --location starts: start-up first, then the location,
// which arrives while the first picture is being drawn.
TEST(Form1Locations, ALocationAtStartUpReplacesTheFirstPictureAndUndoReturnsToIt)
{
    const std::string text = "mandel-location/1 mode=6 fn=2.5,7.25,0.75 moduli=200,210,220 clicks=186,300/301.5,10";
    TestWindow w(8);
    int statusPrints = 0;
    QObject::connect(w.form.get(), &Form1::statusPrinted, [&] { ++statusPrints; });
    QTimer::singleShot(0, w.form.get(), &Form1::OnLoad);
    QTimer::singleShot(0, w.form.get(), [&w, &text] { ASSERT_TRUE(w->goTo(*parseLocation(text))); });
    for (int k = 0; k < 10000 && statusPrints == 0; ++k)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);

    EXPECT_EQ(statusPrints, 1) << "the start-up picture gave way to the location";
    EXPECT_EQ(pictureOf(*w), drawingOf(text));
    EXPECT_TRUE(w->statusText().endsWith(QStringLiteral("magnification  100  times")));
    w->OnUndo();
    ExplorerState startUp;
    startUp.wid = startUp.hei = kSurfaceSize;
    RandomSource rng(8);
    DrawColourParameters(startUp, rng);
    ResetView(startUp);
    EXPECT_EQ(w->state(), startUp);
}

struct BadText {
    const char* name;
    std::string text;
    const char* mentions;
};

const std::string kPalette = "mandel-location/1 mode=3 fn=4.25,0.5,9.75 moduli=150,200,304";

std::string tooDeep()
{
    std::string text = kPalette + " clicks=300,300";
    for (int k = 1; k < 320; ++k)
        text.append("/300,300");
    return text;
}

const BadText kBadTexts[] = {
    {"EmptyClipboard", "", "empty"},
    {"OrdinaryText", "a shopping list", "not a location"},
    {"LaterVersion", "mandel-location/2 mode=3", "version '2'"},
    {"ModulusOutOfRange", "mandel-location/1 mode=3 fn=1,1,1 moduli=150,305,150 clicks=none", "moduli"},
    {"TwoLines", kPalette + " clicks=none\n" + kPalette + " clicks=none", "one line"},
    {"PastTheRangeOfADouble", tooDeep(), "range of a double"},
    {"DeepViewCapTooLow", kPalette + " centre=-0.75,0.1 zoom=20 iterations=199", "iterations"},
    {"DeepViewCentreWithExponent", kPalette + " centre=-7.5e-1,0.1 zoom=20 iterations=1000", "centre"},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const BadText& row, std::ostream* os) { *os << row.name; }

class BadLocation : public ::testing::TestWithParam<BadText> {};

TEST_P(BadLocation, IsShownInTheNoticeLineAndChangesNothing)
{
    const BadText& bad = GetParam();
    TestWindow w(4);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 186, 300);
    w->OnPictureMouseDown(Qt::LeftButton, {}, 300, 250);
    w->OnUndo();
    const ExplorerState state = w->state();
    const auto location = w->location();
    const std::vector<Colour> picture = pictureOf(*w);
    const QString status = w->statusText();

    setClipboard(bad.text);
    w->OnGoToLocation();

    const std::string notice = w->noticeText().toStdString();
    EXPECT_NE(notice.find(bad.mentions), std::string::npos) << notice;
    EXPECT_EQ(notice.find('\n'), std::string::npos) << "one line";
    EXPECT_EQ(w->state(), state);
    EXPECT_EQ(w->location(), location);
    EXPECT_EQ(pictureOf(*w), picture);
    EXPECT_EQ(w->statusText(), status);
    EXPECT_EQ(w->history().undoSteps(), 1u);
    EXPECT_EQ(w->history().redoSteps(), 1u) << "a refused location drops no redo step";
}

INSTANTIATE_TEST_SUITE_P(Form1, BadLocation, ::testing::ValuesIn(kBadTexts),
                         [](const auto& row) { return std::string(row.param.name); });

// Random states the window can reach: random colours from "new", chains of
// presses at fractional positions (as a handler can be given them), some far
// past a magnification of 1E+15. The copied text draws the picture shown.
TEST(Form1Locations, EveryReachableViewCopiedAndReadBackDrawsThePictureShown)
{
    std::mt19937 rng(1207);
    TestWindow w(77);
    w->OnLoad();
    // The presses of a trial arrive during its first column, so that only
    // the last view is drawn whole.
    std::vector<Click> presses;
    w->setYieldHook([&](int) {
        const std::vector<Click> now = std::exchange(presses, {});
        for (const Click& c : now)
            w->OnPictureMouseDown(Qt::LeftButton, {}, c.x, c.y);
    });
    for (int trial = 0; trial < 60; ++trial) {
        const int depth = std::uniform_int_distribution<int>(0, trial % 4 == 0 ? 40 : 16)(rng);
        const float scale = std::array{1.0f, 1.25f, 1.5f, 2.0f}[static_cast<std::size_t>(trial % 4)];
        std::uniform_real_distribution<float> at(0.0f, 595.99f);
        for (int k = 0; k < depth; ++k)
            presses.push_back({std::floor(at(rng) * scale) / scale, std::floor(at(rng) * scale) / scale});
        if (trial % 2 == 0)
            w->OnNew();
        else
            w->OnBack();
        ASSERT_TRUE(presses.empty());
        w->OnCopyLocation();
        const std::string text = clipboardText();
        ASSERT_EQ(pictureOf(*w), drawingOf(text)) << text;
        if (depth >= 16) {
            EXPECT_GE(w->state().f1, 1e15) << text;
        }
    }
}

} // namespace
} // namespace mandel
