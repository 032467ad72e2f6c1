#pragma once

#include "DeepComputer.h"
#include "PictureComputer.h"
#include "DeepSetup.h"
#include "ExplorerModel.h"
#include "Gestures.h"
#include "ExplorerState.h"
#include "History.h"
#include "Location.h"
#include "PictureFile.h"
#include "PosterRenderer.h"
#include "RandomSource.h"
#include "Renderer.h"
#include "SnapshotSaver.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QAction;
class QLabel;
class QPushButton;
class QRubberBand;
class QTimer;

namespace mandel {

class ClientArea;
class Clock;
class DeepOrbitJob;
class ExplorerMenus;
class PictureBox;
class PictureExportJob;

// The explorer window: the menu bar, and below it the client area with the
// buttons, the drawing surface Picture1 with the hidden snapshot surface
// Picture2 beneath it, and the status line printed under the picture. It owns
// the explorer state with the location of its view, and runs every command.
// Drawing yields to Qt once per column; the rules that keep commands and
// drawing apart are written beside Form1::DrawFractal.
class Form1 final : public QMainWindow {
    Q_OBJECT

public:
    // A window whose random source is seeded with `seed` at start-up and whose
    // pictures are saved into `saveFolder`, named from `clock` (kept by
    // reference: it must outlive the window).
    Form1(std::uint64_t seed, std::string saveFolder, const Clock& clock, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: show, seed, clear, sizes, save folder, colours, view, picture.
    void OnLoad();
    // In the classic view: zooms tenfold at drawable-area pixel (X, Y) and
    // draws; any button and shift state zoom alike. A zoom past the range of
    // a double is refused. In the free view: the start of a gesture, done
    // when the button goes up (OnPictureMouseUp).
    void OnPictureMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, float X, float Y);
    // The pointer at (X, Y): its plane point in the status bar, and the
    // preview of a drag under way.
    void OnPictureMouseMove(double X, double Y);
    // The free view's gesture ends at (X, Y): a zoom, a pan or a rectangle
    // zoom (see gestureOf).
    void OnPictureMouseUp(Qt::MouseButton button, double X, double Y);
    // The wheel over (X, Y): zooms about that point, 2x a notch.
    void OnPictureWheel(int angleDelta, double X, double Y);
    // Keys: zooms by `factor` about the centre, or moves the picture by
    // (dx, dy) pixels.
    void OnZoomKey(double factor);
    void OnPanKey(int dx, int dy);
    // Asks for a centre, zoom and cap and goes there (goToCoordinates).
    void OnGoToCoordinates();
    // New colours over the full view.
    void OnNew();
    // The full view in the same colours.
    void OnBack();
    // Clears the window and ends the program.
    void OnExit();
    // Saves Picture1 as it is now; a failure is shown, and changes nothing else.
    void OnSave();
    // Puts the location of the view on the clipboard and the X selection.
    void OnCopyLocation();
    // Goes to the location on the clipboard (see goToLocation).
    void OnGoToLocation();
    // Asks for a size, a format and a file (named in the save folder from
    // the clock and the size), then exports the view there (exportPicture).
    void OnExportPicture();
    // Asks for a size, a frame rate, a length and a file, then makes the
    // zoom video from the full view to the view shown (makeZoomVideo).
    void OnMakeZoomVideo();
    // Asks for a PNG and goes to the location stored in it (openPicture).
    void OnOpenPicture();
    // Turns deep mode on (keeping the view: the plane point of pixel
    // (300, 300) and the magnification) or off (possible up to 1E+14: back to
    // the legacy view deep mode came from, or one zoomed to the same place).
    void OnDeepZoom();
    // Asks for the iteration cap of deep views: automatic, or a number.
    void OnIterations();
    // View > Colours...: the modes or a palette, as a command undo takes back.
    void OnColours();
    // View > Full screen (F11): the picture alone on the whole screen, drawn
    // at its size; again, or Esc, back to the window as it was.
    void OnFullScreen();
    bool isFullScreenPicture() const noexcept { return fullScreen_; }
    // Back to the view the last command left, and draws it.
    void OnUndo();
    // Forward again to the view the last undo left, and draws it.
    void OnRedo();

