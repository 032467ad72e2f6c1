#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QMenu;
class QMenuBar;
class QMessageBox;

namespace mandel {

class Form1;

// The menu bar of the explorer window: File, View and Help. Each item runs a
// command of Form1 and shows its shortcut; the shortcuts belong to the items,
// so a disabled item's keys do nothing either.
class ExplorerMenus final : public QObject {
    Q_OBJECT

public:
    // Fills `bar` with the menus of `form`'s commands; both must outlive this.
    ExplorerMenus(Form1& form, QMenuBar& bar);

    QMenu* fileMenu() const noexcept { return file_; }
    QMenu* viewMenu() const noexcept { return view_; }
    QMenu* helpMenu() const noexcept { return help_; }

    // The item whose object name is `name` (such as "actionUndo"), or null.
    QAction* action(const QString& name) const;

    // Enables Undo and Redo as far as there is something to undo or redo.
    void setHistoryAvailable(bool canUndo, bool canRedo);

    // Opens the help on keys and mouse (non-modal: drawing goes on).
    void showKeysAndMouse();
    // Opens the window about the program (non-modal).
    void showAbout();

private:
    QMessageBox* openNote(QPointer<QMessageBox>& note, const QString& name, const QString& title,
                          const QString& text);

    Form1& form_;
    QMenu* file_ = nullptr;
    QMenu* view_ = nullptr;
    QMenu* help_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QPointer<QMessageBox> keysNote_;
    QPointer<QMessageBox> aboutNote_;
};

} // namespace mandel
