// Smooth colours beside the colour modes, on the same views and sizes:
// a 1024 x 1024 picture into memory, counts from the fast computer; and
// the window's 596 x 596 picture of a deep view (Deep/...), counts from the
// deep computer, whose orbit and tables are made before the timing.
//
//   mandel_colour_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
// The label names the Highway target and the threads; the context names the
// CPU. Compare Legacy/X with Smooth/X run side by side in one run;
// Smooth/X/plain colours as the renderer did before its colouring moved onto
// SIMD lanes (no samples, no shading).

#include "BenchViews.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "PosterMapping.h"
#include "PosterRenderer.h"
#include "ReferenceOrbit.h"
#include "SmoothColour.h"
#include "SmoothKernel.h"
#include "SmoothRenderer.h"
#include "Surface.h"
#include "ThreadPool.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>

namespace {

using namespace mandel;

constexpr int kSide = 1024;

// Drops the rows: the benchmark times drawing, not writing.
struct NullSink final : BandSink {
    Status writeRows(const std::uint8_t*, int) override { return {}; }
};

void legacy(benchmark::State& st, const ExplorerState& view)
{
    FastComputer computer;
    st.SetLabel(computer.targetName() + ", " + std::to_string(computer.threads()) + " threads");
    PosterRenderer renderer(computer);
    NullSink sink;
    for (auto _ : st)
        if (!renderer.render(view, {kSide, kSide}, sink))
            st.SkipWithError("the picture failed");
    st.counters["Mpx/s"] = benchmark::Counter(kSide * kSide / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void smooth(benchmark::State& st, const ExplorerState& view, Shading shading, int samples)
{
    FastComputer computer;
    st.SetLabel(computer.targetName() + ", " + std::to_string(computer.threads()) + " threads");
    SmoothRenderer renderer(computer);
    SmoothColours colours;
    colours.shading = shading;
    colours.samples = samples;
    NullSink sink;
    for (auto _ : st)
        if (!renderer.render(view, colours, {kSide, kSide}, sink))
            st.SkipWithError("the picture failed");
    st.counters["Mpx/s"] = benchmark::Counter(kSide * kSide / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// The colouring as it was before it moved onto the lanes, kept to be timed
// beside it: counts from the fast computer, the escaped samples' steps on
// lanes, then per sample the plain finishSmooth, GradientMap and encoding.
void plainSmooth(benchmark::State& st, const ExplorerState& view)
{
    FastComputer computer;
    st.SetLabel(computer.targetName() + ", " + std::to_string(computer.threads()) + " threads");
    const PosterMapping mapping(view, {kSide, kSide});
    std::vector<double> cx(kSide), cy(kSide);
    for (int i = 0; i < kSide; ++i) {
        cx[static_cast<std::size_t>(i)] = mapping.planeX(i);
        cy[static_cast<std::size_t>(i)] = mapping.planeY(i);
    }
    const GradientMap gradient(SmoothColours{});
    const double pixel = cx[1] - cx[0];
    std::vector<PointResult> counts(cx.size() * cy.size());
    std::vector<std::uint8_t> rgb(counts.size() * 3);
    ThreadPool& pool = *computer.pool();
    for (auto _ : st) {
        computer.computeGrid(cx.data(), kSide, cy.data(), kSide, counts.data());
        auto colourColumns = [&](int part) {
            std::vector<double> ci, cr, zr, zi, dzr, dzi;
            std::vector<std::int32_t> n;
            std::vector<std::size_t> at;
            for (std::size_t c = static_cast<std::size_t>(part); c < cx.size(); c += static_cast<std::size_t>(pool.size())) {
                ci.clear();
                n.clear();
                at.clear();
                for (std::size_t r = 0; r < cy.size(); ++r)
                    if (counts[c * cy.size() + r].n < kMaxIterations) {
                        ci.push_back(cy[r]);
                        n.push_back(counts[c * cy.size() + r].n);
                        at.push_back(r);
                    }
                cr.assign(ci.size(), cx[c]);
                for (auto* v : {&zr, &zi, &dzr, &dzi})
                    v->resize(ci.size());
                runSmoothSteps({cr.data(), ci.data(), n.data(), static_cast<int>(ci.size()), zr.data(), zi.data(),
                                dzr.data(), dzi.data()});
                for (std::size_t k = 0; k < ci.size(); ++k) {
                    const Colour colour = colourOf(gradient.colourOf(
                        finishSmooth(cr[k], ci[k], n[k], kMaxIterations, zr[k], zi[k], dzr[k], dzi[k]), pixel));
                    std::uint8_t* out = rgb.data() + (at[k] * cx.size() + c) * 3;
                    out[0] = static_cast<std::uint8_t>(redOf(colour));
                    out[1] = static_cast<std::uint8_t>(greenOf(colour));
                    out[2] = static_cast<std::uint8_t>(blueOf(colour));
                }
            }
        };
        pool.run(colourColumns);
        benchmark::DoNotOptimize(rgb.data());
    }
    st.counters["Mpx/s"] = benchmark::Counter(kSide * kSide / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// The colouring alone, on one thread: columns of the view whose counts and
// last z the fast computer handed out before the timing (Colour/X).
void knownColumns(benchmark::State& st, const ExplorerState& view)
{
    FastComputer computer;
    st.SetLabel(computer.targetName() + ", 1 thread");
    const PosterMapping mapping(view, {kSide, kSide});
    std::vector<double> cx(kSide), cy(kSide);
    for (int i = 0; i < kSide; ++i) {
        cx[static_cast<std::size_t>(i)] = mapping.planeX(i);
        cy[static_cast<std::size_t>(i)] = mapping.planeY(i);
    }
    std::vector<PointResult> counts(cx.size() * cy.size());
    std::vector<double> zr(counts.size());
    computer.computeGridWithZr(cx.data(), kSide, cy.data(), kSide, counts.data(), zr.data());
    const SampleColouring colouring(SmoothColours{}, cx[1] - cx[0]);
    std::vector<std::uint32_t> out(counts.size());
    for (auto _ : st) {
        for (std::size_t c = 0; c < cx.size(); ++c)
            colourKnownColumn(colouring, {cx[c], cy.data(), counts.data() + c * kSide, zr.data() + c * kSide, kSide,
                                          kMaxIterations, out.data() + c * kSide});
        benchmark::DoNotOptimize(out.data());
    }
    st.counters["Mpx/s"] = benchmark::Counter(kSide * kSide / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// A deep view in the seahorse valley at 1E+8: most pixels escape after
// thousands of steps.
DeepComputer& deepComputer()
{
    static std::unique_ptr<DeepComputer> computer = [] {
        auto orbit = ReferenceOrbit::compute(DeepCentre{"-0.7436438870371587", "0.1318259042053119", 8, 10000});
        if (!orbit)
            throw std::runtime_error(orbit.error());
        auto made = std::make_unique<DeepComputer>(std::shared_ptr<const ReferenceOrbit>(std::move(*orbit)));
        if (!made->prepare(kDeepCentrePixel * 1.4142135623730951))
            throw std::runtime_error("tables refused");
        return made;
    }();
    return *computer;
}

void deepPicture(benchmark::State& st, bool smooth, Shading shading)
{
    DeepComputer& computer = deepComputer();
    st.SetLabel("deep loop, " + std::to_string(computer.threads()) + " threads");
    NullSink sink;
    const PictureSize size{kDrawableSize, kDrawableSize};
    SmoothColours colours;
    colours.shading = shading;
    for (auto _ : st) {
        const Status done = smooth ? SmoothRenderer(computer).render(colours, size, sink)
                                   : PosterRenderer(computer).render(Palette{1.5f, 2.5f, 3.5f, 1, 200, 200, 200}, size, sink);
        if (!done)
            st.SkipWithError("the picture failed");
    }
}

void registerAll()
{
    const struct {
        const char* name;
        ExplorerState view;
    } views[] = {{"Full", bench::fullView()}, {"Edge", bench::deepView()}};
    for (const auto& v : views) {
        const ExplorerState view = v.view;
        const std::string name = v.name;
        benchmark::RegisterBenchmark(("Legacy/" + name).c_str(), [view](benchmark::State& st) { legacy(st, view); })
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
        benchmark::RegisterBenchmark(("Smooth/" + name).c_str(),
                                     [view](benchmark::State& st) { smooth(st, view, Shading::None, 1); })
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
        benchmark::RegisterBenchmark(("Colour/" + name).c_str(), [view](benchmark::State& st) { knownColumns(st, view); })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Smooth/" + name + "/plain").c_str(),
                                     [view](benchmark::State& st) { plainSmooth(st, view); })
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
        benchmark::RegisterBenchmark(("Smooth/" + name + "/slopes").c_str(),
                                     [view](benchmark::State& st) { smooth(st, view, Shading::Slopes, 1); })
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
        benchmark::RegisterBenchmark(("Smooth/" + name + "/samples2").c_str(),
                                     [view](benchmark::State& st) { smooth(st, view, Shading::None, 2); })
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
    }
    for (const auto& [name, smooth, shading] : {std::tuple{"Deep/Legacy", false, Shading::None},
                                                std::tuple{"Deep/Smooth", true, Shading::None},
                                                std::tuple{"Deep/Smooth/slopes", true, Shading::Slopes}}) {
        const bool isSmooth = smooth;
        const Shading how = shading;
        benchmark::RegisterBenchmark(name, [isSmooth, how](benchmark::State& st) { deepPicture(st, isSmooth, how); })
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::AddCustomContext("cpu_model", bench::cpuModel());
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
