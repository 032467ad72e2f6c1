#pragma once

#include "PointResult.h"

#include <vector>

namespace mandel {

struct ExplorerState;
class DeepComputer;
class FieldComputer;
class ThreadPool;

// Iteration results for grids of points named as pixels (x, y) of the
// view's 596 x 596 picture, at any fraction: the one interface posters draw
// through, whether the view is legacy or deep.
class PictureComputer {
public:
    virtual ~PictureComputer() = default;
    // Fills out[c * rows + r] with the result at picture pixel (xs[c], ys[r]).
    virtual void computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out) = 0;
    // The threads it computes on (null: the caller alone).
    virtual ThreadPool* pool() noexcept = 0;
};

// A legacy view through a field computer: pixel (x, y) is the plane point
// ((x + di) / zoomx1 - zoomx2, zoomy2 - (y + dj) / zoomy1), in that order,
// as the window maps its own pixels.
class LegacyPixels final : public PictureComputer {
public:
    // Both are kept by reference and must outlive this.
    LegacyPixels(FieldComputer& computer, const ExplorerState& view) : computer_(computer), view_(view) {}
    void computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out) override;
    ThreadPool* pool() noexcept override;

private:
    FieldComputer& computer_;
    const ExplorerState& view_;
    std::vector<double> cx_, cy_;
};

// A deep view: pixel (x, y) lies (x - 300, y - 300) pixels from its centre.
class DeepPixels final : public PictureComputer {
public:
    explicit DeepPixels(DeepComputer& computer) : computer_(computer) {}
    void computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out) override;
    ThreadPool* pool() noexcept override;

private:
    DeepComputer& computer_;
    std::vector<double> dx_, dy_;
};

} // namespace mandel
