#include "DeepComputer.h"

#include "DeepLanes.h"
#include "DeepView.h"
#include "PixelOrbit.h"
#include "ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ctime>
#include <cstdint>
#include <optional>
#include <thread>

namespace mandel {

namespace {

// The lowest table level kept for an orbit of `length` values: every level
// while the tables stay modest; for very long orbits the lowest ones go
// (those steps are then taken one by one).
int lowestLevelFor(long long length)
{
    constexpr std::size_t kComfortable = std::size_t{512} << 20;
    int minLevel = 0;
    while (minLevel < 8 && BlaTable::bytesFor(length, minLevel) > kComfortable)
        ++minLevel;
    return minLevel;
}

} // namespace

using deep::iterate;
using deep::Kernel;

DeepComputer::DeepComputer(std::shared_ptr<const ReferenceOrbit> orbit, const DeepComputerOptions& options)
    : orbit_(std::move(orbit)), shortcuts_(options)
{
    const long long full = orbit_->view().iterations;
    cap_ = options.iterations > 0 ? std::min(options.iterations, full) : full;
    spacing_ = options.zoom ? pixelSpacing(*options.zoom) : orbit_->spacing();
    // The process-wide pool unless a number of threads is asked for.
    if (options.threads > 0)
        own_ = std::make_unique<ThreadPool>(options.threads);
    pool_ = own_ ? own_.get() : options.pool ? options.pool : &ThreadPool::shared();
    if (options.vector)
        loop_ = *options.vector ? 1 : 0;
}

DeepComputer::~DeepComputer() = default;

std::size_t DeepComputer::bytesFor(long long iterations, std::optional<double> zoom) noexcept
{
    const bool scaled = !zoom || BlaTable::deltaScaleFor(pixelSpacing(*zoom)).has_value();
    return ReferenceOrbit::bytesFor(iterations) + BlaTable::bytesFor(iterations, lowestLevelFor(iterations), scaled);
}

std::optional<int> DeepComputer::deltaScale() const noexcept
{
    return shortcuts_.scaledDeltas ? BlaTable::deltaScaleFor(spacing_) : std::nullopt;
}

std::size_t DeepComputer::bytes() const noexcept
{
    return orbit_->bytes() + (table_ ? table_->bytes() : 0);
}

int DeepComputer::threads() const noexcept
{
    return pool_->size();
}

Status DeepComputer::prepare(double maxOffset, std::size_t memoryLimit)
{
    if (table_ && table_->maxOffset() >= maxOffset)
        return {};
    // Without tables, an empty one: every step is taken one by one.
    const long long length = shortcuts_.tables ? std::min(orbit_->size(), cap_) : 0;
    Result<BlaTable> built = BlaTable::build(*orbit_, length, maxOffset, lowestLevelFor(length), memoryLimit,
                                                BlaTable::kEpsilon, spacing_, deltaScale());
    if (!built)
        return built.failure();
    table_ = std::move(built.value());
    return {};
}

void DeepComputer::ensureTable(double reach)
{
    if (table_ && table_->maxOffset() >= reach)
        return;
    // A window picture reaches 300 sqrt(2) pixels; one table serves all.
    if (prepare(std::max(reach, 300 * std::sqrt(2.0))))
        return;
    // No room for tables: every step is then taken one by one.
    table_ = std::move(BlaTable::build(*orbit_, 0, reach, 0, 0, BlaTable::kEpsilon, spacing_, deltaScale()).value());
}

Kernel DeepComputer::kernel() const
{
    const FloatExp h = spacing_;
    const double hd = h.e > -1000 ? h.toDouble() : 0.0;
    const std::optional<int> scale = deltaScale();
    return {orbit_.get(), orbit_->values(), std::min(orbit_->size(), cap_) - 1, cap_, &*table_, h, hd,
            scale.value_or(0), scale ? floatexp_detail::scale(h.m, h.e + *scale) : 0.0, scale.has_value(),
            shortcuts_.settle, shortcuts_.findInterior};
}

DeepShortcuts DeepComputer::shortcuts() const noexcept
{
    return {tableSteps_.load(), tableLevels_.load(), settledSteps_.load(), interiorSteps_.load()};
}

namespace {

// Columns timed, in turn, before the loop is chosen.
constexpr long long kTimedColumns = 16;

double threadNanoseconds() noexcept
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

} // namespace

bool DeepComputer::lanesFor(long long k) const noexcept
{
    const int loop = loop_.load(std::memory_order_relaxed);
    if (loop >= 0)
        return loop == 1;
    // While timing: the first columns alternate, neighbours taking turns
    // (alike in their work); any claimed before the choice is made, scalar.
    return k < kTimedColumns && k % 2 == 1;
}

std::vector<int> DeepComputer::columnOrder(int columns) const
{
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(columns));
    // While the choice is open, the columns timed come first: pairs of
    // neighbours (alike work, one drawn each way) spread evenly across the
    // picture, whose parts may favour either way; then the rest in turn.
    constexpr int kPairs = static_cast<int>(kTimedColumns / 2);
    std::vector<bool> taken(static_cast<std::size_t>(columns));
    if (loop_.load(std::memory_order_relaxed) < 0 && columns >= 4 * kPairs) {
        for (int p = 0; p < kPairs; ++p) {
            const int at = static_cast<int>((2LL * p + 1) * columns / (2 * kPairs));
            for (const int c : {at, at + 1}) {
                order.push_back(c);
                taken[static_cast<std::size_t>(c)] = true;
            }
        }
    }
    for (int c = 0; c < columns; ++c) {
        if (!taken[static_cast<std::size_t>(c)])
            order.push_back(c);
    }
    return order;
}

