#include "ExplorerState.h"
#include "FastComputer.h"
#include "FieldComputer.h"
#include "ImageSurface.h"
#include "Renderer.h"

#include <benchmark/benchmark.h>

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

// A view on the edge of the set where much of the picture runs to the cap.
ExplorerState deepView()
{
    ExplorerState s = fullView();
    ZoomAt(s, 186, 300);
    ZoomAt(s, 300, 300);
    return s;
}

void drawWith(benchmark::State& st, const ExplorerState& s, std::unique_ptr<FieldComputer> c)
{
    Renderer r(std::move(c));
    ImageSurface surface;
    for (auto _ : st)
        benchmark::DoNotOptimize(r.DrawFractal(s, surface));
}

void BM_ReferenceFull(benchmark::State& st) { drawWith(st, fullView(), nullptr); }
void BM_ReferenceDeep(benchmark::State& st) { drawWith(st, deepView(), nullptr); }
void BM_FastFull(benchmark::State& st) { drawWith(st, fullView(), makeFastComputer()); }
void BM_FastDeep(benchmark::State& st) { drawWith(st, deepView(), makeFastComputer()); }

BENCHMARK(BM_ReferenceFull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceDeep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastFull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastDeep)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
