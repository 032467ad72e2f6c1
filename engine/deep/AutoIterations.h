#pragma once

#include "Location.h"
#include "PointResult.h"
#include "ReferenceOrbit.h"
#include "Result.h"

#include <memory>

namespace mandel {

// The automatic iteration cap of deep views. A cap is too low when the
// picture's edges run into it: of the boundary pixels (those with a
// 4-neighbour of another count), more than kCappedShare reach the cap.
// Then the cap is raised fourfold, as long as that still frees a good part
// of them (capped pixels that stay capped are inside the set), up to
// kAutoIterationsCeiling. The picture is judged on a grid of every
// kAutoStride-th pixel of each row and column.
inline constexpr long long kDefaultDeepIterations = 1000;
inline constexpr long long kAutoIterationsCeiling = 1000000;
inline constexpr double kCappedShare = 0.03;
inline constexpr int kAutoStride = 8;

// The share of the boundary pixels of a column-major grid that reached
// `cap`; 1 when every pixel did, 0 when the grid has no boundary otherwise.
double cappedBoundaryShare(const PointResult* grid, int columns, int rows, long long cap);

// Raises the cap of `orbit` (extending it) as the rule above says.
// Fails as ReferenceOrbit::extend does; the orbit then keeps the last cap
// reached.
Status raiseIterations(ReferenceOrbit& orbit, const WorkControl& control = {});

// The reference orbit of `view` with its cap chosen automatically,
// starting from view.iterations (the cap of the orbit is the choice).
// Fails as ReferenceOrbit::compute does.
Result<std::shared_ptr<ReferenceOrbit>> orbitWithAutoIterations(const DeepCentre& view,
                                                                const WorkControl& control = {});

} // namespace mandel
