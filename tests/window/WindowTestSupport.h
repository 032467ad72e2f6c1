#pragma once

#include "ClientArea.h"
#include "Clock.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "Form1.h"
#include "ImageSurface.h"
#include "Location.h"
#include "PictureBox.h"
#include "QtColour.h"
#include "Renderer.h"
#include "FixedClock.h"
#include "TestStates.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace mandel::testing {

// The one QApplication of a test binary, made on first use. `scaleFactor`
// (for QT_SCALE_FACTOR) only counts on the first call. It is never deleted:
// at static destruction Qt's own globals are already gone.
inline QApplication& qtApp(const char* scaleFactor = nullptr)
{
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = nullptr;
    if (!app) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (scaleFactor)
            qputenv("QT_SCALE_FACTOR", scaleFactor);
        app = new QApplication(argc, argv);
    }
    return *app;
}

// A window as the program makes it, with a fixed clock and a save folder in
// a temporary directory; not yet started.
struct TestWindow {
    QTemporaryDir dir;
    FixedClock clock{LocalDateTime{2024, 3, 9, 8, 5, 7}};
    std::unique_ptr<Form1> form;

    explicit TestWindow(std::uint64_t seed = 7, std::string folder = {})
    {
        qtApp();
        if (folder.empty())
            folder = dir.filePath(QStringLiteral("Pictures/tivek-art")).toStdString();
        form = std::make_unique<Form1>(seed, folder, clock);
    }
    Form1* operator->() const { return form.get(); }
    Form1& operator*() const { return *form; }
};

// Queues a mouse press on Picture1 at drawable-area pixel (X, Y).
inline void postPress(Form1& form, double X, double Y, Qt::MouseButton button = Qt::LeftButton)
{
    const QPointF local(X + PictureBox::kBorder, Y + PictureBox::kBorder);
    const QPointF global = form.Picture1()->mapToGlobal(local);
    QCoreApplication::postEvent(form.Picture1(),
                                new QMouseEvent(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier));
    QCoreApplication::postEvent(form.Picture1(), new QMouseEvent(QEvent::MouseButtonRelease, local, global, button,
                                                                 Qt::NoButton, Qt::NoModifier));
}

// A left click on Picture1 at (X, Y): the press and its release, as the
// free view needs both to zoom.
inline void clickPicture(Form1& form, float X, float Y)
{
    form.OnPictureMouseDown(Qt::LeftButton, {}, X, Y);
    form.OnPictureMouseUp(Qt::LeftButton, X, Y);
}

// Queues a left click (press and release) in the middle of `widget`.
inline void postClick(QWidget* widget)
{
    const QPointF local = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(local);
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonPress, local, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonRelease, local, global, Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
}

// Handles what is queued, as the event loop would.
inline void runPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// The engine's own picture of `s`: cleared, then drawn whole.
inline std::vector<Colour> engineDrawing(const ExplorerState& s)
{
    ImageSurface surface;
    Renderer renderer;
    renderer.DrawFractal(s, surface);
    return surface.pixels();
}

// The picture of `view` drawn without the window: the full view in its
// colours, then ZoomAt at each click.
inline std::vector<Colour> drawingOf(const Location& view)
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    applyPalette(s, view.palette);
    ResetView(s);
    for (const Click& c : view.clicks)
        ZoomAt(s, c.x, c.y);
    static Renderer renderer(makeFastComputer());
    ImageSurface surface;
    renderer.DrawFractal(s, surface);
    return surface.pixels();
}

// Runs the event loop until the view's picture is drawn, deep ones included.
inline bool waitForPicture(const Form1& form)
{
    return QTest::qWaitFor(
        [&] {
            return !form.isOpeningPicture() && !form.isPreparingDeep() && !form.isDrawing() &&
                   !form.statusText().isEmpty();
        },
        120000);
}

inline std::string clipboardText()
{
    return QGuiApplication::clipboard()->text().toStdString();
}

// Picture1's pixels as engine colours, row by row.
inline std::vector<Colour> pictureOf(const Form1& form)
{
    return coloursOf(form.pictureImage());
}

// Whether column x of the picture is all background.
inline bool columnIsBackground(const Form1& form, int x)
{
    for (int y = 0; y < kDrawableSize; ++y)
        if (fromQRgb(form.pictureImage().pixel(x, y)) != kBackground)
            return false;
    return true;
}

// The band of the window's pixels where the status line is printed, as the
// screen shows them, from kInkMargin pixels left of the line (never printed
// on) to the client area's right edge.
inline constexpr int kInkMargin = 8;
inline QImage statusLinePixels(const Form1& form)
{
    const QRect band = form.statusRect().adjusted(-kInkMargin, 0, 0, 0);
    const QPoint at = form.clientArea()->mapTo(&form, band.topLeft());
    return form.screen()->grabWindow(form.winId(), at.x(), at.y(), band.width(), band.height()).toImage();
}

// Where `band` holds pixels other than its top-left one's: the printed text.
inline QRect inkIn(const QImage& band)
{
    QRect ink;
    for (int y = 0; y < band.height(); ++y)
        for (int x = 0; x < band.width(); ++x)
            if (band.pixel(x, y) != band.pixel(0, 0))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

} // namespace mandel::testing
