// Click-to-finished-picture time of the explorer window, beside the engine's
// own frame time for the same view: the difference is what yielding to Qt
// once per column and repainting each new column cost.
#include "BenchViews.h"
#include "Clock.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "Form1.h"
#include "ImageSurface.h"
#include "PictureBox.h"
#include "Renderer.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

using namespace mandel;

// Full view, colours as the window draws them at start-up with seed 1.
ExplorerState startupView(Form1& form)
{
    ExplorerState s = form.state();
    ResetView(s);
    return s;
}

struct Window {
    QTemporaryDir home;
    SystemClock clock;  // nothing is saved
    std::unique_ptr<Form1> form;
    Window()
    {
        form = std::make_unique<Form1>(1, home.filePath(QStringLiteral("pictures")).toStdString(), clock);
        form->OnLoad();
    }
};

// Made on first use, destroyed before the QApplication.
std::unique_ptr<Window> theWindow;

Window& window()
{
    if (!theWindow)
        theWindow = std::make_unique<Window>();
    return *theWindow;
}

// The engine alone: the full view drawn into memory, no yields.
void BM_EngineFullView(benchmark::State& st)
{
    const ExplorerState s = startupView(*window().form);
    Renderer r(makeFastComputer());
    ImageSurface surface;
    for (auto _ : st) {
        surface.clear();
        benchmark::DoNotOptimize(r.DrawFractal(s, surface));
    }
}

// The engine with the window's hooks but no Qt: the cost of 601 empty yields.
void BM_EngineFullViewEmptyYields(benchmark::State& st)
{
    const ExplorerState s = startupView(*window().form);
    Renderer r(makeFastComputer());
    ImageSurface surface;
    DrawHooks hooks;
    hooks.yield = [] { return true; };
    for (auto _ : st) {
        surface.clear();
        benchmark::DoNotOptimize(r.DrawFractal(s, surface, hooks));
    }
}

// The engine drawing on Picture1's image, without yielding to Qt: what the
// image surface costs over the in-memory one.
void BM_EngineIntoPicture1(benchmark::State& st)
{
    Form1& form = *window().form;
    const ExplorerState s = startupView(form);
    Renderer r(makeFastComputer());
    for (auto _ : st) {
        form.Picture1()->clear();
        benchmark::DoNotOptimize(r.DrawFractal(s, *form.Picture1()));
    }
}

// A click on "back": clear, reset, and the full view drawn on Picture1 with
// a yield to Qt and a repaint of the new column per column.
void BM_WindowBackFullView(benchmark::State& st)
{
    Form1& form = *window().form;
    for (auto _ : st)
        QTest::mouseClick(form.Command2(), Qt::LeftButton);
    benchmark::DoNotOptimize(form.pictureImage().constBits());
}

// A press on the picture's centre of the full view: the zoomed picture.
void BM_WindowClickZoomFromFullView(benchmark::State& st)
{
    Form1& form = *window().form;
    for (auto _ : st) {
        st.PauseTiming();
        ExplorerState s = form.state();
        ResetView(s);
        form.setState(s);
        st.ResumeTiming();
        QTest::mousePress(form.Picture1(), Qt::LeftButton, {}, QPoint(PictureBox::kBorder + 186, PictureBox::kBorder + 300));
    }
}

// The same press while an 8192 x 8192 export is written in the background:
// the export waits between its bands while the window draws.
void BM_WindowClickZoomDuringExport(benchmark::State& st)
{
    Window& w = window();
    Form1& form = *w.form;
    const std::string path = w.home.filePath(QStringLiteral("export.png")).toStdString();
    for (auto _ : st) {
        st.PauseTiming();
        if (!form.isExporting()) {
            QFile::remove(QString::fromStdString(path));
            form.OnBack();  // a view with a location, which an export needs
            if (!form.exportPicture(path, {8192, 8192}, ImageFormat::Png)) {
                st.SkipWithError("the export did not start");
                break;
            }
        }
        ExplorerState s = form.state();
        ResetView(s);
        form.setState(s);
        st.ResumeTiming();
        QTest::mousePress(form.Picture1(), Qt::LeftButton, {}, QPoint(PictureBox::kBorder + 186, PictureBox::kBorder + 300));
    }
    form.cancelExport();
    (void)QTest::qWaitFor([&] { return !form.isExporting(); }, 60000);
}

// A wheel notch over a free view at 1E+20: the event handled, the command
// done and the scaled picture shown (the picture itself follows once the
// wheel rests). Notches alternate in and out; at the start-up size and at
// 1920 x 1080.
void BM_WindowWheelNotchPreview(benchmark::State& st)
{
    Form1& form = *window().form;
    // Arg 1: the window grown until its picture is 1920 x 1080.
    const QSize opened = form.size();
    if (st.range(0) == 1) {
        form.resize(opened + QSize(1920 - kDrawableSize, 1080 - kDrawableSize));
        QCoreApplication::processEvents();
        if (form.pictureImage().size() != QSize(1920, 1080))
            st.SkipWithError("the picture did not grow to 1920 x 1080");
    }
    (void)form.goToCoordinates("-0.7436438870371587047521915061147", "0.1318259042053119704931320563851", "20",
                               "1000");
    const QPointF at(PictureBox::kBorder + 200, PictureBox::kBorder + 300);
    int notch = 120;
    for (auto _ : st) {
        QWheelEvent wheel(at, form.Picture1()->mapToGlobal(at), QPoint(), QPoint(0, notch), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(form.Picture1(), &wheel);
        notch = -notch;
    }
    benchmark::DoNotOptimize(form.pictureImage().constBits());
    st.SetLabel(std::to_string(form.pictureImage().width()) + " x " + std::to_string(form.pictureImage().height()));
    form.resize(opened);
    form.OnBack();
}

BENCHMARK(BM_EngineFullView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineFullViewEmptyYields)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineIntoPicture1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowBackFullView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowClickZoomFromFullView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowClickZoomDuringExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowWheelNotchPreview)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // Measured without a display unless one is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::AddCustomContext("cpu_model", bench::cpuModel());
    benchmark::AddCustomContext("highway_target", FastComputer().targetName());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theWindow.reset();
    return 0;
}
