#include "WindowTestSupport.h"

#include "BandSink.h"
#include "ExplorerMenus.h"
#include "FastComputer.h"
#include "PosterRenderer.h"
#include "StatusLine.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

namespace mandel {
namespace {

using testing::TestWindow;

struct Element {
    const char* name;
    const char* caption;  // null: not a button
    QRect geometry;       // in client-area pixels
    bool visible;
};

// The layout table, twips divided by 15.
const Element kLayout[] = {
    {"Command5", "EXPLORE MANDELBROT FRACTAL", {48, 16, 201, 17}, true},
    {"Command1", "new", {376, 16, 49, 17}, true},
    {"Command2", "back", {432, 16, 49, 17}, true},
    {"Command4", "save C:\\tivek-art", {488, 16, 105, 17}, true},
    {"Command3", "exit", {600, 16, 49, 17}, true},
    {"Picture1", nullptr, {48, 48, 600, 600}, true},
    {"Picture2", nullptr, {48, 48, 600, 600}, false},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Element& row, std::ostream* os) { *os << row.name; }

class Layout : public ::testing::TestWithParam<Element> {};

TEST_P(Layout, ElementSitsWhereTheTablePutsIt)
{
    TestWindow w;
    w->show();
    const Element& e = GetParam();
    auto* widget = w->findChild<QWidget*>(QString::fromLatin1(e.name));
    ASSERT_NE(widget, nullptr) << e.name;
    EXPECT_EQ(widget->parentWidget(), w->clientArea()) << "positions are measured from the client area";
    EXPECT_EQ(widget->geometry(), e.geometry);
    EXPECT_EQ(widget->isVisible(), e.visible);
    if (e.caption) {
        auto* button = qobject_cast<QPushButton*>(widget);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromLatin1(e.caption));
        EXPECT_FALSE(button->toolTip().isEmpty()) << e.name << " has no tooltip";
        EXPECT_EQ(button->font().pixelSize(), 11) << e.name << ": a face small enough for buttons 17 pixels high";
    }
}

INSTANTIATE_TEST_SUITE_P(Form1, Layout, ::testing::ValuesIn(kLayout),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Form1Layout, TitleIsForm1)
{
    TestWindow w;
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Form1"));
    EXPECT_EQ(w->objectName(), QStringLiteral("Form1"));
}

TEST(Form1Layout, PicturesHaveASunkenTwoPixelBorderAroundA596Area)
{
    TestWindow w;
    for (PictureBox* p : {w->Picture1(), w->Picture2()}) {
        EXPECT_EQ(p->frameWidth(), 2);
        EXPECT_EQ(p->frameShadow(), QFrame::Sunken);
        EXPECT_EQ(p->contentsRect(), QRect(2, 2, 596, 596));
        EXPECT_EQ(p->image().size(), QSize(596, 596));
        EXPECT_EQ(p->image().format(), QImage::Format_RGB32);
    }
}

TEST(Form1Layout, Picture2LiesBeneathPicture1)
{
    TestWindow w;
    const QObjectList& children = w->clientArea()->children();
    EXPECT_LT(children.indexOf(w->Picture2()), children.indexOf(w->Picture1()))
        << "later siblings are drawn on top";
}

TEST(Form1Layout, TabOrderFollowsTheTable)
{
    TestWindow w;
    const QStringList expected = {"Picture1", "Command1", "Command2", "Command3", "Picture2", "Command4", "Command5"};
    QStringList seen;
    QWidget* start = w->Picture1();
    QWidget* next = start;
    do {
        if (expected.contains(next->objectName()))
            seen << next->objectName();
        next = next->nextInFocusChain();
    } while (next != start && seen.size() < 20);
    EXPECT_EQ(seen.join(' ').toStdString(), expected.join(' ').toStdString());
    EXPECT_TRUE(w->Picture1()->focusPolicy() & Qt::TabFocus);
}

TEST(Form1Layout, WindowShowsEverythingAndCannotShrinkBelowIt)
{
    TestWindow w;
    w->OnLoad();
    const int opened = w->width();
    const QFontMetrics metrics(w->font());
    const int statusRight = ClientArea::kStatusX + metrics.horizontalAdvance(w->statusText());
    EXPECT_GE(w->width(), 649);
    EXPECT_GE(w->width(), statusRight);
    EXPECT_GE(w->height(), ClientArea::kStatusY + metrics.height());
    EXPECT_EQ(w->statusRect().topLeft(), QPoint(55, 670));

    w->resize(312, 213);  // the design size of the old form
    EXPECT_GE(w->width(), statusRight);
    EXPECT_GE(w->height(), ClientArea::kStatusY + metrics.height());
    const QWidget& client = *w->clientArea();
    EXPECT_GE(client.height(), ClientArea::kStatusY + metrics.height());
    int widest = 0;  // the right end of the widest status line
    auto fits = [&](const std::string& status) {
        const int right =
            ClientArea::kStatusX + QFontMetrics(client.font()).horizontalAdvance(QString::fromStdString(status));
        widest = std::max(widest, right);
        return right <= client.width();
    };
    // The status line of every magnification a view can reach, in every
    // colour count, deep views' lines included: whichever is widest in this font.
    for (int b = 1; b <= 9; ++b) {
        ExplorerState s = testing::fullView(static_cast<float>(b));
        for (int zooms = 0; zooms < 306; ++zooms, ZoomAt(s, 300, 300))
            ASSERT_TRUE(fits(statusLine(s))) << statusLine(s);
        for (const double zoom : {14.0, 15.0, 1000000.0, 999999.25})
            ASSERT_TRUE(fits(deepStatusLine(static_cast<float>(b), zoom)));
    }
    // Opened, and shrunk as far as it goes, exactly as wide as the picture or
    // the widest status line, and a margin.
    const int exact = std::max(48 + PictureBox::kOuterSize, widest) + 24;
    EXPECT_EQ(opened, exact);
    EXPECT_EQ(w->width(), exact);
    // The notice line lies in the window, under the status line.
    const QWidget* notice = client.findChild<QWidget*>(QStringLiteral("notice"));
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(client.rect().contains(notice->geometry()));
    EXPECT_GE(notice->y(), ClientArea::kStatusY + metrics.height());
}

// A poster's rows as engine colours, row by row.
class ColourRows final : public BandSink {
public:
    Status writeRows(const std::uint8_t* rgb, int rows) override
    {
        for (int i = 0; i < rows * width; ++i, rgb += 3)
            colours.push_back(composeColour(rgb[0], rgb[1], rgb[2]));
        return {};
    }
    int width = 0;
    std::vector<Colour> colours;
};

std::vector<Colour> posterOf(const ExplorerState& view, PictureSize size)
{
    ColourRows rows;
    rows.width = size.width;
    auto computer = makeFastComputer();
    EXPECT_TRUE(PosterRenderer(*computer).render(view, size, rows).ok());
    return rows.colours;
}

TEST(Form1Layout, ThePictureFillsTheWindowAsAPosterOfItsSizeAndPressesMapBack)
{
    TestWindow w;
    w->OnLoad();
    ASSERT_TRUE(testing::waitForPicture(*w));
    const QSize opened = w->size();
    const QRect status = w->statusRect();
    // Grown by (200, 100): the picture takes all of it, the status line
    // moves down under it, and the picture is the view's poster of that size.
    w->resize(opened + QSize(200, 100));
    testing::runPendingEvents();
    ASSERT_TRUE(testing::waitForPicture(*w));
    EXPECT_EQ(w->Picture1()->geometry(), QRect(48, 48, 800, 700));
    EXPECT_EQ(w->pictureImage().size(), QSize(796, 696));
    EXPECT_EQ(w->statusRect().topLeft(), status.topLeft() + QPoint(0, 100));
    EXPECT_EQ(testing::pictureOf(*w), posterOf(w->state(), {796, 696}));
    // A press maps back through the poster rule: drawable pixel (398, 348),
    // the middle, is picture pixel 298 + (398 - 398) * 596 / 696 both ways.
    ExplorerState expected = w->state();
    ZoomAt(expected, 298.0f, 298.0f);
    const QPoint middle = QPoint(398, 348) + QPoint(PictureBox::kBorder, PictureBox::kBorder);
    QTest::mouseClick(w->Picture1(), Qt::LeftButton, {}, middle);
    ASSERT_TRUE(testing::waitForPicture(*w));
    EXPECT_EQ(w->state(), expected);
    // Save writes the picture shown, at its size.
    w->OnSave();
    EXPECT_EQ(w->Picture2()->image().size(), QSize(796, 696));
    // Back at the start-up size: the legacy picture, drawn column by column.
    w->resize(opened);
    testing::runPendingEvents();
    ASSERT_TRUE(testing::waitForPicture(*w));
    EXPECT_EQ(w->Picture1()->geometry(), QRect(48, 48, 600, 600));
    EXPECT_EQ(testing::pictureOf(*w), testing::engineDrawing(expected));
}

TEST(Form1Layout, FullScreenShowsThePictureAloneAndComesBack)
{
    TestWindow w;
    w->OnLoad();
    ASSERT_TRUE(testing::waitForPicture(*w));
    const QRect windowed = w->geometry();
    QAction* full = w->menus()->action(QStringLiteral("actionFullScreen"));
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->shortcut(), QKeySequence(Qt::Key_F11));
    full->trigger();
    testing::runPendingEvents();
    ASSERT_TRUE(testing::waitForPicture(*w));
    EXPECT_TRUE(w->isFullScreenPicture());
    EXPECT_FALSE(w->menuBar()->isVisible());
    EXPECT_FALSE(w->Command1()->isVisible());
    EXPECT_EQ(w->Picture1()->geometry(), w->clientArea()->rect());
    EXPECT_NE(w->pictureImage().size(), QSize(596, 596));
    QTest::keyClick(w.operator->(), Qt::Key_Escape);
    testing::runPendingEvents();
    ASSERT_TRUE(testing::waitForPicture(*w));
    EXPECT_FALSE(w->isFullScreenPicture());
    EXPECT_TRUE(w->Command1()->isVisible());
    EXPECT_EQ(w->geometry().size(), windowed.size());
    EXPECT_EQ(w->pictureImage().size(), QSize(596, 596));
}

