#include "AutoIterations.h"

#include "DeepComputer.h"
#include "DeepView.h"

#include <algorithm>
#include <vector>

namespace mandel {

namespace {

// A column-major grid's counts as the loop with `cap` gives them.
class CappedGrid {
public:
    CappedGrid(const PointResult* grid, int columns, int rows, long long cap)
        : grid_(grid), columns_(columns), rows_(rows), cap_(cap)
    {
    }

    long long at(int c, int r) const
    {
        const std::size_t i = static_cast<std::size_t>(c) * static_cast<std::size_t>(rows_) + static_cast<std::size_t>(r);
        return std::min<long long>(grid_[i].n, cap_);
    }

    bool capped(int c, int r) const { return at(c, r) == cap_; }

    // Whether a 4-neighbour has another count.
    bool onBoundary(int c, int r) const
    {
        const long long n = at(c, r);
        return (c > 0 && at(c - 1, r) != n) || (c + 1 < columns_ && at(c + 1, r) != n) ||
               (r > 0 && at(c, r - 1) != n) || (r + 1 < rows_ && at(c, r + 1) != n);
    }

private:
    const PointResult* grid_;
    int columns_, rows_;
    long long cap_;
};

std::vector<PointResult> judgedGrid(const ReferenceOrbit& orbit, long long cap)
{
    const std::vector<double> offsets = judgedOffsets();
    const int side = static_cast<int>(offsets.size());
    std::vector<PointResult> grid(offsets.size() * offsets.size());
    // The computer only reads the orbit, which outlives it.
    const std::shared_ptr<const ReferenceOrbit> shared(&orbit, [](const ReferenceOrbit*) {});
    DeepComputerOptions options;
    options.iterations = cap;
    DeepComputer(shared, options).computeGrid(offsets.data(), side, offsets.data(), side, grid.data());
    return grid;
}

int judgedSide()
{
    return 2 * kDeepCentrePixel / kAutoStride + 1;
}

bool everyCapped(const PointResult* grid, std::size_t count, long long cap)
{
    return std::all_of(grid, grid + count, [cap](const PointResult& p) { return p.n >= cap; });
}

} // namespace

std::vector<double> judgedOffsets()
{
    std::vector<double> offsets;
    for (int x = 0; x <= 2 * kDeepCentrePixel; x += kAutoStride)
        offsets.push_back(x - kDeepCentrePixel);
    return offsets;
}

double cappedBoundaryShare(const PointResult* grid, int columns, int rows, long long cap)
{
    const auto count = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
    if (count > 0 && everyCapped(grid, count, cap))
        return 1;
    const CappedGrid g(grid, columns, rows, cap);
    long long boundary = 0;
    long long capped = 0;
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            if (g.onBoundary(c, r)) {
                ++boundary;
                capped += g.capped(c, r);
            }
    return boundary == 0 ? 0 : static_cast<double>(capped) / static_cast<double>(boundary);
}

double freedShare(const PointResult* low, const PointResult* high, int columns, int rows, long long cap,
                  long long higher)
{
    const CappedGrid before(low, columns, rows, cap);
    const CappedGrid after(high, columns, rows, higher);
    long long capped = 0;
    long long freed = 0;
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            if (before.capped(c, r) && before.onBoundary(c, r)) {
                ++capped;
                freed += !after.capped(c, r);
            }
    return capped == 0 ? 0 : static_cast<double>(freed) / static_cast<double>(capped);
}

bool raiseKept(const PointResult* low, const PointResult* high, int columns, int rows, long long cap,
               long long higher)
{
    const auto count = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
    if (everyCapped(low, count, cap))
        return !everyCapped(high, count, higher);
    return freedShare(low, high, columns, rows, cap, higher) >= kFreedShare;
}

Result<long long> chooseIterations(const JudgedGrid& gridAt, long long start)
{
    const int side = judgedSide();
    long long cap = std::min(start, kAutoIterationsCeiling);
    auto first = gridAt(cap);
    if (!first)
        return first.failure();
    std::vector<PointResult> low = std::move(first).value();
    while (cap < kAutoIterationsCeiling && cappedBoundaryShare(low.data(), side, side, cap) > kCappedShare) {
        // Where nothing shows yet, the raises go on while nothing does.
        const bool nothingShown = everyCapped(low.data(), low.size(), cap);
        long long higher = cap;
        std::vector<PointResult> high;
        bool kept = false;
        do {
            higher = std::min(higher * 4, kAutoIterationsCeiling);
            auto next = gridAt(higher);
            if (!next)
                return next.failure();
            high = std::move(next).value();
            kept = raiseKept(low.data(), high.data(), side, side, cap, higher);
        } while (!kept && nothingShown && higher < kAutoIterationsCeiling);
        if (!kept)
            break;
        cap = higher;
        low = std::move(high);
    }
    return cap;
}

Result<long long> chooseIterations(ReferenceOrbit& orbit, long long start, const WorkControl& control)
{
    return chooseIterations(
        [&](long long cap) -> Result<std::vector<PointResult>> {
            if (Status ok = orbit.extend(cap, control); !ok)
                return ok.failure();
            return judgedGrid(orbit, cap);
        },
        start);
}

Result<AutoOrbit> orbitWithAutoIterations(const DeepCentre& view, const WorkControl& control)
{
    auto computed = ReferenceOrbit::compute(view, control);
    if (!computed)
        return computed.failure();
    AutoOrbit chosen{std::shared_ptr<ReferenceOrbit>(std::move(computed.value())), view};
    auto cap = chooseIterations(*chosen.orbit, view.iterations, control);
    if (!cap)
        return cap.failure();
    chosen.view.iterations = *cap;
    return chosen;
}

} // namespace mandel
