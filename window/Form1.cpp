#include "Form1.h"

#include "AppIcon.h"
#include "AutoIterations.h"
#include "ClientArea.h"
#include "DeepOrbitJob.h"
#include "DeepView.h"
#include "ExportDialog.h"
#include "ExplorerMenus.h"
#include "IterationsDialog.h"
#include "LocationFile.h"
#include "Memory.h"
#include "FastComputer.h"
#include "OneLine.h"
#include "PictureBox.h"
#include "PictureExportJob.h"
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
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>

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
    : QMainWindow(parent), seed_(seed), clock_(clock), saver_(std::move(saveFolder), clock),
      renderer_(makeFastComputer()),
      deepIterations_(kDefaultDeepIterations), pictureInbox_(std::make_shared<PictureInbox>())
{
    pictureInbox_->window = this;
    buildLayout();
    orbitJob_ = new DeepOrbitJob(this);
    connect(orbitJob_, &DeepOrbitJob::prepared, this, &Form1::onDeepPrepared);
    connect(orbitJob_, &DeepOrbitJob::refused, this, &Form1::onDeepRefused);
    connect(orbitJob_, &DeepOrbitJob::progressed, this, [this](int percent) {
        showNotice(tr("Deep zoom: computing the reference orbit, %1 %").arg(percent), false);
    });
    exportJob_ = new PictureExportJob(this);
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

    connect(picture1_, &PictureBox::pressed, this, &Form1::OnPictureMouseDown);
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
    client_->setMinimumSize(width, noticeTop + metrics.height() + 2 + kMargin / 2);
    resize(minimumSizeHint());
}

void Form1::OnLoad()
{
    show();
    rng_.reseed(seed_);
    clearWindow();
    state_.wid = kSurfaceSize;
    state_.hei = kSurfaceSize;
    // A folder that cannot be made now is tried again, and reported, on save.
    (void)saver_.prepareFolder();
    DrawColourParameters(state_, rng_);
    ResetView(state_);
    view_ = Location{paletteOf(state_), {}, {}, {}};
    DrawFractal();
}

void Form1::OnPictureMouseDown(Qt::MouseButton /*button*/, Qt::KeyboardModifiers /*shift*/, float X, float Y)
{
    if (ending_)
        return;
    if (deep_) {
        if (deep_->zoom >= kMaxDeepZoom) {
            QApplication::beep();
            showNotice(tr("Cannot zoom in further: 1E+%1 is as deep as views go.").arg(kMaxDeepZoom));
            return;
        }
        // The point under the pointer becomes the centre, as in legacy mode.
        const DeepCentre next = zoomDeepAt(*deep_, static_cast<double>(X) - kDeepCentrePixel,
                                           static_cast<double>(Y) - kDeepCentrePixel);
        enterDeepView(next, Location{paletteOf(state_), {}, next, {}}, Step::Record, autoIterations_);
        return;
    }
    ExplorerState zoomed = state_;
    if (!tryZoomAt(zoomed, X, Y)) {
        // Picture, state and status line stay; only the reason is added.
        QApplication::beep();
        showNotice(tr("Cannot zoom in further: one more tenfold zoom would carry the view past the range "
                      "of a double. Turn on View > Deep zoom (Ctrl+D) to go on, or press \"back\"."));
        return;
    }
    std::optional<Location> next = view_;
    if (next)
        next->clicks.push_back({X, Y});
    enterView(zoomed, std::move(next), Step::Record);
}

void Form1::OnNew()
{
    if (ending_)
        return;
    picture1_->clear();
    clearWindow();
    ResetView(state_);
    DrawColourParameters(state_, rng_);
    if (deep_) {
        // Deep mode stays on: the full view, its cap chosen afresh.
        const DeepCentre full{"0", "0", 0, autoIterations_ ? kDefaultDeepIterations : deepIterations_};
        enterDeepView(full, Location{paletteOf(state_), {}, full, {}}, Step::Record, autoIterations_);
        return;
    }
    leaveView(Location{paletteOf(state_), {}, {}, {}});
    DrawFractal();
}