    // Goes to the location `text` and draws it, as a command. A text that is
    // no location, or one this window cannot show, is refused with its reason
    // in the notice line, and nothing else changes. Returns whether it went.
    bool goToLocation(std::string_view text);
    // Goes to a typed centre, zoom and cap in the free view, as a command;
    // a refused field is named in the notice line. Returns whether it went.
    bool goToCoordinates(const std::string& re, const std::string& im, const std::string& zoom,
                         const std::string& iterations);
    // goToLocation for a location already read.
    bool goTo(Location location);
    // goToLocation for the location stored in the PNG at `path`, read off
    // the GUI thread so the window answers meanwhile (a slow file, a bomb):
    // the location is gone to when it arrives, unless the view changed
    // first. Anything but a regular file (a FIFO nobody writes to, a device)
    // is refused at once without waiting for it: then false. A file that
    // cannot be read, or holds no location, is refused when read, with the
    // path and the reason in the notice line; pictureOpened says how it went.
    bool openPicture(const std::string& path);
    // Whether a picture asked for by openPicture is still being read.
    bool isOpeningPicture() const noexcept { return opening_; }

    // Starts writing the view shown at `size` to `path` (or, when that is
    // taken, to the first free -2, -3, ... name), off the GUI thread with a
    // progress window; drawing and commands go on meanwhile. The notice line
    // tells where it went, or why it failed. Returns false, with the reason
    // in the notice line, when the view has no location or an export runs.
    bool exportPicture(const std::string& path, PictureSize size, ImageFormat format);
    // Starts making the zoom video from the full view into the centre of the
    // view shown, as an export: in the background with the same progress
    // window and Cancel. False, with the reason in the notice line, when the
    // view has no location, is the full view, or an export runs.
    bool makeZoomVideo(const std::string& path, PictureSize size, int fps, double seconds);
    // Stops the running export; it leaves no file.
    void cancelExport();
    // Whether an export is running.
    bool isExporting() const noexcept;
    // Holds running and new exports between bands while `hold` (tests: the
    // rule the window's own drawing follows).
    void holdExports(bool hold) { drawingNow_->store(hold); }
    // The progress window of the running export, or null.
    QProgressDialog* exportProgress() const noexcept { return exportProgress_; }

    // Draws the picture of the current state, or, while a picture is being
    // drawn, has the running drawing give way to this state.
    void DrawFractal();

    // Sets the iteration cap of deep views: automatic (raised from the
    // current cap as pictures ask), or `iterations` (200 to 100000000, and
    // small enough to fit in memory); redraws a deep picture. Returns false,
    // with the reason in the notice line, for a cap it refuses.
    bool setIterations(bool automatic, long long iterations);
    // Colours the picture in `smooth` (none: its mode); false, with the
    // reason in the notice, when refused.
    bool setColours(std::optional<SmoothColours> smooth);
    const SmoothColours* smoothColours() const noexcept { return model_.smoothColours(); }

    // The explorer's model: state, view, history and deep mode.
    const ExplorerModel& model() const noexcept { return model_; }
    // The explorer state.
    const ExplorerState& state() const noexcept { return model_.state(); }
    // The deep view shown in deep mode; nothing in legacy mode.
    const std::optional<DeepCentre>& deepView() const noexcept { return model_.deepView(); }
    // The free view shown, or the one the classic view would become.
    DeepCentre currentFreeView() const { return model_.freeView(); }
    // The status bar's fields: view kind, centre, zoom, cap, the plane point
    // under the pointer and the drawing's progress or time, by object name
    // ("viewKind", "centre", "zoom", "cap", "pointer", "progress").
    QLabel* statusField(const QString& name) const;
    // Whether deep views get their cap chosen from the picture.
    bool automaticIterations() const noexcept { return model_.automaticIterations(); }
    // Whether a deep picture waits for its reference orbit.
    bool isPreparingDeep() const noexcept;
    // Replaces the state without drawing (for tests and tools); the view then
    // has no location until a command sets one.
    void setState(const ExplorerState& s);
    // The location of the view shown, or nothing after setState.
    const std::optional<Location>& location() const noexcept { return model_.location(); }
    // The views to undo and redo.
    const History& history() const noexcept { return model_.history(); }
    // Picture1's image: everything drawn on it so far, 596 x 596 at the
    // start-up size, otherwise the poster of the view at the picture's size.
    const QImage& pictureImage() const;
    // The status line shown under the picture; empty once the window is cleared.
    const QString& statusText() const noexcept;
    // The message shown under the status line (a refused zoom, a save), or "".
    QString noticeText() const;
    // Whether a picture is being drawn (the caller is inside a yield).
    bool isDrawing() const noexcept { return drawing_; }
    // Whether the program has been ended by "exit" or by closing the window.
    bool isEnding() const noexcept { return ending_; }
    // The folder pictures are saved into.
    const std::string& saveFolder() const noexcept { return saver_.folder(); }

