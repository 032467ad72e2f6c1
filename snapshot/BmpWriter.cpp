#include "BmpWriter.h"

#include "BmpBandWriter.h"

#include <algorithm>

namespace mandel {

std::vector<unsigned char> encodeBmp(ImageView image)
{
    // The band writer in memory: one header and one row layout for both.
    std::vector<unsigned char> out;
    BmpBandWriter bmp(PictureSize{image.width, image.height},
                      [&out](std::uint64_t offset, std::span<const unsigned char> bytes) -> Status {
                          const auto end = static_cast<std::size_t>(offset) + bytes.size();
                          if (out.size() < end)
                              out.resize(end);
                          std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
                          return {};
                      });
    const auto width = static_cast<std::size_t>(image.width);
    std::vector<std::uint8_t> row(width * 3);
    for (int y = 0; y < image.height; ++y) {
        const Colour* pixels = image.pixels.data() + static_cast<std::size_t>(y) * width;
        for (std::size_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(redOf(pixels[x]));
            row[3 * x + 1] = static_cast<std::uint8_t>(greenOf(pixels[x]));
            row[3 * x + 2] = static_cast<std::uint8_t>(blueOf(pixels[x]));
        }
        (void)bmp.writeRows(row.data(), 1);
    }
    return out;
}

} // namespace mandel