void Form1::OnBack()
{
    if (ending_)
        return;
    picture1_->clear();
    clearWindow();
    ResetView(state_);
    if (deep_) {
        const DeepCentre full{"0", "0", 0, autoIterations_ ? kDefaultDeepIterations : deepIterations_};
        enterDeepView(full, Location{paletteOf(state_), {}, full, {}}, Step::Record, autoIterations_);
        return;
    }
    leaveView(Location{paletteOf(state_), {}, {}, {}});
    DrawFractal();
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
    if (ending_)
        return;
    if (!deep_) {
        // The view as it is: the plane point of pixel (300, 300) and its K.
        const DeepCentre deep = deepViewOf(state_, autoIterations_ ? kDefaultDeepIterations : deepIterations_);
        origin_ = LegacyOrigin{state_, view_, deep};
        enterDeepView(deep, Location{paletteOf(state_), {}, deep, {}}, Step::Record, autoIterations_);
        return;
    }
    if (deep_->zoom > kMaxLegacyZoom) {
        QApplication::beep();
        showNotice(tr("Deep zoom stays on past 1E+%1: doubles cannot show this view. Press \"back\" for the full "
                      "view.")
                       .arg(kMaxLegacyZoom));
        updateDeepMenus();
        return;
    }
    const bool unchanged = origin_ && origin_->deep.re == deep_->re && origin_->deep.im == deep_->im &&
                           origin_->deep.zoom == deep_->zoom && paletteOf(origin_->state) == paletteOf(state_);
    if (unchanged) {
        ExplorerState back = origin_->state;
        back.imeslike = state_.imeslike;
        enterView(back, origin_->view, Step::Record);
        return;
    }
    // Zooms from the full view that reach this centre as near as clicks can.
    const Location legacy{paletteOf(state_), clicksToward(*deep_), {}, {}};
    Result<ExplorerState> next = legacyStateOf(legacy);
    if (!next) {
        showNotice(QString::fromStdString(next.error()));
        updateDeepMenus();
        return;
    }
    next->imeslike = state_.imeslike;
    enterView(*next, legacy, Step::Record);
}

void Form1::OnIterations()
{
    if (ending_)
        return;
    IterationsDialog dialog(*this);
    dialog.exec();
}

bool Form1::setIterations(bool automatic, long long iterations)
{
    if (!automatic) {
        if (iterations < kMinDeepIterations || iterations > kMaxDeepIterations) {
            showNotice(tr("The iteration cap is a whole number %1 to %2.").arg(kMinDeepIterations).arg(kMaxDeepIterations));
            return false;
        }
        if (const Status fits = deepViewFits(DeepCentre{"0", "0", deep_ ? deep_->zoom : 0, iterations}, memoryBudget());
            !fits) {
            showNotice(QString::fromStdString("The iteration cap is refused: " + fits.error()));
            return false;
        }
        deepIterations_ = iterations;
    }
    autoIterations_ = automatic;
    if (deep_) {
        DeepCentre next = *deep_;
        if (!automatic)
            next.iterations = iterations;
        enterDeepView(next, Location{paletteOf(state_), {}, next, {}}, Step::Record, automatic);
    }
    return true;
}

void Form1::OnSave()
{
    if (ending_)
        return;
    picture2_->setImage(picture1_->image());
    const QImage snapshot = picture2_->image();
    const std::vector<Colour> colours = coloursOf(snapshot);
    const Result<std::string> saved = saver_.save({snapshot.width(), snapshot.height(), colours}, state_);
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
    if (!view_) {
        showNotice(tr("This view was set from outside and has no location to copy."));
        return;
    }
    const QString text = QString::fromStdString(formatLocation(*view_));
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
    if (!location) {
        refuseLocation(location.error());
        return false;
    }
    return goTo(std::move(*location));
}

