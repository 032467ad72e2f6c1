#pragma once

#include "DeepComputer.h"
#include "ExplorerState.h"
#include "History.h"
#include "Location.h"
#include "PictureFile.h"
#include "RandomSource.h"
#include "Renderer.h"
#include "SnapshotSaver.h"

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QLabel;
class QPushButton;

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
    // Zooms tenfold at drawable-area pixel (X, Y) and draws; any button and
    // shift state zoom alike. A zoom past the range of a double is refused.
    void OnPictureMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, float X, float Y);
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
    // Asks for a PNG and goes to the location stored in it (openPicture).
    void OnOpenPicture();
    // Turns deep mode on (keeping the view: the plane point of pixel
    // (300, 300) and the magnification) or off (possible up to 1E+14: back to
    // the legacy view deep mode came from, or one zoomed to the same place).
    void OnDeepZoom();
    // Asks for the iteration cap of deep views: automatic, or a number.
    void OnIterations();
    // Back to the view the last command left, and draws it.
    void OnUndo();
    // Forward again to the view the last undo left, and draws it.
    void OnRedo();

    // Goes to the location `text` and draws it, as a command. A text that is
    // no location, or one this window cannot show, is refused with its reason
    // in the notice line, and nothing else changes. Returns whether it went.
    bool goToLocation(std::string_view text);
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
    // Stops the running export; it leaves no file.
    void cancelExport();
    // Whether an export is running.
    bool isExporting() const noexcept;
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

    // The explorer state.
    const ExplorerState& state() const noexcept { return state_; }
    // The deep view shown in deep mode; nothing in legacy mode.
    const std::optional<DeepCentre>& deepView() const noexcept { return deep_; }
    // Whether deep views get their cap chosen from the picture.
    bool automaticIterations() const noexcept { return autoIterations_; }
    // Whether a deep picture waits for its reference orbit.
    bool isPreparingDeep() const noexcept;
    // Replaces the state without drawing (for tests and tools); the view then
    // has no location until a command sets one.
    void setState(const ExplorerState& s);
    // The location of the view shown, or nothing after setState.
    const std::optional<Location>& location() const noexcept { return view_; }
    // The views to undo and redo.
    const History& history() const noexcept { return history_; }
    // Picture1's image: everything drawn on it so far, 596 x 596.
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

private:
    void buildLayout();
    void clearWindow();
    void printStatus(const std::string& line);
    enum class Step { Record, Move };  // a new command, or a move in the history
    using HistoryMove = std::optional<Location> (History::*)(Location);
    void enterView(const ExplorerState& next, std::optional<Location> nextView, Step step);
    void enterDeepView(const DeepCentre& next, std::optional<Location> nextView, Step step, bool chooseCap);
    bool enterLocation(const Location& target, Step step);
    bool drawDeepPicture(const DrawHooks& hooks);
    void onDeepPrepared(const DeepCentre& asked, std::shared_ptr<ReferenceOrbit> orbit,
                        std::shared_ptr<DeepComputer> computer);
    void onDeepRefused(const DeepCentre& asked, const QString& reason);
    void updateDeepMenus();
    // Makes `nextView` the view shown (recording the one left when `step`
    // says so), brings the menus up to date and clears the client area.
    void showView(std::optional<Location> nextView, Step step);
    void leaveView(std::optional<Location> next);
    void refuseLocation(const std::string& reason);
    void onPictureRead(std::uint64_t ticket, const std::string& path, const Result<Location>& read);
    void moveInHistory(HistoryMove step, HistoryMove inverse);
    void updateHistoryMenus();
    void showNotice(const QString& text, bool problem = true);
    QString whyNoExport() const;
    void onExportEnded(const QString& where, bool written, int code);
    void endProgram();
    bool yieldToEvents(int column);

    ExplorerState state_;
    std::optional<Location> view_;  // the location of state_'s picture
    History history_;
    std::uint64_t seed_;
    RandomSource rng_;
    const Clock& clock_;
    SnapshotSaver saver_;
    Renderer renderer_;

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

    // Deep mode: the view shown, how its cap is set, and what draws it.
    std::optional<DeepCentre> deep_;
    bool autoIterations_ = true;
    long long deepIterations_;        // the cap the next deep view starts from
    bool chooseCap_ = false;          // deep_'s cap is still to be chosen from its picture
    std::shared_ptr<ReferenceOrbit> orbit_;     // of deep_'s centre and zoom, when prepared
    std::shared_ptr<DeepComputer> deepComputer_;  // draws deep_, when prepared
    DeepOrbitJob* orbitJob_ = nullptr;
    PictureExportJob* exportJob_ = nullptr;
    QPointer<QProgressDialog> exportProgress_;
    // The legacy view deep mode was turned on from, and the deep view it
    // became: turning deep mode off there goes back to it exactly.
    struct LegacyOrigin {
        ExplorerState state;
        std::optional<Location> view;
        DeepCentre deep;
    };
    std::optional<LegacyOrigin> origin_;

    // Pictures being read for openPicture: the newest one counts.
    struct PictureInbox;
    std::shared_ptr<PictureInbox> pictureInbox_;
    std::uint64_t openTicket_ = 0;
    bool opening_ = false;

    bool drawing_ = false;        // a drawing loop is running (we are inside its yield)
    bool redrawPending_ = false;  // a command asked for a new picture during a yield
    bool ending_ = false;
    std::function<void(int)> yieldHook_;
};

} // namespace mandel
