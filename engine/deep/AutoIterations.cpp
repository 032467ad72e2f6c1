#include "AutoIterations.h"

#include "DeepComputer.h"
#include "DeepView.h"

#include <algorithm>
#include <vector>

namespace mandel {

double cappedBoundaryShare(const PointResult* grid, int columns, int rows, long long cap)
{
    long long boundary = 0;
    long long capped = 0;
    long long everyCapped = 0;
    auto at = [&](int c, int r) { return grid[static_cast<std::size_t>(c) * static_cast<std::size_t>(rows) +
                                              static_cast<std::size_t>(r)].n; };
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r) {
            const int n = at(c, r);
            everyCapped += n >= cap;
            const bool edge = (c > 0 && at(c - 1, r) != n) || (c + 1 < columns && at(c + 1, r) != n) ||
                              (r > 0 && at(c, r - 1) != n) || (r + 1 < rows && at(c, r + 1) != n);
            if (!edge)
                continue;
            ++boundary;
            capped += n >= cap;
        }
    if (everyCapped == static_cast<long long>(columns) * rows && everyCapped > 0)
        return 1;
    return boundary == 0 ? 0 : static_cast<double>(capped) / static_cast<double>(boundary);
}

Status raiseIterations(ReferenceOrbit& orbit, const WorkControl& control)
{
    std::vector<double> offsets;
    for (int x = 0; x <= 2 * kDeepCentrePixel; x += kAutoStride)
        offsets.push_back(x - kDeepCentrePixel);
    const int side = static_cast<int>(offsets.size());
    std::vector<PointResult> grid(offsets.size() * offsets.size());
    // The computer only reads the orbit; it is made again after each raise.
    const std::shared_ptr<const ReferenceOrbit> view(&orbit, [](const ReferenceOrbit*) {});
    double before = 2;
    for (long long cap = orbit.view().iterations; cap < kAutoIterationsCeiling;) {
        DeepComputer computer(view);
        computer.computeGrid(offsets.data(), side, offsets.data(), side, grid.data());
        const double share = cappedBoundaryShare(grid.data(), side, side, cap);
        // Enough, or raising no longer frees the edges: they are the set's.
        if (share <= kCappedShare || share > 0.8 * before)
            break;
        before = share;
        cap = std::min(cap * 4, kAutoIterationsCeiling);
        if (Status ok = orbit.extend(cap, control); !ok)
            return ok;
    }
    return {};
}

Result<std::shared_ptr<ReferenceOrbit>> orbitWithAutoIterations(const DeepCentre& view, const WorkControl& control)
{
    auto computed = ReferenceOrbit::compute(view, control);
    if (!computed)
        return computed.failure();
    std::shared_ptr<ReferenceOrbit> orbit(std::move(computed.value()));
    if (Status ok = raiseIterations(*orbit, control); !ok)
        return ok.failure();
    return orbit;
}

} // namespace mandel
