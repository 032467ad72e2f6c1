#pragma once

#include <cstdint>

namespace mandel::bench {

// Most vectors in flight the ceiling loop is compiled for.
inline constexpr int kMostCeilingStreams = 8;

// The ceiling of the iteration on one thread: `steps` exact steps (the
// squares, the update and the loop test zr2 + zi2 < 4) of `streams`
// independent vectors of the widest lanes of the target Highway's dispatch
// chooses now, with no bookkeeping (the points never escape). Returns the
// lane-steps taken; `sink` keeps the work from being optimised away.
std::int64_t ceilingLaneSteps(int streams, std::int64_t steps, double* sink);

// The target ceilingLaneSteps runs on now.
std::int64_t ceilingTarget();

} // namespace mandel::bench
