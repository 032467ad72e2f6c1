#pragma once

#include "Colour.h"
#include "Result.h"

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

// Whether a write may replace a file already at the path.
enum class Overwrite { Replace, Refuse };

// Writes `bytes` to `path` through a temporary file in the same folder that
// is renamed into place, so the path never holds a partial file. With
// Overwrite::Refuse an existing file is left alone and the failure's code is
// EEXIST.
Status writeFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes,
                                Overwrite mode);

} // namespace mandel
