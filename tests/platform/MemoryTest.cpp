#include "Memory.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace mandel {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// A cgroup file system in a folder: `files` are paths under it and their contents.
void makeTree(const fs::path& root, const std::vector<std::pair<std::string, std::string>>& files)
{
    for (const auto& [path, content] : files) {
        fs::create_directories((root / path).parent_path());
        std::ofstream(root / path) << content << '\n';
    }
}

// The memory left to a process is the least of its cgroup and every
// ancestor's limit less use, in cgroup v2 (at the root or under unified/)
// or in v1's memory controller; "max" and v1's huge "no limit" are none.
TEST(Memory, TheCgroupLeavesTheLeastOfItsAncestorsLimits)
{
    const struct {
        const char* name;
        std::string procCgroup;
        std::vector<std::pair<std::string, std::string>> files;
        std::size_t left;
    } rows[] = {
        {"no cgroup file system", "0::/user.slice/app\n", {}, 0},
        {"v2 without a limit", "0::/app\n", {{"app/memory.max", "max"}, {"app/memory.current", "1000"}}, 0},
        {"v2 with a limit", "0::/app\n",
         {{"app/memory.max", std::to_string(512 * kMiB)}, {"app/memory.current", std::to_string(100 * kMiB)}},
         412 * kMiB},
        {"v2 with a tighter parent", "0::/box/app\n",
         {{"box/memory.max", std::to_string(300 * kMiB)},
          {"box/memory.current", std::to_string(250 * kMiB)},
          {"box/app/memory.max", "max"},
          {"box/app/memory.current", std::to_string(10 * kMiB)}},
         50 * kMiB},
        {"v2 in a container, at the root", "0::/\n",
         {{"memory.max", std::to_string(256 * kMiB)}, {"memory.current", std::to_string(56 * kMiB)}}, 200 * kMiB},
        {"v2 under unified", "0::/app\n",
         {{"unified/app/memory.max", std::to_string(64 * kMiB)}, {"unified/app/memory.current", "0"}}, 64 * kMiB},
        {"v1", "4:memory:/job\n1:cpu:/\n",
         {{"memory/job/memory.limit_in_bytes", std::to_string(128 * kMiB)},
          {"memory/job/memory.usage_in_bytes", std::to_string(28 * kMiB)}},
         100 * kMiB},
        {"v1 without a limit", "4:memory:/job\n",
         {{"memory/job/memory.limit_in_bytes", "9223372036854771712"}, {"memory/job/memory.usage_in_bytes", "5"}}, 0},
        {"over the limit already", "0::/app\n",
         {{"app/memory.max", std::to_string(kMiB)}, {"app/memory.current", std::to_string(2 * kMiB)}}, 1},
        {"a path that climbs out", "0::/../../etc\n", {{"memory.max", "1"}}, 0},
    };
    for (const auto& r : rows) {
        testing::ScratchFolder scratch("cgroup");
        makeTree(scratch.path(), r.files);
        EXPECT_EQ(cgroupMemoryLeft(r.procCgroup, scratch.path().string()), r.left) << r.name;
    }
}

TEST(Memory, TheLimitIsTheLeastKnown)
{
    EXPECT_EQ(leastLimit({}), 0u);
    EXPECT_EQ(leastLimit({8 * kMiB, 0, 0}), 8 * kMiB);
    EXPECT_EQ(leastLimit({8 * kMiB, 3 * kMiB, 0}), 3 * kMiB);
    EXPECT_EQ(leastLimit({8 * kMiB, 3 * kMiB, 2 * kMiB}), 2 * kMiB);
    EXPECT_EQ(leastLimit({0, 0, 5 * kMiB}), 5 * kMiB);
}

} // namespace
} // namespace mandel
