#include "FieldComputer.h"

#include "ExplorerState.h"

#include <vector>

namespace mandel {

void FieldComputer::computeColumns(const ExplorerState& s, int x0, int x1, PointResult* out)
{
    if (x1 <= x0 || s.hei < 0)
        return;
    std::vector<double> cx(static_cast<std::size_t>(x1 - x0));
    std::vector<double> cy(static_cast<std::size_t>(s.hei + 1));
    for (int x = x0; x < x1; ++x)
        cx[static_cast<std::size_t>(x - x0)] = planeX(s, x);
    for (int y = 0; y <= s.hei; ++y)
        cy[static_cast<std::size_t>(y)] = planeY(s, y);
    computeGrid(cx.data(), x1 - x0, cy.data(), s.hei + 1, out);
}

void FieldComputer::computeGridWithZr(const double* cx, int columns, const double* cy, int rows, PointResult* out,
                                      double* zr)
{
    const std::int32_t n = cap();
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            *out++ = iteratePoint(cx[c], cy[r], n, *zr++);
}

void ReferenceComputer::computeGrid(const double* cx, int columns, const double* cy, int rows, PointResult* out)
{
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            *out++ = iteratePoint(cx[c], cy[r]);
}

} // namespace mandel
