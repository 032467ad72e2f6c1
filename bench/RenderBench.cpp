// Speed of the iteration, of whole pictures and of the program, each read
// against the machine's own ceiling and the scalar reference in one run:
//
//   mandel_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
//   Ceiling/<target>         the exact step over independent vectors on every
//                            thread, nothing else (the best stream count)
//   Reference/<view>         the scalar reference loop, one thread
//   Field1/<view>/<target>   the fast computer's iteration results, one thread
//   Field/<view>/<target>    the same on the shared pool (every thread)
//   Form/<view>/<target>/<form>  the same with each compiled form of the
//                            kernel (best target only): the calibration's
//                            choice should be the quickest or near it
//   Uncycled/<view>/<target> the same without the cycle check: every point
//                            runs to its end, as before the check
//                            (best target only)
//   Draw/<view>/<target>     DrawFractal onto an image: field, colours, surface
//   Columns/<view>/<target>  the same onto an image that takes only runs of
//                            columns: the field, then its colours, then the
//                            columns into the rows (the way before pieces)
//   Program/<view>/<target>  mandel-render --repeat 10, per picture
//
// The best target runs natively; the others are forced with
// hwy::SetSupportedTargetsForTest, so they run their code on this core (an
// AVX2 figure here is AVX2 code on this microarchitecture, not an AVX2-only
// machine). Every figure counts lane-steps: loop steps the reference takes
// (n - 1 per point). The table at the end gives each as a multiple of the
// reference and as a share of its target's ceiling, with the CPU and load.

#include "CeilingLoop.h"
#include "BenchViews.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "FieldComputer.h"
#include "ImageSurface.h"
#include "RenderCommand.h"
#include "Renderer.h"
#include "ThreadPool.h"

#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace mandel;

using bench::deepView;
using bench::fullView;

struct View {
    std::string name;
    ExplorerState state;
    std::vector<std::string> args;  // mandel-render's for the same picture
};

std::vector<View> views()
{
    const std::vector<std::string> palette = {"--fn", "1.5,2.5,3.5", "--mode", "1", "--seed", "1"};
    auto deep = palette;
    deep.insert(deep.end(), {"--click", "186,300", "--click", "300,300"});
    return {{"Full", fullView(), palette}, {"Deep", deepView(), deep}};
}

// An image that does not hand out its rows: pictures reach it as runs of
// columns from the pool's threads.
class ColumnsOnly final : public Surface {
public:
    explicit ColumnsOnly(ImageSurface& image) : image_(image) {}
    void clear() override { image_.clear(); }
    void setPixel(int x, int y, Colour c) override { image_.setPixel(x, y, c); }
    void setColumn(int x, const Colour* colours, int count) override { image_.setColumn(x, colours, count); }
    void setColumns(int x0, int columns, const Colour* colours, int count) override
    {
        image_.setColumns(x0, columns, colours, count);
    }
    bool columnsFromThreads() const noexcept override { return true; }

private:
    ImageSurface& image_;
};

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

// Runs `make` with Highway's dispatch held to `target` (0: the best).
template <class Make>
auto onTarget(std::int64_t target, Make make)
{
    if (target != 0)
        hwy::SetSupportedTargetsForTest(target);
    auto made = make();
    if (target != 0)
        hwy::SetSupportedTargetsForTest(0);
    return made;
}

void countSteps(benchmark::State& st, double steps)
{
    st.counters["lane-steps/s"] = benchmark::Counter(steps, benchmark::Counter::kIsIterationInvariantRate);
}

// "AVX3 form 6/5, 2 threads": what a figure of `c` ran on.
std::string runOf(const FastComputer& c)
{
    return c.targetName() + " form " + c.variantName() + ", " + std::to_string(c.threads()) +
           (c.threads() == 1 ? " thread" : " threads");
}

// Pictures of `view` drawn by a renderer with `c` onto `surface`.
void drawOf(benchmark::State& st, const ExplorerState& view, std::unique_ptr<FastComputer> c, Surface& surface,
            double steps)
{
    st.SetLabel(runOf(*c));
    Renderer r(std::move(c));
    for (auto _ : st)
        benchmark::DoNotOptimize(r.DrawFractal(view, surface));
    countSteps(st, steps);
}

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
    countSteps(st, steps);
}

