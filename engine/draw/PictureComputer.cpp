#include "PictureComputer.h"

#include "AutoIterations.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "FieldComputer.h"
#include "Surface.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

namespace mandel {

void LegacyPixels::computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out)
{
    cx_.resize(static_cast<std::size_t>(columns));
    cy_.resize(static_cast<std::size_t>(rows));
    for (int c = 0; c < columns; ++c)
        cx_[static_cast<std::size_t>(c)] = (xs[c] + view_.di) / view_.zoomx1 - view_.zoomx2;
    for (int r = 0; r < rows; ++r)
        cy_[static_cast<std::size_t>(r)] = view_.zoomy2 - (ys[r] + view_.dj) / view_.zoomy1;
    computer_.computeGrid(cx_.data(), columns, cy_.data(), rows, out);
}

void LegacyPixels::computeCounts(const double* xs, int columns, const double* ys, int rows, PointResult* out)
{
    const CapZUnread unread(&computer_, true);
    computePixels(xs, columns, ys, rows, out);
}

ThreadPool* LegacyPixels::pool() noexcept
{
    return computer_.pool();
}

void DeepPixels::computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out)
{
    dx_.resize(static_cast<std::size_t>(columns));
    dy_.resize(static_cast<std::size_t>(rows));
    for (int c = 0; c < columns; ++c)
        dx_[static_cast<std::size_t>(c)] = xs[c] - kDeepCentrePixel;
    for (int r = 0; r < rows; ++r)
        dy_[static_cast<std::size_t>(r)] = ys[r] - kDeepCentrePixel;
    computer_.computeGrid(dx_.data(), columns, dy_.data(), rows, out);
}

ThreadPool* DeepPixels::pool() noexcept
{
    return computer_.pool();
}

namespace {

// The kernel's cap for a view's: the view's caps fit (kMaxDeepIterations).
std::int32_t kernelCap(long long iterations)
{
    return static_cast<std::int32_t>(iterations);
}

} // namespace

FreeViewPixels::FreeViewPixels(const DeepCentre& view, const DoublesFrame& frame, int threads)
    : view_(view), frame_(frame)
{
    FastComputerOptions options;
    options.threads = threads;
    options.iterations = kernelCap(view.iterations);
    fast_ = std::make_unique<FastComputer>(options);
}

FreeViewPixels::FreeViewPixels(std::shared_ptr<DeepComputer> deep) : deep_(std::move(deep))
{
    view_ = deep_->orbit().view();
    view_.iterations = deep_->iterations();
}

FreeViewPixels::FreeViewPixels(std::shared_ptr<DeepComputer> deep, const DeepCentre& view, PixelOffset offset)
    : view_(view), deep_(std::move(deep)), offset_(offset)
{
    view_.iterations = deep_->iterations();
}

FreeViewPixels::~FreeViewPixels() = default;

void FreeViewPixels::computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out)
{
    cx_.resize(static_cast<std::size_t>(columns));
    cy_.resize(static_cast<std::size_t>(rows));
    if (deep_) {
        for (int c = 0; c < columns; ++c)
            cx_[static_cast<std::size_t>(c)] = xs[c] - kDeepCentrePixel + offset_.dx;
        for (int r = 0; r < rows; ++r)
            cy_[static_cast<std::size_t>(r)] = ys[r] - kDeepCentrePixel + offset_.dy;
        deep_->computeGrid(cx_.data(), columns, cy_.data(), rows, out);
        return;
    }
    for (int c = 0; c < columns; ++c)
        cx_[static_cast<std::size_t>(c)] = frame_.re + (xs[c] - kDeepCentrePixel) * frame_.step;
    for (int r = 0; r < rows; ++r)
        cy_[static_cast<std::size_t>(r)] = frame_.im - (ys[r] - kDeepCentrePixel) * frame_.step;
    fast_->computeGrid(cx_.data(), columns, cy_.data(), rows, out);
}

void FreeViewPixels::computeCounts(const double* xs, int columns, const double* ys, int rows, PointResult* out)
{
    const CapZUnread unread(fast_.get(), true);  // none by perturbation
    computePixels(xs, columns, ys, rows, out);
}

FieldComputer* FreeViewPixels::doubles() const noexcept
{
    return fast_.get();
}

