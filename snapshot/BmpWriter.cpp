#include "BmpWriter.h"

namespace mandel {

namespace {

void put16(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<unsigned char>(v & 0xFFu);
    out[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFFu);
}

void put32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v)
{
    put16(out, at, v & 0xFFFFu);
    put16(out, at + 2, v >> 16);
}

} // namespace

std::vector<unsigned char> encodeBmp(ImageView image)
{
    const auto w = static_cast<std::uint32_t>(image.width);
    const auto h = static_cast<std::uint32_t>(image.height);
    const std::uint32_t rowBytes = (w * 3u + 3u) & ~3u;  // rows pad to 4 bytes
    const std::uint32_t dataBytes = rowBytes * h;
    constexpr std::uint32_t headerBytes = 14 + 40;
    std::vector<unsigned char> out(headerBytes + dataBytes, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, headerBytes + dataBytes);
    put32(out, 10, headerBytes);
    put32(out, 14, 40);
    put32(out, 18, w);
    put32(out, 22, h);  // positive height: rows stored bottom-up
    put16(out, 26, 1);
    put16(out, 28, 24);
    put32(out, 34, dataBytes);
    put32(out, 38, 2835);  // 72 dpi
    put32(out, 42, 2835);
    for (std::uint32_t row = 0; row < h; ++row) {
        const std::uint32_t srcRow = h - 1 - row;
        std::size_t at = headerBytes + static_cast<std::size_t>(row) * rowBytes;
        for (std::uint32_t x = 0; x < w; ++x) {
            const Colour c = image.pixels[static_cast<std::size_t>(srcRow) * w + x];
            out[at++] = static_cast<unsigned char>(blueOf(c));
            out[at++] = static_cast<unsigned char>(greenOf(c));
            out[at++] = static_cast<unsigned char>(redOf(c));
        }
    }
    return out;
}

} // namespace mandel
