// Speed of deep pictures over four kinds of view, each split into the
// three parts of the work, at the window's 596 x 596 and at 1920 x 1080:
// a small copy of the set at 1E+49 with N = 10^4, the spiral round a
// Misiurewicz point at 1E+100 with N = 10^5, and small copies at 1E+301
// and 1E+998 with N = 10^5 (centres in BenchViews.h and the tests' deep
// views). Beside them, a view at 1E+2 with N = 64000 where the main
// cardioid's edge crosses the picture, a third of it inside the set.
//
//   mandel_deep_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
// Orbit/*: the high-precision reference orbit (one thread, MPFR).
// Tables/*: the bilinear approximation tables built from it, for the
//   picture's farthest pixel.
// Pixels/*: every pixel's perturbation on all threads; the CPU column is
//   the time of all threads, the figure that holds on a busy machine.
//   vector:0 is the scalar loop, vector:1 the vector lanes, vector:2 the
//   default (the two timed on the first columns, the faster drawing the
//   rest), side by side; their mean_n must agree.
// PixelsUnwatched/*: the same without looking for attracting cycles on the
//   pixels' own orbits, as before that watch (the interior view only).
// Picture/*: the three together, as a new view costs (the interior view).
// FreeView1E+2/*: the window's whole picture (iterated and coloured) of the
//   legacy view two tenfold zooms down on the edge of the set (and the same
//   drawn by the legacy path with its kernel's cap at 10^4), beside the
//   free view of the same place drawn as the window draws it (in doubles at
//   this depth: set-up included, no orbit), at caps 200 and 10^4, and the
//   same free views by perturbation (orbit, tables and pixels) for scale.
// FreeView1E+2/poster_1920x1080_*: the same place's free view (cap 1000) as
//   the window draws it at 1920 x 1080, whole, and again after a 100-pixel
//   pan that keeps the counts still in sight (shifting them included).
// The label names the CPU, the Highway target of the legacy kernel beside
// it, the deep path's form (and its lanes' target) and the threads.

#include "BenchViews.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "DeepViews.h"
#include "FastComputer.h"
#include "ImageSurface.h"
#include "BandSink.h"
#include "PictureComputer.h"
#include "PosterRenderer.h"
#include "ReferenceOrbit.h"
#include "Renderer.h"

#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace mandel;

struct BenchView {
    std::string name;
    DeepCentre view;
    bool interior = false;  // also timed without the interior watch, at 596 x 596 only
};

struct BenchSize {
    std::string name;
    int columns, rows;
};

DeepCentre fromTests(std::string_view name, long long zoom, long long iterations)
{
    for (const auto& v : testing::kDeepTestViews)
        if (v.name == name)
            return {std::string(v.re), std::string(v.im), static_cast<double>(zoom), iterations};
    throw std::runtime_error("no test view " + std::string(name));
}

std::shared_ptr<const ReferenceOrbit> orbitOf(const DeepCentre& view)
{
    auto orbit = ReferenceOrbit::compute(view);
    if (!orbit)
        throw std::runtime_error(orbit.error());
    return std::shared_ptr<const ReferenceOrbit>(std::move(orbit.value()));
}

