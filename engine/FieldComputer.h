#pragma once

#include "PointResult.h"

namespace mandel {

struct ExplorerState;

// Computes iteration results for a run of columns of the view in `s`.
// Column x, row y maps to c = (planeX(s, x), planeY(s, y)); results are
// written column by column: out[(x - x0) * (hei + 1) + y].
class FieldComputer {
public:
    virtual ~FieldComputer() = default;
    // Fills `out` for columns x0..x1-1, rows 0..hei.
    virtual void computeColumns(const ExplorerState& s, int x0, int x1, PointResult* out) = 0;
    // How many columns one call should take to be efficient.
    virtual int preferredColumns() const { return 1; }
};

// The straightforward scalar computation, one point after the other.
class ReferenceComputer final : public FieldComputer {
public:
    void computeColumns(const ExplorerState& s, int x0, int x1, PointResult* out) override;
};

} // namespace mandel
