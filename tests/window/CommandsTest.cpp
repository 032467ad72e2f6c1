#include "WindowTestSupport.h"

#include "RandomSource.h"
#include "StatusLine.h"

#include <QFontMetrics>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <functional>

namespace mandel {
namespace {

using testing::engineDrawing;
using testing::fullView;
using testing::pictureOf;
using testing::postPress;
using testing::runPendingEvents;
using testing::startupState;
using testing::TestWindow;

TEST(Form1Startup, SeedsSizesResetsAndDrawsTheFullView)
{
    TestWindow w(1234);
    w->OnLoad();
    const ExplorerState& s = w->state();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(s.wid, 600);
    EXPECT_EQ(s.hei, 600);
    EXPECT_EQ(s.zoomx1, 150.0);
    EXPECT_EQ(s.zoomy1, 150.0);
    EXPECT_EQ(s.zoomx2, 2.0);
    EXPECT_EQ(s.zoomy2, 2.0);
    EXPECT_EQ(s.di, 0.0);
    EXPECT_EQ(s.dj, 0.0);
    EXPECT_EQ(s.f, 10);
    EXPECT_EQ(s.f1, 1.0);
    EXPECT_EQ(s, startupState(1234));
    EXPECT_EQ(pictureOf(*w), engineDrawing(s));
    EXPECT_EQ(w->statusText().toStdString(), statusLine(s));
    EXPECT_TRUE(w->statusText().endsWith(QStringLiteral("magnification  1  times")));
    EXPECT_FALSE(w->isDrawing());
}

TEST(Form1Startup, CreatesTheSaveFolder)
{
    TestWindow w;
    ASSERT_FALSE(QDir(QString::fromStdString(w->saveFolder())).exists());
    w->OnLoad();
    EXPECT_TRUE(QDir(QString::fromStdString(w->saveFolder())).exists());
}

TEST(Form1Startup, AFolderThatCannotBeMadeDoesNotStopStartUp)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TestWindow w(7, dir.filePath(QStringLiteral("file/tivek-art")).toStdString());
    w->OnLoad();
    EXPECT_EQ(pictureOf(*w), engineDrawing(startupState(7)));
}

struct Press {
    const char* name;
    Qt::MouseButton button;
    float X, Y;
    double di, dj;  // expected offsets after one zoom from the full view
};

// di = ((0 + X) - 300) * 10, dj = ((0 + Y) - 300) * 10.
const Press kPresses[] = {
    {"CentreLeftButton", Qt::LeftButton, 300, 300, 0, 0},
    {"CentreRightButton", Qt::RightButton, 300, 300, 0, 0},
    {"UpperRightMiddleButton", Qt::MiddleButton, 450, 150, 1500, -1500},
    {"NearTheBottomRightEdge", Qt::RightButton, 595, 595, 2950, 2950},
    {"TopLeftPixel", Qt::LeftButton, 0, 0, -3000, -3000},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Press& row, std::ostream* os) { *os << row.name; }

class PictureMouseDown : public ::testing::TestWithParam<Press> {};

TEST_P(PictureMouseDown, ZoomsTenfoldAroundThePressAndDrawsIt)
{
    const Press& p = GetParam();
    TestWindow w;
    w->OnLoad();
    ExplorerState expected = w->state();
    QTest::mousePress(w->Picture1(), p.button, Qt::NoModifier,
                      QPoint(static_cast<int>(p.X) + 2, static_cast<int>(p.Y) + 2));
    expected.f1 = 10;
    expected.di = p.di;
    expected.dj = p.dj;
    expected.zoomx1 = expected.zoomy1 = 1500;
    expected.zoomx2 = expected.zoomy2 = 2 * 0.1;
    EXPECT_EQ(w->state(), expected);
    EXPECT_EQ(pictureOf(*w), engineDrawing(expected));
    EXPECT_TRUE(w->statusText().endsWith(QStringLiteral("magnification  10  times")));
}

INSTANTIATE_TEST_SUITE_P(Form1, PictureMouseDown, ::testing::ValuesIn(kPresses),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Form1Commands, APressOnTheBorderIsNoPressOnThePicture)
{
    TestWindow w;
    w->OnLoad();
    const ExplorerState before = w->state();
    for (const QPoint at : {QPoint(0, 300), QPoint(1, 1), QPoint(598, 300), QPoint(300, 599)})
        QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(w->state(), before);
}

TEST(Form1Commands, TwoZoomsShowMagnification100AndBackShowsTheFullViewInTheSameColours)
{
    TestWindow w;
    w->OnLoad();
    const ExplorerState start = w->state();
    const std::vector<Colour> startPicture = pictureOf(*w);
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 186, 2 + 300));
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 300, 2 + 250));
    EXPECT_EQ(w->state().f1, 100.0);
    EXPECT_TRUE(w->statusText().endsWith(QStringLiteral("magnification  100  times")));
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 10, 2 + 20));
    EXPECT_EQ(w->state().f1, 1000.0);

    QTest::mouseClick(w->Command2(), Qt::LeftButton);
    EXPECT_EQ(w->state(), start);
    EXPECT_EQ(pictureOf(*w), startPicture);
    EXPECT_TRUE(w->statusText().endsWith(QStringLiteral("magnification  1  times")));
}

