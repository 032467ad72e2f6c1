#pragma once

#include "Location.h"
#include "Result.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace mandel {

// The keyword of the PNG text chunk that holds a picture's location.
inline constexpr std::string_view kPngLocationKeyword = "mandel-location";
// The keyword of the chunk that names the program that wrote the picture.
inline constexpr std::string_view kPngSoftwareKeyword = "Software";

// The longest location text read, from a text file or a PNG's chunk (a
// deep view at 1E+1000000 takes about 2 MB); anything longer is refused.
inline constexpr std::size_t kMaxLocationText = std::size_t{3} << 20;

// How a location file is read.
struct LocationReading {
    // Refuse anything but a regular file (a pipe, a FIFO, a device) before
    // reading from it, without waiting for it: the window asks this.
    bool regularFilesOnly = false;
    // Called once when a pipe, FIFO or terminal has given nothing for
    // `patienceMs` milliseconds (a FIFO nobody writes to, say); reading
    // then goes on waiting. Empty: wait without a word.
    std::function<void()> waiting;
    int patienceMs = 1000;
};

// Reads the location stored in a PNG this program wrote. Fails with a
// one-line reason when the file cannot be read, is not a PNG, is damaged,
// or holds no location or a damaged one. The file is read once, front to
// back up to its image data, in bounded memory (a few megabytes whatever
// the file declares): only the text chunks named "mandel-location" (tEXt,
// zTXt or iTXt) are read and inflated, up to kMaxLocationText; two that
// disagree, or one with bytes after a NUL, are refused.
Result<Location> readPngLocation(const std::string& path, const LocationReading& how = {});

// Reads a location from a PNG this program wrote, or from a text file that
// holds one location line. The file is read once, so a pipe works as well
// (/dev/stdin, a shell's <(...)). Fails with a one-line reason as above.
Result<Location> readLocationFile(const std::string& path, const LocationReading& how = {});

} // namespace mandel