// Pixel offsets from the centre along one side: the window's drawable
// 596 pixels from pixel 300, other sizes from their middle.
std::vector<double> offsets(int count)
{
    const double centre = count == 596 ? kDeepCentrePixel : count / 2;
    std::vector<double> d(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        d[static_cast<std::size_t>(i)] = i - centre;
    return d;
}

// How far the picture's farthest pixel lies from the centre.
double reachOf(const BenchSize& size)
{
    const std::vector<double> dx = offsets(size.columns);
    const std::vector<double> dy = offsets(size.rows);
    return std::hypot(std::max(-dx.front(), dx.back()), std::max(-dy.front(), dy.back()));
}

double meanCount(const std::vector<PointResult>& field)
{
    double sum = 0;
    for (const PointResult& p : field)
        sum += p.n;
    return sum / static_cast<double>(field.size());
}

// A poster's rows, dropped.
class NoSink final : public BandSink {
public:
    Status writeRows(const std::uint8_t*, int) override { return {}; }
};

// A 1920 x 1080 free view drawn whole, and after a 100-pixel pan.
void registerPans(const ExplorerState& legacy, const std::string& label)
{
    const PictureSize size{1920, 1080};
    const DeepCentre view = deepViewOf(legacy, 1000);
    const double k = 596.0 / 1080;
    const DeepCentre panned = moveDeepCentre(view, -100 * k, 0);
    auto pixelsOf = [](const DeepCentre& v) {
        DeepSetupRequest request;
        request.view = v;
        return setUpFreeView(request)->pixels;
    };
    for (const bool pan : {false, true}) {
        benchmark::RegisterBenchmark(pan ? "FreeView1E+2/poster_1920x1080_pan100" : "FreeView1E+2/poster_1920x1080_full",
                                     [=](benchmark::State& st) {
                                         const auto before = pixelsOf(view);
                                         const auto after = pixelsOf(panned);
                                         NoSink sink;
                                         KeptCounts first{size, {}, {}};
                                         KeptPixels all(*before, first);
                                         (void)PosterRenderer(all).render(legacy, size, sink);
                                         for (auto _ : st) {
                                             KeptCounts kept = pan ? first.shifted(100, 0) : KeptCounts{size, {}, {}};
                                             KeptPixels keeping(*after, kept);
                                             (void)PosterRenderer(keeping).render(legacy, size, sink);
                                         }
                                         st.SetLabel(label);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

// The legacy picture at 1E+2 and free views of the same place, side by side.
void registerFreeViews(const std::string& label)
{
    const ExplorerState legacy = bench::deepView();
    for (const std::int32_t cap : {200, 10000}) {
        // The legacy picture's own path, its kernel's cap raised for the
        // second: what the same place costs in doubles without a free view.
        benchmark::RegisterBenchmark(cap == 200 ? "FreeView1E+2/legacy_N200" : "FreeView1E+2/legacy_kernel_N1E4",
                                     [legacy, label, cap](benchmark::State& st) {
                                         FastComputerOptions options;
                                         options.iterations = cap;
                                         Renderer renderer(makeFastComputer(options));
                                         ImageSurface surface;
                                         for (auto _ : st)
                                             renderer.DrawFractal(legacy, surface);
                                         st.SetLabel(label);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    registerPans(legacy, label);
    for (const long long cap : {200LL, 10000LL}) {
        const DeepCentre view = deepViewOf(legacy, cap);
        const std::string n = cap == 200 ? "N200" : "N1E4";
        for (const bool doubles : {true, false}) {
            benchmark::RegisterBenchmark(
                ("FreeView1E+2/" + std::string(doubles ? "doubles_" : "perturbation_") + n).c_str(),
                [view, legacy, label, doubles](benchmark::State& st) {
                    Renderer renderer;
                    ImageSurface surface;
                    for (auto _ : st) {
                        DeepSetupRequest request;
                        request.view = view;
                        std::shared_ptr<FreeViewPixels> pixels;
                        if (doubles) {
                            pixels = setUpFreeView(request)->pixels;
                            if (!pixels->inDoubles())
                                st.SkipWithError("not drawn in doubles");
                        } else {
                            pixels = std::make_shared<FreeViewPixels>(setUpDeep(request)->computer);
                        }
                        renderer.DrawDeep(*pixels, view.zoom, paletteOf(legacy), surface);
                    }
                    st.SetLabel(label);
                })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
}

// The Highway target the deep path's vector lanes run on here.
std::string deepTarget()
{
    const std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
    return targets.empty() ? std::string("none") : hwy::TargetName(targets.front());
}

void registerPixels(const std::string& name, const DeepCentre& view, const BenchSize& size, bool watch,
                    const std::string& label)
{
    benchmark::RegisterBenchmark(
        name.c_str(),
        [view, size, watch, label](benchmark::State& st) {
            DeepComputerOptions options;
            options.findInterior = watch;
            if (st.range(0) < 2)
                options.vector = st.range(0) != 0;
            DeepComputer computer(orbitOf(view), options);
            const std::vector<double> dx = offsets(size.columns);
            const std::vector<double> dy = offsets(size.rows);
            std::vector<PointResult> field(dx.size() * dy.size());
            if (!computer.prepare(reachOf(size)))
                st.SkipWithError("tables refused");
            for (auto _ : st)
                computer.computeGrid(dx.data(), size.columns, dy.data(), size.rows, field.data());
            st.counters["mean_n"] = meanCount(field);
            st.counters["pixels/s"] = benchmark::Counter(static_cast<double>(field.size()),
                                                         benchmark::Counter::kIsIterationInvariantRate);
            const std::optional<bool> lanes = computer.lanes();
            st.SetLabel(label + ", " + (!options.vector ? "timed, chose " : "") +
                        (lanes && *lanes ? "vector lanes on " + deepTarget() : std::string("scalar")) + ", " +
                        std::to_string(computer.threads()) + " threads");
        })
        ->ArgName("vector")
        ->Arg(0)
        ->Arg(1)
        ->Arg(2)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

void registerAll()
{
    const std::string label = bench::cpuModel() + ", " + FastComputer({1, false, 0}).targetName() + " beside";
    const std::vector<BenchView> views = {
        {"Minibrot_1E+49_N1E4", {std::string(bench::kMinibrot67Re), std::string(bench::kMinibrot67Im), 49, 10000}},
        {"Spiral_1E+100_N1E5", {std::string(bench::kSpiralRe), std::string(bench::kSpiralIm), 100, 100000}},
        {"Minibrot_1E+301_N1E5", fromTests("MinibrotPeriod403", 301, 100000)},
        {"Minibrot_1E+998_N1E5", fromTests("MinibrotPeriod1333", 998, 100000)},
        {"Interior_1E+2_N64000", {"-0.75", "0.1", 2, 64000}, true},
    };
    const std::vector<BenchSize> sizes = {{"596x596", 596, 596}, {"1920x1080", 1920, 1080}};
    for (const BenchView& v : views) {
        const DeepCentre view = v.view;
        benchmark::RegisterBenchmark(("Orbit/" + v.name).c_str(),
                                     [view, label](benchmark::State& st) {
                                         for (auto _ : st)
                                             benchmark::DoNotOptimize(orbitOf(view));
                                         st.SetLabel(label);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        for (const BenchSize& size : sizes) {
            if (v.interior && size.columns != 596)
                continue;
            const std::string suffix = "/" + v.name + "/" + size.name;
            benchmark::RegisterBenchmark(("Tables" + suffix).c_str(),
                                         [view, size, label](benchmark::State& st) {
                                             const auto orbit = orbitOf(view);
                                             for (auto _ : st) {
                                                 DeepComputer computer(orbit);
                                                 if (!computer.prepare(reachOf(size)))
                                                     st.SkipWithError("tables refused");
                                             }
                                             st.SetLabel(label);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            registerPixels("Pixels" + suffix, view, size, true, label);
            if (v.interior)
                registerPixels("PixelsUnwatched" + suffix, view, size, false, label);
        }
        if (v.interior)
            benchmark::RegisterBenchmark(("Picture/" + v.name + "/596x596").c_str(),
                                         [view, label](benchmark::State& st) {
                                             const std::vector<double> d = offsets(596);
                                             std::vector<PointResult> field(d.size() * d.size());
                                             for (auto _ : st) {
                                                 DeepComputer computer(orbitOf(view));
                                                 computer.computeGrid(d.data(), 596, d.data(), 596, field.data());
                                             }
                                             st.SetLabel(label);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->UseRealTime();
    }
    registerFreeViews(label);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
