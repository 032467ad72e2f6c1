#pragma once

#include "Colour.h"

#include <QImage>
#include <QRgb>

#include <vector>

namespace mandel {

// The Qt pixel of an engine colour (red + 256 * green + 65536 * blue).
inline QRgb toQRgb(Colour c) noexcept { return qRgb(redOf(c), greenOf(c), blueOf(c)); }

// The engine colour of a Qt pixel; alpha is dropped.
inline Colour fromQRgb(QRgb p) noexcept { return composeColour(qRed(p), qGreen(p), qBlue(p)); }

// Every pixel of the image as an engine colour, row by row, top row first.
std::vector<Colour> coloursOf(const QImage& image);

} // namespace mandel
