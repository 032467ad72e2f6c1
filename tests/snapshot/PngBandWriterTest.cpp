#include "PngBandWriter.h"
#include "ThreadPool.h"

#include "MemoryFile.h"
#include "PngDecoder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <random>

namespace mandel {
namespace {

using testing::decodePng;
using testing::MemoryFile;

// Rows as posters have them: flat stretches, stripes and noise, so that
// the compressor takes every kind of path.
std::vector<std::uint8_t> sampleRows(PictureSize size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            auto* p = &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(size.width) + static_cast<std::size_t>(x)) * 3];
            const bool flat = (x / 7 + y / 5) % 3 == 0;
            p[0] = flat ? 45 : static_cast<std::uint8_t>(rng());
            p[1] = static_cast<std::uint8_t>(x * 3 + y);
            p[2] = flat ? 190 : static_cast<std::uint8_t>(y % 2 == 0 ? 0 : 255);
        }
    return rgb;
}

std::vector<Colour> coloursOf(const std::vector<std::uint8_t>& rgb)
{
    std::vector<Colour> out;
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        out.push_back(composeColour(rgb[i], rgb[i + 1], rgb[i + 2]));
    return out;
}

struct Layout {
    const char* name;
    PictureSize size;
    std::vector<int> bands;  // rows of each call
    int threads;             // 0: no pool
    int level;
};

class PngLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(PngLayouts, DecodeToTheRowsThatWentIn)
{
    const Layout& l = GetParam();
    const auto rgb = sampleRows(l.size, 7);
    std::unique_ptr<ThreadPool> pool = l.threads > 0 ? std::make_unique<ThreadPool>(l.threads) : nullptr;
    MemoryFile file;
    const std::vector<PngText> texts = {{"mandel-location", "mandel-location/1 mode=3"}, {"Software", "mandel-render"}};
    PngBandWriter png(l.size, texts, file.writer(), pool.get(), l.level);
    int row = 0;
    for (const int rows : l.bands) {
        EXPECT_FALSE(png.complete());
        ASSERT_TRUE(png.writeRows(rgb.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(l.size.width) * 3, rows));
        row += rows;
    }
    ASSERT_TRUE(png.complete());
    EXPECT_TRUE(file.sequential) << "a PNG streams from start to end";
    EXPECT_EQ(png.bytesWritten(), file.bytes.size());

    const auto decoded = decodePng(file.bytes);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, l.size.width);
    EXPECT_EQ(decoded.height, l.size.height);
    EXPECT_EQ(decoded.pixels, coloursOf(rgb));
    EXPECT_EQ(decoded.texts.at("mandel-location"), "mandel-location/1 mode=3");
    EXPECT_EQ(decoded.texts.at("Software"), "mandel-render");
}

INSTANTIATE_TEST_SUITE_P(
    Bands, PngLayouts,
    ::testing::Values(Layout{"OnePixel", {1, 1}, {1}, 2, 1}, Layout{"OneBandSerial", {57, 31}, {31}, 0, 1},
                      Layout{"OneRowBandsOnAPool", {40, 9}, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 3, 1},
                      Layout{"BandsOfUnevenHeight", {123, 50}, {7, 1, 30, 12}, 2, 1},
                      Layout{"FewerRowsThanThreads", {16, 5}, {2, 3}, 4, 1},
                      Layout{"OneColumn", {1, 200}, {64, 64, 64, 8}, 2, 1},
                      Layout{"BestCompression", {96, 40}, {20, 20}, 2, 9}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PngBandWriter, AFailedWriteStopsTheFileForGood)
{
    const PictureSize size{20, 10};
    const auto rgb = sampleRows(size, 3);
    for (const int failAt : {0, 1, 3}) {
        MemoryFile file;
        file.failAt = failAt;
        PngBandWriter png(size, {}, file.writer(), nullptr);
        Status last;
        for (int r = 0; r < 10 && last; r += 2)
            last = png.writeRows(rgb.data() + static_cast<std::size_t>(r) * 60, 2);
        ASSERT_FALSE(last) << "failing write " << failAt;
        EXPECT_EQ(last.failure().code, ENOSPC);
        EXPECT_FALSE(png.writeRows(rgb.data(), 1)) << "no row is taken after a failure";
        EXPECT_FALSE(png.complete());
    }
}

TEST(PngBandWriter, RefusesRowsPastTheHeight)
{
    const PictureSize size{4, 3};
    const auto rgb = sampleRows({4, 5}, 1);
    MemoryFile file;
    PngBandWriter png(size, {}, file.writer(), nullptr);
    ASSERT_TRUE(png.writeRows(rgb.data(), 2));
    EXPECT_FALSE(png.writeRows(rgb.data(), 2));
    EXPECT_FALSE(png.complete());
}

} // namespace
} // namespace mandel