// The stream count at which the ceiling loop runs fastest on one thread.
int bestCeilingStreams()
{
    int best = 1;
    double bestRate = 0;
    double sink = 0;
    for (int k = 1; k <= bench::kMostCeilingStreams; ++k) {
        for (int round = 0; round < 3; ++round) {
            const auto start = std::chrono::steady_clock::now();
            const auto laneSteps = bench::ceilingLaneSteps(k, 100000, &sink);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            const double rate = static_cast<double>(laneSteps) / took.count();
            if (rate > bestRate) {
                bestRate = rate;
                best = k;
            }
        }
    }
    benchmark::DoNotOptimize(sink);
    return best;
}

void ceilingOf(benchmark::State& st, std::int64_t target, int threads)
{
    if (target != 0)
        hwy::SetSupportedTargetsForTest(target);
    const int streams = bestCeilingStreams();
    ThreadPool pool(threads);
    std::atomic<std::int64_t> laneSteps{0};
    std::vector<double> sinks(static_cast<std::size_t>(threads) * 8);
    auto job = [&](int i) { laneSteps += bench::ceilingLaneSteps(streams, 200000, &sinks[static_cast<std::size_t>(i) * 8]); };
    for (auto _ : st)
        pool.run(job);
    st.SetLabel(std::string(hwy::TargetName(bench::ceilingTarget())) + ", " + std::to_string(streams) + " streams, " +
                std::to_string(threads) + " threads");
    if (target != 0)
        hwy::SetSupportedTargetsForTest(0);
    st.counters["lane-steps/s"] = benchmark::Counter(static_cast<double>(laneSteps.load()), benchmark::Counter::kIsRate);
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Prints as usual, and keeps each benchmark's lane-steps per second (the
// median when there are repetitions) for the table at the end.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const auto counter = r.counters.find("lane-steps/s");
            if (counter == r.counters.end() || r.error_occurred)
                continue;
            const std::string name = r.run_name.function_name;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (median || (r.run_type == Run::RT_Iteration && !medians_.count(name))) {
                rates_[name] = counter->second.value;
                labels_[name] = r.report_label;
                if (median)
                    medians_[name] = true;
            }
        }
    }

    void printTable(const std::string& cpu, const std::string& best, int threads, const std::string& loadBefore) const
    {
        std::printf("\nCPU: %s, %d threads; best Highway target %s; load average before %s, after %s\n", cpu.c_str(),
                    threads, best.c_str(), loadBefore.c_str(), loadAverage().c_str());
        std::printf("%-22s %-34s %14s %12s %18s\n", "figure", "run", "G lane-steps/s", "x reference",
                    "share of ceiling");
        for (const auto& [name, rate] : rates_) {
            const auto parts = split(name);
            double reference = 0, ceiling = 0;
            if (parts.size() >= 2)
                reference = rateOf("Reference/" + parts[1]);
            ceiling = rateOf("Ceiling/" + (parts.size() >= 3 ? parts[2] : best));
            std::printf("%-22s %-34s %14.3f %12s %18s\n", name.c_str(), labels_.at(name).c_str(), rate / 1e9,
                        reference > 0 ? format(rate / reference, "%.1fx").c_str() : "",
                        ceiling > 0 ? format(100 * rate / ceiling, "%.0f %%").c_str() : "");
        }
    }

private:
    static std::vector<std::string> split(const std::string& name)
    {
        std::vector<std::string> parts;
        std::stringstream in(name);
        for (std::string p; std::getline(in, p, '/');)
            parts.push_back(p);
        return parts;
    }
    static std::string format(double v, const char* how)
    {
        char text[32];
        std::snprintf(text, sizeof text, how, v);
        return text;
    }
    double rateOf(const std::string& name) const
    {
        const auto at = rates_.find(name);
        return at == rates_.end() ? 0 : at->second;
    }

    std::map<std::string, double> rates_;
    std::map<std::string, std::string> labels_;
    std::map<std::string, bool> medians_;
};

