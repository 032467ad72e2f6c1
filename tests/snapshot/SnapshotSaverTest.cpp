#include "BmpWriter.h"
#include "Clock.h"
#include "ExplorerState.h"
#include "ImageSurface.h"
#include "SnapshotSaver.h"

#include "FatMount.h"
#include "FixedClock.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace mandel {
namespace {

namespace fs = std::filesystem;
using testing::FixedClock;

std::vector<unsigned char> readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct NameCase {
    LocalDateTime t;
    const char* name;
};

TEST(MakeImageName, StampIsYearMonthDayHourMinuteSecondZeroPadded)
{
    const NameCase cases[] = {
        {{2024, 3, 9, 8, 5, 7}, "M20240309080507"},
        {{1999, 12, 31, 23, 59, 59}, "M19991231235959"},
        {{2026, 1, 1, 0, 0, 0}, "M20260101000000"},
        {{2030, 10, 2, 12, 0, 9}, "M20301002120009"},
    };
    for (const auto& c : cases) {
        ExplorerState s;
        MakeImageName(s, FixedClock(c.t));
        EXPECT_EQ(s.imeslike, c.name);
    }
}

class Saver : public ::testing::Test {
protected:
    void SetUp() override
    {
        image.setPixel(0, 0, composeColour(1, 2, 3));
        image.setPixel(300, 200, composeColour(250, 128, 7));
    }

    testing::ScratchFolder scratch{"save"};
    const fs::path root = scratch.path();
    FixedClock clock{{2024, 3, 9, 8, 5, 7}};
    ImageSurface image;
    ExplorerState state;
};

TEST_F(Saver, SavesInTheSameSecondKeepEveryFile)
{
    const SnapshotSaver saver((root / "tivek-art").string(), clock);
    const char* names[] = {"M20240309080507", "M20240309080507-2", "M20240309080507-3"};
    for (int k = 0; k < 3; ++k) {
        image.setPixel(k, 5, composeColour(9, 9, 9));  // each save a different picture
        const Result<std::string> o = saver.save(image.view(), state);
        ASSERT_TRUE(o.ok()) << o.error();
        EXPECT_EQ(state.imeslike, names[k]);
        EXPECT_EQ(*o, (root / "tivek-art" / (std::string(names[k]) + ".bmp")).string());
        EXPECT_EQ(readFile(*o), encodeBmp(image.view()));
    }
    EXPECT_NE(readFile(root / "tivek-art" / "M20240309080507.bmp"),
              readFile(root / "tivek-art" / "M20240309080507-3.bmp"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "tivek-art"), {}), 3);

    clock.set({2024, 3, 9, 8, 5, 8});
    ASSERT_TRUE(saver.save(image.view(), state).ok());
    EXPECT_EQ(state.imeslike, "M20240309080508");
}

TEST_F(Saver, SaveChangesOnlyTheName)
{
    const SnapshotSaver saver((root / "a").string(), clock);
    state.wid = 600;
    ResetView(state);
    ExplorerState before = state;
    ASSERT_TRUE(saver.save(image.view(), state).ok());
    before.imeslike = "M20240309080507";
    EXPECT_EQ(state, before);
}

TEST_F(Saver, ADeletedFolderIsMadeAgain)
{
    const fs::path folder = root / "Pictures" / "tivek-art";
    const SnapshotSaver saver(folder.string(), clock);
    ASSERT_TRUE(saver.prepareFolder().ok());
    fs::remove_all(root / "Pictures");
    const Result<std::string> o = saver.save(image.view(), state);
    ASSERT_TRUE(o.ok()) << o.error();
    EXPECT_TRUE(fs::is_regular_file(folder / "M20240309080507.bmp"));
}

TEST_F(Saver, FailuresNameThePathAndAReasonAndClaimNothing)
{
    std::ofstream(root / "plain") << "not a folder";
    const fs::path folders[] = {root / "plain", root / "plain" / "tivek-art"};
    for (const auto& folder : folders) {
        state.imeslike = "M1";
        const SnapshotSaver saver(folder.string(), clock);
        EXPECT_FALSE(saver.prepareFolder().ok());
        const Result<std::string> o = saver.save(image.view(), state);
        ASSERT_FALSE(o.ok()) << folder;
        // "PATH: why", the path attempted and a reason.
        const auto colon = o.error().rfind(": ");
        ASSERT_NE(colon, std::string::npos) << o.error();
        EXPECT_GT(o.error().size(), colon + 2) << folder;
        EXPECT_NE(o.error().substr(0, colon).find(folder.string()), std::string::npos) << o.error();
        EXPECT_EQ(state.imeslike, "M1") << "no name is claimed";
    }
    EXPECT_EQ(readFile(root / "plain").size(), 12u);
    EXPECT_EQ(std::distance(fs::directory_iterator(root), {}), 1);
}

