// Copy location and Go to location in the window, through the clipboard.
#include "WindowTestSupport.h"

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

using testing::clipboardText;
using testing::drawingOf;
using testing::pictureOf;
using testing::TestWindow;

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

const std::string kPalette = "mandel-location/1 mode=3 fn=4.25,0.5,9.75 moduli=150,200,304";

std::string tooDeep()
{
    std::string text = kPalette + " clicks=300,300";
    for (int k = 1; k < 320; ++k)
        text.append("/300,300");
    return text;
}

struct BadText {
    const char* name;
    std::string text;
    const char* mentions;
};

void PrintTo(const BadText& row, std::ostream* os) { *os << row.name; }

const BadText kBadTexts[] = {
    {"EmptyClipboard", "", "empty"},
    {"OrdinaryText", "a shopping list", "not a location"},
    {"TwoLines", kPalette + " clicks=none\n" + kPalette + " clicks=none", "one line"},
    {"PastTheRangeOfADouble", tooDeep(), "range of a double"},
    {"DeepViewCapTooLow", kPalette + " centre=-0.75,0.1 zoom=20 iterations=199", "iterations"},
};

class BadLocation : public ::testing::TestWithParam<BadText> {};

TEST_P(BadLocation, IsShownInTheNoticeLineAndChangesNothing)
{
    TestWindow w(4);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 186, 300);
    w->OnPictureMouseDown(Qt::LeftButton, {}, 300, 250);
    w->OnUndo();
    const ExplorerState state = w->state();
    const std::vector<Colour> picture = pictureOf(*w);
    const QString status = w->statusText();

    QGuiApplication::clipboard()->setText(QString::fromStdString(GetParam().text));
    w->OnGoToLocation();

    const std::string notice = w->noticeText().toStdString();
    EXPECT_NE(notice.find(GetParam().mentions), std::string::npos) << notice;
    EXPECT_EQ(notice.find('\n'), std::string::npos) << "one line";
    EXPECT_EQ(w->state(), state);
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
        for (const Click& c : std::exchange(presses, {}))
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
        const Result<Location> read = parseLocation(text);
        ASSERT_TRUE(read) << read.error();
        ASSERT_EQ(pictureOf(*w), drawingOf(*read)) << text;
        if (depth >= 16) {
            EXPECT_GE(w->state().f1, 1e15) << text;
        }
    }
}

} // namespace
} // namespace mandel
