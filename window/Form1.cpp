#include "Form1.h"

#include "AppIcon.h"
#include "AutoIterations.h"
#include "ClientArea.h"
#include "CoordinatesDialog.h"
#include "ColoursDialog.h"
#include "DeepOrbitJob.h"
#include "DeepView.h"
#include "ExportDialog.h"
#include "ExplorerMenus.h"
#include "IterationsDialog.h"
#include "LocationFile.h"
#include "Numbers.h"
#include "FastComputer.h"
#include "OneLine.h"
#include "PictureBox.h"
#include "PictureExportJob.h"
#include "PosterMapping.h"
#include "PosterRenderer.h"
#include "ZoomVideoDialog.h"
#include "SmoothRenderer.h"
#include "QtColour.h"
#include "StatusLine.h"
#include "Surface.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QKeySequence>
#include <QLabel>
#include <QAction>
#include <QMenuBar>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QResizeEvent>
#include <QRubberBand>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace mandel {

namespace {

// Space kept free right of and below the outermost element.
constexpr int kMargin = 24;
// The notice line starts this far below the top of the status line.
constexpr int kNoticeGap = 4;
// The notice line shows at most this many characters of a message.
constexpr std::size_t kNoticeCharacters = 400;

// A free view turned by the wheel is drawn once the wheel has rested this
// long (ms): one picture and one reference orbit for a turn of notches.
constexpr int kWheelSettleMs = 150;

// Status bar fields show this many characters at most; the whole text is
// their tooltip (and, for the centre, in Copy location).
constexpr int kShortField = 30;

// Past this zoom the pointer's plane point is shown as its offset from the
// centre: its exact decimals would be written on every move.
constexpr double kLongestPointerZoom = 5000;

QString shortened(const QString& text)
{
    return text.size() <= kShortField ? text : text.left(kShortField - 1) + QChar(0x2026);
}

Qt::MouseButton qtButtonOf(PointerButton b)
{
    return b == PointerButton::Right ? Qt::RightButton : b == PointerButton::Middle ? Qt::MiddleButton : Qt::LeftButton;
}

PointerButton pointerButtonOf(Qt::MouseButton b)
{
    return b == Qt::RightButton ? PointerButton::Right : b == Qt::MiddleButton ? PointerButton::Middle : PointerButton::Left;
}

// The picture as it looks after zooming by `factor` about (X, Y): the
// preview shown until the new picture covers it.
QImage scaledAbout(const QImage& picture, double factor, double X, double Y)
{
    QImage out(picture.size(), picture.format());
    out.fill(toQRgb(kBackground));
    QPainter painter(&out);
    painter.setTransform(QTransform::fromTranslate(X, Y).scale(factor, factor).translate(-X, -Y));
    painter.drawImage(0, 0, picture);
    return out;
}

QImage shiftedBy(const QImage& picture, double dx, double dy)
{
    QImage out(picture.size(), picture.format());
    out.fill(toQRgb(kBackground));
    QPainter painter(&out);
    painter.drawImage(QPointF(dx, dy), picture);
    return out;
}

// The widest status line there can be: one-digit mode, fifteen-digit magnification.
QString widestStatusLine()
{
    ExplorerState s;
    s.b = 8;
    s.f1 = 888888888888888.0;
    return QString::fromStdString(statusLine(s));
}

} // namespace

// Where a thread reading a picture for openPicture hands its result: the
// window, while there is one.
struct Form1::PictureInbox {
    std::mutex mutex;
    Form1* window = nullptr;
};

Form1::Form1(std::uint64_t seed, std::string saveFolder, const Clock& clock, QWidget* parent)
    : QMainWindow(parent), seed_(seed), model_(rng_), clock_(clock), saver_(std::move(saveFolder), clock),
      renderer_(makeFastComputer()), pictureInbox_(std::make_shared<PictureInbox>())
{
    pictureInbox_->window = this;
    buildLayout();
    wheelClock_.start();
    wheelSettle_ = new QTimer(this);
    wheelSettle_->setSingleShot(true);
    wheelSettle_->setInterval(kWheelSettleMs);
    connect(wheelSettle_, &QTimer::timeout, this, [this] { DrawFractal(); });
    orbitJob_ = new DeepOrbitJob(this);
    connect(orbitJob_, &DeepOrbitJob::prepared, this, &Form1::onDeepPrepared);
    connect(orbitJob_, &DeepOrbitJob::refused, this, &Form1::onDeepRefused);
    connect(orbitJob_, &DeepOrbitJob::progressed, this, [this](int percent) {
        showNotice(tr("Free view: preparing the picture (its cap, or its reference orbit where doubles do not "
                      "reach), %1 %")
                       .arg(percent),
                   false);
    });
    exportJob_ = new PictureExportJob(this);
    exportJob_->yieldWhile(drawingNow_);
    connect(exportJob_, &PictureExportJob::progressed, this, [this](int percent) {
        if (exportProgress_)
            exportProgress_->setValue(percent);
    });
    connect(exportJob_, &PictureExportJob::written, this,
            [this](const QString& path) { onExportEnded(path, true, 0); });
    connect(exportJob_, &PictureExportJob::failed, this,
            [this](const QString& reason, int code) { onExportEnded(reason, false, code); });
}

Form1::~Form1()
{
    // A read still running (a slow network folder) finds no window.
    const std::lock_guard<std::mutex> lock(pictureInbox_->mutex);
    pictureInbox_->window = nullptr;
}

