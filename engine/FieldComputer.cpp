#include "FieldComputer.h"

#include "ExplorerState.h"

namespace mandel {

void ReferenceComputer::computeColumns(const ExplorerState& s, int x0, int x1, PointResult* out)
{
    for (int x = x0; x < x1; ++x) {
        const double cx = planeX(s, x);
        for (int y = 0; y <= s.hei; ++y)
            *out++ = iteratePoint(cx, planeY(s, y));
    }
}

} // namespace mandel
