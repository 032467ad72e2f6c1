#pragma once

#include "Location.h"
#include "Result.h"

#include <string>
#include <string_view>

namespace mandel {

// The keyword of the PNG text chunk that holds a picture's location.
inline constexpr std::string_view kPngLocationKeyword = "mandel-location";
// The keyword of the chunk that names the program that wrote the picture.
inline constexpr std::string_view kPngSoftwareKeyword = "Software";

// Reads the location stored in a PNG this program wrote. Fails with a
// one-line reason when the file cannot be read, is not a PNG, is damaged,
// or holds no location or a damaged one.
Result<Location> readPngLocation(const std::string& path);

// Reads a location from a PNG this program wrote, or from a text file that
// holds one location line. Fails with a one-line reason as above.
Result<Location> readLocationFile(const std::string& path);

} // namespace mandel