    // Called at each yield with the column about to be drawn, before pending
    // events are handled (for tests and benchmarks to act mid-drawing).
    void setYieldHook(std::function<void(int column)> hook) { yieldHook_ = std::move(hook); }

    // The client area below the menu bar; layout positions are measured from
    // its top-left corner.
    ClientArea* clientArea() const noexcept { return client_; }
    // The menus of the menu bar.
    ExplorerMenus* menus() const noexcept { return menus_; }

    // The elements, by their names.
    PictureBox* Picture1() const noexcept { return picture1_; }
    PictureBox* Picture2() const noexcept { return picture2_; }
    QPushButton* Command1() const noexcept { return command1_; }
    QPushButton* Command2() const noexcept { return command2_; }
    QPushButton* Command3() const noexcept { return command3_; }
    QPushButton* Command4() const noexcept { return command4_; }
    QPushButton* Command5() const noexcept { return command5_; }

    // Where the status line is drawn, in client-area pixels.
    QRect statusRect() const;

signals:
    // The status line was printed (once per finished picture).
    void statusPrinted(const QString& line);
    // The program was ended; the event loop has been told to return 0.
    void ended();
    // A picture openPicture read went to its location (true) or was refused.
    void pictureOpened(bool went);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildLayout();
    void buildStatusBar();
    void updateViewStatus();
    void showPointer(double X, double Y);
    void clearWindow();
    void printStatus(const std::string& line);
    // Shows what a command of the model did: its refusal in the notice line,
    // or the new view drawn. Returns whether it was done.
    bool apply(const CommandResult& result);
    QString refusalText(const CommandResult& result) const;
    bool drawDeepPicture();
    // Draws a view near the held orbit's against it; false when it is out
    // of the orbit's reach.
    bool drawAgainstHeldOrbit();
    void onDeepPrepared(const DeepCentre& asked, std::shared_ptr<ReferenceOrbit> orbit,
                        std::shared_ptr<FreeViewPixels> computer);
    void onDeepRefused(const DeepCentre& asked, const QString& reason);
    void updateDeepMenus();
    void refuseLocation(const std::string& reason);
    void onPictureRead(std::uint64_t ticket, const std::string& path, const Result<Location>& read);
    void updateHistoryMenus();
    void showNotice(const QString& text, bool problem = true);
    QString whyNoExport() const;
    // Says why an export or video cannot start now (and shows the one
    // running); false when it can.
    bool exportRefused();
    // The name a new export proposes, in the pictures folder (made now).
    QString proposedName();
    void onExportEnded(const QString& where, bool written, int code);
    void showExportProgress(const QString& text, const QString& title);
    void endProgram();
    bool yieldToEvents(int column);
    // Fits the picture to the client area (and the status line and notice
    // below it); a new size redraws.
    void layoutPicture();
    // Whether the picture is the legacy 596 x 596 one, drawn column by column.
    bool atStartUpSize() const;
    // The picture's image size, as a poster's.
    PictureSize pictureSize() const;
    // Picture pixel (the 596 square's coordinates) of drawable-area logical
    // pixel (u, v), through the poster rule; and the image pixel of picture
    // pixel (X, Y), and image pixels per picture pixel.
    QPointF toPicture(double u, double v) const;
    QPointF toImage(double X, double Y) const;
    double imagePerPicture() const;
    // Draws the view as a poster of the picture's size into Picture1, a band
    // at a time, yielding between bands; false when abandoned.
    bool drawPoster();
    // The free view's poster: coarse passes first, or the counts kept from
    // the picture before when the view is that one moved by whole pixels.
    Status drawFreePoster(PictureSize size, std::int64_t band, const PosterHooks& bands);
    // A pan of the free view by (du, dv) pixels of the picture shown is
    // under way: whole pixels let the next picture keep what stays in sight.
    void notePan(double du, double dv);