void Form1::buildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(explorerIcon());
    // The menu bar sits above the client area, outside it, as a window's
    // menu sits outside its client area; the layout is measured from the
    // client area's corner.
    client_ = new ClientArea(this);
    setCentralWidget(client_);
    menus_ = new ExplorerMenus(*this, *menuBar());
    // The keys work with the menu bar hidden (full screen) too.
    for (const QMenu* menu : {menus_->fileMenu(), menus_->viewMenu(), menus_->helpMenu()})
        addActions(menu->actions());
    // Esc leaves full screen, and is left alone otherwise.
    leaveFullScreen_ = new QAction(this);
    leaveFullScreen_->setObjectName(QStringLiteral("actionLeaveFullScreen"));
    leaveFullScreen_->setShortcut(QKeySequence(Qt::Key_Escape));
    leaveFullScreen_->setEnabled(false);
    connect(leaveFullScreen_, &QAction::triggered, this, [this] {
        if (fullScreen_)
            OnFullScreen();
    });
    addAction(leaveFullScreen_);

    struct Button {
        QPushButton*& widget;
        const char* name;
        const char* caption;
        QRect geometry;
        QString tip;
    };
    const QString folder = QString::fromStdString(onOneLine(saver_.folder()));
    const Button buttons[] = {
        {command5_, "Command5", "EXPLORE MANDELBROT FRACTAL", {48, 16, 201, 17},
         tr("Mandelbrot explorer: press a mouse button on the picture to zoom in tenfold around that point")},
        {command1_, "Command1", "new", {376, 16, 49, 17}, tr("New random colours over the full view (Ctrl+N)")},
        {command2_, "Command2", "back", {432, 16, 49, 17}, tr("Back to the full view in the same colours (Backspace)")},
        {command4_, "Command4", "save C:\\tivek-art", {488, 16, 105, 17},
         tr("Save the picture as a BMP file in %1 (Ctrl+S)").arg(folder)},
        {command3_, "Command3", "exit", {600, 16, 49, 17}, tr("End the program (Ctrl+Q)")},
    };
    // The captions were set for buttons 17 pixels high: a small face fits them.
    QFont captionFont = font();
    captionFont.setPixelSize(11);
    for (const Button& b : buttons) {
        b.widget = new QPushButton(QString::fromLatin1(b.caption), client_);
        b.widget->setFont(captionFont);
        b.widget->setObjectName(QString::fromLatin1(b.name));
        b.widget->setGeometry(b.geometry);
        b.widget->setToolTip(b.tip);
    }

    // Picture2 first and lowered, so that Picture1 lies on top of it.
    picture2_ = new PictureBox(client_);
    picture2_->setObjectName(QStringLiteral("Picture2"));
    picture2_->move(48, 48);
    picture2_->lower();
    picture2_->hide();
    picture2_->setFocusPolicy(Qt::StrongFocus);  // in the tab order, though never reached while hidden
    picture1_ = new PictureBox(client_);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->move(48, 48);
    picture1_->setFocusPolicy(Qt::StrongFocus);
    picture1_->setCursor(Qt::CrossCursor);

    setTabOrder(picture1_, command1_);
    setTabOrder(command1_, command2_);
    setTabOrder(command2_, command3_);
    setTabOrder(command3_, picture2_);
    setTabOrder(picture2_, command4_);
    setTabOrder(command4_, command5_);

    // The surface reports its own pixels; the commands take the picture's,
    // which differ once the picture has another size (the poster rule).
    connect(picture1_, &PictureBox::pressed, this, [this](Qt::MouseButton b, Qt::KeyboardModifiers m, float u, float v) {
        const QPointF p = toPicture(u, v);
        OnPictureMouseDown(b, m, static_cast<float>(p.x()), static_cast<float>(p.y()));
    });
    connect(picture1_, &PictureBox::moved, this, [this](double u, double v) {
        const QSize area = picture1_->drawableSize();
        if (u < 0 || v < 0 || u >= area.width() || v >= area.height())
            statusField(QStringLiteral("pointer"))->clear();
        const QPointF p = toPicture(u, v);
        OnPictureMouseMove(p.x(), p.y());
    });
    connect(picture1_, &PictureBox::released, this, [this](Qt::MouseButton b, double u, double v) {
        const QPointF p = toPicture(u, v);
        OnPictureMouseUp(b, p.x(), p.y());
    });
    connect(picture1_, &PictureBox::wheeled, this, [this](int delta, double u, double v) {
        const QPointF p = toPicture(u, v);
        OnPictureWheel(delta, p.x(), p.y());
    });
    // The plane point under the pointer shows without a button held.
    picture1_->setMouseTracking(true);
    band_ = new QRubberBand(QRubberBand::Rectangle, picture1_);
    connect(command1_, &QPushButton::clicked, this, &Form1::OnNew);
    connect(command2_, &QPushButton::clicked, this, &Form1::OnBack);
    connect(command3_, &QPushButton::clicked, this, &Form1::OnExit);
    connect(command4_, &QPushButton::clicked, this, &Form1::OnSave);
    // The banner can be pressed and does nothing. The keys are the menu
    // items' shortcuts.

    const QFontMetrics metrics(font());
    notice_ = new QLabel(client_);
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setTextFormat(Qt::PlainText);
    const int noticeTop = ClientArea::kStatusY + metrics.height() + kNoticeGap;
    const int statusRight = ClientArea::kStatusX + metrics.horizontalAdvance(widestStatusLine());
    const int width = std::max(48 + PictureBox::kOuterSize, statusRight) + kMargin;
    notice_->setGeometry(ClientArea::kStatusX, noticeTop, width - ClientArea::kStatusX - kMargin, metrics.height() + 2);

    // Large enough for every element and the status line, and never smaller.
    noticeTop_ = noticeTop;
    leastClient_ = QSize(width, noticeTop + metrics.height() + 2 + kMargin / 2);
    client_->setMinimumSize(leastClient_);
    buildStatusBar();
    resize(minimumSizeHint());
}

void Form1::buildStatusBar()
{
    // Below the client area, so the classic layout keeps its place; its
    // fields never widen the window.
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setSizeGripEnabled(false);
    for (const char* name : {"viewKind", "centre", "zoom", "cap", "pointer", "progress"}) {
        auto* field = new QLabel(bar);
        field->setObjectName(QString::fromLatin1(name));
        field->setTextFormat(Qt::PlainText);
        field->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        field->setMinimumWidth(40);
        bar->addWidget(field, std::string_view(name) == "centre" || std::string_view(name) == "pointer" ? 3 : 1);
    }
}

QLabel* Form1::statusField(const QString& name) const
{
    return statusBar()->findChild<QLabel*>(name);
}

void Form1::updateViewStatus()
{
    const DeepCentre view = model_.freeView();
    statusField(QStringLiteral("viewKind"))->setText(tr(viewKindName(model_.viewKind())));
    const QString centre = QStringLiteral("%1, %2").arg(QString::fromStdString(view.re), QString::fromStdString(view.im));
    QLabel* centreField = statusField(QStringLiteral("centre"));
    centreField->setText(shortened(centre));
    centreField->setToolTip(centre);
    QLabel* zoom = statusField(QStringLiteral("zoom"));
    zoom->setText(tr("zoom %1").arg(QString::fromStdString(magnificationText(view.zoom)).trimmed()));
    zoom->setToolTip(tr("magnification 10^K, K = %1").arg(QString::fromStdString(writeDouble(view.zoom))));
    QLabel* cap = statusField(QStringLiteral("cap"));
    if (!deepView())
        cap->setText(tr("cap 200"));
    else if (model_.choosingCap())
        cap->setText(tr("cap: choosing"));
    else
        cap->setText(tr("cap %1").arg(deepView()->iterations));
}