TEST(Form1Commands, NewDrawsTheNextSevenRandomNumbersOverTheFullView)
{
    TestWindow w(99);
    w->OnLoad();
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 100, 2 + 100));
    QTest::mouseClick(w->Command1(), Qt::LeftButton);

    const ExplorerState expected = testing::startupState(99, 1);
    EXPECT_EQ(w->state(), expected);
    EXPECT_EQ(pictureOf(*w), engineDrawing(expected));
}

TEST(Form1Commands, BannerChangesNothing)
{
    TestWindow w;
    w->OnLoad();
    const ExplorerState before = w->state();
    const std::vector<Colour> picture = pictureOf(*w);
    const QString status = w->statusText();
    QTest::mouseClick(w->Command5(), Qt::LeftButton);
    EXPECT_EQ(w->state(), before);
    EXPECT_EQ(pictureOf(*w), picture);
    EXPECT_EQ(w->statusText(), status);
    EXPECT_FALSE(w->isEnding());
}

TEST(Form1Commands, ExitClearsTheWindowAndEndsTheProgram)
{
    TestWindow w;
    w->OnLoad();
    int ended = 0;
    QObject::connect(w.form.get(), &Form1::ended, [&] { ++ended; });
    QTest::mouseClick(w->Command3(), Qt::LeftButton);
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(w->isEnding());
    EXPECT_TRUE(w->statusText().isEmpty());
}

// The status line's text is on the screen where it belongs: from kStatusX
// to where the text's width ends, across the line's baseline.
void expectStatusOnScreen(const Form1& w, const char* when)
{
    const QRect ink = testing::inkIn(testing::statusLinePixels(w));
    const QFontMetrics metrics(w.clientArea()->font());
    const int end = testing::kInkMargin + metrics.horizontalAdvance(w.statusText());
    ASSERT_FALSE(ink.isEmpty()) << when << ": no status line on the screen";
    EXPECT_NEAR(ink.left(), testing::kInkMargin, 2) << when;
    EXPECT_NEAR(ink.right(), end, 3) << when;
    EXPECT_LT(ink.top(), metrics.ascent() - 1) << when;
    EXPECT_GE(ink.bottom(), metrics.ascent() - 1) << when;
}

TEST(Form1Commands, StatusLineAndNoticeAreGoneWhileTheNextPictureIsDrawn)
{
    const struct {
        const char* name;
        std::function<void(Form1&)> command;
    } commands[] = {
        {"zoom", [](Form1& f) { QTest::mousePress(f.Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 300, 2 + 300)); }},
        {"new", [](Form1& f) { QTest::mouseClick(f.Command1(), Qt::LeftButton); }},
        {"back", [](Form1& f) { QTest::mouseClick(f.Command2(), Qt::LeftButton); }},
    };
    for (const auto& c : commands) {
        TestWindow w;
        w->OnLoad();
        QTest::mouseClick(w->Command4(), Qt::LeftButton);  // leaves a notice
        ASSERT_FALSE(w->noticeText().isEmpty());
        runPendingEvents();
        expectStatusOnScreen(*w, "before");
        std::vector<QString> seen;  // status and notice at the first column, status at the last
        QRect inkWhileDrawing;
        w->setYieldHook([&](int column) {
            if (column == 0)
                seen = {w->statusText(), w->noticeText()};
            if (column == 300)
                inkWhileDrawing = testing::inkIn(testing::statusLinePixels(*w));
            if (column == 600)
                seen.push_back(w->statusText());
        });
        c.command(*w);
        EXPECT_EQ(seen, std::vector<QString>(3)) << c.name << ": a stale status line or notice stays up";
        EXPECT_TRUE(inkWhileDrawing.isEmpty()) << c.name << ": the old status line is still on the screen";
        EXPECT_EQ(w->statusText().toStdString(), statusLine(w->state())) << c.name;
        runPendingEvents();
        expectStatusOnScreen(*w, c.name);
    }
}

// Zooms at the centre n times from the full view.
ExplorerState zoomedAtCentre(int n)
{
    ExplorerState s = fullView();
    for (int k = 0; k < n; ++k)
        ZoomAt(s, 300, 300);
    return s;
}

struct Limit {
    const char* name;
    ExplorerState start;
    float X, Y;
    bool zooms;
};