TEST(Form1Layout, SaveButtonTooltipNamesTheRealFolder)
{
    TestWindow w;
    EXPECT_TRUE(w->Command4()->toolTip().contains(QString::fromStdString(w->saveFolder())))
        << w->Command4()->toolTip().toStdString();
}

TEST(PictureBoxSurface, AColumnIsWhatItsPixelsWouldBeAndSnapshotsKeepTheirCopy)
{
    testing::qtApp();
    std::vector<Colour> colours(601);
    for (std::size_t i = 0; i < colours.size(); ++i)
        colours[i] = composeColour(static_cast<int>(i % 256), static_cast<int>(i / 3 % 256), 7);
    for (const int x : {0, 297, 595, 596, -1}) {
        PictureBox byColumn, byPixel;
        const QImage before = byColumn.image();  // a snapshot shares the image until a write
        byColumn.setColumn(x, colours.data(), 601);
        for (int y = 0; y < 601; ++y)
            byPixel.setPixel(x, y, colours[static_cast<std::size_t>(y)]);
        EXPECT_EQ(byColumn.image(), byPixel.image()) << "column " << x;
        EXPECT_EQ(before.pixel(0, 0), toQRgb(kBackground)) << "the snapshot is untouched";
        EXPECT_EQ(before.pixel(595, 595), toQRgb(kBackground));
    }
}

