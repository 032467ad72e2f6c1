#include "QtColour.h"

namespace mandel {

RgbImage toRgbImage(const QImage& image)
{
    const QImage rgb = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    RgbImage out;
    out.width = rgb.width();
    out.height = rgb.height();
    out.pixels.reserve(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            out.pixels.push_back(fromQRgb(row[x]));
    }
    return out;
}

} // namespace mandel