void Form1::showPointer(double X, double Y)
{
    QLabel* field = statusField(QStringLiteral("pointer"));
    if (atStartUpSize() && (X < 0 || Y < 0 || X >= kDrawableSize || Y >= kDrawableSize)) {
        field->clear();
        return;
    }
    QString text;
    if (const auto& deep = deepView(); deep && deep->zoom > kLongestPointerZoom) {
        // Writing out so many digits on every move would stall the window.
        text = tr("centre + (%1, %2) pixels").arg(X - kDeepCentrePixel).arg(kDeepCentrePixel - Y);
    } else if (deep) {
        const DeepCentre at = moveDeepCentre(*deep, X - kDeepCentrePixel, Y - kDeepCentrePixel);
        text = QStringLiteral("%1, %2").arg(QString::fromStdString(at.re), QString::fromStdString(at.im));
    } else {
        text = QStringLiteral("%1, %2").arg(planeX(state(), static_cast<int>(X)), 0, 'g', 17)
                   .arg(planeY(state(), static_cast<int>(Y)), 0, 'g', 17);
    }
    field->setText(shortened(text));
    field->setToolTip(text);
}

void Form1::OnLoad()
{
    show();
    rng_.reseed(seed_);
    clearWindow();
    // A folder that cannot be made now is tried again, and reported, on save.
    (void)saver_.prepareFolder();
    model_.start();
    updateViewStatus();
    drawTimer_.start();
    DrawFractal();
}

void Form1::OnPictureMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, float X, float Y)
{
    if (ending_)
        return;
    // The classic view zooms at once, whatever the button; the free view
    // waits to see whether the press becomes a drag.
    if (!deepView()) {
        (void)apply(model_.zoomAt(X, Y));
        return;
    }
    press_ = PointerPress{pointerButtonOf(button), shift.testFlag(Qt::ShiftModifier),
                          shift.testFlag(Qt::ControlModifier), X, Y};
}

void Form1::OnPictureMouseMove(double X, double Y)
{
    showPointer(X, Y);
    if (!press_)
        return;
    const GestureKind kind = gestureOf(*press_, X, Y);
    // Picture pixels to the surface's logical pixels.
    const double logical = imagePerPicture() * picture1_->drawableSize().width() / pictureImage().width();
    const QPointF from = toImage(press_->x0, press_->y0) * (logical / imagePerPicture());
    const QPointF to = toImage(X, Y) * (logical / imagePerPicture());
    picture1_->setDragOffset(kind == GestureKind::Pan ? QPoint(static_cast<int>((X - press_->x0) * logical),
                                                               static_cast<int>((Y - press_->y0) * logical))
                                                      : QPoint());
    band_->setVisible(kind == GestureKind::Rectangle);
    if (kind == GestureKind::Rectangle)
        band_->setGeometry(QRect(from.toPoint(), to.toPoint())
                               .normalized()
                               .translated(PictureBox::kBorder, PictureBox::kBorder));
}

void Form1::OnPictureMouseUp(Qt::MouseButton button, double X, double Y)
{
    if (!press_ || qtButtonOf(press_->button) != button)
        return;
    const PointerPress press = *press_;
    press_.reset();
    picture1_->setDragOffset({});
    band_->hide();
    if (ending_)
        return;
    switch (gestureOf(press, X, Y)) {
    case GestureKind::ZoomIn:
        (void)apply(model_.zoomAt(static_cast<float>(press.x0), static_cast<float>(press.y0)));
        break;
    case GestureKind::ZoomOut:
        preview_ = scaledAbout(picture1_->image(), 0.1, toImage(press.x0, press.y0).x(), toImage(press.x0, press.y0).y());
        (void)apply(model_.zoomOut(press.x0, press.y0));
        break;
    case GestureKind::Pan:
        preview_ = shiftedBy(picture1_->image(), (X - press.x0) * imagePerPicture(), (Y - press.y0) * imagePerPicture());
        notePan((X - press.x0) * imagePerPicture(), (Y - press.y0) * imagePerPicture());
        (void)apply(model_.pan(X - press.x0, Y - press.y0));
        break;
    case GestureKind::Rectangle:
        (void)apply(model_.zoomToRectangle(press.x0, press.y0, X, Y));
        break;
    }
}

void Form1::OnPictureWheel(int angleDelta, double X, double Y)
{
    if (ending_)
        return;
    const double factor = wheelFactor(angleDelta);
    preview_ = scaledAbout(picture1_->image(), factor, toImage(X, Y).x(), toImage(X, Y).y());
    // Notches of one turn are one step back, and the free view is drawn
    // (its reference orbit computed) once the turn pauses.
    deferDraw_ = true;
    (void)apply(model_.wheelZoom(factor, X, Y, static_cast<double>(wheelClock_.elapsed()) / 1000.0));
    deferDraw_ = false;
}

void Form1::OnZoomKey(double factor)
{
    if (ending_)
        return;
    const QPointF centre = toImage(kDeepCentrePixel, kDeepCentrePixel);
    preview_ = scaledAbout(picture1_->image(), factor, centre.x(), centre.y());
    (void)apply(model_.zoomBy(factor, kDeepCentrePixel, kDeepCentrePixel));
}

void Form1::OnPanKey(int dx, int dy)
{
    if (ending_)
        return;
    // Whole pixels of the picture shown, so the pixels in sight are kept.
    const double du = atStartUpSize() ? dx : std::round(dx * imagePerPicture());
    const double dv = atStartUpSize() ? dy : std::round(dy * imagePerPicture());
    preview_ = shiftedBy(picture1_->image(), du, dv);
    notePan(du, dv);
    (void)apply(model_.pan(du / imagePerPicture(), dv / imagePerPicture()));
}

void Form1::OnGoToCoordinates()
{
    if (ending_)
        return;
    CoordinatesDialog dialog(*this);
    dialog.exec();
    activateWindow();
}

bool Form1::goToCoordinates(const std::string& re, const std::string& im, const std::string& zoom,
                            const std::string& iterations)
{
    return !ending_ && apply(model_.goToCoordinates(re, im, zoom, iterations));
}

