#pragma once

#include "FieldComputer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mandel {

class ThreadPool;
struct EscapeKernels;
struct EscapeScratch;
struct EscapeTask;
struct SegmentRange;

// How a fast computer runs; the defaults are what the programs use.
struct FastComputerOptions {
    // 0: the process-wide pool (ThreadPool::shared(), every hardware
    // thread); otherwise a pool of its own with this many threads.
    int threads = 0;
    // A pool of its own whose workers each keep to one core (benchmarks on
    // an idle machine; a desktop program leaves placement to the system).
    bool pinThreads = false;
    // Which compiled form of the kernel runs (0..variantCount()-1); -1: the
    // one measured fastest on these threads, once per run (a few ms; see
    // fastestForm).
    int variant = -1;
    // Whether points whose orbit repeats exactly end early, with the same
    // results; off, every point runs to its end (to compare the two).
    bool findInterior = true;
    // The cap n stops at: 200 for legacy views, any cap of a free view
    // drawn in doubles (the loop of iteratePoint with that cap).
    std::int32_t iterations = kMaxIterations;
};

// The iteration on SIMD lanes of every core: the view's points are cut into
// segments that a pool of threads shares out. Results equal the
// reference's bit for bit. The Highway target is the one dispatch chooses
// when the computer is made: the best this CPU runs, unless a test or
// benchmark picked another with hwy::SetSupportedTargetsForTest.
class FastComputer final : public FieldComputer {
public:
    // Starts or joins the pool; throws std::invalid_argument for a variant
    // that is not compiled for the target.
    explicit FastComputer(const FastComputerOptions& options = {});
    ~FastComputer() override;
    FastComputer(const FastComputer&) = delete;
    FastComputer& operator=(const FastComputer&) = delete;

    // One call at a time per computer.
    void computeGrid(const double* cx, int columns, const double* cy, int rows, PointResult* out) override;
    void computeGridWithZr(const double* cx, int columns, const double* cy, int rows, PointResult* out,
                           double* zr) override;
    // Each thread takes the next piece, computes it on its own lanes into a
    // buffer of its own and uses it: one pool job for the whole grid.
    void computePieces(const double* cx, int columns, const double* cy, int rows, int pieceColumns,
                       const PieceUse& use) override;
    std::int32_t cap() const noexcept override { return cap_; }
    void setCapZNeeded(bool needed) override { capZNeeded_ = needed; }
    int preferredColumns() const override;
    ThreadPool* pool() noexcept override { return pool_; }

    // Threads one computation runs on.
    int threads() const noexcept;
    // The Highway target the kernel runs on, and its name ("AVX3", "AVX2",
    // "SSE4", "SCALAR").
    std::int64_t target() const noexcept;
    std::string targetName() const;
    // The form of the kernel that runs, and its name (vectors in flight).
    int variant() const noexcept { return variant_; }
    std::string variantName() const;

    // The cap n stops at.
    std::int32_t iterations() const noexcept { return cap_; }

    // Points ended early by the cycle check since the computer was made.
    long long interiorFound() const noexcept;

    // How many forms the kernel has for the target dispatch chooses now.
    static int variantCount();

private:
    int fastestVariant();
    void compute(const double* cx, int columns, const double* cy, int rows, PointResult* out, double* zr);
    // The task of a call, without its columns and results; cy_ padded.
    EscapeTask taskFor(const double* cy, int rows, double* zr);

    const EscapeKernels* kernels_;
    int variant_ = 0;
    bool findInterior_ = true;
    bool capZNeeded_ = true;
    std::int32_t cap_ = kMaxIterations;
    std::unique_ptr<ThreadPool> ownPool_;  // unless it runs on the shared one
    ThreadPool* pool_;
    std::vector<std::unique_ptr<EscapeScratch>> scratch_;  // one per thread
    std::vector<double> cy_;  // the rows of a call, zero-padded for the kernel
    std::vector<SegmentRange> ranges_;  // one per thread
    // computePieces: per thread, ranges of which only its own holds
    // segments, so the kernel's helpers find nothing of another's piece;
    // and the results of its piece.
    std::vector<SegmentRange> soloRanges_;
    std::vector<SegmentRange> pieceRanges_;  // computePieces: one per thread
    std::vector<std::vector<PointResult>> pieces_;
};

// The form of the kernel a calibration picks from the seconds each form took
// in each of its rounds (seconds[form][round]): the one whose best round is
// quickest, so that a round slowed by other work on the machine does not
// count against a form; the first of equals.
int fastestForm(const std::vector<std::vector<double>>& seconds);

// The fastest computation this machine offers; its results equal the
// reference's for every point.
std::unique_ptr<FieldComputer> makeFastComputer(const FastComputerOptions& options = {});

} // namespace mandel