// The keys a menu item shows: those after a tab in its text, or its shortcut.
QString shownKeys(const QAction* a)
{
    if (a->text().contains(QLatin1Char('\t')))
        return a->text().section(QLatin1Char('\t'), 1);
    return a->shortcut().toString(QKeySequence::NativeText);
}

struct MenuItem {
    const char* menu;
    const char* action;
    const char* keys;  // as the item shows them
};

const MenuItem kItems[] = {
    {"menuFile", "actionSave", "Ctrl+S"},
    {"menuFile", "actionExportPicture", "Ctrl+E"},
    {"menuFile", "actionOpenPicture", "Ctrl+O"},
    {"menuFile", "actionCopyLocation", "Ctrl+C"},
    {"menuFile", "actionGoToLocation", "Ctrl+V"},
    {"menuFile", "actionExit", "Ctrl+Q"},
    {"menuView", "actionNew", "Ctrl+N"},
    {"menuView", "actionBack", "Backspace"},
    {"menuView", "actionDeepZoom", "Ctrl+D"},
    {"menuView", "actionGoToCoordinates", "Ctrl+G"},
    {"menuView", "actionIterations", ""},
    {"menuView", "actionFullScreen", "F11"},
    {"menuView", "actionZoomIn", "+, ="},
    {"menuView", "actionZoomOut", "-"},
    {"menuView", "actionMoveLeft", "Left"},
    {"menuView", "actionMoveRight", "Right"},
    {"menuView", "actionMoveUp", "Up"},
    {"menuView", "actionMoveDown", "Down"},
    {"menuView", "actionColours", ""},
    {"menuView", "actionUndo", "Ctrl+Z"},
    {"menuView", "actionRedo", "Ctrl+Shift+Z, Ctrl+Y"},
    {"menuHelp", "actionKeysAndMouse", "F1"},
    {"menuHelp", "actionAbout", ""},
};

