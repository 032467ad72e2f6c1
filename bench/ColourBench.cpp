// Smooth colours beside the colour modes, on the same views and sizes:
// a 1024 x 1024 picture into memory, counts from the fast computer.
//
//   mandel_colour_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
// The label names the Highway target and the threads; the context names the
// CPU. Compare Legacy/X with Smooth/X run side by side in one run.

#include "BenchViews.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "PosterRenderer.h"
#include "SmoothRenderer.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

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
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("Smooth/" + name).c_str(),
                                     [view](benchmark::State& st) { smooth(st, view, Shading::None, 1); })
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("Smooth/" + name + "/slopes").c_str(),
                                     [view](benchmark::State& st) { smooth(st, view, Shading::Slopes, 1); })
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("Smooth/" + name + "/samples2").c_str(),
                                     [view](benchmark::State& st) { smooth(st, view, Shading::None, 2); })
            ->Unit(benchmark::kMillisecond)->UseRealTime();
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
