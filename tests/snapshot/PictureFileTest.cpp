#include "PictureFile.h"

#include "LocationFile.h"
#include "PngDecoder.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

namespace mandel {
namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> readBytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::size_t entries(const fs::path& folder) { return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {})); }

Location poster(PictureSize size)
{
    Result<Location> l = parseLocation("mandel-location/1 mode=4 fn=1.5,2.5,0.5 moduli=170,230,300 clicks=186,300");
    EXPECT_TRUE(l);
    l->size = size;
    return *l;
}

struct FormatCase {
    const char* path;
    std::optional<ImageFormat> format;  // none: refused
};

const FormatCase kFormats[] = {
    {"a.png", ImageFormat::Png},      {"dir.v2/A.PNG", ImageFormat::Png}, {"a.Bmp", ImageFormat::Bmp},
    {"/dev/stdout", ImageFormat::Bmp}, {"dir.png/name", ImageFormat::Bmp}, {"a.jpg", std::nullopt},
    {"a.", std::nullopt},             {"a.png.txt", std::nullopt},
};

TEST(PictureFile, TheExtensionPicksTheFormat)
{
    for (const FormatCase& c : kFormats) {
        const Result<ImageFormat> format = imageFormatFor(c.path);
        EXPECT_EQ(format.ok(), c.format.has_value()) << c.path;
        if (format && c.format) {
            EXPECT_EQ(*format, *c.format) << c.path;
        }
    }
}

TEST(PictureFile, APosterPngHoldsItsLocationAndSize)
{
    testing::ScratchFolder scratch("picture-file");
    const std::string path = (scratch.path() / "p.png").string();
    PictureRequest request{poster({40, 24}), ImageFormat::Png, FileNaming::Replace, "mandel-test", nullptr};
    const Result<std::string> written = writePictureFile(path, request);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, path);
    const testing::DecodedPng png = testing::decodePng(readBytes(path));
    ASSERT_TRUE(png.ok) << png.error;
    EXPECT_EQ(png.width, 40);
    EXPECT_EQ(png.height, 24);
    EXPECT_EQ(png.texts.at("Software").rfind("mandel-test ", 0), 0u);
    const Result<Location> back = readLocationFile(path);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, request.location);
}

TEST(PictureFile, FreeNamesNeverReplaceAnything)
{
    testing::ScratchFolder scratch("picture-names");
    const fs::path folder = scratch.path();
    std::ofstream(folder / "M1-8x8.png") << "mine";
    std::ofstream(folder / "M1-8x8-2.png") << "mine too";
    PictureRequest request{poster({8, 8}), ImageFormat::Png, FileNaming::FirstFree, "mandel-test", nullptr};
    const Result<std::string> first = writePictureFile((folder / "M1-8x8.png").string(), request);
    const Result<std::string> second = writePictureFile((folder / "M1-8x8.png").string(), request);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, (folder / "M1-8x8-3.png").string());
    EXPECT_EQ(*second, (folder / "M1-8x8-4.png").string());
    const auto mine = readBytes(folder / "M1-8x8.png");
    EXPECT_EQ(std::string(mine.begin(), mine.end()), "mine");
    EXPECT_EQ(entries(folder), 4u);
}

// However a picture ends without being written, nothing is left: not the
// file, not a temporary, and never a partial file under its name.
TEST(PictureFile, AStoppedOrFailedPictureLeavesNothing)
{
    testing::ScratchFolder scratch("picture-stop");
    const fs::path folder = scratch.path();
    std::ofstream(folder / "old.bmp") << "kept";
    std::atomic<bool> stop{false};
    int bands = 0;
    PictureFileHooks hooks;
    hooks.stop = &stop;
    hooks.progress = [&](double) {
        if (++bands == 1)
            stop = true;
        return true;
    };
    PictureRequest png{poster({300, 8000}), ImageFormat::Png, FileNaming::Replace, "mandel-test", nullptr};
    Result<std::string> stopped = writePictureFile((folder / "new.png").string(), png, hooks);
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.failure().code, ECANCELED);

    PictureRequest bmp = png;
    bmp.format = ImageFormat::Bmp;
    bands = 0;
    stop = false;
    stopped = writePictureFile((folder / "old.bmp").string(), bmp, hooks);
    ASSERT_FALSE(stopped);
    EXPECT_EQ(readBytes(folder / "old.bmp").size(), 4u) << "the file it would replace is untouched";

    const Result<std::string> missing = writePictureFile((folder / "gone" / "x.png").string(), png);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().rfind((folder / "gone" / "x.png").string() + ": ", 0), 0u) << missing.error();
    EXPECT_EQ(entries(folder), 1u);
}

} // namespace
} // namespace mandel
