#pragma once

#include "DeepComputer.h"

namespace mandel::deep {

// Fills out[r] with the result of the pixel at offset (dx, dy[r]) for r <
// rows, the pixels in vector lanes on the best target this machine runs:
// the same results, bit for bit, as the scalar loop (PixelOrbit) gives.
// With `zr`, zr[r] gets each pixel's lastZr() too.
void iterateColumn(const DeepComputer::Kernel& k, double dx, const double* dy, int rows, PointResult* out,
                   DeepShortcuts& done, double* zr = nullptr);

} // namespace mandel::deep
