#include "BmpWriter.h"
#include "ImageSurface.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mandel {
namespace {

namespace fs = std::filesystem;

std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::vector<unsigned char> readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class TempFolder : public ::testing::Test {
protected:
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(root), {})); }
    testing::ScratchFolder scratch{"bmp"};
    const fs::path root = scratch.path();
};

TEST(EncodeBmp, HeaderAndBottomUpRowsOfBgrTriples)
{
    ImageSurface s;
    s.setPixel(0, 0, composeColour(10, 20, 30));       // top left
    s.setPixel(595, 595, composeColour(200, 100, 50)); // bottom right
    const auto bytes = encodeBmp(imageOf(s));
    const std::size_t row = 596 * 3;  // 1788, already a multiple of 4
    ASSERT_EQ(bytes.size(), 54 + row * 596);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(u32(bytes, 2), bytes.size());
    EXPECT_EQ(u32(bytes, 10), 54u);
    EXPECT_EQ(u32(bytes, 18), 596u);
    EXPECT_EQ(u32(bytes, 22), 596u);
    EXPECT_EQ(bytes[28], 24);
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
    const RgbImage tiny{3, 2, std::vector<Colour>(6, composeColour(1, 2, 3))};
    const auto bytes = encodeBmp(tiny);
    EXPECT_EQ(bytes.size(), 54u + 12u * 2u);
    EXPECT_EQ(bytes[54 + 9], 0);
}

TEST_F(TempFolder, ReplaceWritesWholeFilesAndLeavesNoTemporaries)
{
    const fs::path p = root / "a.bmp";
    const std::vector<unsigned char> first(1000, 1), second(10, 2);
    ASSERT_TRUE(writeFileAtomically(p.string(), first, Overwrite::Replace));
    ASSERT_TRUE(writeFileAtomically(p.string(), second, Overwrite::Replace));
    EXPECT_EQ(readFile(p), second);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(TempFolder, RefuseKeepsAnExistingFile)
{
    const fs::path p = root / "a.bmp";
    const std::vector<unsigned char> first(100, 1), second(10, 2);
    ASSERT_TRUE(writeFileAtomically(p.string(), first, Overwrite::Refuse));
    const Status again = writeFileAtomically(p.string(), second, Overwrite::Refuse);
    EXPECT_FALSE(again);
    EXPECT_EQ(again.failure().code, EEXIST);
    EXPECT_EQ(readFile(p), first);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(TempFolder, FailuresNameAReasonAndLeaveNothing)
{
    std::ofstream(root / "file") << "x";
    fs::create_directories(root / "folder");
    const std::vector<unsigned char> bytes(10, 3);
    const fs::path bad[] = {root / "missing" / "a.bmp", root / "folder", root / "file" / "a.bmp"};
    for (const auto& p : bad) {
        for (const auto mode : {Overwrite::Replace, Overwrite::Refuse}) {
            const Status r = writeFileAtomically(p.string(), bytes, mode);
            EXPECT_FALSE(r) << p;
            EXPECT_FALSE(r.error().empty()) << p;
            // A folder takes the name: refused as taken, so a caller can try another.
            EXPECT_EQ(r.failure().code == EEXIST, mode == Overwrite::Refuse && p == root / "folder") << p;
        }
    }
    EXPECT_EQ(entries(), 2u) << "no temporary files left behind";
    EXPECT_TRUE(fs::is_directory(root / "folder"));
}

TEST_F(TempFolder, AWriteCutShortLeavesNoFileAndKeepsTheOldOne)
{
    // A file size limit makes the write fail part way, as a full disk does.
    const fs::path p = root / "a.bmp";
    const std::vector<unsigned char> old(100, 7), big(1 << 20, 1);
    ASSERT_TRUE(writeFileAtomically(p.string(), old, Overwrite::Replace));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const Status a = writeFileAtomically(p.string(), big, Overwrite::Replace);
        const Status b = writeFileAtomically((root / "b.bmp").string(), big, Overwrite::Refuse);
        ::_exit(!a && !b && !a.error().empty() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(p), old);
    EXPECT_EQ(entries(), 1u);
}

} // namespace
} // namespace mandel
