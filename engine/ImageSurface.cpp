#include "ImageSurface.h"

#include <algorithm>

namespace mandel {

ImageSurface::ImageSurface()
    : pixels_(static_cast<std::size_t>(kDrawableSize) * kDrawableSize, kBackground)
{
}

void ImageSurface::clear()
{
    std::fill(pixels_.begin(), pixels_.end(), kBackground);
}

void ImageSurface::setPixel(int x, int y, Colour c)
{
    if (x < 0 || y < 0 || x >= kDrawableSize || y >= kDrawableSize)
        return;
    pixels_[index(x, y)] = c;
}

void ImageSurface::setColumn(int x, const Colour* colours, int count)
{
    if (x < 0 || x >= kDrawableSize)
        return;
    const int rows = std::min(count, kDrawableSize);
    Colour* at = pixels_.data() + index(x, 0);
    for (int y = 0; y < rows; ++y, at += kDrawableSize)
        *at = colours[y];
}

} // namespace mandel