    std::uint64_t seed_;
    RandomSource rng_;
    ExplorerModel model_;
    const Clock& clock_;
    SnapshotSaver saver_;
    Renderer renderer_;
    std::unique_ptr<FieldComputer> smoothCounts_;  // counts of smooth pictures, made on first use

    ClientArea* client_ = nullptr;
    ExplorerMenus* menus_ = nullptr;
    PictureBox* picture1_ = nullptr;
    PictureBox* picture2_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    QPushButton* command4_ = nullptr;
    QPushButton* command5_ = nullptr;
    QLabel* notice_ = nullptr;
    QRubberBand* band_ = nullptr;

    // The free view's gesture under way: the press, and where it was.
    std::optional<PointerPress> press_;
    // What a gesture's picture looks like at once, shown until the new
    // picture covers it; null: the picture starts from the background.
    QImage preview_;
    // The custom export size last chosen: the export dialog proposes it again.
    std::optional<PictureSize> lastCustomSize_;
    QElapsedTimer drawTimer_;
    // What draws the model's deep view.
    std::shared_ptr<ReferenceOrbit> orbit_;     // of the deep view's centre and zoom, when prepared
    OrbitShelf shelf_;                          // orbits of deep views left lately
    std::shared_ptr<FreeViewPixels> deepComputer_;  // draws the free view, when prepared
    DeepOrbitJob* orbitJob_ = nullptr;
    PictureExportJob* exportJob_ = nullptr;
    QPointer<QProgressDialog> exportProgress_;
    bool exportingVideo_ = false;  // the running export is a zoom video

    // Pictures being read for openPicture: the newest one counts.
    struct PictureInbox;
    std::shared_ptr<PictureInbox> pictureInbox_;
    std::uint64_t openTicket_ = 0;
    bool opening_ = false;

    std::unique_ptr<FieldComputer> posterCounts_;  // counts of legacy pictures at other sizes
    bool fullScreen_ = false;
    QAction* leaveFullScreen_ = nullptr;  // Esc, while in full screen
    // The counts of the last free-view poster and its view, and the pan
    // that leaves that view, when one is under way.
    KeptCounts kept_;
    std::optional<DeepCentre> keptView_;
    struct PanFrom {
        DeepCentre from;
        int du, dv;
    };
    std::optional<PanFrom> panFrom_;
    // The wheel: the clock its notches are timed by, the wait for a turn to
    // pause before the free view is drawn, and whether a command defers its
    // drawing (deferDraw_) or a drawing gives way meanwhile (holdDrawing_).
    QElapsedTimer wheelClock_;
    QTimer* wheelSettle_ = nullptr;
    bool deferDraw_ = false;
    bool holdDrawing_ = false;
    int noticeTop_ = 0;   // the notice's top at the start-up size
    QSize leastClient_;   // the client area's least size, outside full screen
    QRect windowed_;      // the window's place before full screen
    bool drawing_ = false;        // a drawing loop is running (we are inside its yield)
    // Set while a picture is drawn: exports wait between bands meanwhile.
    std::shared_ptr<std::atomic<bool>> drawingNow_ = std::make_shared<std::atomic<bool>>(false);
    bool redrawPending_ = false;  // a command asked for a new picture during a yield
    bool ending_ = false;
    std::function<void(int)> yieldHook_;
};

} // namespace mandel