ExplorerState offsetNearTheTop()
{
    ExplorerState s = zoomedAtCentre(290);
    s.di = 2e307;  // times 10 leaves the range of a double
    return s;
}

const Limit kLimits[] = {
    // zoomx1 = 150 * 10^305 = 1.5e307; one more zoom gives 1.5e308, still a double.
    {"ZoomNumber306Fits", zoomedAtCentre(305), 300, 300, true},
    // zoomx1 = 1.5e308; times 10 is past the largest double (1.8e308).
    {"ZoomNumber307IsRefused", zoomedAtCentre(306), 300, 300, false},
    {"OffsetPastTheRangeIsRefused", offsetNearTheTop(), 300, 300, false},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Limit& row, std::ostream* os) { *os << row.name; }

class ZoomLimit : public ::testing::TestWithParam<Limit> {};

TEST_P(ZoomLimit, AZoomPastTheRangeOfADoubleIsRefusedAndSaidSo)
{
    const Limit& l = GetParam();
    TestWindow w;
    w->OnLoad();
    w->setState(l.start);
    w->DrawFractal();
    const std::vector<Colour> before = pictureOf(*w);
    const QString status = w->statusText();
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(static_cast<int>(l.X) + 2, static_cast<int>(l.Y) + 2));
    if (l.zooms) {
        EXPECT_EQ(w->state().f1, l.start.f1 * 10);
        EXPECT_TRUE(std::isfinite(w->state().zoomx1));
        // Every point is within about 1e-306 of 0, inside the set: n = 200
        // everywhere, coloured (P(300), P(500), P(100)) = (45, 245, 100).
        const std::vector<Colour> after = pictureOf(*w);
        for (const Colour c : after)
            ASSERT_EQ(c, composeColour(45, 245, 100));
        EXPECT_TRUE(w->noticeText().isEmpty());
    } else {
        EXPECT_EQ(w->state(), l.start);
        EXPECT_EQ(pictureOf(*w), before);
        EXPECT_EQ(w->statusText(), status);
        EXPECT_TRUE(w->noticeText().contains(QStringLiteral("range of a double"))) << w->noticeText().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Form1, ZoomLimit, ::testing::ValuesIn(kLimits),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Form1Commands, PictureIsShownAgainWhenUncovered)
{
    TestWindow w;
    w->OnLoad();
    const QImage shown = w->Picture1()->grab().toImage();
    w->hide();
    w->show();
    runPendingEvents();
    const QImage again = w->Picture1()->grab().toImage();
    EXPECT_EQ(shown, again);
    // The grab shows the picture inside the border.
    EXPECT_EQ(shown.copy(2, 2, 596, 596).convertToFormat(QImage::Format_RGB32), w->pictureImage());
}


struct Shortcut {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::function<void(const TestWindow&, const ExplorerState& zoomed)> check;
};

const Shortcut kShortcuts[] = {
    {"CtrlNIsNew", Qt::Key_N, Qt::ControlModifier,
     [](const TestWindow& w, const ExplorerState& zoomed) {
         EXPECT_EQ(w->state().f1, 1.0);
         EXPECT_NE(w->state().fn1, zoomed.fn1);
     }},
    {"BackspaceIsBack", Qt::Key_Backspace, Qt::NoModifier,
     [](const TestWindow& w, const ExplorerState& zoomed) {
         EXPECT_EQ(w->state().f1, 1.0);
         EXPECT_EQ(w->state().fn1, zoomed.fn1);
     }},
    {"CtrlSIsSave", Qt::Key_S, Qt::ControlModifier,
     [](const TestWindow& w, const ExplorerState&) { EXPECT_EQ(w->state().imeslike, "M20240309080507"); }},
    {"CtrlZIsUndo", Qt::Key_Z, Qt::ControlModifier,
     [](const TestWindow& w, const ExplorerState&) { EXPECT_EQ(w->state().f1, 1.0); }},
    {"CtrlQIsExit", Qt::Key_Q, Qt::ControlModifier, [](const TestWindow& w, const ExplorerState&) {
         EXPECT_TRUE(w->isEnding());
     }},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Shortcut& row, std::ostream* os) { *os << row.name; }

class KeyboardShortcut : public ::testing::TestWithParam<Shortcut> {};

TEST_P(KeyboardShortcut, RunsItsCommand)
{
    TestWindow w;
    w->OnLoad();
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 100, 2 + 100));
    const ExplorerState zoomed = w->state();
    ASSERT_EQ(zoomed.f1, 10.0);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get(), 5000));
    QTest::keyClick(w.form.get(), GetParam().key, GetParam().modifiers);
    GetParam().check(w, zoomed);
}

INSTANTIATE_TEST_SUITE_P(Form1, KeyboardShortcut, ::testing::ValuesIn(kShortcuts),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace mandel
