#include "BmpBandWriter.h"

#include <cerrno>
#include <string>

namespace mandel {

namespace {

constexpr std::uint64_t kHeaderBytes = 14 + 40;

std::uint64_t paddedRow(int width)
{
    return (static_cast<std::uint64_t>(width) * 3 + 3) & ~std::uint64_t{3};
}

void put16(unsigned char* at, std::uint32_t v)
{
    at[0] = static_cast<unsigned char>(v & 0xFFu);
    at[1] = static_cast<unsigned char>((v >> 8) & 0xFFu);
}

void put32(unsigned char* at, std::uint32_t v)
{
    put16(at, v & 0xFFFFu);
    put16(at + 2, v >> 16);
}

std::string gibibytes(std::uint64_t bytes)
{
    const std::uint64_t tenths = (bytes * 10 + (std::uint64_t{1} << 29)) >> 30;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " GiB";
}

} // namespace

Status BmpBandWriter::fits(PictureSize size)
{
    if (size.width < 1 || size.height < 1)
        return fail("a picture needs at least one pixel each way", EINVAL);
    const std::uint64_t bytes = kHeaderBytes + paddedRow(size.width) * static_cast<std::uint64_t>(size.height);
    if (bytes > 0xFFFFFFFFu)
        return fail("a BMP file holds at most 4 GiB and " + std::to_string(size.width) + "x" +
                        std::to_string(size.height) + " needs " + gibibytes(bytes) + "; write a PNG instead",
                    EFBIG);
    return {};
}

BmpBandWriter::BmpBandWriter(PictureSize size, ByteWriter out)
    : size_(size), out_(std::move(out)), rowBytes_(paddedRow(size.width)), failure_(fits(size))
{
}

Status BmpBandWriter::writeRows(const std::uint8_t* rgb, int rows)
{
    if (!failure_)
        return failure_;
    if (rows <= 0)
        return {};
    if (rows > size_.height - rowsDone_)
        return failure_ = fail("more rows than the picture's height", EINVAL);
    if (rowsDone_ == 0) {
        const auto dataBytes = static_cast<std::uint32_t>(rowBytes_ * static_cast<std::uint64_t>(size_.height));
        unsigned char header[kHeaderBytes] = {};
        header[0] = 'B';
        header[1] = 'M';
        put32(header + 2, static_cast<std::uint32_t>(kHeaderBytes) + dataBytes);
        put32(header + 10, static_cast<std::uint32_t>(kHeaderBytes));
        put32(header + 14, 40);
        put32(header + 18, static_cast<std::uint32_t>(size_.width));
        put32(header + 22, static_cast<std::uint32_t>(size_.height));  // positive: rows bottom up
        put16(header + 26, 1);
        put16(header + 28, 24);
        put32(header + 34, dataBytes);
        put32(header + 38, 2835);  // 72 dpi
        put32(header + 42, 2835);
        if (failure_ = out_(0, header); !failure_)
            return failure_;
    }
    // The band's rows lie next to each other in the file, the last one first.
    const auto width = static_cast<std::size_t>(size_.width);
    block_.assign(static_cast<std::size_t>(rowBytes_) * static_cast<std::size_t>(rows), 0);
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* in = rgb + static_cast<std::size_t>(r) * width * 3;
        unsigned char* at = block_.data() + static_cast<std::size_t>(rows - 1 - r) * static_cast<std::size_t>(rowBytes_);
        for (std::size_t x = 0; x < width; ++x, in += 3, at += 3) {
            at[0] = in[2];
            at[1] = in[1];
            at[2] = in[0];
        }
    }
    const int lastRow = rowsDone_ + rows - 1;
    const std::uint64_t offset = kHeaderBytes + static_cast<std::uint64_t>(size_.height - 1 - lastRow) * rowBytes_;
    if (failure_ = out_(offset, block_); !failure_)
        return failure_;
    rowsDone_ += rows;
    return {};
}

} // namespace mandel
