#pragma once

#include "Colour.h"

#include <span>

namespace mandel {

// A picture whose colours belong to someone else: width * height colours,
// row by row, top row first. Valid while the colours are.
struct ImageView {
    int width = 0;
    int height = 0;
    std::span<const Colour> pixels;
};

} // namespace mandel
