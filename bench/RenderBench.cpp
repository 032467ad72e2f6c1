// Speed of the iteration and of whole pictures: the reference on one
// thread against the fast computer on one thread and on every thread.
//
//   mandel_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
//
// Field/* time the iteration results alone (the part the fast computer
// replaces); Draw/* time DrawFractal with colouring onto an image. The label
// names the Highway target; "iter/s" counts loop steps per second.

#include "ExplorerState.h"
#include "FastComputer.h"
#include "FieldComputer.h"
#include "ImageSurface.h"
#include "Renderer.h"

#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace mandel;

ExplorerState fullView()
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    s.fn1 = 1.5f; s.fn2 = 2.5f; s.fn3 = 3.5f; s.b = 1; s.m1 = s.m2 = s.m3 = 200;
    ResetView(s);
    return s;
}

// A view on the edge of the set where almost every point runs to the cap.
ExplorerState deepView()
{
    ExplorerState s = fullView();
    ZoomAt(s, 186, 300);
    ZoomAt(s, 300, 300);
    return s;
}

// Loop steps the reference takes for the whole view (n - 1 per point).
double stepsOf(const ExplorerState& s)
{
    std::vector<PointResult> field(static_cast<std::size_t>(s.wid + 1) * static_cast<std::size_t>(s.hei + 1));
    ReferenceComputer().computeColumns(s, 0, s.wid + 1, field.data());
    double steps = 0;
    for (const PointResult& p : field)
        steps += p.n - 1;
    return steps;
}

struct Subject {
    std::string name;
    std::function<std::unique_ptr<FieldComputer>()> make;  // null: the reference
    std::string label;
};

void fieldOf(benchmark::State& st, const ExplorerState& s, FieldComputer& c, double steps)
{
    const auto rows = static_cast<std::size_t>(s.hei + 1);
    std::vector<PointResult> field(static_cast<std::size_t>(s.wid + 1) * rows);
    const int step = std::max(1, c.preferredColumns());
    for (auto _ : st) {
        for (int x = 0; x <= s.wid; x += step)
            c.computeColumns(s, x, std::min(s.wid + 1, x + step), field.data() + static_cast<std::size_t>(x) * rows);
        benchmark::DoNotOptimize(field.data());
        benchmark::ClobberMemory();
    }
    st.counters["iter/s"] = benchmark::Counter(steps, benchmark::Counter::kIsIterationInvariantRate);
}

void drawOf(benchmark::State& st, const ExplorerState& s, std::unique_ptr<FieldComputer> c, double steps)
{
    Renderer r(std::move(c));
    ImageSurface surface;
    for (auto _ : st)
        benchmark::DoNotOptimize(r.DrawFractal(s, surface));
    st.counters["iter/s"] = benchmark::Counter(steps, benchmark::Counter::kIsIterationInvariantRate);
}

void registerAll()
{
    const int all = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<Subject> subjects;
    subjects.push_back({"Reference", nullptr, "scalar, 1 thread"});
    const auto best = FastComputer({1}).targetName();
    subjects.push_back({"Fast1", [] { return makeFastComputer({1}); }, best + ", 1 thread"});
    subjects.push_back({"FastAll", [all] { return makeFastComputer({all}); },
                        best + ", " + std::to_string(all) + " threads"});
    // The other targets, one thread each, to show what the dispatch buys.
    const auto targets = hwy::SupportedAndGeneratedTargets();
    for (std::size_t i = 1; i < targets.size(); ++i) {
        const std::int64_t t = targets[i];
        const std::string name = hwy::TargetName(t);
        subjects.push_back({"Fast1_" + name, [t] {
                                hwy::SetSupportedTargetsForTest(t);
                                auto c = makeFastComputer({1});
                                hwy::SetSupportedTargetsForTest(0);
                                return c;
                            },
                            name + ", 1 thread"});
    }

    const std::pair<const char*, ExplorerState> views[] = {{"Full", fullView()}, {"Deep", deepView()}};
    for (const auto& [viewName, view] : views) {
        const double steps = stepsOf(view);
        for (const Subject& sub : subjects) {
            benchmark::RegisterBenchmark(("Field/" + std::string(viewName) + "/" + sub.name).c_str(),
                                         [view, steps, sub](benchmark::State& st) {
                                             auto c = sub.make ? sub.make() : std::make_unique<ReferenceComputer>();
                                             st.SetLabel(sub.label);
                                             fieldOf(st, view, *c, steps);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
        for (const Subject& sub : subjects) {
            if (sub.name.find('_') != std::string::npos)
                continue;
            benchmark::RegisterBenchmark(("Draw/" + std::string(viewName) + "/" + sub.name).c_str(),
                                         [view, steps, sub](benchmark::State& st) {
                                             st.SetLabel(sub.label);
                                             drawOf(st, view, sub.make ? sub.make() : nullptr, steps);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
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
