#pragma once

#include "ExplorerState.h"
#include "RandomSource.h"
#include "Renderer.h"
#include "SnapshotSaver.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace mandel {

class Clock;
class PictureBox;

// The explorer window: the buttons, the drawing surface Picture1 with the
// hidden snapshot surface Picture2 beneath it, and the status line printed
// under the picture. It owns the explorer state and runs every command.
//
// Drawing yields to Qt once per column. A command that asks for a picture
// while one is being drawn changes the state and leaves a request; the
// running drawing then stops and the outermost drawing loop draws the newest
// state, so redraws never nest deeper than one yield.
class Form1 final : public QWidget {
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

    // Draws the picture of the current state, or, while a picture is being
    // drawn, has the running drawing give way to this state.
    void DrawFractal();

    // The explorer state.
    const ExplorerState& state() const noexcept { return state_; }
    // Replaces the state without drawing (for tests and tools).
    void setState(const ExplorerState& s) { state_ = s; }
    // Picture1's image: everything drawn on it so far, 596 x 596.
    const QImage& pictureImage() const;
    // The status line shown under the picture; empty once the window is cleared.
    const QString& statusText() const noexcept { return statusText_; }
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

    // The elements, by their names.
    PictureBox* Picture1() const noexcept { return picture1_; }
    PictureBox* Picture2() const noexcept { return picture2_; }
    QPushButton* Command1() const noexcept { return command1_; }
    QPushButton* Command2() const noexcept { return command2_; }
    QPushButton* Command3() const noexcept { return command3_; }
    QPushButton* Command4() const noexcept { return command4_; }
    QPushButton* Command5() const noexcept { return command5_; }

    // Where the status line is drawn, in window pixels.
    QRect statusRect() const;

signals:
    // The status line was printed (once per finished picture).
    void statusPrinted(const QString& line);
    // The program was ended; the event loop has been told to return 0.
    void ended();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    void clearWindow();
    void printStatus(const std::string& line);
    void showNotice(const QString& text, bool problem = true);
    void endProgram();
    bool yieldToEvents(int column);

    ExplorerState state_;
    std::uint64_t seed_;
    RandomSource rng_;
    SnapshotSaver saver_;
    Renderer renderer_;

    PictureBox* picture1_ = nullptr;
    PictureBox* picture2_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    QPushButton* command4_ = nullptr;
    QPushButton* command5_ = nullptr;
    QLabel* notice_ = nullptr;

    QString statusText_;
    bool drawing_ = false;        // a drawing loop is running (we are inside its yield)
    bool redrawPending_ = false;  // a command asked for a new picture during a yield
    bool ending_ = false;
    std::function<void(int)> yieldHook_;
};

} // namespace mandel
