#pragma once

#include "ImageView.h"

#include <vector>

namespace mandel {

// The bytes of a 24-bit uncompressed BMP of `image`, the right way up.
std::vector<unsigned char> encodeBmp(ImageView image);

} // namespace mandel