void Form1::OnNew()
{
    if (ending_)
        return;
    picture1_->clear();
    clearWindow();
    (void)apply(model_.newColours());
}

void Form1::OnBack()
{
    if (ending_)
        return;
    picture1_->clear();
    clearWindow();
    (void)apply(model_.back());
}

void Form1::OnExit()
{
    if (ending_)
        return;
    clearWindow();
    endProgram();
}

void Form1::OnDeepZoom()
{
    if (!ending_)
        (void)apply(model_.toggleDeep());
}

void Form1::OnIterations()
{
    if (ending_)
        return;
    IterationsDialog dialog(*this);
    dialog.exec();
}

void Form1::OnColours()
{
    if (ending_)
        return;
    ColoursDialog dialog(*this);
    dialog.exec();
}

bool Form1::setColours(std::optional<SmoothColours> smooth)
{
    return apply(model_.setColours(std::move(smooth)));
}

bool Form1::setIterations(bool automatic, long long iterations)
{
    return apply(model_.setIterations(automatic, iterations, deepMemoryLimit()));
}

void Form1::OnSave()
{
    if (ending_)
        return;
    picture2_->setImage(picture1_->image());
    const QImage snapshot = picture2_->image();
    const std::vector<Colour> colours = coloursOf(snapshot);
    ExplorerState named = model_.state();
    const Result<std::string> saved = saver_.save({snapshot.width(), snapshot.height(), colours}, named);
    model_.setImageName(named.imeslike);
    if (saved) {
        showNotice(tr("Saved %1").arg(QString::fromStdString(*saved)), false);
        return;
    }
    QApplication::beep();
    // The reason starts with the path attempted.
    showNotice(tr("Could not save the picture to %1").arg(QString::fromStdString(saved.error())));
}

void Form1::OnCopyLocation()
{
    if (ending_)
        return;
    if (!location()) {
        showNotice(tr("This view was set from outside and has no location to copy."));
        return;
    }
    const QString text = QString::fromStdString(formatLocation(*location()));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(text, QClipboard::Clipboard);
    // The X selection too, so a middle click pastes it into a terminal.
    if (clipboard->supportsSelection())
        clipboard->setText(text, QClipboard::Selection);
    showNotice(tr("Copied the location: %1").arg(text), false);
}

void Form1::OnGoToLocation()
{
    (void)goToLocation(QGuiApplication::clipboard()->text(QClipboard::Clipboard).toStdString());
}

bool Form1::goToLocation(std::string_view text)
{
    if (ending_)
        return false;
    if (text.size() > kMaxLocationText) {
        refuseLocation("location: " + std::to_string(text.size()) + " bytes, longer than any location");
        return false;
    }
    Result<Location> location = parseLocation(text);
    if (!location)
        return apply(CommandResult{Refusal::Location, false, location.error()});
    return goTo(std::move(*location));
}

bool Form1::goTo(Location location)
{
    return !ending_ && apply(model_.goTo(std::move(location)));
}

bool Form1::openPicture(const std::string& path)
{
    if (ending_)
        return false;
    // Looked at, not opened: opening a FIFO would wait for a writer.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        refuseLocation(path + ": " + (S_ISFIFO(st.st_mode) ? "a pipe or FIFO, not a regular file"
                                      : st.st_mode != 0  ? "not a regular file"
                                                         : std::strerror(err)));
        return false;
    }
    const std::uint64_t ticket = ++openTicket_;
    opening_ = true;
    showNotice(tr("Reading %1 ...").arg(QString::fromStdString(onOneLine(path))), false);
    std::thread([inbox = pictureInbox_, path, ticket] {
        LocationReading how;
        how.regularFilesOnly = true;
        const Result<Location> read = readPngLocation(path, how);
        const std::lock_guard<std::mutex> lock(inbox->mutex);
        if (Form1* window = inbox->window)
            QMetaObject::invokeMethod(
                window, [window, ticket, path, read] { window->onPictureRead(ticket, path, read); },
                Qt::QueuedConnection);
    }).detach();
    return true;
}

void Form1::onPictureRead(std::uint64_t ticket, const std::string& path, const Result<Location>& read)
{
    // A newer Open, or a command that changed the view since, wins.
    if (ticket != openTicket_ || !opening_ || ending_)
        return;
    opening_ = false;
    if (!read) {
        refuseLocation(path + ": " + read.error());
        emit pictureOpened(false);
        return;
    }
    const bool went = goTo(*read);
    emit pictureOpened(went);
}

void Form1::OnOpenPicture()
{
    if (ending_)
        return;
    const QString path = QFileDialog::getOpenFileName(this, tr("Open picture"), QString::fromStdString(saver_.folder()),
                                                      tr("PNG pictures (*.png);;All files (*)"));
    activateWindow();
    if (!path.isEmpty())
        (void)openPicture(path.toStdString());
}

void Form1::OnExportPicture()
{
    if (ending_ || exportRefused())
        return;
    ExportDialog dialog(QString::fromStdString(saver_.folder()), proposedName(), this,
                        lastCustomSize_);
    const int answer = dialog.exec();
    // Keys go back to the window, also where no window manager hands them back.
    activateWindow();
    if (answer != QDialog::Accepted || ending_)
        return;
    if (dialog.customChosen())
        lastCustomSize_ = dialog.chosenSize();
    (void)exportPicture(dialog.chosenPath(), dialog.chosenSize(), dialog.chosenFormat());
}

bool Form1::exportPicture(const std::string& path, PictureSize size, ImageFormat format)
{
    if (ending_)
        return false;
    if (const QString why = whyNoExport(); !why.isEmpty()) {
        showNotice(why);
        return false;
    }
    PictureRequest request;
    request.location = *location();
    request.location.size = size;
    request.format = format;
    request.naming = FileNaming::FirstFree;
    request.software = "mandel-explorer";
    // The window's reference orbit, when it is this view's, spares the export
    // computing it again (the longest part of a deep poster's start).
    if (const auto& deep = request.location.deep; deep && orbit_ && orbit_->view().re == deep->re &&
                                                  orbit_->view().im == deep->im && orbit_->view().zoom == deep->zoom &&
                                                  orbit_->view().iterations >= deep->iterations)
        request.orbit = orbit_;
    (void)exportJob_->start(path, request);
    exportingVideo_ = false;
    const QString where = QString::fromStdString(onOneLine(path));
    showExportProgress(tr("Exporting %1 × %2 to %3").arg(size.width).arg(size.height).arg(where), tr("Export picture"));
    showNotice(tr("Exporting the picture to %1").arg(where), false);
    return true;
}

