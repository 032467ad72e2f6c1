#pragma once

#include "Colour.h"

#include <string>
#include <vector>

namespace mandel {

class ImageSurface;

// A picture to write: width * height colours, row by row, top row first.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<Colour> pixels;
};

// The image of an in-memory surface's drawable area.
RgbImage imageOf(const ImageSurface& surface);

// The bytes of a 24-bit uncompressed BMP of `image`, the right way up.
std::vector<unsigned char> encodeBmp(const RgbImage& image);

} // namespace mandel