TEST_F(Saver, ANameTakenByAFolderIsSkipped)
{
    const SnapshotSaver saver(root.string(), clock);
    fs::create_directories(root / "M20240309080507.bmp");
    const Result<std::string> o = saver.save(image.view(), state);
    ASSERT_TRUE(o.ok()) << o.error();
    EXPECT_EQ(state.imeslike, "M20240309080507-2");
}

TEST_F(Saver, ManyTakenNamesCostOneWrite)
{
    const SnapshotSaver saver(root.string(), clock);
    std::ofstream(root / "M20240309080507.bmp") << "an earlier picture";
    for (int k = 2; k < 8; ++k)
        std::ofstream(root / ("M20240309080507-" + std::to_string(k) + ".bmp")) << "an earlier picture";
    // Bytes this process has handed to write() so far.
    auto written = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        long long value = 0;
        while (io >> key >> value && key != "wchar:") {}
        return key == "wchar:" ? value : -1;
    };
    const long long before = written();
    ASSERT_GE(before, 0) << "no /proc/self/io here";
    const Result<std::string> o = saver.save(image.view(), state);
    const long long bytes = written() - before;
    ASSERT_TRUE(o.ok()) << o.error();
    EXPECT_EQ(state.imeslike, "M20240309080507-8");
    const auto size = static_cast<long long>(encodeBmp(image.view()).size());
    EXPECT_GE(bytes, size);
    EXPECT_LT(bytes, 2 * size) << "the picture is written once, then named";
}

// Without hard links (a USB stick's FAT), every save still takes a free name
// whole, on the folder's own fallbacks and on a real FAT mount where one can be had.
TEST_F(Saver, FolderWithoutHardLinksTakesEveryPictureWhole)
{
    for (const FileSystemFeatures features : {FileSystemFeatures{false, false, true}, FileSystemFeatures{false, false, false}}) {
        const fs::path folder = root / std::to_string(features.renameNoReplace);
        const SnapshotSaver saver(folder.string(), clock, features);
        ASSERT_TRUE(saver.prepareFolder().ok());
        for (const char* name : {"M20240309080507", "M20240309080507-2", "M20240309080507-3"}) {
            image.setPixel(1, 1, composeColour(static_cast<int>(std::strlen(name)), 0, 0));
            const Result<std::string> o = saver.save(image.view(), state);
            ASSERT_TRUE(o.ok()) << o.error();
            EXPECT_EQ(state.imeslike, name);
            EXPECT_EQ(readFile(*o), encodeBmp(image.view()));
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 3) << "nothing else left";
    }
}

TEST_F(Saver, SavesOntoARealFatFileSystem)
{
    const testing::FatMount fat(root);
    if (!fat.mounted())
        GTEST_SKIP() << "no FAT file system can be mounted here (needs mkfs.vfat, fusefat and root)";
    const fs::path folder = fat.path() / "tivek-art";
    const SnapshotSaver saver(folder.string(), clock);
    ASSERT_TRUE(saver.prepareFolder().ok());
    for (const char* name : {"M20240309080507", "M20240309080507-2", "M20240309080507-3"}) {
        image.setPixel(static_cast<int>(std::strlen(name)), 7, composeColour(9, 9, 9));
        const Result<std::string> o = saver.save(image.view(), state);
        ASSERT_TRUE(o.ok()) << o.error();
        EXPECT_EQ(readFile(folder / (std::string(name) + ".bmp")), encodeBmp(image.view()));
    }
    const std::string first = (folder / "M20240309080507.bmp").string();
    ASSERT_TRUE(writeFileAtomically(first, encodeBmp(image.view()), Overwrite::Replace).ok());
    EXPECT_EQ(readFile(first), encodeBmp(image.view()));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 3);
}

} // namespace
} // namespace mandel