void Form1::OnMakeZoomVideo()
{
    if (ending_ || exportRefused())
        return;
    ZoomVideoDialog dialog(QString::fromStdString(saver_.folder()), proposedName(), this);
    const int answer = dialog.exec();
    activateWindow();
    if (answer != QDialog::Accepted || ending_)
        return;
    (void)makeZoomVideo(dialog.chosenPath(), dialog.chosenSize(), dialog.chosenFps(), dialog.chosenSeconds());
}

bool Form1::makeZoomVideo(const std::string& path, PictureSize size, int fps, double seconds)
{
    if (ending_)
        return false;
    if (const QString why = whyNoExport(); !why.isEmpty()) {
        showNotice(why);
        return false;
    }
    ZoomVideoRequest request;
    request.target = *location();
    request.target.size.reset();
    if (request.target.smooth) {
        showNotice(tr("Zoom videos keep the colour modes: choose the nine modes in View > Colours first."));
        return false;
    }
    if (request.target.deep ? request.target.deep->zoom <= 0 : request.target.clicks.empty()) {
        showNotice(tr("A zoom video dives from the full view into the view shown: zoom in first."));
        return false;
    }
    if (const auto& deep = request.target.deep; deep && orbit_ && orbit_->view().re == deep->re &&
                                                orbit_->view().im == deep->im && orbit_->view().zoom == deep->zoom &&
                                                orbit_->view().iterations >= deep->iterations)
        request.orbit = orbit_;
    request.size = size;
    request.fps = fps;
    request.seconds = seconds;
    (void)exportJob_->startVideo(path, request);
    exportingVideo_ = true;
    const QString where = QString::fromStdString(onOneLine(path));
    showExportProgress(tr("Making a %1 × %2 zoom video, %3 s at %4 frames a second, to %5")
                           .arg(size.width)
                           .arg(size.height)
                           .arg(seconds)
                           .arg(fps)
                           .arg(where),
                       tr("Make zoom video"));
    showNotice(tr("Making the zoom video %1").arg(where), false);
    return true;
}

void Form1::showExportProgress(const QString& text, const QString& title)
{
    auto* progress = new QProgressDialog(text, tr("Cancel"), 0, 100, this);
    progress->setObjectName(QStringLiteral("exportProgress"));
    progress->setWindowTitle(title);
    // Not modal: exploring goes on while the picture is written.
    progress->setWindowModality(Qt::NonModal);
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->setMinimumDuration(0);
    // Keys stay with the window: exploring by keyboard goes on too.
    progress->setAttribute(Qt::WA_ShowWithoutActivating);
    connect(progress, &QProgressDialog::canceled, this, &Form1::cancelExport);
    progress->setValue(0);
    progress->adjustSize();
    // Below the window rather than over the picture, which stays there to be
    // explored; moved up as far as the screen needs.
    const QRect frame = frameGeometry();
    QPoint at(frame.center().x() - progress->width() / 2, frame.bottom() + 8);
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - progress->width())));
        at.setY(std::min(at.y(), std::max(area.top(), area.bottom() - progress->height() - 40)));
    }
    progress->move(at);
    progress->show();
    exportProgress_ = progress;
}

bool Form1::exportRefused()
{
    const QString why = whyNoExport();
    if (why.isEmpty())
        return false;
    QApplication::beep();
    showNotice(why);
    if (exportProgress_)
        exportProgress_->raise();
    return true;
}

QString Form1::proposedName()
{
    // The folder pictures are saved into, made now so the name proposed is in it.
    (void)saver_.prepareFolder();
    ExplorerState named = model_.state();
    MakeImageName(named, clock_);
    return QString::fromStdString(named.imeslike);
}

QString Form1::whyNoExport() const
{
    if (!location())
        return tr("This view was set from outside and has no location to export.");
    if (exportJob_->running())
        return tr("An export is running: wait for it, or cancel it, first.");
    // Exported now, the poster would have the cap the choice starts from,
    // not the one the window's picture is about to get.
    if (deepView() && model_.choosingCap())
        return tr("The iteration cap of this deep view is still being chosen: export once its picture is drawn.");
    return {};
}

void Form1::cancelExport()
{
    if (!exportJob_->running())
        return;
    exportJob_->cancel();
    // The writer stops at its next band and removes what it wrote; the
    // notice changes again once it has.
    showNotice(tr("Cancelling the export..."), false);
}

bool Form1::isExporting() const noexcept
{
    return exportJob_->running();
}

void Form1::onExportEnded(const QString& where, bool written, int code)
{
    if (exportProgress_) {
        exportProgress_->hide();
        exportProgress_->deleteLater();
        exportProgress_ = nullptr;
    }
    if (ending_)
        return;
    if (written) {
        showNotice(exportingVideo_ ? tr("Made the zoom video %1").arg(where)
                                   : tr("Exported the picture to %1").arg(where),
                   false);
    } else if (code == ECANCELED) {
        showNotice(exportingVideo_ ? tr("Zoom video cancelled: no file was written.")
                                   : tr("Export cancelled: no file was written."),
                   false);
    } else {
        QApplication::beep();
        // The reason starts with the path attempted.
        showNotice(exportingVideo_ ? tr("Could not make the zoom video %1").arg(where)
                                   : tr("Could not export the picture to %1").arg(where));
    }
}

void Form1::refuseLocation(const std::string& reason)
{
    (void)apply(CommandResult{Refusal::Location, false, reason, 0});
}

void Form1::OnUndo()
{
    if (!ending_)
        (void)apply(model_.undo());
}

void Form1::OnRedo()
{
    if (!ending_)
        (void)apply(model_.redo());
}

