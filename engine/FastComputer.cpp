#include "FastComputer.h"

#include "EscapeKernel.h"
#include "ThreadPool.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <thread>

namespace mandel {

namespace {

// Columns per call: enough that waking the pool is a small part of a call,
// few enough that a slow picture still grows visibly across the window.
constexpr int kColumnsPerCall = 40;

} // namespace

FastComputer::FastComputer(const FastComputerOptions& options)
    : forced_(options.target), resolved_(options.target)
{
    if (forced_ != 0) {
        const auto targets = availableTargets();
        if (std::find(targets.begin(), targets.end(), forced_) == targets.end())
            throw std::invalid_argument("FastComputer: target " + nameOf(forced_) + " is not available here");
    } else {
        resolved_ = bestEscapeTarget();
    }
    if (options.threads > 0 || options.pinThreads) {
        const int threads = options.threads > 0 ? options.threads
                                                : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        ownPool_ = std::make_unique<ThreadPool>(threads, options.pinThreads);
        pool_ = ownPool_.get();
    } else {
        pool_ = &ThreadPool::shared();
    }
    for (int i = 0; i < pool_->size(); ++i)
        scratch_.push_back(std::make_unique<EscapeScratch>(i));
    ranges_ = std::vector<SegmentRange>(static_cast<std::size_t>(pool_->size()));
}

FastComputer::~FastComputer() = default;

int FastComputer::preferredColumns() const
{
    return kColumnsPerCall;
}

int FastComputer::threads() const noexcept
{
    return pool_->size();
}

std::string FastComputer::targetName() const
{
    return nameOf(resolved_);
}

std::vector<std::int64_t> FastComputer::availableTargets()
{
    return escapeTargets();
}

std::string FastComputer::nameOf(std::int64_t target)
{
    return escapeTargetName(target);
}

void FastComputer::computeGrid(const double* cx, int columns, const double* cy, int rows, PointResult* out)
{
    if (columns <= 0 || rows <= 0)
        return;
    // The kernel reads whole vectors past the last row: a padded copy.
    const auto padded = static_cast<std::size_t>(rows) + kRowPadding;
    if (cy_.size() < padded)
        cy_.resize(padded);
    std::copy(cy, cy + rows, cy_.begin());
    std::fill(cy_.begin() + rows, cy_.begin() + static_cast<std::ptrdiff_t>(padded), 0.0);

    EscapeTask task;
    task.cx = cx;
    task.cy = cy_.data();
    task.rows = rows;
    task.out = out;
    // Each thread's share is a stretch of whole segments in drawing order.
    const int threads = pool_->size();
    const int perColumn = (task.rows + kSegmentRows - 1) / kSegmentRows;
    const auto segments = static_cast<std::uint64_t>(columns) * static_cast<std::uint64_t>(perColumn);
    for (int i = 0; i < threads; ++i) {
        const auto from = static_cast<std::uint32_t>(segments * static_cast<std::uint64_t>(i) / static_cast<std::uint64_t>(threads));
        const auto to = static_cast<std::uint32_t>(segments * static_cast<std::uint64_t>(i + 1) / static_cast<std::uint64_t>(threads));
        ranges_[static_cast<std::size_t>(i)].set(from, to);
    }
    task.ranges = ranges_.data();
    task.threads = threads;
    auto job = [&](int i) { runEscapeKernel(forced_, task, *scratch_[static_cast<std::size_t>(i)]); };
    pool_->run(job);
}

std::unique_ptr<FieldComputer> makeFastComputer(const FastComputerOptions& options)
{
    return std::make_unique<FastComputer>(options);
}

} // namespace mandel
