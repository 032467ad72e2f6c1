#include "LocationFile.h"
#include "PngBandWriter.h"

#include "MemoryFile.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace mandel {
namespace {

namespace fs = std::filesystem;
using testing::MemoryFile;

const char* const kLine = "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 clicks=300,300/450.5,150.25 size=7x5";
const char* const kDeepLine =
    "mandel-location/1 mode=7 fn=1.5,2.5,0.5 moduli=170,230,300 centre=-0.7436438870371587,0.1318259042053119 zoom=20 iterations=10000";

std::vector<unsigned char> pngWith(std::vector<PngText> texts, PictureSize size = {7, 5})
{
    MemoryFile file;
    PngBandWriter png(size, std::move(texts), file.writer(), nullptr);
    const std::vector<std::uint8_t> rgb(static_cast<std::size_t>(size.width * size.height * 3), 77);
    EXPECT_TRUE(png.writeRows(rgb.data(), size.height));
    return file.bytes;
}

std::vector<unsigned char> firstBytes(std::vector<unsigned char> bytes, std::size_t count)
{
    bytes.resize(count);
    return bytes;
}

std::vector<unsigned char> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// A PNG whose location chunk lost a byte's worth of bits on the way.
std::vector<unsigned char> corrupted()
{
    auto bytes = pngWith({{"mandel-location", kLine}});
    const std::string needle = "mode=3";
    const auto at = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    EXPECT_NE(at, bytes.end());
    at[5] = '4';
    return bytes;
}

class LocationFiles : public ::testing::Test {
protected:
    fs::path put(const std::string& name, const std::vector<unsigned char>& bytes)
    {
        const fs::path p = scratch.path() / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    testing::ScratchFolder scratch{"locfile"};
};

TEST_F(LocationFiles, APngThisProgramWroteGivesBackItsLocation)
{
    for (const char* line : {kLine, kDeepLine}) {
        const auto expected = parseLocation(line);
        ASSERT_TRUE(expected);
        const auto path = put("view.png", pngWith({{"Software", "mandel-render"}, {"mandel-location", line}}));
        const auto fromPng = readPngLocation(path);
        ASSERT_TRUE(fromPng) << fromPng.error();
        EXPECT_EQ(*fromPng, *expected);
        const auto fromFile = readLocationFile(path);
        ASSERT_TRUE(fromFile) << fromFile.error();
        EXPECT_EQ(*fromFile, *expected);
    }
}

TEST_F(LocationFiles, ATextFileWithOneLocationLine)
{
    const auto path = put("view.txt", bytesOf(std::string("  ") + kLine + "\n"));
    const auto read = readLocationFile(path);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, *parseLocation(kLine));
    EXPECT_FALSE(readPngLocation(path)) << "a text file is not a PNG";
}

struct BadFile {
    const char* name;
    std::vector<unsigned char> bytes;
    const char* asPng;   // part of readPngLocation's reason
    const char* asAny;   // part of readLocationFile's reason
};

class UnreadableLocations : public LocationFiles, public ::testing::WithParamInterface<BadFile> {};

TEST_P(UnreadableLocations, FailWithAReasonThatSaysWhy)
{
    const BadFile& b = GetParam();
    const auto path = put("bad", b.bytes);
    const auto png = readPngLocation(path);
    ASSERT_FALSE(png);
    EXPECT_NE(png.error().find(b.asPng), std::string::npos) << png.error();
    EXPECT_EQ(png.error().find('\n'), std::string::npos);
    const auto any = readLocationFile(path);
    ASSERT_FALSE(any);
    EXPECT_NE(any.error().find(b.asAny), std::string::npos) << any.error();
    EXPECT_EQ(any.error().find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnreadableLocations,
    ::testing::Values(
        BadFile{"NotAPng", bytesOf("GIF89a\x01\x00\x01\x00"), "not a PNG", "neither a PNG"},
        BadFile{"Empty", {}, "not a PNG", "location: empty"},
        BadFile{"TwoLocationLines", bytesOf(std::string(kLine) + "\n" + kLine + "\n"), "not a PNG", "more than one line"},
        BadFile{"PngWithoutLocation", pngWith({{"Software", "an image editor"}}), "holds no location", "holds no location"},
        BadFile{"PngWithDamagedLocation", pngWith({{"mandel-location", "mandel-location/1 mode=12"}}), "location is damaged",
                "location is damaged"},
        BadFile{"PngWithCorruptedChunk", corrupted(), "damaged", "damaged"},
        BadFile{"PngCutShortInItsHeader", firstBytes(pngWith({}), 20),
                "damaged", "damaged"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(LocationFiles, AMissingFileIsReportedAsSuch)
{
    const auto read = readLocationFile((scratch.path() / "nothing.png").string());
    ASSERT_FALSE(read);
    EXPECT_EQ(read.failure().code, ENOENT);
}

} // namespace
} // namespace mandel
