#include "FastComputer.h"

#include "EscapeKernel.h"
#include "ExplorerState.h"
#include "ThreadPool.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <stdexcept>
#include <thread>

namespace mandel {

namespace {

// Columns per call: enough that waking the pool is a small part of a call,
// few enough that a slow picture still grows visibly across the window.
constexpr int kColumnsPerCall = 40;

int threadCount(int asked)
{
    if (asked > 0)
        return asked;
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? static_cast<int>(hardware) : 1;
}

bool sameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

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
    pool_ = std::make_unique<ThreadPool>(threadCount(options.threads));
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

void FastComputer::updateRows(const ExplorerState& s)
{
    if (s.hei == rowsHei_ && sameBits(s.dj, rowsDj_) && sameBits(s.zoomy1, rowsZoomy1_) &&
        sameBits(s.zoomy2, rowsZoomy2_))
        return;
    const auto rows = static_cast<std::size_t>(s.hei + 1);
    // Grows only: a buffer kept between pictures.
    if (cy_.size() < rows + kRowPadding)
        cy_.resize(rows + kRowPadding);
    for (int y = 0; y <= s.hei; ++y)
        cy_[static_cast<std::size_t>(y)] = planeY(s, y);
    std::fill(cy_.begin() + static_cast<std::ptrdiff_t>(rows), cy_.end(), 0.0);
    rowsHei_ = s.hei;
    rowsDj_ = s.dj;
    rowsZoomy1_ = s.zoomy1;
    rowsZoomy2_ = s.zoomy2;
}

void FastComputer::computeColumns(const ExplorerState& s, int x0, int x1, PointResult* out)
{
    if (x1 <= x0 || s.hei < 0)
        return;
    updateRows(s);
    const auto columns = static_cast<std::size_t>(x1 - x0);
    if (cx_.size() < columns)
        cx_.resize(columns);
    for (int x = x0; x < x1; ++x)
        cx_[static_cast<std::size_t>(x - x0)] = planeX(s, x);

    EscapeTask task;
    task.cx = cx_.data();
    task.cy = cy_.data();
    task.columns = x1 - x0;
    task.rows = s.hei + 1;
    task.out = out;
    // Each thread's share is a stretch of whole segments in drawing order.
    const int threads = pool_->size();
    const int perColumn = (task.rows + kSegmentRows - 1) / kSegmentRows;
    const auto segments = static_cast<std::uint64_t>(task.columns) * static_cast<std::uint64_t>(perColumn);
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
