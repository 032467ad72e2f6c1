#include "WindowTestSupport.h"

#include "ExplorerMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

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

// Real key events reach the history items.
TEST(ExplorerMenus, HistoryKeysMoveInTheHistory)
{
    TestWindow w;
    w->OnLoad();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get(), 5000));
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 100, 2 + 100));
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 200, 2 + 300));
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        double f1;  // the magnification after it
    } keys[] = {{Qt::Key_Z, Qt::ControlModifier, 10},
                {Qt::Key_Z, Qt::ControlModifier, 1},
                {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, 10},
                {Qt::Key_Y, Qt::ControlModifier, 100}};
    for (const auto& k : keys) {
        QTest::keyClick(w.form.get(), k.key, k.modifiers);
        EXPECT_EQ(w->state().f1, k.f1) << QKeySequence(k.key | k.modifiers).toString().toStdString();
    }
}

// About names the version CMake was given and shows the program's icon.
TEST(ExplorerMenus, AboutNamesTheVersionWithTheProgramsIcon)
{
    TestWindow w;
    w->menus()->action(QStringLiteral("actionAbout"))->trigger();
    auto* note = w->findChild<QMessageBox*>(QStringLiteral("aboutNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_FALSE(note->isModal()) << "a modal note would stop a picture being drawn";
    EXPECT_TRUE(note->text().contains(QStringLiteral("Mandelbrot explorer " MANDEL_PROJECT_VERSION "\n")))
        << note->text().toStdString();
    EXPECT_FALSE(note->iconPixmap().isNull());
}

} // namespace
} // namespace mandel
