#include "PictureComputer.h"

#include "AutoIterations.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "FieldComputer.h"

#include <cerrno>
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

FreeViewPixels::FreeViewPixels(const DeepCentre& view, const DoublesFrame& frame) : view_(view), frame_(frame)
{
    FastComputerOptions options;
    options.iterations = kernelCap(view.iterations);
    fast_ = std::make_unique<FastComputer>(options);
}

FreeViewPixels::FreeViewPixels(std::shared_ptr<DeepComputer> deep) : deep_(std::move(deep))
{
    view_ = deep_->orbit().view();
    view_.iterations = deep_->iterations();
}

FreeViewPixels::~FreeViewPixels() = default;

void FreeViewPixels::computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out)
{
    cx_.resize(static_cast<std::size_t>(columns));
    cy_.resize(static_cast<std::size_t>(rows));
    if (deep_) {
        for (int c = 0; c < columns; ++c)
            cx_[static_cast<std::size_t>(c)] = xs[c] - kDeepCentrePixel;
        for (int r = 0; r < rows; ++r)
            cy_[static_cast<std::size_t>(r)] = ys[r] - kDeepCentrePixel;
        deep_->computeGrid(cx_.data(), columns, cy_.data(), rows, out);
        return;
    }
    for (int c = 0; c < columns; ++c)
        cx_[static_cast<std::size_t>(c)] = frame_.re + (xs[c] - kDeepCentrePixel) * frame_.step;
    for (int r = 0; r < rows; ++r)
        cy_[static_cast<std::size_t>(r)] = frame_.im - (ys[r] - kDeepCentrePixel) * frame_.step;
    fast_->computeGrid(cx_.data(), columns, cy_.data(), rows, out);
}

ThreadPool* FreeViewPixels::pool() noexcept
{
    return deep_ ? deep_->pool() : fast_->pool();
}

int FreeViewPixels::columnsPerRun() const noexcept
{
    return deep_ ? PictureComputer::columnsPerRun() : fast_->preferredColumns();
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
