#pragma once

#include "BlaTable.h"
#include "PointResult.h"
#include "ReferenceOrbit.h"

#include <atomic>
#include <mutex>
#include <memory>
#include <optional>
#include <vector>

namespace mandel {

class ThreadPool;

// How a deep computer runs.
struct DeepComputerOptions {
    int threads = 0;            // threads of a pool of its own; 0: the process-wide pool
    long long iterations = 0;   // the cap N, at most the orbit's; 0: the orbit's
    // The shortcuts, each of which can be left out to compare: the
    // approximation tables, the watch on rebased values that ends orbits
    // settled inside small copies of the set, and the watch that ends
    // pixels whose own orbit is found on an attracting cycle. With none,
    // every step is taken one by one.
    bool tables = true;
    bool settle = true;
    bool findInterior = true;
    // Deltas below the double range held as doubles times a power of two
    // where the view is deep (BlaTable::deltaScaleFor), or all in the
    // wide-exponent float, the slower reference beside them.
    bool scaledDeltas = true;
    // Grids in vector lanes (true) or by the scalar loop (false): the same
    // results, bit for bit, but which is faster depends on the view (lanes
    // win where plain steps dominate, lose where table runs come every few
    // steps). None: the first columns the computer draws (pairs of
    // neighbours spread across its first grid) are shared out between the
    // two in turn and timed on their threads, and the faster draws the rest.
    std::optional<bool> vector = std::nullopt;
    // With threads 0, a pool to compute on, which outlives the computer
    // (null: the process-wide pool).
    ThreadPool* pool = nullptr;
    // Pixels of a view of the orbit's centre at this zoom K (spacing
    // 1 / (150 * 10^K)) rather than the orbit's own: one orbit serves every
    // zoom of a dive into its centre, up to its own (its precision, and
    // where it ends, are chosen for that). None: the orbit's view's.
    std::optional<double> zoom = std::nullopt;
};

// What the shortcuts of a deep computer did, summed over every point it
// computed: steps the approximation tables saved (those their entries
// took, less one per entry), the table levels used (bit k: an entry of 2^k
// steps), steps skipped because the values the orbit was rebased at settled
// on a cycle inside a small copy of the set, and steps skipped, or run in
// plain doubles, because the pixel's own orbit was found on an attracting
// cycle.
struct DeepShortcuts {
    long long tableSteps = 0;
    unsigned long long tableLevels = 0;
    long long settledSteps = 0;
    long long interiorSteps = 0;
};

// Iteration results of deep-view pixels by perturbation: each pixel's
// difference from the reference orbit in doubles (below 2^-400 in scaled
// doubles or a wider-ranged float), rebased to the orbit's start whenever the
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
    // (dx[c], dy[r]) from the centre: c = (a + dx h, b - dy h). With `zr`,
    // zr[c * rows + r] gets the real part of the last z of each pixel that
    // escapes (the loop's z_(n-1), whose imaginary part is the result's
    // zi), for smooth colouring to go on from.
    void computeGrid(const double* dx, int columns, const double* dy, int rows, PointResult* out,
                     double* zr = nullptr);

    // The result of one point, on the calling thread.
    PointResult computePoint(double dx, double dy);

    // Bytes an orbit of `iterations` values and the tables prepare() makes
    // for it take, at zoom K (none: the most any zoom takes).
    static std::size_t bytesFor(long long iterations, std::optional<double> zoom = std::nullopt) noexcept;
    // Bytes its orbit and tables hold.
    std::size_t bytes() const noexcept;

    const ReferenceOrbit& orbit() const noexcept { return *orbit_; }
    // The cap N results are computed with.
    long long iterations() const noexcept { return cap_; }
    // The pixel spacing of the pixels it draws (the orbit's, or the zoom's
    // of its options).
    const FloatExp& spacing() const noexcept { return spacing_; }
    // Whether its grids run in vector lanes: as asked, or as timing chose;
    // none while it is timing the two.
    std::optional<bool> lanes() const noexcept
    {
        const int loop = loop_.load();
        return loop < 0 ? std::nullopt : std::optional<bool>(loop == 1);
    }
    // The approximation tables its grids use (none before the first grid
    // or prepare()); a later grid that reaches farther may replace them.
    const BlaTable* tables() const noexcept { return table_ ? &*table_ : nullptr; }
    // What the shortcuts did since the computer was made.
    DeepShortcuts shortcuts() const noexcept;
    int threads() const noexcept;
    // The pool it computes on.
    ThreadPool* pool() const noexcept { return pool_; }

    struct Kernel;

private:
    void ensureTable(double reach);
    Kernel kernel() const;
    std::optional<int> deltaScale() const noexcept;

    void add(const DeepShortcuts& done);
    // The order a grid's columns are drawn in.
    std::vector<int> columnOrder(int columns) const;
    // Whether the column claimed k-th by this computer runs in lanes, and
    // the timing of a column run to choose between the two.
    bool lanesFor(long long k) const noexcept;
    void timed(long long k, bool lanes, double nsPerPixel);

    std::shared_ptr<const ReferenceOrbit> orbit_;
    std::optional<BlaTable> table_;
    long long cap_ = 0;
    FloatExp spacing_;
    DeepComputerOptions shortcuts_;
    std::atomic<long long> tableSteps_{0}, settledSteps_{0}, interiorSteps_{0};
    std::atomic<unsigned long long> tableLevels_{0};
    // -1 while the two loops are being timed, then 0 (scalar) or 1 (lanes).
    std::atomic<int> loop_{-1};
    std::atomic<long long> claimed_{0};
    std::mutex timingMutex_;
    double nsPerPixel_[2] = {0, 0};
    int timedColumns_ = 0;
    std::unique_ptr<ThreadPool> own_;
    ThreadPool* pool_ = nullptr;
};

} // namespace mandel