ThreadPool* FreeViewPixels::pool() noexcept
{
    return deep_ ? deep_->pool() : fast_->pool();
}

int FreeViewPixels::columnsPerRun() const noexcept
{
    return deep_ ? PictureComputer::columnsPerRun() : fast_->preferredColumns();
}

KeptCounts KeptCounts::shifted(int du, int dv) const
{
    KeptCounts next;
    next.size = size;
    next.exactZ = exactZ;
    const auto cells = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
    next.counts.resize(cells);
    next.known.assign(cells, 0);
    if (known.size() != cells)
        return next;
    for (int u = 0; u < size.width; ++u) {
        const int from = u - du;
        if (from < 0 || from >= size.width)
            continue;
        for (int v = 0; v < size.height; ++v) {
            const int fromRow = v - dv;
            if (fromRow < 0 || fromRow >= size.height)
                continue;
            const std::size_t at = static_cast<std::size_t>(u) * static_cast<std::size_t>(size.height) +
                                   static_cast<std::size_t>(v);
            const std::size_t was = static_cast<std::size_t>(from) * static_cast<std::size_t>(size.height) +
                                    static_cast<std::size_t>(fromRow);
            next.counts[at] = counts[was];
            next.known[at] = known[was];
        }
    }
    return next;
}

namespace {

// The inverse of PosterMapping: the poster pixel whose picture pixel is p.
int posterPixel(double p, int side, int shorter)
{
    const double k = static_cast<double>(kDrawableSize) / shorter;
    return static_cast<int>(std::lround((p - kDrawableSize / 2.0) / k + side / 2.0));
}

} // namespace

int KeptPixels::posterColumn(double x) const
{
    return posterPixel(x, kept_.size.width, std::min(kept_.size.width, kept_.size.height));
}

int KeptPixels::posterRow(double y) const
{
    return posterPixel(y, kept_.size.height, std::min(kept_.size.width, kept_.size.height));
}

void KeptPixels::computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out)
{
    compute(xs, columns, ys, rows, out, false);
}

void KeptPixels::computeCounts(const double* xs, int columns, const double* ys, int rows, PointResult* out)
{
    compute(xs, columns, ys, rows, out, true);
}

void KeptPixels::compute(const double* xs, int columns, const double* ys, int rows, PointResult* out, bool counts)
{
    const int w = kept_.size.width, h = kept_.size.height;
    const auto cells = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (kept_.counts.size() != cells || (!counts && !kept_.exactZ)) {
        kept_.counts.assign(cells, {});
        kept_.known.assign(cells, 0);
        kept_.exactZ = true;
    }
    if (counts)
        kept_.exactZ = false;
    us_.resize(static_cast<std::size_t>(columns));
    vs_.resize(static_cast<std::size_t>(rows));
    for (int c = 0; c < columns; ++c)
        us_[static_cast<std::size_t>(c)] = posterColumn(xs[c]);
    for (int r = 0; r < rows; ++r)
        vs_[static_cast<std::size_t>(r)] = posterRow(ys[r]);
    auto cell = [&](int c, int r) -> std::size_t {
        const int u = us_[static_cast<std::size_t>(c)], v = vs_[static_cast<std::size_t>(r)];
        if (u < 0 || u >= w || v < 0 || v >= h)
            return cells;  // off the poster: never kept
        return static_cast<std::size_t>(u) * static_cast<std::size_t>(h) + static_cast<std::size_t>(v);
    };
    auto known = [&](int c, int r) {
        const std::size_t at = cell(c, r);
        return at < cells && kept_.known[at] != 0;
    };
    // Columns with any count missing in these rows are computed whole, in
    // one call; what is still missing then lies in rows, computed whole too.
    std::vector<int> columnsMissing;
    for (int c = 0; c < columns; ++c) {
        int missing = 0;
        for (int r = 0; r < rows; ++r)
            missing += !known(c, r);
        if (missing == rows)
            columnsMissing.push_back(c);
    }
    auto keep = [&](int c, int r, const PointResult& p) {
        out[static_cast<std::size_t>(c) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(r)] = p;
        if (const std::size_t at = cell(c, r); at < cells) {
            kept_.counts[at] = p;
            kept_.known[at] = 1;
        }
    };
    if (!columnsMissing.empty()) {
        xs_.clear();
        for (const int c : columnsMissing)
            xs_.push_back(xs[c]);
        fresh_.resize(xs_.size() * static_cast<std::size_t>(rows));
        pixels_.computeFor(counts, xs_.data(), static_cast<int>(xs_.size()), ys, rows, fresh_.data());
        computed_ += static_cast<long long>(fresh_.size());
        for (std::size_t i = 0; i < columnsMissing.size(); ++i)
            for (int r = 0; r < rows; ++r)
                keep(columnsMissing[i], r, fresh_[i * static_cast<std::size_t>(rows) + static_cast<std::size_t>(r)]);
    }
    std::vector<int> rowsMissing;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            if (!known(c, r)) {
                rowsMissing.push_back(r);
                break;
            }
    if (!rowsMissing.empty()) {
        ys_.clear();
        for (const int r : rowsMissing)
            ys_.push_back(ys[r]);
        fresh_.resize(static_cast<std::size_t>(columns) * ys_.size());
        pixels_.computeFor(counts, xs, columns, ys_.data(), static_cast<int>(ys_.size()), fresh_.data());
        computed_ += static_cast<long long>(fresh_.size());
        for (int c = 0; c < columns; ++c)
            for (std::size_t i = 0; i < rowsMissing.size(); ++i)
                keep(c, rowsMissing[i], fresh_[static_cast<std::size_t>(c) * ys_.size() + i]);
    }
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            if (const std::size_t at = cell(c, r); at < cells)
                out[static_cast<std::size_t>(c) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(r)] =
                    kept_.counts[at];
}

