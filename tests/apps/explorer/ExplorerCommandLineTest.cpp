#include "ExplorerCommandLine.h"

#include <gtest/gtest.h>

#include <ostream>

#include <optional>
#include <string>
#include <vector>

namespace mandel {
namespace {

struct Case {
    const char* name;
    std::vector<std::string> args;
    bool ok;
    std::optional<std::uint64_t> seed;
    bool help;
};

const Case kCases[] = {
    {"NoOptionsSeedsFromTheClock", {}, true, std::nullopt, false},
    {"Seed", {"--seed", "42"}, true, 42u, false},
    {"SeedZero", {"--seed", "0"}, true, 0u, false},
    {"LargestSeed", {"--seed", "18446744073709551615"}, true, 18446744073709551615u, false},
    {"Help", {"--help"}, true, std::nullopt, true},
    {"SeedPastTheLargest", {"--seed", "18446744073709551616"}, false, std::nullopt, false},
    {"NegativeSeed", {"--seed", "-1"}, false, std::nullopt, false},
    {"SeedWithLetters", {"--seed", "12a"}, false, std::nullopt, false},
    {"SeedWithoutValue", {"--seed"}, false, std::nullopt, false},
    {"UnknownOption", {"--zoom"}, false, std::nullopt, false},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Case& row, std::ostream* os) { *os << row.name; }

class ExplorerCommandLine : public ::testing::TestWithParam<Case> {};

TEST_P(ExplorerCommandLine, Parses)
{
    const Case& c = GetParam();
    const auto o = parseExplorerOptions(c.args);
    ASSERT_EQ(o.ok(), c.ok) << (o ? "" : o.error());
    if (!c.ok) {
        EXPECT_EQ(o.error().rfind("mandel-explorer: ", 0), 0u) << o.error();
        return;
    }
    EXPECT_EQ(o->seed, c.seed);
    EXPECT_EQ(o->help, c.help);
}

INSTANTIATE_TEST_SUITE_P(Options, ExplorerCommandLine, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ExplorerUsage, DescribesTheSeed)
{
    const std::string usage = explorerUsage();
    EXPECT_NE(usage.find("--seed N"), std::string::npos);
    EXPECT_NE(usage.find("mandel-render --seed N"), std::string::npos);
}

} // namespace
} // namespace mandel
