#include "Directories.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace mandel {
namespace {

TEST(Directories, MakesParentsAndRefusesAFileInTheWay)
{
    namespace fs = std::filesystem;
    const testing::ScratchFolder scratch("dirs");
    const fs::path& root = scratch.path();
    EXPECT_TRUE(makeDirectories((root / "a" / "b").string()).ok());
    EXPECT_TRUE(fs::is_directory(root / "a" / "b"));
    EXPECT_TRUE(makeDirectories((root / "a" / "b").string()).ok()) << "an existing folder is fine";

    std::ofstream(root / "file") << "x";
    const std::string bad[] = {(root / "file").string(), (root / "file" / "under").string(), ""};
    for (const auto& path : bad) {
        const Status made = makeDirectories(path);
        EXPECT_FALSE(made.ok()) << path;
        EXPECT_NE(made.error(), "") << path;
    }
}

} // namespace
} // namespace mandel