void PrintTo(const MenuItem& row, std::ostream* os) { *os << row.action; }

class MenuItems : public ::testing::TestWithParam<MenuItem> {};

TEST_P(MenuItems, SitsInItsMenuAndShowsEveryKeyThatRunsIt)
{
    TestWindow w;
    const MenuItem& item = GetParam();
    auto* menu = w->menuBar()->findChild<QMenu*>(QString::fromLatin1(item.menu));
    QAction* a = w->menus()->action(QString::fromLatin1(item.action));
    ASSERT_TRUE(menu && a && menu->actions().contains(a)) << item.action << " is not in " << item.menu;
    EXPECT_EQ(shownKeys(a).toStdString(), item.keys);
    QStringList keys;
    for (const QKeySequence& k : a->shortcuts())
        keys << k.toString(QKeySequence::NativeText);
    EXPECT_EQ(keys.join(QStringLiteral(", ")).toStdString(), item.keys) << "shown and working keys differ";
}

INSTANTIATE_TEST_SUITE_P(ExplorerMenus, MenuItems, ::testing::ValuesIn(kItems),
                         [](const auto& row) { return std::string(row.param.action); });

TEST(ExplorerMenus, TheMenuBarIsAboveTheClientAreaAndOutsideIt)
{
    TestWindow w;
    w->OnLoad();
    const QRect bar = w->menuBar()->geometry();
    const QRect client = w->clientArea()->geometry();
    ASSERT_TRUE(w->menuBar()->isVisible());
    EXPECT_EQ(bar.top(), 0);
    EXPECT_LT(bar.bottom(), client.top());
    EXPECT_EQ(client.left(), 0);
    // The layout's positions hold in the client area, whatever the bar's height.
    EXPECT_EQ(w->Picture1()->mapTo(w.form.get(), QPoint(0, 0)), client.topLeft() + QPoint(48, 48));
    EXPECT_EQ(w->clientArea()->mapFromGlobal(w->Command3()->mapToGlobal(QPoint(0, 0))), QPoint(600, 16));
}

} // namespace
} // namespace mandel
