#include "FastComputer.h"

#include "EscapeKernel.h"
#include "SegmentSchedule.h"
#include "ThreadPool.h"

#include <hwy/targets.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

namespace mandel {

namespace {

// Columns per call: enough that waking the pool is a small part of a call,
// few enough that a slow picture still grows visibly across the window.
constexpr int kColumnsPerCall = 40;

// The fastest form found per target and pool size, kept for the run.
std::mutex gFastestMutex;
std::map<std::pair<std::int64_t, int>, int> gFastest;

} // namespace

FastComputer::FastComputer(const FastComputerOptions& options)
    : kernels_(&escapeKernels()), findInterior_(options.findInterior), cap_(options.iterations)
{
    if (cap_ < 1)
        throw std::invalid_argument("FastComputer: a cap of " + std::to_string(cap_));
    if (options.variant < -1 || options.variant >= kernels_->count)
        throw std::invalid_argument("FastComputer: no kernel form " + std::to_string(options.variant) + " for " +
                                    targetName());
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
    variant_ = options.variant >= 0 ? options.variant : fastestVariant();
    for (const auto& s : scratch_)
        s->interior = 0;  // the measuring does not count
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

std::int64_t FastComputer::target() const noexcept
{
    return kernels_->target;
}

std::string FastComputer::targetName() const
{
    return hwy::TargetName(kernels_->target);
}

std::string FastComputer::variantName() const
{
    return kernels_->variants[variant_].name;
}

long long FastComputer::interiorFound() const noexcept
{
    long long found = 0;
    for (const auto& s : scratch_)
        found += s->interior;
    return found;
}

int FastComputer::variantCount()
{
    return escapeKernels().count;
}

// Times every form on this pool over a fixed mix of points, from the edge
// of the set (long runs) and the full view (short ones), a few rounds in
// turn; fastestForm picks from the times. A few ms.
int FastComputer::fastestVariant()
{
    if (kernels_->count == 1)
        return 0;
    const std::scoped_lock lock(gFastestMutex);
    const auto key = std::make_pair(kernels_->target, pool_->size());
    if (const auto known = gFastest.find(key); known != gFastest.end())
        return known->second;

    constexpr int kColumns = 16, kRows = 160, kRounds = 3;
    std::vector<double> edgeX(kColumns), fullX(kColumns), edgeY(kRows), fullY(kRows);
    for (int i = 0; i < kColumns; ++i) {
        edgeX[static_cast<std::size_t>(i)] = -0.78 + 0.04 * i / kColumns;
        fullX[static_cast<std::size_t>(i)] = -2.0 + 4.0 * (i + 0.5) / kColumns;
    }
    for (int r = 0; r < kRows; ++r) {
        edgeY[static_cast<std::size_t>(r)] = -0.02 + 0.04 * r / kRows;
        fullY[static_cast<std::size_t>(r)] = 2.0 - 4.0 * r / kRows;
    }
    std::vector<PointResult> out(static_cast<std::size_t>(kColumns) * kRows);
    std::vector<std::vector<double>> seconds(static_cast<std::size_t>(kernels_->count));
    for (int round = 0; round < kRounds; ++round) {
        for (int v = 0; v < kernels_->count; ++v) {
            variant_ = v;
            const auto start = std::chrono::steady_clock::now();
            computeGrid(edgeX.data(), kColumns, edgeY.data(), kRows, out.data());
            computeGrid(fullX.data(), kColumns, fullY.data(), kRows, out.data());
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            seconds[static_cast<std::size_t>(v)].push_back(took.count());
        }
    }
    const int fastest = fastestForm(seconds);
    gFastest.emplace(key, fastest);
    return fastest;
}

int fastestForm(const std::vector<std::vector<double>>& seconds)
{
    int fastest = 0;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t form = 0; form < seconds.size(); ++form) {
        const auto& rounds = seconds[form];
        const double quickest = rounds.empty() ? best : *std::min_element(rounds.begin(), rounds.end());
        if (quickest < best) {
            best = quickest;
            fastest = static_cast<int>(form);
        }
    }
    return fastest;
}

void FastComputer::computeGrid(const double* cx, int columns, const double* cy, int rows, PointResult* out)
{
    compute(cx, columns, cy, rows, out, nullptr);
}

void FastComputer::computeGridWithZr(const double* cx, int columns, const double* cy, int rows, PointResult* out,
                                     double* zr)
{
    compute(cx, columns, cy, rows, out, zr);
}

void FastComputer::compute(const double* cx, int columns, const double* cy, int rows, PointResult* out, double* zr)
{
    if (columns <= 0 || rows <= 0)
        return;
    if (cap_ < kMinKernelCap) {
        // Too few steps for the kernel's blocks: point by point.
        if (zr) {
            FieldComputer::computeGridWithZr(cx, columns, cy, rows, out, zr);
            return;
        }
        for (int c = 0; c < columns; ++c)
            for (int r = 0; r < rows; ++r)
                *out++ = iteratePoint(cx[c], cy[r], cap_);
        return;
    }
    EscapeTask task = taskFor(cy, rows, zr);
    task.cx = cx;
    task.out = out;
    task.ranges = ranges_.data();
    shareSegments(ranges_.data(), task.threads, columns, rows);
    const EscapeVariant& form = kernels_->variants[variant_];
    const auto run = zr ? form.runWithZr : form.run;
    auto job = [&](int i) { run(task, *scratch_[static_cast<std::size_t>(i)]); };
    pool_->run(job);
}

EscapeTask FastComputer::taskFor(const double* cy, int rows, double* zr)
{
    // The kernel reads whole vectors past the last row: a padded copy.
    const auto padded = static_cast<std::size_t>(rows) + kRowPadding;
    if (cy_.size() < padded)
        cy_.resize(padded);
    std::copy(cy, cy + rows, cy_.begin());
    std::fill(cy_.begin() + rows, cy_.begin() + static_cast<std::ptrdiff_t>(padded), 0.0);

    EscapeTask task;
    task.cy = cy_.data();
    task.rows = rows;
    task.zr = zr;
    task.threads = pool_->size();
    task.findInterior = findInterior_;
    task.capZUnread = !capZNeeded_;
    setCap(task, cap_);
    return task;
}

void FastComputer::computePieces(const double* cx, int columns, const double* cy, int rows, int pieceColumns,
                                 const PieceUse& use)
{
    if (columns <= 0 || rows <= 0 || pieceColumns <= 0)
        return;
    if (cap_ < kMinKernelCap) {
        FieldComputer::computePieces(cx, columns, cy, rows, pieceColumns, use);
        return;
    }
    const EscapeTask shared = taskFor(cy, rows, nullptr);
    const int threads = shared.threads;
    const auto perThread = static_cast<std::size_t>(threads);
    if (soloRanges_.size() != perThread * perThread)
        soloRanges_ = std::vector<SegmentRange>(perThread * perThread);
    pieces_.resize(perThread);
    const std::size_t pieceSize = static_cast<std::size_t>(std::min(pieceColumns, columns)) * static_cast<std::size_t>(rows);
    for (auto& p : pieces_)
        if (p.size() < pieceSize)
            p.resize(pieceSize);
    const auto run = kernels_->variants[variant_].run;
    // Each thread owns a stretch of pieces and takes from its front, then
    // from the back of the others' when it runs out: the slow pieces near
    // the set still spread over every thread, and a thread draws much the
    // same stretch of the picture each time, whose lines are still in its
    // own cache (a line last written by another core must come over from
    // it first).
    const int count = static_cast<int>((static_cast<long long>(columns) + pieceColumns - 1) / pieceColumns);
    if (pieceRanges_.size() != perThread)
        pieceRanges_ = std::vector<SegmentRange>(perThread);
    shareSegments(pieceRanges_.data(), threads, count, 1);
    auto job = [&](int i) {
        const auto self = static_cast<std::size_t>(i);
        SegmentRange* ranges = soloRanges_.data() + self * perThread;
        for (std::size_t k = 0; k < perThread; ++k)
            ranges[k].set(0, 0);
        EscapeTask task = shared;
        task.ranges = ranges;
        task.out = pieces_[self].data();
        for (int piece = nextSegment(pieceRanges_.data(), threads, i); piece >= 0;
             piece = nextSegment(pieceRanges_.data(), threads, i)) {
            const int first = piece * pieceColumns;
            const int width = std::min(pieceColumns, columns - first);
            task.cx = cx + first;
            ranges[self].set(0, static_cast<std::uint32_t>(width * segmentsPerColumn(rows)));
            run(task, *scratch_[self]);
            use(first, width, task.out);
        }
    };
    pool_->run(job);
}

std::unique_ptr<FieldComputer> makeFastComputer(const FastComputerOptions& options)
{
    return std::make_unique<FastComputer>(options);
}

} // namespace mandel
