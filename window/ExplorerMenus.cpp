#include "ExplorerMenus.h"

#include "AppIcon.h"
#include "Form1.h"
#include "Version.h"

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStyle>

#include <functional>

namespace mandel {

namespace {

enum class Menu { File, View, Help };

// An arrow key moves the picture a tenth of its width.
constexpr int kPanStep = 60;

// One menu item; a row without a name is a separator.
struct Item {
    Menu menu;
    const char* name;
    QString text;
    QList<QKeySequence> keys;  // the first is the one menus show first
    std::function<void()> run;
    bool checkable = false;    // an on/off item
};

QString keysText(const QList<QKeySequence>& keys)
{
    QStringList texts;
    for (const QKeySequence& k : keys)
        texts << k.toString(QKeySequence::NativeText);
    return texts.join(QStringLiteral(", "));
}

// The rows of the keys-and-mouse help: every menu item that has keys.
QString keysAndMouseText(const QMenuBar& bar)
{
    QString text = QStringLiteral("<p>%1</p><table>")
                       .arg(QObject::tr(
                                "Mouse, classic view (at start-up): press any button on the picture to zoom in "
                                "tenfold around that point; the wheel, the keys below and Go to coordinates "
                                "move on into the free view. Free view: click (left or middle button) to zoom "
                                "in tenfold around the point; drag with the left button to move the picture; "
                                "Ctrl+drag a rectangle to zoom into it; the right button, or Shift+click, zooms "
                                "out tenfold; the wheel zooms in or out about the pointer, twice a notch, and a "
                                "quick turn of it is one step for Undo. The picture fills the window as it is "
                                "resized; F11 shows it alone on the screen, F11 or Esc brings the window back. The "
                                "status bar shows the view, its centre, zoom and cap, and the point under the "
                                "pointer.")
                                .toHtmlEscaped());
    for (const QAction* menu : bar.actions()) {
        if (!menu->menu())
            continue;
        for (const QAction* a : menu->menu()->actions()) {
            if (a->isSeparator() || a->shortcuts().isEmpty())
                continue;
            QString name = a->text().section(QLatin1Char('\t'), 0, 0);
            name.remove(QLatin1Char('&'));
            text += QStringLiteral("<tr><td>%1&nbsp;&nbsp;&nbsp;</td><td>%2</td></tr>")
                        .arg(keysText(a->shortcuts()).toHtmlEscaped(), name.toHtmlEscaped());
        }
    }
    return text + QStringLiteral("</table>");
}

} // namespace

ExplorerMenus::ExplorerMenus(Form1& form, QMenuBar& bar) : QObject(&bar), form_(form)
{
    file_ = bar.addMenu(tr("&File"));
    view_ = bar.addMenu(tr("&View"));
    help_ = bar.addMenu(tr("&Help"));
    file_->setObjectName(QStringLiteral("menuFile"));
    view_->setObjectName(QStringLiteral("menuView"));
    help_->setObjectName(QStringLiteral("menuHelp"));

    Form1* f = &form_;
    const Item items[] = {
        {Menu::File, "actionSave", tr("&Save picture"), {QKeySequence(Qt::CTRL | Qt::Key_S)}, [f] { f->OnSave(); }},
        {Menu::File, "actionExportPicture", tr("&Export picture..."), {QKeySequence(Qt::CTRL | Qt::Key_E)},
         [f] { f->OnExportPicture(); }},
        {Menu::File, "actionMakeZoomVideo", tr("Make &zoom video..."), {}, [f] { f->OnMakeZoomVideo(); }},
        {Menu::File, "actionOpenPicture", tr("&Open picture..."), {QKeySequence(Qt::CTRL | Qt::Key_O)},
         [f] { f->OnOpenPicture(); }},
        {Menu::File, nullptr, {}, {}, {}},
        {Menu::File, "actionCopyLocation", tr("&Copy location"), {QKeySequence(Qt::CTRL | Qt::Key_C)},
         [f] { f->OnCopyLocation(); }},
        {Menu::File, "actionGoToLocation", tr("&Go to location"), {QKeySequence(Qt::CTRL | Qt::Key_V)},
         [f] { f->OnGoToLocation(); }},
        {Menu::File, nullptr, {}, {}, {}},
        {Menu::File, "actionExit", tr("E&xit"), {QKeySequence(Qt::CTRL | Qt::Key_Q)}, [f] { f->OnExit(); }},
        {Menu::View, "actionNew", tr("&New colours"), {QKeySequence(Qt::CTRL | Qt::Key_N)}, [f] { f->OnNew(); }},
        {Menu::View, "actionBack", tr("&Back to the full view"), {QKeySequence(Qt::Key_Backspace)},
         [f] { f->OnBack(); }},
        {Menu::View, nullptr, {}, {}, {}},
        {Menu::View, "actionDeepZoom", tr("&Free view"), {QKeySequence(Qt::CTRL | Qt::Key_D)},
         [f] { f->OnDeepZoom(); }, true},
        {Menu::View, "actionGoToCoordinates", tr("&Go to coordinates..."), {QKeySequence(Qt::CTRL | Qt::Key_G)},
         [f] { f->OnGoToCoordinates(); }},
        {Menu::View, "actionIterations", tr("&Iterations..."), {}, [f] { f->OnIterations(); }},
        {Menu::View, "actionFullScreen", tr("F&ull screen"), {QKeySequence(Qt::Key_F11)}, [f] { f->OnFullScreen(); },
         true},
        {Menu::View, "actionColours", tr("&Colours..."), {}, [f] { f->OnColours(); }},
        {Menu::View, nullptr, {}, {}, {}},
        {Menu::View, "actionZoomIn", tr("Zoom &in"), {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)},
         [f] { f->OnZoomKey(2); }},
        {Menu::View, "actionZoomOut", tr("Zoom &out"), {QKeySequence(Qt::Key_Minus)}, [f] { f->OnZoomKey(0.5); }},
        {Menu::View, "actionMoveLeft", tr("Move &left"), {QKeySequence(Qt::Key_Left)}, [f] { f->OnPanKey(kPanStep, 0); }},
        {Menu::View, "actionMoveRight", tr("Move &right"), {QKeySequence(Qt::Key_Right)},
         [f] { f->OnPanKey(-kPanStep, 0); }},
        {Menu::View, "actionMoveUp", tr("Move u&p"), {QKeySequence(Qt::Key_Up)}, [f] { f->OnPanKey(0, kPanStep); }},
        {Menu::View, "actionMoveDown", tr("Move &down"), {QKeySequence(Qt::Key_Down)},
         [f] { f->OnPanKey(0, -kPanStep); }},
        {Menu::View, nullptr, {}, {}, {}},
        {Menu::View, "actionUndo", tr("&Undo"), {QKeySequence(Qt::CTRL | Qt::Key_Z)}, [f] { f->OnUndo(); }},
        {Menu::View, "actionRedo", tr("&Redo"),
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
         [f] { f->OnRedo(); }},
        {Menu::Help, "actionKeysAndMouse", tr("&Keys and mouse"), {QKeySequence(Qt::Key_F1)},
         [this] { showKeysAndMouse(); }},
        {Menu::Help, "actionAbout", tr("&About"), {}, [this] { showAbout(); }},
    };
    for (const Item& item : items) {
        QMenu* menu = item.menu == Menu::File ? file_ : item.menu == Menu::View ? view_ : help_;
        if (!item.name) {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(item.text);
        a->setObjectName(QString::fromLatin1(item.name));
        a->setShortcuts(item.keys);
        a->setCheckable(item.checkable);
        // A menu shows one key per item unless told more after a tab.
        if (item.keys.size() > 1)
            a->setText(item.text + QLatin1Char('\t') + keysText(item.keys));
        connect(a, &QAction::triggered, this, item.run);
    }
    undo_ = action(QStringLiteral("actionUndo"));
    redo_ = action(QStringLiteral("actionRedo"));
    setHistoryAvailable(false, false);
}

QAction* ExplorerMenus::action(const QString& name) const
{
    for (const QMenu* menu : {file_, view_, help_})
        for (QAction* a : menu->actions())
            if (a->objectName() == name)
                return a;
    return nullptr;
}

void ExplorerMenus::setHistoryAvailable(bool canUndo, bool canRedo)
{
    undo_->setEnabled(canUndo);
    redo_->setEnabled(canRedo);
}

void ExplorerMenus::showKeysAndMouse()
{
    const auto* bar = qobject_cast<const QMenuBar*>(parent());
    openNote(keysNote_, QStringLiteral("keysAndMouseNote"), tr("Keys and mouse"), keysAndMouseText(*bar));
}

void ExplorerMenus::showAbout()
{
    QMessageBox* note =
        openNote(aboutNote_, QStringLiteral("aboutNote"), tr("About the Mandelbrot explorer"),
                 tr("Mandelbrot explorer %1\n\n"
                    "Press a mouse button on the picture to zoom in tenfold around that point. Every picture is "
                    "computed exactly, and a location (File > Copy location) reopens it pixel for pixel, here or "
                    "with mandel-render --location.")
                     .arg(QString::fromUtf8(kVersion.data(), static_cast<qsizetype>(kVersion.size()))));
    // The program's own icon instead of the generic information sign.
    const int side = note->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, note);
    note->setIconPixmap(explorerIcon().pixmap(QSize(side, side), note->devicePixelRatioF()));
}

QMessageBox* ExplorerMenus::openNote(QPointer<QMessageBox>& note, const QString& name, const QString& title,
                                     const QString& text)
{
    // Non-modal, so a picture being drawn goes on growing behind it.
    if (!note) {
        note = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Close, &form_);
        note->setModal(false);
        note->setAttribute(Qt::WA_DeleteOnClose);
        note->setObjectName(name);
    }
    note->setText(text);
    note->show();
    note->raise();
    return note;
}

} // namespace mandel
