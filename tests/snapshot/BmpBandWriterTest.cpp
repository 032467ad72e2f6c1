#include "BmpBandWriter.h"
#include "BmpWriter.h"

#include "MemoryFile.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace mandel {
namespace {

using testing::MemoryFile;

struct Layout {
    const char* name;
    PictureSize size;
    std::vector<int> bands;
};

class BmpLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(BmpLayouts, SameBytesAsTheWholeImageEncoder)
{
    const Layout& l = GetParam();
    std::vector<Colour> pixels;
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < l.size.width * l.size.height; ++i) {
        const int r = (i * 7) % 256, g = (i / 3) % 256, b = (i * 13 + 5) % 256;
        pixels.push_back(composeColour(r, g, b));
        rgb.insert(rgb.end(), {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)});
    }
    MemoryFile file;
    BmpBandWriter bmp(l.size, file.writer());
    int row = 0;
    for (const int rows : l.bands) {
        EXPECT_FALSE(bmp.complete());
        ASSERT_TRUE(bmp.writeRows(rgb.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(l.size.width) * 3, rows));
        row += rows;
    }
    EXPECT_TRUE(bmp.complete());
    EXPECT_EQ(file.bytes, encodeBmp(ImageView{l.size.width, l.size.height, pixels}));
}

INSTANTIATE_TEST_SUITE_P(
    Bands, BmpLayouts,
    ::testing::Values(Layout{"PictureSize", {596, 596}, {100, 100, 100, 100, 100, 96}},
                      Layout{"PaddedRowsOneBand", {5, 3}, {3}}, Layout{"PaddedRowsOneRowBands", {7, 4}, {1, 1, 1, 1}},
                      Layout{"OnePixel", {1, 1}, {1}}, Layout{"UnevenBands", {30, 11}, {4, 6, 1}}),
    [](const auto& row) { return std::string(row.param.name); });

struct Fit {
    const char* name;
    PictureSize size;
    bool fits;
};

class BmpFits : public ::testing::TestWithParam<Fit> {};

TEST_P(BmpFits, OnlyBelowFourGibibytes)
{
    const Status s = BmpBandWriter::fits(GetParam().size);
    EXPECT_EQ(s.ok(), GetParam().fits);
    if (!s.ok() && GetParam().size.width > 0) {
        EXPECT_EQ(s.failure().code, EFBIG);
        EXPECT_NE(s.error().find("4 GiB"), std::string::npos) << s.error();
        EXPECT_NE(s.error().find("PNG"), std::string::npos) << s.error();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BmpFits,
    ::testing::Values(Fit{"Poster16k", {16384, 16384}, true},
                      // 65535 pixels make rows of 196608 bytes: 21845 of them fit, 21846 do not.
                      Fit{"WidestAtTheLimit", {65535, 21845}, true}, Fit{"WidestPastTheLimit", {65535, 21846}, false},
                      Fit{"Largest", {65535, 65535}, false}, Fit{"Empty", {0, 5}, false}),
    [](const auto& row) { return std::string(row.param.name); });

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
