#pragma once

#include "BlaTable.h"
#include "PointResult.h"
#include "ReferenceOrbit.h"

#include <memory>
#include <optional>

namespace mandel {

class ThreadPool;

// How a deep computer runs.
struct DeepComputerOptions {
    int threads = 0;            // threads of a pool of its own; 0: the process-wide pool
    long long iterations = 0;   // the cap N, at most the orbit's; 0: the orbit's
};

// Iteration results of deep-view pixels by perturbation: each pixel's
// difference from the reference orbit in doubles (in a wider-ranged float
// while it is below 2^-400), rebased to the orbit's start whenever the
// pixel comes closer to 0 than to the reference, with long runs of steps
// skipped by bilinear approximation. Results are those of the legacy loop
// with cap N applied to c exactly, as BruteForceDeep computes them.
class DeepComputer {
public:
    // Computes with `orbit`, whose view fixes centre, zoom and cap.
    explicit DeepComputer(std::shared_ptr<const ReferenceOrbit> orbit, const DeepComputerOptions& options = {});
    ~DeepComputer();
    DeepComputer(const DeepComputer&) = delete;
    DeepComputer& operator=(const DeepComputer&) = delete;

    // Builds the approximation tables for pixels up to `maxOffset` pixels
    // from the centre (computeGrid does it when it needs to). Fails when
    // they would not fit in `memoryLimit` bytes (0: any).
    Status prepare(double maxOffset, std::size_t memoryLimit = 0);

    // Fills out[c * rows + r] with the result of the point at pixel offset
    // (dx[c], dy[r]) from the centre: c = (a + dx h, b - dy h).
    void computeGrid(const double* dx, int columns, const double* dy, int rows, PointResult* out);

    // The result of one point, on the calling thread.
    PointResult computePoint(double dx, double dy);

    // Bytes an orbit of `iterations` values and the tables prepare() makes
    // for it take.
    static std::size_t bytesFor(long long iterations) noexcept;

    const ReferenceOrbit& orbit() const noexcept { return *orbit_; }
    // The cap N results are computed with.
    long long iterations() const noexcept { return cap_; }
    int threads() const noexcept;
    // The pool it computes on.
    ThreadPool* pool() const noexcept { return pool_; }

    struct Kernel;

private:
    void ensureTable(double reach);
    Kernel kernel() const;

    std::shared_ptr<const ReferenceOrbit> orbit_;
    std::optional<BlaTable> table_;
    long long cap_ = 0;
    std::unique_ptr<ThreadPool> own_;
    ThreadPool* pool_ = nullptr;
};

} // namespace mandel
