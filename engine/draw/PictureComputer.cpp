#include "PictureComputer.h"

#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "FieldComputer.h"

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

} // namespace mandel
