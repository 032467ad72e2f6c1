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

namespace mandel {

void ImageSurface::setColumns(int x0, int columns, const Colour* colours, int count)
{
    // Only the part inside the drawable area.
    const int first = std::max(x0, 0);
    const int end = std::min(x0 + columns, kDrawableSize);
    const int rows = std::min(count, kDrawableSize);
    // Columns arrive one after another, the image is stored row by row: a
    // few columns at a time fill a stretch of each row, so every cache line
    // of the image is written whole instead of once per column.
    constexpr int kBlock = 16;
    for (int x = first; x < end; x += kBlock) {
        const int width = std::min(kBlock, end - x);
        const Colour* from = colours + static_cast<std::ptrdiff_t>(x - x0) * count;
        for (int y = 0; y < rows; ++y) {
            Colour* to = pixels_.data() + index(x, y);
            for (int c = 0; c < width; ++c)
                to[c] = from[static_cast<std::ptrdiff_t>(c) * count + y];
        }
    }
}

} // namespace mandel
