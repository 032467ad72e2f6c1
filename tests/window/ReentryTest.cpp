// Commands that arrive while a picture is being drawn, handled in its yields.
#include "WindowTestSupport.h"

#include "RandomSource.h"
#include "StatusLine.h"

#include <QPaintEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include <ostream>

#include <cstdint>
#include <functional>

namespace mandel {
namespace {

using testing::columnIsBackground;
using testing::engineDrawing;
using testing::pictureOf;
using testing::postClick;
using testing::postPress;
using testing::TestWindow;

struct Counter {
    int statusPrints = 0;
    QString lastStatus;
    int ended = 0;
    explicit Counter(Form1& form)
    {
        QObject::connect(&form, &Form1::statusPrinted, [this](const QString& s) {
            ++statusPrints;
            lastStatus = s;
        });
        QObject::connect(&form, &Form1::ended, [this] { ++ended; });
    }
};

struct Interruption {
    const char* name;
    std::function<void(Form1&)> post;             // queued at column 100 of the start-up picture
    std::function<void(ExplorerState&)> expect;   // turns the start-up state into the expected one
};

const Interruption kInterruptions[] = {
    {"ClickOnThePicture", [](Form1& f) { postPress(f, 450, 150); },
     [](ExplorerState& s) {
         s.f1 = 10;
         s.di = 1500;
         s.dj = -1500;
         s.zoomx1 = s.zoomy1 = 1500;
         s.zoomx2 = s.zoomy2 = 0.2;
     }},
    {"RightClickOnThePicture", [](Form1& f) { postPress(f, 186, 300, Qt::RightButton); },
     [](ExplorerState& s) {
         s.f1 = 10;
         s.di = -1140;
         s.dj = 0;
         s.zoomx1 = s.zoomy1 = 1500;
         s.zoomx2 = s.zoomy2 = 0.2;
     }},
    {"New", [](Form1& f) { postClick(f.Command1()); },
     [](ExplorerState& s) {
         RandomSource rng(7);
         ExplorerState first = s;
         DrawColourParameters(first, rng);  // what start-up drew
         DrawColourParameters(s, rng);
         ResetView(s);
     }},
    {"Back", [](Form1& f) { postClick(f.Command2()); }, [](ExplorerState&) {}},
    {"ClickThenBack", [](Form1& f) { postPress(f, 10, 10); postClick(f.Command2()); }, [](ExplorerState&) {}},
    {"BackThenClick", [](Form1& f) { postClick(f.Command2()); postPress(f, 300, 300); },
     [](ExplorerState& s) {
         s.f1 = 10;
         s.zoomx1 = s.zoomy1 = 1500;
         s.zoomx2 = s.zoomy2 = 0.2;
     }},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Interruption& row, std::ostream* os) { *os << row.name; }

class DuringDrawing : public ::testing::TestWithParam<Interruption> {};

TEST_P(DuringDrawing, TheInterruptedPictureStopsAndTheNewestIsDrawnWholeOnce)
{
    const Interruption& in = GetParam();
    TestWindow w(7);
    Counter count(*w);
    int yields = 0;
    w->setYieldHook([&](int column) {
        ++yields;
        if (yields == 101) {
            ASSERT_EQ(column, 100);
            in.post(*w);
        }
    });
    w->OnLoad();

    ExplorerState expected = testing::startupState(7);
    in.expect(expected);

    EXPECT_EQ(w->state(), expected);
    EXPECT_EQ(pictureOf(*w), engineDrawing(expected));
    EXPECT_EQ(count.statusPrints, 1) << "the interrupted picture prints no status line";
    EXPECT_EQ(count.lastStatus.toStdString(), statusLine(expected));
    EXPECT_EQ(w->statusText(), count.lastStatus);
    EXPECT_EQ(yields, 101 + 601) << "the newest picture is drawn once, whole";
    EXPECT_FALSE(w->isDrawing());
}

INSTANTIATE_TEST_SUITE_P(Form1, DuringDrawing, ::testing::ValuesIn(kInterruptions),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Form1DuringDrawing, AStormOfAHundredClicksKeepsTheStackFlatAndEndsOnTheFinalState)
{
    TestWindow w(7);
    w->OnLoad();
    Counter count(*w);
    ExplorerState expected = w->state();

    // One click at the centre in each of the first hundred yields: each
    // click lands in the picture the previous click started.
    int posted = 0;
    std::uintptr_t lowest = UINTPTR_MAX;
    std::uintptr_t highest = 0;
    w->setYieldHook([&](int) {
        const char here = 0;
        const auto at = reinterpret_cast<std::uintptr_t>(&here);
        lowest = std::min(lowest, at);
        highest = std::max(highest, at);
        if (posted < 100) {
            ++posted;
            postPress(*w, 300, 300);
        }
    });
    postPress(*w, 300, 300);
    testing::runPendingEvents();

    for (int k = 0; k < 101; ++k)
        ZoomAt(expected, 300, 300);
    EXPECT_EQ(posted, 100);
    EXPECT_EQ(w->state(), expected);
    EXPECT_EQ(pictureOf(*w), engineDrawing(expected));
    EXPECT_EQ(count.statusPrints, 1);
    EXPECT_EQ(w->statusText().toStdString(), statusLine(expected));
    // A nested redraw per click would put a hundred event-loop frames on the stack.
    EXPECT_LT(highest - lowest, 4096u) << "the stack grew by " << (highest - lowest) << " bytes";
}

struct Ending {
    const char* name;
    std::function<void(Form1&)> post;
};

const Ending kEndings[] = {
    {"ExitButton", [](Form1& f) { postClick(f.Command3()); }},
    {"CloseWindow", [](Form1& f) { QMetaObject::invokeMethod(&f, &QWidget::close, Qt::QueuedConnection); }},
    {"ExitThenClick", [](Form1& f) { postClick(f.Command3()); postPress(f, 300, 300); postClick(f.Command1()); }},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Ending& row, std::ostream* os) { *os << row.name; }

class EndDuringDrawing : public ::testing::TestWithParam<Ending> {};

TEST_P(EndDuringDrawing, EndsAtOnceAndDrawsNothingAfter)
{
    TestWindow w(7);
    Counter count(*w);
    int yields = 0;
    w->setYieldHook([&](int column) {
        ++yields;
        if (column == 50)
            GetParam().post(*w);
    });
    const ExplorerState startup = testing::startupState(7);
    w->OnLoad();
    testing::runPendingEvents();

    EXPECT_TRUE(w->isEnding());
    EXPECT_EQ(count.ended, 1);
    EXPECT_EQ(yields, 51) << "no column is drawn after the end";
    EXPECT_FALSE(w->isDrawing());
    EXPECT_EQ(count.statusPrints, 0);
    EXPECT_TRUE(w->statusText().isEmpty());
    EXPECT_EQ(w->state(), startup) << "nothing handled after the end changes the state";
    EXPECT_FALSE(columnIsBackground(*w, 49));
    for (int x = 50; x < kDrawableSize; ++x)
        ASSERT_TRUE(columnIsBackground(*w, x)) << "column " << x;
}

INSTANTIATE_TEST_SUITE_P(Form1, EndDuringDrawing, ::testing::ValuesIn(kEndings),
                         [](const auto& row) { return std::string(row.param.name); });

// Records the paint events of Picture1.
class PaintLog : public QObject {
public:
    std::vector<QRect> rects;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            rects.push_back(static_cast<QPaintEvent*>(e)->rect());
        return false;
    }
};

TEST(Form1DuringDrawing, ThePictureGrowsColumnByColumnRepaintingOnlyTheNewColumn)
{
    TestWindow w(7);
    w->show();
    testing::runPendingEvents();
    PaintLog log;
    w->Picture1()->installEventFilter(&log);
    w->setState(testing::fullView());
    w->DrawFractal();
    testing::runPendingEvents();

    // Between yields one column is drawn; the next yield repaints it alone.
    int single = 0;
    int lastColumn = -1;
    bool increasing = true;
    for (const QRect& r : log.rects) {
        if (r.width() != 1 || r.height() != kDrawableSize)
            continue;
        ++single;
        increasing = increasing && r.x() - PictureBox::kBorder > lastColumn;
        lastColumn = r.x() - PictureBox::kBorder;
    }
    EXPECT_GE(single, 590) << log.rects.size() << " paints";
    EXPECT_TRUE(increasing);
    EXPECT_EQ(lastColumn, kDrawableSize - 1);
}

} // namespace
} // namespace mandel
