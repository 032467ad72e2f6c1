#include "BmpWriter.h"
#include "ImageSurface.h"

#include <gtest/gtest.h>

namespace mandel {
namespace {

std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

TEST(EncodeBmp, HeaderAndBottomUpRowsOfBgrTriples)
{
    ImageSurface s;
    s.setPixel(0, 0, composeColour(10, 20, 30));       // top left
    s.setPixel(595, 595, composeColour(200, 100, 50)); // bottom right
    const auto bytes = encodeBmp(s.view());
    const std::size_t row = 596 * 3;  // 1788, already a multiple of 4
    ASSERT_EQ(bytes.size(), 54 + row * 596);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(u32(bytes, 2), bytes.size());
    EXPECT_EQ(u32(bytes, 10), 54u);
    EXPECT_EQ(u32(bytes, 18), 596u);
    EXPECT_EQ(u32(bytes, 22), 596u);
    // What strict readers check: the info header's size, one plane, 24 bits,
    // no compression, the pixel bytes, 72 dpi both ways, no palette.
    EXPECT_EQ(u32(bytes, 14), 40u);
    EXPECT_EQ(bytes[26] | (bytes[27] << 8), 1) << "planes";
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(u32(bytes, 34), row * 596);
    EXPECT_EQ(u32(bytes, 38), 2835u);
    EXPECT_EQ(u32(bytes, 42), 2835u);
    EXPECT_EQ(u32(bytes, 46), 0u);
    EXPECT_EQ(u32(bytes, 50), 0u);
    EXPECT_EQ(u32(bytes, 30), 0u) << "uncompressed";
    // The top row is stored last.
    const std::size_t top = 54 + row * 595;
    EXPECT_EQ(bytes[top + 0], 30);
    EXPECT_EQ(bytes[top + 1], 20);
    EXPECT_EQ(bytes[top + 2], 10);
    const std::size_t bottomRight = 54 + 595 * 3;
    EXPECT_EQ(bytes[bottomRight + 0], 50);
    EXPECT_EQ(bytes[bottomRight + 2], 200);
    EXPECT_EQ(bytes[54 + 3], 0xF0) << "background elsewhere";
}

TEST(EncodeBmp, PadsRowsToFourBytes)
{
    const std::vector<Colour> colours(6, composeColour(1, 2, 3));
    const ImageView tiny{3, 2, colours};
    const auto bytes = encodeBmp(tiny);
    EXPECT_EQ(bytes.size(), 54u + 12u * 2u);
    EXPECT_EQ(bytes[54 + 9], 0);
}

} // namespace
} // namespace mandel
