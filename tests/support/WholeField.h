#pragma once

#include "ExplorerState.h"
#include "FieldComputer.h"
#include "PointResult.h"

#include <algorithm>
#include <vector>

namespace mandel::testing {

// The iteration results of every point of the view, column by column
// (index x * (hei + 1) + y), in runs of the computer's preferred length.
inline std::vector<PointResult> computeField(const ExplorerState& s, FieldComputer& computer)
{
    const auto columns = static_cast<std::size_t>(s.wid + 1);
    const auto rows = static_cast<std::size_t>(s.hei + 1);
    std::vector<PointResult> field(columns * rows);
    const int step = std::max(1, computer.preferredColumns());
    for (int x = 0; x <= s.wid; x += step) {
        const int end = std::min(s.wid + 1, x + step);
        computer.computeColumns(s, x, end, field.data() + static_cast<std::size_t>(x) * rows);
    }
    return field;
}

} // namespace mandel::testing
