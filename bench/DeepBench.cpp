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
// PixelsUnwatched/*: the same without looking for attracting cycles on the
//   pixels' own orbits, as before that watch (the interior view only).
// Picture/*: the three together, as a new view costs (the interior view).
// The label names the CPU, the Highway target of the legacy kernel beside
// it (the deep path is scalar C++) and the threads.

#include "BenchViews.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "DeepViews.h"
#include "FastComputer.h"
#include "ReferenceOrbit.h"

#include <benchmark/benchmark.h>

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

struct PictureSize {
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
double reachOf(const PictureSize& size)
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

void registerPixels(const std::string& name, const DeepCentre& view, const PictureSize& size, bool watch,
                    const std::string& label)
{
    benchmark::RegisterBenchmark(
        name.c_str(),
        [view, size, watch, label](benchmark::State& st) {
            DeepComputerOptions options;
            options.findInterior = watch;
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
            st.SetLabel(label + ", " + std::to_string(computer.threads()) + " threads");
        })
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

void registerAll()
{
    const std::string label = bench::cpuModel() + ", " + FastComputer({1, false, 0}).targetName() +
                              " beside, scalar deep path";
    const std::vector<BenchView> views = {
        {"Minibrot_1E+49_N1E4", {std::string(bench::kMinibrot67Re), std::string(bench::kMinibrot67Im), 49, 10000}},
        {"Spiral_1E+100_N1E5", {std::string(bench::kSpiralRe), std::string(bench::kSpiralIm), 100, 100000}},
        {"Minibrot_1E+301_N1E5", fromTests("MinibrotPeriod403", 301, 100000)},
        {"Minibrot_1E+998_N1E5", fromTests("MinibrotPeriod1333", 998, 100000)},
        {"Interior_1E+2_N64000", {"-0.75", "0.1", 2, 64000}, true},
    };
    const std::vector<PictureSize> sizes = {{"596x596", 596, 596}, {"1920x1080", 1920, 1080}};
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
        for (const PictureSize& size : sizes) {
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
