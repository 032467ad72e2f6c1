#include "BmpBandWriter.h"
#include "BmpWriter.h"

#include "MemoryFile.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace mandel {
namespace {

using testing::MemoryFile;

TEST(BmpBandWriter, WritesTheBytesOfTheWholeImageEncoder)
{
    const struct {
        PictureSize size;
        std::vector<int> bands;
    } layouts[] = {
        {{596, 596}, {100, 100, 100, 100, 100, 96}},
        {{5, 3}, {3}},           // padded rows
        {{7, 4}, {1, 1, 1, 1}},  // padded rows, a band each
        {{1, 1}, {1}},
        {{30, 11}, {4, 6, 1}},
    };
    for (const auto& l : layouts) {
        std::vector<Colour> pixels;
        std::vector<std::uint8_t> rgb;
        for (int i = 0; i < l.size.width * l.size.height; ++i) {
            const auto r = static_cast<std::uint8_t>(i * 7), g = static_cast<std::uint8_t>(i / 3),
                       b = static_cast<std::uint8_t>(i * 13 + 5);
            pixels.push_back(composeColour(r, g, b));
            rgb.insert(rgb.end(), {r, g, b});
        }
        MemoryFile file;
        BmpBandWriter bmp(l.size, file.writer());
        const std::uint8_t* row = rgb.data();
        for (const int rows : l.bands) {
            EXPECT_FALSE(bmp.complete());
            ASSERT_TRUE(bmp.writeRows(row, rows));
            row += static_cast<std::size_t>(rows * l.size.width * 3);
        }
        EXPECT_TRUE(bmp.complete());
        EXPECT_EQ(file.bytes, encodeBmp(ImageView{l.size.width, l.size.height, pixels})) << l.size.width;
    }
}

TEST(BmpBandWriter, FitsOnlyBelowFourGibibytes)
{
    // 65535 pixels make rows of 196608 bytes: 21845 of them fit, 21846 do not.
    const std::pair<PictureSize, bool> sizes[] = {
        {{16384, 16384}, true}, {{65535, 21845}, true}, {{65535, 21846}, false}, {{0, 5}, false}};
    for (const auto& [size, fits] : sizes) {
        const Status s = BmpBandWriter::fits(size);
        EXPECT_EQ(s.ok(), fits) << size.width << "x" << size.height;
        if (!s.ok() && size.width > 0) {
            EXPECT_EQ(s.failure().code, EFBIG);
            EXPECT_NE(s.error().find("PNG"), std::string::npos) << "names the way out: " << s.error();
        }
    }
}

TEST(BmpBandWriter, AFailedWriteStopsTheFile)
{
    std::vector<std::uint8_t> rgb(4 * 4 * 3, 9);
    MemoryFile file;
    file.failAt = 1;  // the header goes, the first band does not
    BmpBandWriter bmp({4, 4}, file.writer());
    const Status s = bmp.writeRows(rgb.data(), 2);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.failure().code, ENOSPC);
    EXPECT_FALSE(bmp.writeRows(rgb.data(), 2));
    EXPECT_FALSE(bmp.complete());
}

} // namespace
} // namespace mandel
