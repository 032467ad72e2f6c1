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

} // namespace mandel