bool Form1::goTo(Location location)
{
    if (ending_)
        return false;
    // The window draws its own size; a poster size only matters to posters.
    location.size.reset();
    return enterLocation(location, Step::Record);
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
    if (ending_)
        return;
    if (const QString why = whyNoExport(); !why.isEmpty()) {
        QApplication::beep();
        showNotice(why);
        if (exportProgress_)
            exportProgress_->raise();
        return;
    }
    // The folder pictures are saved into, made now so the name proposed is in it.
    (void)saver_.prepareFolder();
    ExplorerState named = state_;
    MakeImageName(named, clock_);
    ExportDialog dialog(QString::fromStdString(saver_.folder()), QString::fromStdString(named.imeslike), this);
    const int answer = dialog.exec();
    // Keys go back to the window, also where no window manager hands them back.
    activateWindow();
    if (answer != QDialog::Accepted || ending_)
        return;
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
    request.location = *view_;
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

    const QString where = QString::fromStdString(onOneLine(path));
    auto* progress = new QProgressDialog(tr("Exporting %1 × %2 to %3").arg(size.width).arg(size.height).arg(where),
                                         tr("Cancel"), 0, 100, this);
    progress->setObjectName(QStringLiteral("exportProgress"));
    progress->setWindowTitle(tr("Export picture"));
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
    showNotice(tr("Exporting the picture to %1").arg(where), false);
    return true;
}

QString Form1::whyNoExport() const
{
    if (!view_)
        return tr("This view was set from outside and has no location to export.");
    if (exportJob_->running())
        return tr("An export is running: wait for it, or cancel it, first.");
    // Exported now, the poster would have the cap the choice starts from,
    // not the one the window's picture is about to get.
    if (deep_ && chooseCap_)
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
        showNotice(tr("Exported the picture to %1").arg(where), false);
    } else if (code == ECANCELED) {
        showNotice(tr("Export cancelled: no file was written."), false);
    } else {
        QApplication::beep();
        // The reason starts with the path attempted.
        showNotice(tr("Could not export the picture to %1").arg(where));
    }
}

bool Form1::enterLocation(const Location& target, Step step)
{
    if (target.deep) {
        if (const Status ok = checkDeepView(*target.deep); !ok) {
            refuseLocation("location: " + ok.error());
            return false;
        }
        // Refused at once rather than after its orbit is computed.
        if (const Status fits = deepViewFits(*target.deep, memoryBudget()); !fits) {
            refuseLocation("location: " + fits.error());
            return false;
        }
        applyPalette(state_, target.palette);
        // A deep location keeps its own cap: the picture it names.
        enterDeepView(*target.deep, target, step, false);
        return true;
    }
    Result<ExplorerState> next = legacyStateOf(target);
    if (!next) {
        refuseLocation(next.error());
        return false;
    }
    // A location fixes the picture, not where the window saves it.
    next->imeslike = state_.imeslike;
    enterView(*next, target, step);
    return true;
}

void Form1::refuseLocation(const std::string& reason)
{
    // Picture, state, history and status line stay; only the reason is
    // added, escaped while it is still bytes (a file's may not be UTF-8).
    QApplication::beep();
    showNotice(QString::fromStdString(onOneLine(reason)));
}

void Form1::OnUndo()
{
    moveInHistory(&History::undo, &History::redo);
}

void Form1::OnRedo()
{
    moveInHistory(&History::redo, &History::undo);
}

void Form1::moveInHistory(HistoryMove step, HistoryMove inverse)
{
    if (ending_ || !view_)
        return;
    std::optional<Location> target = (history_.*step)(*view_);
    if (!target)
        return;
    if (!enterLocation(*target, Step::Move)) {
        // Only views this window has shown are kept, so this is not expected;
        // stay, and keep the history as it was.
        (void)(history_.*inverse)(std::move(*target));
    }
}

void Form1::enterView(const ExplorerState& next, std::optional<Location> nextView, Step step)
{
    picture1_->clear();
    state_ = next;
    // A legacy view: deep mode is off, and what it held is let go.
    if (deep_) {
        deep_.reset();
        orbitJob_->cancel();
        orbit_.reset();
        deepComputer_.reset();
    }
    showView(std::move(nextView), step);
    // Doubles give out at about 1E+15: say so as a dive gets there.
    if (state_.f1 >= 1e13 && state_.f1 < 1e16)
        showNotice(tr("Pictures blur past 1E+15 here: View > Deep zoom (Ctrl+D) keeps them sharp, to 1E+%1.")
                       .arg(kMaxDeepZoom),
                   false);
    DrawFractal();
}

