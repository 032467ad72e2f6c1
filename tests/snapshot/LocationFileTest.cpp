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

// A 7x5 PNG holding `texts`.
std::vector<unsigned char> pngWith(std::vector<PngText> texts)
{
    MemoryFile file;
    PngBandWriter png({7, 5}, std::move(texts), file.writer(), nullptr);
    const std::vector<std::uint8_t> rgb(7 * 5 * 3, 77);
    EXPECT_TRUE(png.writeRows(rgb.data(), 5));
    return file.bytes;
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
    fs::path put(const std::vector<unsigned char>& bytes)
    {
        const fs::path p = scratch.path() / "file";
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    testing::ScratchFolder scratch{"locfile"};
};

TEST_F(LocationFiles, APngThisProgramWroteOrALocationLineGivesBackItsLocation)
{
    const std::pair<std::vector<unsigned char>, const char*> files[] = {
        {pngWith({{"Software", "mandel-render"}, {"mandel-location", kLine}}), kLine},
        {pngWith({{"mandel-location", kDeepLine}}), kDeepLine},
        {bytesOf(std::string("  ") + kLine + "\n"), kLine},  // a text file of one line
    };
    for (const auto& [bytes, line] : files) {
        const auto path = put(bytes);
        const auto read = readLocationFile(path);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(*read, *parseLocation(line));
        const auto fromPng = readPngLocation(path);
        EXPECT_EQ(fromPng.ok(), bytes[0] != ' ') << "only a PNG is read as one";
        if (fromPng) {
            EXPECT_EQ(*fromPng, *read);
        }
    }
}

TEST_F(LocationFiles, UnreadableLocationsFailWithAReasonThatSaysWhy)
{
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
        const char* asPng;  // part of readPngLocation's reason
        const char* asAny;  // part of readLocationFile's reason
    } files[] = {
        {"not a PNG", bytesOf("GIF89a\x01\x00\x01\x00"), "not a PNG", "neither a PNG"},
        {"empty", {}, "not a PNG", "location: empty"},
        {"two location lines", bytesOf(std::string(kLine) + "\n" + kLine + "\n"), "not a PNG", "more than one line"},
        {"PNG without a location", pngWith({{"Software", "an image editor"}}), "holds no location", "holds no location"},
        {"PNG with a damaged location", pngWith({{"mandel-location", "mandel-location/1 mode=12"}}),
         "location is damaged", "location is damaged"},
        {"PNG with a corrupted chunk", corrupted(), "damaged", "damaged"},
        {"PNG cut short in its header", [] { auto b = pngWith({}); b.resize(20); return b; }(), "damaged", "damaged"},
    };
    for (const auto& f : files) {
        const auto path = put(f.bytes);
        const auto png = readPngLocation(path);
        const auto any = readLocationFile(path);
        ASSERT_TRUE(!png && !any) << f.name;
        EXPECT_NE(png.error().find(f.asPng), std::string::npos) << f.name << ": " << png.error();
        EXPECT_NE(any.error().find(f.asAny), std::string::npos) << f.name << ": " << any.error();
        EXPECT_EQ((png.error() + any.error()).find('\n'), std::string::npos) << f.name;
    }
}

} // namespace
} // namespace mandel
