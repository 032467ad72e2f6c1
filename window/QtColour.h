#pragma once

#include "BmpWriter.h"
#include "Colour.h"

#include <QImage>
#include <QRgb>

namespace mandel {

// The Qt pixel of an engine colour (red + 256 * green + 65536 * blue).
inline QRgb toQRgb(Colour c) noexcept { return qRgb(redOf(c), greenOf(c), blueOf(c)); }

// The engine colour of a Qt pixel; alpha is dropped.
inline Colour fromQRgb(QRgb p) noexcept { return composeColour(qRed(p), qGreen(p), qBlue(p)); }

// The image as the snapshot writer takes it: every pixel, row by row.
RgbImage toRgbImage(const QImage& image);

} // namespace mandel