void registerAll(int threads)
{
    const auto targets = hwy::SupportedAndGeneratedTargets();
    std::vector<std::int64_t> measured;  // 0: the best, natively; then the others but scalar
    measured.push_back(0);
    for (std::size_t i = 1; i < targets.size(); ++i)
        if (targets[i] != HWY_SCALAR)
            measured.push_back(targets[i]);
    auto nameOf = [&](std::int64_t t) { return std::string(hwy::TargetName(t != 0 ? t : targets.front())); };
    auto reg = [](const std::string& name, auto body) {
        benchmark::RegisterBenchmark(name.c_str(), body)->Unit(benchmark::kMillisecond)->UseRealTime();
    };

    for (const std::int64_t t : measured)
        reg("Ceiling/" + nameOf(t), [t, threads](benchmark::State& st) { ceilingOf(st, t, threads); });

    for (const View& v : views()) {
        const double steps = stepsOf(v.state);
        reg("Reference/" + v.name, [v, steps](benchmark::State& st) {
            ReferenceComputer reference;
            st.SetLabel("scalar loop, 1 thread");
            fieldOf(st, v.state, reference, steps);
        });
        for (const std::int64_t t : measured) {
            const std::string suffix = v.name + "/" + nameOf(t);
            if (t == 0) {
                reg("Field1/" + suffix, [v, steps](benchmark::State& st) {
                    FastComputer c({1});
                    st.SetLabel(runOf(c));
                    fieldOf(st, v.state, c, steps);
                });
            }
            if (t == 0) {
                // Each form on its own, to check the calibration's choice.
                for (int form = 0; form < FastComputer::variantCount(); ++form) {
                    FastComputerOptions options;
                    options.variant = form;
                    const std::string name = FastComputer(options).variantName();
                    reg("Form/" + suffix + "/" + name, [v, steps, options](benchmark::State& st) {
                        FastComputer c(options);
                        st.SetLabel(runOf(c));
                        fieldOf(st, v.state, c, steps);
                    });
                }
                reg("Uncycled/" + suffix, [v, steps](benchmark::State& st) {
                    FastComputerOptions options;
                    options.findInterior = false;
                    FastComputer c(options);
                    st.SetLabel(runOf(c) + ", no cycle check");
                    fieldOf(st, v.state, c, steps);
                });
            }
            reg("Field/" + suffix, [v, steps, t](benchmark::State& st) {
                auto c = onTarget(t, [] { return std::make_unique<FastComputer>(); });
                st.SetLabel(runOf(*c));
                fieldOf(st, v.state, *c, steps);
            });
            reg("Draw/" + suffix, [v, steps, t](benchmark::State& st) {
                ImageSurface surface;
                drawOf(st, v.state, onTarget(t, [] { return std::make_unique<FastComputer>(); }), surface, steps);
            });
            reg("Columns/" + suffix, [v, steps, t](benchmark::State& st) {
                ImageSurface image;
                ColumnsOnly surface(image);
                drawOf(st, v.state, onTarget(t, [] { return std::make_unique<FastComputer>(); }), surface, steps);
            });
            reg("Program/" + suffix, [v, steps, t](benchmark::State& st) {
                constexpr int kRepeat = 10;
                auto args = v.args;
                args.insert(args.end(), {"--repeat", std::to_string(kRepeat)});
                for (auto _ : st) {
                    std::ostringstream out, err;
                    const int status = onTarget(t, [&] { return runRender(args, out, err); });
                    if (status != 0)
                        st.SkipWithError(err.str().c_str());
                }
                st.SetLabel("mandel-render --repeat " + std::to_string(kRepeat));
                countSteps(st, steps * kRepeat);
            });
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const std::string cpu = bench::cpuModel();
    const std::string best = hwy::TargetName(hwy::SupportedAndGeneratedTargets().front());
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const std::string loadBefore = loadAverage();
    benchmark::AddCustomContext("cpu_model", cpu);
    benchmark::AddCustomContext("highway_target", best);
    registerAll(threads);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printTable(cpu, best, threads, loadBefore);
    benchmark::Shutdown();
    return 0;
}
