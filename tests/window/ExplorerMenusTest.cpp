#include "WindowTestSupport.h"

#include "AppIcon.h"
#include "ExplorerMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace mandel {
namespace {

using testing::TestWindow;

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
    {"menuView", "actionIterations", ""},
    {"menuView", "actionUndo", "Ctrl+Z"},
    {"menuView", "actionRedo", "Ctrl+Shift+Z, Ctrl+Y"},
    {"menuHelp", "actionKeysAndMouse", "F1"},
    {"menuHelp", "actionAbout", ""},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const MenuItem& row, std::ostream* os) { *os << row.action; }

class MenuItems : public ::testing::TestWithParam<MenuItem> {};

TEST_P(MenuItems, SitsInItsMenuAndShowsEveryKeyThatRunsIt)
{
    TestWindow w;
    const MenuItem& item = GetParam();
    auto* menu = w->menuBar()->findChild<QMenu*>(QString::fromLatin1(item.menu));
    ASSERT_NE(menu, nullptr) << item.menu;
    QAction* a = w->menus()->action(QString::fromLatin1(item.action));
    ASSERT_NE(a, nullptr) << item.action;
    EXPECT_TRUE(menu->actions().contains(a)) << item.action << " is not in " << item.menu;
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
    QMenuBar* bar = w->menuBar();
    ASSERT_TRUE(bar->isVisible());
    const QRect client = w->clientArea()->geometry();
    EXPECT_EQ(bar->geometry().top(), 0);
    EXPECT_GT(bar->height(), 0);
    EXPECT_LE(bar->geometry().bottom(), client.top() - 1);
    EXPECT_EQ(client.left(), 0);
    // The layout's positions hold in the client area, whatever the bar's height.
    EXPECT_EQ(w->Picture1()->mapTo(w.form.get(), QPoint(0, 0)), client.topLeft() + QPoint(48, 48));
    EXPECT_EQ(w->clientArea()->mapFromGlobal(w->Command3()->mapToGlobal(QPoint(0, 0))), QPoint(600, 16));
}

struct Availability {
    const char* name;
    std::function<void(Form1&)> commands;  // after start-up
    bool undo, redo;
};

const Availability kAvailability[] = {
    {"AtStartUp", [](Form1&) {}, false, false},
    {"AfterAZoom", [](Form1& f) { f.OnPictureMouseDown(Qt::LeftButton, {}, 300, 300); }, true, false},
    {"AfterNew", [](Form1& f) { f.OnNew(); }, true, false},
    {"AfterBackOnTheFullView", [](Form1& f) { f.OnBack(); }, false, false},
    {"AfterZoomAndUndo",
     [](Form1& f) {
         f.OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
         f.OnUndo();
     },
     false, true},
    {"AfterTwoZoomsUndoAndRedo",
     [](Form1& f) {
         f.OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
         f.OnPictureMouseDown(Qt::LeftButton, {}, 10, 10);
         f.OnUndo();
         f.OnRedo();
     },
     true, false},
    {"ANewCommandAfterUndoDropsRedo",
     [](Form1& f) {
         f.OnPictureMouseDown(Qt::LeftButton, {}, 300, 300);
         f.OnUndo();
         f.OnNew();
     },
     true, false},
    {"AfterARefusedLocation", [](Form1& f) { (void)f.goToLocation("mandel-location/1 mode=0"); }, false, false},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Availability& row, std::ostream* os) { *os << row.name; }

class UndoRedoItems : public ::testing::TestWithParam<Availability> {};

TEST_P(UndoRedoItems, AreEnabledJustWhenThereIsSomethingToUndoOrRedo)
{
    TestWindow w;
    w->OnLoad();
    GetParam().commands(*w);
    EXPECT_EQ(w->menus()->action(QStringLiteral("actionUndo"))->isEnabled(), GetParam().undo);
    EXPECT_EQ(w->menus()->action(QStringLiteral("actionRedo"))->isEnabled(), GetParam().redo);
}

INSTANTIATE_TEST_SUITE_P(ExplorerMenus, UndoRedoItems, ::testing::ValuesIn(kAvailability),
                         [](const auto& row) { return std::string(row.param.name); });

struct Key {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    double f1;  // magnification after two zooms, one undo and this key
};

const Key kKeys[] = {
    {"CtrlZUndoesAgain", Qt::Key_Z, Qt::ControlModifier, 1},
    {"CtrlShiftZRedoes", Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, 100},
    {"CtrlYRedoes", Qt::Key_Y, Qt::ControlModifier, 100},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Key& row, std::ostream* os) { *os << row.name; }

class HistoryKey : public ::testing::TestWithParam<Key> {};

TEST_P(HistoryKey, MovesInTheHistory)
{
    TestWindow w;
    w->OnLoad();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get(), 5000));
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 100, 2 + 100));
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 200, 2 + 300));
    QTest::keyClick(w.form.get(), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(w->state().f1, 10.0);
    QTest::keyClick(w.form.get(), GetParam().key, GetParam().modifiers);
    EXPECT_EQ(w->state().f1, GetParam().f1);
}

INSTANTIATE_TEST_SUITE_P(ExplorerMenus, HistoryKey, ::testing::ValuesIn(kKeys),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ExplorerMenus, KeysAndMouseListsEveryKeyAndLeavesTheWindowUsable)
{
    TestWindow w;
    w->OnLoad();
    w->menus()->action(QStringLiteral("actionKeysAndMouse"))->trigger();
    auto* note = w->findChild<QMessageBox*>(QStringLiteral("keysAndMouseNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVisible());
    EXPECT_FALSE(note->isModal()) << "a modal note would stop a picture being drawn";
    for (const MenuItem& item : kItems)
        for (const QString& k : QString::fromLatin1(item.keys).split(QStringLiteral(", "), Qt::SkipEmptyParts))
            EXPECT_TRUE(note->text().contains(k)) << k.toStdString();
    EXPECT_TRUE(note->text().contains(QStringLiteral("mouse"))) << note->text().toStdString();

    // Asked again, the same note comes up instead of a second one.
    w->menus()->action(QStringLiteral("actionKeysAndMouse"))->trigger();
    EXPECT_EQ(w->findChildren<QMessageBox*>(QStringLiteral("keysAndMouseNote")).size(), 1);
}

// About names the version CMake was given and shows the program's icon.
TEST(ExplorerMenus, AboutNamesTheVersionWithTheProgramsIcon)
{
    TestWindow w;
    w->menus()->action(QStringLiteral("actionAbout"))->trigger();
    auto* note = w->findChild<QMessageBox*>(QStringLiteral("aboutNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVisible());
    EXPECT_FALSE(note->isModal()) << "a modal note would stop a picture being drawn";
    EXPECT_TRUE(note->text().contains(QStringLiteral("Mandelbrot explorer " MANDEL_PROJECT_VERSION "\n")))
        << note->text().toStdString();
    const QImage shown = note->iconPixmap().toImage();
    ASSERT_FALSE(shown.isNull());
    const QImage icon = explorerIcon().pixmap(note->iconPixmap().deviceIndependentSize().toSize(),
                                              note->iconPixmap().devicePixelRatio()).toImage();
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32), icon.convertToFormat(QImage::Format_ARGB32));
}

} // namespace
} // namespace mandel