bool Form1::apply(const CommandResult& result)
{
    // A preview is for this command's picture only.
    QImage preview = std::exchange(preview_, QImage());
    if (!result.done()) {
        // Picture, state, history and status line stay; only the reason is added.
        QApplication::beep();
        showNotice(refusalText(result));
        updateDeepMenus();
        return false;
    }
    updateHistoryMenus();
    if (!result.redraw)
        return true;
    // A picture still being read for Open gives way to this newer view.
    opening_ = false;
    drawTimer_.start();
    if (preview.isNull())
        picture1_->clear();
    else
        picture1_->setImage(preview);
    if (!deepView()) {
        // A legacy view: what deep mode held is let go, its orbit kept for
        // a way back.
        orbitJob_->cancel();
        shelf_.keep(std::move(orbit_), deepMemoryLimit() / 8);
        orbit_.reset();
        deepComputer_.reset();
    }
    updateDeepMenus();
    updateViewStatus();
    clearWindow();
    // Doubles give out at about 1E+15: say so as a dive gets there.
    if (model_.nearsDoubleLimit())
        showNotice(tr("Pictures blur past 1E+15 here: View > Free view (Ctrl+D) keeps them sharp, to 1E+%1.")
                       .arg(kMaxDeepZoom),
                   false);
    if (deferDraw_ && deepView()) {
        // The preview stands until the wheel pauses; a picture under way
        // gives way now.
        holdDrawing_ = true;
        wheelSettle_->start();
        return true;
    }
    DrawFractal();
    return true;
}

QString Form1::refusalText(const CommandResult& result) const
{
    switch (result.refusal) {
    case Refusal::PastDoubleRange:
        return tr("Cannot zoom in further: one more tenfold zoom would carry the view past the range "
                  "of a double. Turn on View > Free view (Ctrl+D) to go on, or press \"back\".");
    case Refusal::PastDeepestZoom:
        return tr("Cannot zoom in further: 1E+%1 is as deep as views go.").arg(kMaxDeepZoom);
    case Refusal::PastWidestZoom:
        return tr("Cannot zoom out further: this is the full view's scale.");
    case Refusal::DeepStaysOn:
        return tr("The free view stays on past 1E+%1 and between tenfold steps: the classic view cannot show "
                  "this view. Press \"back\" for the full view.")
            .arg(kMaxLegacyZoom);
    case Refusal::CapOutOfRange:
        return tr("The iteration cap is a whole number %1 to %2.").arg(kMinDeepIterations).arg(kMaxDeepIterations);
    case Refusal::CapTooLarge:
        return tr("The iteration cap is refused: %1").arg(QString::fromStdString(result.reason));
    case Refusal::Location:
    case Refusal::None:
        break;
    }
    // Escaped while it is still bytes: a file's reason may not be UTF-8.
    return QString::fromStdString(onOneLine(result.reason));
}

bool Form1::isPreparingDeep() const noexcept
{
    return orbitJob_->running();
}

bool Form1::drawDeepPicture()
{
    const DeepCentre& want = *deepView();
    const bool chooseCap = model_.choosingCap();
    const bool sameCentre = orbit_ && orbit_->view().re == want.re && orbit_->view().im == want.im &&
                            orbit_->view().zoom == want.zoom;
    if (!chooseCap && !(deepComputer_ && deepComputer_->view() == want)) {
        // Shallow enough for doubles with its cap known: nothing to wait for.
        if (const std::optional<DoublesFrame> frame = doublesFrameOf(want)) {
            orbitJob_->cancel();
            shelf_.keep(std::move(orbit_), deepMemoryLimit() / 8);
            orbit_.reset();
            deepComputer_ = std::make_shared<FreeViewPixels>(want, *frame);
        }
    }
    if (!sameCentre && orbit_ && drawAgainstHeldOrbit())
        return true;
    if (deepComputer_ && !chooseCap && deepComputer_->view() == want) {
        // At every size as a poster (at the start-up size the same picture
        // as column by column): coarse passes first, kept counts on a pan.
        (void)drawPoster();
        return true;
    }
    // The orbit first, off this thread; the picture follows when it is done.
    // An orbit of the same centre is extended rather than computed again:
    // this view's, or one of the views left lately (back, undo, redo).
    std::shared_ptr<ReferenceOrbit> reuse;
    if (sameCentre) {
        reuse = std::move(orbit_);
    } else {
        shelf_.keep(std::move(orbit_), deepMemoryLimit() / 8);
        reuse = shelf_.take(want);
    }
    orbit_.reset();
    deepComputer_.reset();
    // Extended only while nothing else holds it (an export may be reading it).
    orbitJob_->start(want, chooseCap, std::move(reuse), deepMemoryLimit());
    return false;
}

bool Form1::drawAgainstHeldOrbit()
{
    // A pan, or a zoom out with the cap set, stays within the reach of the
    // orbit held: its pixels are drawn against it at once, the orbit's centre
    // elsewhere in the picture. A pan keeps the cap an automatic choice gave
    // the picture before; a new zoom chooses again.
    DeepCentre view = *deepView();
    if (model_.choosingCap()) {
        if (!deepComputer_ || deepComputer_->inDoubles() || deepComputer_->view().zoom != view.zoom)
            return false;
        view.iterations = deepComputer_->iterations();
    }
    const std::optional<PixelOffset> offset = orbitServes(*orbit_, view);
    if (!offset || !model_.orbitReady(*deepView(), view.iterations))
        return false;
    orbitJob_->cancel();
    DeepComputerOptions options;
    options.iterations = view.iterations;
    options.zoom = view.zoom;
    deepComputer_ = std::make_shared<FreeViewPixels>(std::make_shared<DeepComputer>(orbit_, options), view, *offset);
    updateViewStatus();
    (void)drawPoster();
    return true;
}

void Form1::onDeepPrepared(const DeepCentre& asked, std::shared_ptr<ReferenceOrbit> orbit,
                           std::shared_ptr<FreeViewPixels> computer)
{
    if (ending_ || !model_.orbitReady(asked, computer->iterations()))
        return;
    orbit_ = std::move(orbit);
    deepComputer_ = std::move(computer);
    updateViewStatus();
    clearWindow();
    DrawFractal();
}

void Form1::onDeepRefused(const DeepCentre& /*asked*/, const QString& reason)
{
    if (ending_)
        return;
    QApplication::beep();
    showNotice(tr("Cannot draw this deep view: %1. Undo (Ctrl+Z) goes back.").arg(reason));
}

void Form1::updateDeepMenus()
{
    if (QAction* deep = menus_->action(QStringLiteral("actionDeepZoom")))
        deep->setChecked(deepView().has_value());
}

void Form1::updateHistoryMenus()
{
    const bool located = location().has_value();
    menus_->setHistoryAvailable(located && history().canUndo(), located && history().canRedo());
}

void Form1::setState(const ExplorerState& s)
{
    model_.setState(s);
    updateHistoryMenus();
}