void Form1::enterDeepView(const DeepCentre& next, std::optional<Location> nextView, Step step, bool chooseCap)
{
    picture1_->clear();
    deep_ = next;
    chooseCap_ = chooseCap;
    showView(std::move(nextView), step);
    DrawFractal();
}

bool Form1::isPreparingDeep() const noexcept
{
    return orbitJob_->running();
}

bool Form1::drawDeepPicture(const DrawHooks& hooks)
{
    const DeepCentre& want = *deep_;
    const bool sameCentre = orbit_ && orbit_->view().re == want.re && orbit_->view().im == want.im &&
                            orbit_->view().zoom == want.zoom;
    if (sameCentre && deepComputer_ && !chooseCap_ && deepComputer_->iterations() == want.iterations) {
        renderer_.DrawDeep(*deepComputer_, state_, *picture1_, hooks);
        return true;
    }
    // The orbit first, off this thread; the picture follows when it is done.
    // An orbit of the same centre is extended rather than computed again.
    std::shared_ptr<ReferenceOrbit> reuse = sameCentre ? orbit_ : nullptr;
    orbit_.reset();
    deepComputer_.reset();
    // An export may still be reading it; extending it then would race, so
    // the orbit is computed afresh instead.
    if (reuse && reuse.use_count() > 1)
        reuse.reset();
    orbitJob_->start(want, chooseCap_, std::move(reuse), memoryBudget());
    return false;
}

void Form1::onDeepPrepared(const DeepCentre& asked, std::shared_ptr<ReferenceOrbit> orbit,
                           std::shared_ptr<DeepComputer> computer)
{
    if (ending_ || !deep_ || asked.re != deep_->re || asked.im != deep_->im || asked.zoom != deep_->zoom)
        return;
    orbit_ = std::move(orbit);
    deepComputer_ = std::move(computer);
    if (chooseCap_) {
        // The cap chosen is part of the view: its location names it.
        deep_->iterations = deepComputer_->iterations();
        if (view_ && view_->deep)
            view_->deep->iterations = deep_->iterations;
        chooseCap_ = false;
    }
    deepIterations_ = deep_->iterations;
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
        deep->setChecked(deep_.has_value());
}

void Form1::showView(std::optional<Location> nextView, Step step)
{
    // A picture still being read for Open gives way to this newer view.
    opening_ = false;
    if (step == Step::Record)
        leaveView(std::move(nextView));
    else
        view_ = std::move(nextView);
    updateHistoryMenus();
    updateDeepMenus();
    clearWindow();
}

void Form1::leaveView(std::optional<Location> next)
{
    // A command that shows the same view again leaves nothing to go back to.
    if (view_ && view_ != next)
        history_.record(std::move(*view_));
    view_ = std::move(next);
    updateHistoryMenus();
}

void Form1::updateHistoryMenus()
{
    menus_->setHistoryAvailable(view_ && history_.canUndo(), view_ && history_.canRedo());
}

void Form1::setState(const ExplorerState& s)
{
    state_ = s;
    view_.reset();
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
// - The newest state wins. The loop draws again from state_ as it is then,
//   for as long as requests keep coming.
// - Ending is final. ending_ is set once (exit, closing the window) and never
//   cleared: every command returns at once and no drawing goes on.
void Form1::DrawFractal()
{
    if (ending_)
        return;
    if (drawing_) {
        // Inside a yield: the running loop draws this state once we return.
        redrawPending_ = true;
        return;
    }
    drawing_ = true;
    int column = 0;
    DrawHooks hooks;
    hooks.yield = [this, &column] { return yieldToEvents(column++); };
    hooks.printStatus = [this](const std::string& line) { printStatus(line); };
    do {
        redrawPending_ = false;
        column = 0;
        if (deep_) {
            // Without its orbit yet: drawn when the orbit arrives.
            if (!drawDeepPicture(hooks))
                break;
        } else {
            renderer_.DrawFractal(state_, *picture1_, hooks);
        }
    } while (redrawPending_ && !ending_);
    drawing_ = false;
    picture1_->flush();
}

bool Form1::yieldToEvents(int column)
{
    picture1_->flush();
    if (yieldHook_)
        yieldHook_(column);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !redrawPending_ && !ending_;
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