std::optional<PixelOffset> orbitServes(const ReferenceOrbit& orbit, const DeepCentre& view)
{
    // A picture's width in pixels: the reference stays in or beside the
    // picture, where its orbit is as good a guide as at the centre.
    constexpr double kReach = 2.0 * kDrawableSize;
    if (orbit.view().iterations < view.iterations || orbit.precision() < precisionFor(view.zoom))
        return std::nullopt;
    const std::optional<PixelOffset> offset = centreOffset(orbit.view(), view);
    if (!offset || !(std::hypot(offset->dx, offset->dy) <= kReach))
        return std::nullopt;
    return offset;
}

Result<FreeViewSetup> setUpFreeView(DeepSetupRequest request)
{
    if (Status ok = checkDeepView(request.view); !ok)
        return ok.failure();
    FreeViewSetup setup;
    if (const std::optional<DoublesFrame> frame = doublesFrameOf(request.view)) {
        DeepCentre view = request.view;
        if (request.chooseCap) {
            // The judged grid in doubles: no orbit to compute or extend.
            const std::vector<double> offsets = judgedOffsets();
            const auto side = static_cast<int>(offsets.size());
            std::vector<double> xs;
            for (const double d : offsets)
                xs.push_back(d + kDeepCentrePixel);
            auto gridAt = [&](long long cap) -> Result<std::vector<PointResult>> {
                if (request.progress && !request.progress(0))
                    return fail("stopped", ECANCELED);
                DeepCentre judged = view;
                judged.iterations = cap;
                FreeViewPixels pixels(judged, *frame);
                std::vector<PointResult> grid(xs.size() * xs.size());
                pixels.computePixels(xs.data(), side, xs.data(), side, grid.data());
                return grid;
            };
            auto chosen = chooseIterations(gridAt, view.iterations);
            if (!chosen)
                return chosen.failure();
            view.iterations = *chosen;
        }
        setup.iterations = view.iterations;
        if (!request.orbitOnly)
            setup.pixels = std::make_shared<FreeViewPixels>(view, *frame);
        return setup;
    }
    const bool orbitOnly = request.orbitOnly;
    Result<DeepSetup> deep = setUpDeep(std::move(request));
    if (!deep)
        return deep.failure();
    setup.orbit = std::move(deep->orbit);
    setup.ownOrbit = std::move(deep->ownOrbit);
    setup.iterations = deep->iterations;
    if (!orbitOnly)
        setup.pixels = std::make_shared<FreeViewPixels>(std::move(deep->computer));
    return setup;
}

} // namespace mandel