// Drawing and the commands share one thread: the picture yields to Qt once
// per column, and a command may run inside that yield. These rules keep them
// apart (drawing_, redrawPending_ and ending_ here, the generation counter in
// Renderer):
// - Redraws never nest. drawing_ is set while the loop below runs; a
//   DrawFractal that comes inside its yield only sets redrawPending_.
// - A stale picture never resumes. The yield answers false once
//   redrawPending_ or ending_ is set, and the Renderer abandons the picture;
//   a picture drawn by the same Renderer during a yield also moves its
//   generation on, which abandons the interrupted one.
// - The newest state wins. The loop draws again from the model as it is then,
//   for as long as requests keep coming.
// - Ending is final. ending_ is set once (exit, closing the window) and never
//   cleared: every command returns at once and no drawing goes on.
void Form1::DrawFractal()
{
    if (ending_)
        return;
    holdDrawing_ = false;
    wheelSettle_->stop();
    if (drawing_) {
        // Inside a yield: the running loop draws this state once we return.
        redrawPending_ = true;
        return;
    }
    drawing_ = true;
    drawingNow_->store(true);
    int column = 0;
    DrawHooks hooks;
    hooks.yield = [this, &column] { return yieldToEvents(column++); };
    hooks.printStatus = [this](const std::string& line) { printStatus(line); };
    do {
        redrawPending_ = false;
        column = 0;
        if (deepView()) {
            // Without its orbit yet: drawn when the orbit arrives.
            if (!drawDeepPicture())
                break;
        } else if (!atStartUpSize()) {
            (void)drawPoster();
        } else if (const SmoothColours* smooth = model_.smoothColours()) {
            // Smooth colours: the picture in bands of a few rows, yielding
            // between them as the columns of the modes do.
            if (!smoothCounts_)
                smoothCounts_ = makeFastComputer();
            PosterHooks bands;
            bands.progress = [&hooks](int) { return hooks.yield(); };
            if (SmoothRenderer(*smoothCounts_, std::int64_t{kDrawableSize} * 8).renderPicture(model_.state(), *smooth,
                                                                                          *picture1_, bands))
                printStatus(statusLine(model_.state()));
        } else {
            renderer_.DrawFractal(model_.state(), *picture1_, hooks);
        }
    } while (redrawPending_ && !ending_);
    drawing_ = false;
    drawingNow_->store(false);
    picture1_->flush();
}

namespace {

// Rows of a poster into the picture's image.
class PictureRows final : public BandSink {
public:
    explicit PictureRows(PictureBox& box) : box_(box) {}
    Status writeRows(const std::uint8_t* rgb, int rows) override
    {
        box_.setRows(next_, rgb, rows);
        next_ += rows;
        return {};
    }

private:
    PictureBox& box_;
    int next_ = 0;
};

} // namespace

bool Form1::atStartUpSize() const
{
    return picture1_->image().size() == QSize(kDrawableSize, kDrawableSize);
}

PictureSize Form1::pictureSize() const
{
    return {picture1_->image().width(), picture1_->image().height()};
}

QPointF Form1::toPicture(double u, double v) const
{
    if (atStartUpSize())
        return {u, v};
    // Logical pixels to image pixels, then the poster rule, fractions kept.
    const PictureSize size = pictureSize();
    const double ratio = static_cast<double>(size.width) / picture1_->drawableSize().width();
    const double k = static_cast<double>(kDrawableSize) / std::min(size.width, size.height);
    const double centre = kDrawableSize / 2.0;
    return {(std::floor(u * ratio) - size.width / 2.0) * k + centre,
            (std::floor(v * ratio) - size.height / 2.0) * k + centre};
}

QPointF Form1::toImage(double X, double Y) const
{
    if (atStartUpSize())
        return {X, Y};
    const PictureSize size = pictureSize();
    const double perPicture = imagePerPicture();
    const double centre = kDrawableSize / 2.0;
    return {(X - centre) * perPicture + size.width / 2.0, (Y - centre) * perPicture + size.height / 2.0};
}

double Form1::imagePerPicture() const
{
    if (atStartUpSize())
        return 1;
    const PictureSize size = pictureSize();
    return static_cast<double>(std::min(size.width, size.height)) / kDrawableSize;
}

bool Form1::drawPoster()
{
    const PictureSize size = pictureSize();
    PosterHooks bands;
    bands.progress = [&](int done) {
        return yieldToEvents(static_cast<int>(std::int64_t{done} * kDrawableSize / size.height));
    };
    // A few rows a band: the window answers between them.
    const std::int64_t band = std::int64_t{size.width} * 8;
    const ExplorerState& view = model_.state();
    Status drawn;
    if (deepView()) {
        drawn = drawFreePoster(size, band, bands);
    } else if (const SmoothColours* smooth = model_.smoothColours()) {
        if (!smoothCounts_)
            smoothCounts_ = makeFastComputer();
        PictureRows rows(*picture1_);
        drawn = SmoothRenderer(*smoothCounts_, band).render(view, *smooth, size, rows, bands);
    } else {
        if (!posterCounts_)
            posterCounts_ = makeFastComputer();
        PictureRows rows(*picture1_);
        drawn = PosterRenderer(*posterCounts_, band).render(view, size, rows, bands);
    }
    picture1_->flush();
    if (!drawn)
        return false;
    printStatus(deepView() ? deepStatusLine(view.b, deepView()->zoom) : statusLine(view));
    return true;
}

namespace {

// A poster's rows into an image of its size.
class ImageRows final : public BandSink {
public:
    explicit ImageRows(QImage& image) : image_(image) {}
    Status writeRows(const std::uint8_t* rgb, int rows) override
    {
        for (int r = 0; r < rows; ++r, ++next_) {
            auto* line = reinterpret_cast<QRgb*>(image_.scanLine(next_));
            for (int x = 0; x < image_.width(); ++x, rgb += 3)
                line[x] = qRgb(rgb[0], rgb[1], rgb[2]);
        }
        return {};
    }

private:
    QImage& image_;
    int next_ = 0;
};

} // namespace

