#include "PngBandWriter.h"
#include "ThreadPool.h"

#include "MemoryFile.h"
#include "PngDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const bool flat = (x / 7 + y / 5) % 3 == 0;
            rgb.push_back(static_cast<std::uint8_t>(flat ? 45 : rng()));
            rgb.push_back(static_cast<std::uint8_t>(x * 3 + y));
            rgb.push_back(static_cast<std::uint8_t>(flat ? 190 : (y % 2 == 0 ? 0 : 255)));
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

// Decoded by libpng, the file gives back the rows that went in, whether
// its bands were compressed one by one or side by side on a pool.
TEST(PngBandWriter, DecodesToTheRowsThatWentIn)
{
    const struct {
        const char* name;
        PictureSize size;
        std::vector<int> bands;  // rows of each call
        int threads;             // 0: no pool
        int level;
        std::size_t maxChunk = kMaxPngChunk;
    } layouts[] = {
        {"one pixel", {1, 1}, {1}, 2, 1},
        {"one band, no pool", {57, 31}, {31}, 0, 1},
        {"one-row bands on a pool", {40, 9}, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 3, 1},
        {"bands of uneven height", {123, 50}, {7, 1, 30, 12}, 2, 1},
        {"fewer rows than threads", {16, 5}, {2, 3}, 4, 1},
        {"best compression", {96, 40}, {20, 20}, 2, 9},
        // Bands past the chunk limit go out in several chunks, as the
        // gigabyte bands of the largest posters do.
        {"bands over the chunk limit on a pool", {123, 50}, {25, 25}, 3, 1, 97},
        {"bands over the chunk limit, no pool", {64, 20}, {20}, 0, 1, 50},
    };
    const std::vector<PngText> texts = {{"mandel-location", "mandel-location/1 mode=3"}, {"Software", "mandel-render"}};
    for (const auto& l : layouts) {
        const auto rgb = sampleRows(l.size, 7);
        std::unique_ptr<ThreadPool> pool = l.threads > 0 ? std::make_unique<ThreadPool>(l.threads) : nullptr;
        MemoryFile file;
        PngBandWriter png(l.size, texts, file.writer(), pool.get(), l.level, l.maxChunk);
        const std::uint8_t* row = rgb.data();
        for (const int rows : l.bands) {
            EXPECT_FALSE(png.complete()) << l.name;
            ASSERT_TRUE(png.writeRows(row, rows)) << l.name;
            row += static_cast<std::size_t>(rows * l.size.width * 3);
        }
        ASSERT_TRUE(png.complete()) << l.name;
        EXPECT_TRUE(file.sequential) << l.name << ": a PNG streams from start to end";
        EXPECT_EQ(png.bytesWritten(), file.bytes.size()) << l.name;
        const auto decoded = decodePng(file.bytes);
        ASSERT_TRUE(decoded.ok) << l.name << ": " << decoded.error;
        EXPECT_EQ(decoded.width, l.size.width) << l.name;
        EXPECT_EQ(decoded.height, l.size.height) << l.name;
        EXPECT_EQ(decoded.pixels, coloursOf(rgb)) << l.name;
        EXPECT_EQ(decoded.texts.at("mandel-location"), "mandel-location/1 mode=3") << l.name;
        EXPECT_EQ(decoded.texts.at("Software"), "mandel-render") << l.name;
        // No image-data chunk is longer than the limit; a small limit makes many.
        int chunks = 0;
        for (std::size_t at = 8; at + 8 <= file.bytes.size();) {
            const std::size_t length = std::size_t{file.bytes[at]} << 24 | std::size_t{file.bytes[at + 1]} << 16 |
                                       std::size_t{file.bytes[at + 2]} << 8 | file.bytes[at + 3];
            if (std::equal(file.bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           file.bytes.begin() + static_cast<std::ptrdiff_t>(at + 8), "IDAT")) {
                EXPECT_LE(length, l.maxChunk) << l.name;
                ++chunks;
            }
            at += 12 + length;
        }
        if (l.maxChunk < 1000) {
            EXPECT_GT(chunks, 4) << l.name;
        }
    }
}

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

} // namespace
} // namespace mandel
