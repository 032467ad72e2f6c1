#include "FieldComputer.h"

#include "ExplorerState.h"

#include <algorithm>
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

void FieldComputer::computePieces(const double* cx, int columns, const double* cy, int rows, int pieceColumns,
                                  const PieceUse& use)
{
    if (columns <= 0 || rows <= 0 || pieceColumns <= 0)
        return;
    std::vector<PointResult> piece(static_cast<std::size_t>(std::min(pieceColumns, columns)) *
                                   static_cast<std::size_t>(rows));
    for (int c0 = 0; c0 < columns; c0 += pieceColumns) {
        const int width = std::min(pieceColumns, columns - c0);
        computeGrid(cx + c0, width, cy, rows, piece.data());
        use(c0, width, piece.data());
    }
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
