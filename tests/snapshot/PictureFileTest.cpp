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

PictureRequest poster(PictureSize size, ImageFormat format, FileNaming naming)
{
    Result<Location> l = parseLocation("mandel-location/1 mode=4 fn=1.5,2.5,0.5 moduli=170,230,300 clicks=186,300");
    EXPECT_TRUE(l);
    l->size = size;
    return {*l, format, naming, "mandel-test", nullptr};
}

class PictureFiles : public ::testing::Test {
protected:
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(root), {})); }
    testing::ScratchFolder scratch{"picture-file"};
    const fs::path root = scratch.path();
};

TEST(PictureFile, TheExtensionPicksTheFormat)
{
    const std::pair<const char*, std::optional<ImageFormat>> paths[] = {
        {"a.png", ImageFormat::Png},       {"dir.v2/A.PNG", ImageFormat::Png}, {"a.Bmp", ImageFormat::Bmp},
        {"/dev/stdout", ImageFormat::Bmp}, {"dir.png/name", ImageFormat::Bmp}, {"a.jpg", std::nullopt},
        {"a.", std::nullopt},              {"a.png.txt", std::nullopt},
    };
    for (const auto& [path, expected] : paths) {
        const Result<ImageFormat> format = imageFormatFor(path);
        EXPECT_EQ(format ? std::optional(*format) : std::nullopt, expected) << path;
    }
}

TEST_F(PictureFiles, APosterPngHoldsItsLocationAndSize)
{
    const std::string path = (root / "p.png").string();
    const PictureRequest request = poster({40, 24}, ImageFormat::Png, FileNaming::Replace);
    const Result<std::string> written = writePictureFile(path, request);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, path);
    const testing::DecodedPng png = testing::decodePngFile(path);
    ASSERT_TRUE(png.ok) << png.error;
    EXPECT_EQ(png.width, 40);
    EXPECT_EQ(png.height, 24);
    EXPECT_EQ(png.texts.at("Software").rfind("mandel-test ", 0), 0u);
    const Result<Location> back = readLocationFile(path);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, request.location);
}

TEST_F(PictureFiles, FreeNamesNeverReplaceAnything)
{
    std::ofstream(root / "M1-8x8.png") << "mine";
    std::ofstream(root / "M1-8x8-2.png") << "mine too";
    const PictureRequest request = poster({8, 8}, ImageFormat::Png, FileNaming::FirstFree);
    for (const char* expected : {"M1-8x8-3.png", "M1-8x8-4.png"}) {
        const Result<std::string> written = writePictureFile((root / "M1-8x8.png").string(), request);
        ASSERT_TRUE(written) << written.error();
        EXPECT_EQ(*written, (root / expected).string());
    }
    EXPECT_EQ(readBytes(root / "M1-8x8.png").size(), 4u) << "mine";
    EXPECT_EQ(entries(), 4u);
}

// However a picture ends without being written, nothing is left: not the
// file, not a temporary, and never a partial file under its name.
TEST_F(PictureFiles, AStoppedOrFailedPictureLeavesNothing)
{
    std::ofstream(root / "old.bmp") << "kept";
    std::atomic<bool> stop{false};
    const PictureFileHooks byFlag{[&](double) { stop = true; return true; }, &stop};
    const PictureFileHooks byProgress{[bands = 0](double) mutable { return ++bands < 2; }, nullptr};
    const Result<std::string> png =
        writePictureFile((root / "new.png").string(), poster({300, 8000}, ImageFormat::Png, FileNaming::Replace), byFlag);
    const Result<std::string> bmp = writePictureFile((root / "old.bmp").string(),
                                                     poster({300, 8000}, ImageFormat::Bmp, FileNaming::Replace), byProgress);
    ASSERT_FALSE(png || bmp);
    EXPECT_EQ(png.failure().code, ECANCELED);
    EXPECT_EQ(bmp.failure().code, ECANCELED);
    EXPECT_EQ(readBytes(root / "old.bmp").size(), 4u) << "the file it would replace is untouched";

    const std::string missing = (root / "gone" / "x.png").string();
    const Result<std::string> failed = writePictureFile(missing, poster({8, 8}, ImageFormat::Png, FileNaming::Replace));
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().rfind(missing + ": ", 0), 0u) << "names the path: " << failed.error();
    EXPECT_EQ(entries(), 1u);
}

} // namespace
} // namespace mandel