void DeepComputer::timed(long long k, bool lanes, double nsPerPixel)
{
    if (k >= kTimedColumns)
        return;
    const std::scoped_lock lock(timingMutex_);
    nsPerPixel_[lanes ? 1 : 0] += nsPerPixel;
    if (++timedColumns_ == kTimedColumns)
        loop_ = nsPerPixel_[1] < nsPerPixel_[0] ? 1 : 0;
}

void DeepComputer::add(const DeepShortcuts& done)
{
    tableSteps_ += done.tableSteps;
    tableLevels_ |= done.tableLevels;
    settledSteps_ += done.settledSteps;
    interiorSteps_ += done.interiorSteps;
}

PointResult DeepComputer::computePoint(double dx, double dy)
{
    const double reach = std::max(std::fabs(dx), std::fabs(dy)) * std::sqrt(2.0);
    ensureTable(reach);
    DeepShortcuts done;
    const PointResult result = iterate(kernel(), dx, dy, done);
    add(done);
    return result;
}

void DeepComputer::computeGrid(const double* dx, int columns, const double* dy, int rows, PointResult* out, double* zr)
{
    if (columns <= 0 || rows <= 0)
        return;
    double reach = 0;
    double mx = 0;
    double my = 0;
    for (int c = 0; c < columns; ++c)
        mx = std::max(mx, std::fabs(dx[c]));
    for (int r = 0; r < rows; ++r)
        my = std::max(my, std::fabs(dy[r]));
    reach = std::hypot(mx, my);
    ensureTable(reach);
    const Kernel k = kernel();
    const std::vector<int> order = columnOrder(columns);
    std::atomic<int> next{0};
    auto job = [&](int) {
        DeepShortcuts done;
        for (int n = next.fetch_add(1, std::memory_order_relaxed); n < columns;
             n = next.fetch_add(1, std::memory_order_relaxed)) {
            const int c = order[static_cast<std::size_t>(n)];
            PointResult* column = out + static_cast<std::size_t>(c) * static_cast<std::size_t>(rows);
            double* columnZr = zr ? zr + (column - out) : nullptr;
            const long long claimed = loop_.load(std::memory_order_relaxed) < 0 ? claimed_.fetch_add(1) : kTimedColumns;
            const bool lanes = lanesFor(claimed);
            const double start = claimed < kTimedColumns ? threadNanoseconds() : 0;
            if (lanes) {
                deep::iterateColumn(k, dx[c], dy, rows, column, done, columnZr);
            } else {
                for (int r = 0; r < rows; ++r)
                    column[r] = iterate(k, dx[c], dy[r], done, columnZr ? columnZr + r : nullptr);
            }
            if (claimed < kTimedColumns)
                timed(claimed, lanes, (threadNanoseconds() - start) / rows);
        }
        add(done);
    };
    pool_->run(job);
}

} // namespace mandel
