#pragma once

#include "FieldComputer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mandel {

class ThreadPool;
struct EscapeScratch;
struct SegmentRange;

// How a fast computer runs; the defaults are what the programs use.
struct FastComputerOptions {
    // 0: the process-wide pool (ThreadPool::shared(), every hardware
    // thread); otherwise a pool of its own with this many threads.
    int threads = 0;
    std::int64_t target = 0;  // one Highway target (HWY_AVX3, ...); 0: the best this CPU runs
    // A pool of its own whose workers each keep to one core (benchmarks on
    // an idle machine; a desktop program leaves placement to the system).
    bool pinThreads = false;
};

// The iteration on SIMD lanes of every core: the view's points are cut into
// segments that a pool of threads, started once, shares out. Results equal
// the reference's bit for bit.
class FastComputer final : public FieldComputer {
public:
    // Starts the pool; throws std::invalid_argument for a target this
    // build or CPU cannot run.
    explicit FastComputer(const FastComputerOptions& options = {});
    ~FastComputer() override;
    FastComputer(const FastComputer&) = delete;
    FastComputer& operator=(const FastComputer&) = delete;

    void computeGrid(const double* cx, int columns, const double* cy, int rows, PointResult* out) override;
    int preferredColumns() const override;
    ThreadPool* pool() noexcept override { return pool_; }

    // Threads one computation runs on.
    int threads() const noexcept;
    // The Highway target the kernel runs on.
    std::int64_t target() const noexcept { return resolved_; }
    // Its name, for reports ("AVX3", "AVX2", "SSE4", "SCALAR").
    std::string targetName() const;

    // Every target this build and CPU can run, best first.
    static std::vector<std::int64_t> availableTargets();
    // The name of any target.
    static std::string nameOf(std::int64_t target);

private:
    std::int64_t forced_;    // 0 or the one target asked for
    std::int64_t resolved_;  // the target that runs
    std::unique_ptr<ThreadPool> ownPool_;  // unless it runs on the shared one
    ThreadPool* pool_;
    std::vector<std::unique_ptr<EscapeScratch>> scratch_;  // one per thread
    std::vector<double> cy_;  // the rows of a call, zero-padded for the kernel
    std::vector<SegmentRange> ranges_;  // one per thread
};

// The fastest computation this machine offers; its results equal the
// reference's for every point.
std::unique_ptr<FieldComputer> makeFastComputer(const FastComputerOptions& options = {});

} // namespace mandel