Status Form1::drawFreePoster(PictureSize size, std::int64_t band, const PosterHooks& bands)
{
    const DeepCentre& view = *deepView();
    const ExplorerState& palette = model_.state();
    if (const SmoothColours* smooth = model_.smoothColours()) {
        kept_ = KeptCounts{size, {}, {}};
        keptView_.reset();
        panFrom_.reset();
        PictureRows rows(*picture1_);
        return SmoothRenderer(*deepComputer_, band).render(*smooth, size, rows, bands);
    }
    // Counts kept from the picture before: this same view again, or that
    // view moved by whole pixels; otherwise none.
    const bool same = keptView_ && *keptView_ == view && kept_.size == size;
    const bool moved = keptView_ && panFrom_ && panFrom_->from == *keptView_ && kept_.size == size;
    if (moved)
        kept_ = kept_.shifted(panFrom_->du, panFrom_->dv);
    else if (!same)
        kept_ = KeptCounts{size, {}, {}};
    panFrom_.reset();
    keptView_ = view;
    if (!same && !moved) {
        // Coarse first: an eighth and a quarter of the size, each a whole
        // picture scaled up at once, then every pixel.
        for (const int part : {8, 4}) {
            const PictureSize coarse{std::max(1, size.width / part), std::max(1, size.height / part)};
            QImage image(coarse.width, coarse.height, QImage::Format_RGB32);
            ImageRows rows(image);
            if (Status s = PosterRenderer(*deepComputer_, band).render(palette, coarse, rows, bands); !s)
                return s;
            picture1_->setImage(image.scaled(size.width, size.height, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        }
    }
    KeptPixels keeping(*deepComputer_, kept_);
    PictureRows rows(*picture1_);
    return PosterRenderer(keeping, band).render(palette, size, rows, bands);
}

void Form1::notePan(double du, double dv)
{
    panFrom_.reset();
    const int u = static_cast<int>(std::lround(du)), v = static_cast<int>(std::lround(dv));
    if (deepView() && std::abs(du - u) < 1e-6 && std::abs(dv - v) < 1e-6)
        panFrom_ = PanFrom{*deepView(), u, v};
}

void Form1::layoutPicture()
{
    QSize outer;
    if (fullScreen_) {
        picture1_->move(0, 0);
        picture2_->move(0, 0);
        outer = client_->size();
    } else {
        // The growth of the client area past its least size goes to the
        // picture; the status line and the notice move down with it.
        const QSize least = client_->minimumSize();
        const int dw = std::max(0, client_->width() - least.width());
        const int dh = std::max(0, client_->height() - least.height());
        picture1_->move(48, 48);
        picture2_->move(48, 48);
        outer = QSize(PictureBox::kOuterSize + dw, PictureBox::kOuterSize + dh);
        client_->setStatusShift(dh);
        notice_->move(notice_->x(), noticeTop_ + dh);
    }
    const QImage before = picture1_->image();
    const qreal ratio = devicePixelRatioF();
    picture1_->setOuterSize(outer, ratio);
    picture2_->setOuterSize(outer, ratio);
    if (picture1_->image().size() != before.size() && isVisible() && model_.location()) {
        // At once the picture as it was, scaled by the poster rule about the
        // middle (the 596 square spans the shorter side), until the new one
        // covers it.
        const QSize now = picture1_->image().size();
        const double factor = static_cast<double>(std::min(now.width(), now.height())) /
                              std::min(before.width(), before.height());
        QImage preview(now, QImage::Format_RGB32);
        preview.fill(toQRgb(kBackground));
        QPainter painter(&preview);
        painter.setTransform(QTransform::fromTranslate(now.width() / 2.0, now.height() / 2.0)
                                 .scale(factor, factor)
                                 .translate(-before.width() / 2.0, -before.height() / 2.0));
        painter.drawImage(0, 0, before);
        painter.end();
        picture1_->setImage(preview);
        clearWindow();
        DrawFractal();
    }
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    layoutPicture();
}

void Form1::OnFullScreen()
{
    if (ending_)
        return;
    fullScreen_ = !fullScreen_;
    if (QAction* full = menus_->action(QStringLiteral("actionFullScreen")))
        full->setChecked(fullScreen_);
    leaveFullScreen_->setEnabled(fullScreen_);
    for (QWidget* w : std::initializer_list<QWidget*>{menuBar(), statusBar(), command1_, command2_, command3_,
                                                      command4_, command5_, notice_})
        w->setVisible(!fullScreen_);
    if (fullScreen_) {
        client_->setMinimumSize(0, 0);
        windowed_ = geometry();
        showFullScreen();
        // Without a window manager to do it, the window covers the screen itself.
        if (const QScreen* on = screen())
            setGeometry(on->geometry());
    } else {
        client_->setMinimumSize(leastClient_);
        showNormal();
        setGeometry(windowed_);
    }
    layoutPicture();
}

bool Form1::yieldToEvents(int column)
{
    picture1_->flush();
    QLabel* progress = statusField(QStringLiteral("progress"));
    const QString drawing = tr("drawing %1 %").arg(column * 100 / kDrawableSize);
    if (progress->text() != drawing)
        progress->setText(drawing);
    if (yieldHook_)
        yieldHook_(column);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !redrawPending_ && !ending_ && !holdDrawing_;
}

const QImage& Form1::pictureImage() const
{
    return picture1_->image();
}

QString Form1::noticeText() const
{
    return notice_->text();
}

QRect Form1::statusRect() const
{
    return client_->statusRect();
}

const QString& Form1::statusText() const noexcept
{
    return client_->statusText();
}

void Form1::clearWindow()
{
    client_->setStatusText({});
    notice_->clear();
}

void Form1::printStatus(const std::string& line)
{
    statusField(QStringLiteral("progress"))
        ->setText(tr("drawn in %1 s").arg(static_cast<double>(drawTimer_.elapsed()) / 1000.0, 0, 'f', 2));
    client_->setStatusText(QString::fromStdString(line));
    emit statusPrinted(client_->statusText());
}

void Form1::showNotice(const QString& text, bool problem)
{
    // Problems in red, so that a success never reads like one.
    notice_->setStyleSheet(problem ? QStringLiteral("color: #a00000;") : QString());
    // One line of text, whatever the path in it holds: a line break would
    // run over the status line, and control characters are no text; long
    // ones (a deep location of megabytes) are cut short.
    notice_->setText(QString::fromStdString(shortened(text.toStdString(), kNoticeCharacters)));
}

void Form1::endProgram()
{
    ending_ = true;
    orbitJob_->cancel();
    // Stopped here; the job waits for it when the window goes.
    exportJob_->cancel();
    emit ended();
    // Returns from the event loop with status 0 as soon as the running
    // handler, and any drawing it is inside, has unwound.
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!ending_)
        endProgram();
    event->accept();
}

} // namespace mandel
