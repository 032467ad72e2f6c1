#pragma once

#include "Location.h"
#include "PointResult.h"
#include "ReferenceOrbit.h"
#include "Result.h"

#include <functional>
#include <memory>
#include <vector>

namespace mandel {

// The automatic iteration cap of deep views. A cap is too low when the
// picture's edges run into it: of the boundary pixels (those with a
// 4-neighbour of another count), more than kCappedShare reach the cap.
// Then the cap is raised fourfold, and the raise is kept only when it frees
// at least kFreedShare of those pixels (capped pixels that stay capped are
// inside the set); the first raise not kept ends the choice, so choosing
// again from the cap chosen gives that cap. A picture in which every pixel
// reaches the cap shows nothing yet: it is raised until some pixel escapes,
// and keeps its cap when none does. Never beyond kAutoIterationsCeiling. The picture is judged on a grid of
// every kAutoStride-th pixel of each row and column.
inline constexpr long long kDefaultDeepIterations = 1000;
inline constexpr long long kAutoIterationsCeiling = 1000000;
inline constexpr double kCappedShare = 0.03;
inline constexpr double kFreedShare = 0.25;
inline constexpr int kAutoStride = 8;

// The share of the boundary pixels of a column-major grid that reach
// `cap`, each count read as the loop with `cap` gives it (min(n, cap));
// 1 when every pixel reaches it, 0 when the grid has no boundary otherwise.
double cappedBoundaryShare(const PointResult* grid, int columns, int rows, long long cap);

// Of the boundary pixels of `low` that reach `cap`, the share that escape
// before `higher` in `high`, the same grid computed with the cap `higher`;
// 0 when there are none.
double freedShare(const PointResult* low, const PointResult* high, int columns, int rows, long long cap,
                  long long higher);

// Whether the rule keeps a raise from `cap` to `higher`, given the grid
// computed with each.
bool raiseKept(const PointResult* low, const PointResult* high, int columns, int rows, long long cap,
               long long higher);

// The offsets from the centre pixel of the judged grid's columns (and rows).
std::vector<double> judgedOffsets();

// The judged grid of a view computed with a cap, column by column over
// judgedOffsets() both ways; a failure ends the choice with it.
using JudgedGrid = std::function<Result<std::vector<PointResult>>(long long cap)>;

// The cap the rule above chooses from `start`, with grids from `gridAt`.
Result<long long> chooseIterations(const JudgedGrid& gridAt, long long start);

// The cap the rule above chooses for the view of `orbit`, starting from
// `start`. The orbit is extended as far as the choice looked, which may be
// past the cap chosen. Fails as ReferenceOrbit::extend does.
Result<long long> chooseIterations(ReferenceOrbit& orbit, long long start, const WorkControl& control = {});

// A reference orbit and the view it was chosen for, whose cap is the one
// chosen (the orbit may hold more values than that cap needs).
struct AutoOrbit {
    std::shared_ptr<ReferenceOrbit> orbit;
    DeepCentre view;
};

// The reference orbit of `view` with its cap chosen automatically,
// starting from view.iterations. Fails as ReferenceOrbit::compute does.
Result<AutoOrbit> orbitWithAutoIterations(const DeepCentre& view, const WorkControl& control = {});

} // namespace mandel
