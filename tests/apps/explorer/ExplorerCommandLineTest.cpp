#include "ExplorerCommandLine.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
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
    {"QtsOwnOptionsGoAside", {"-platform", "offscreen", "--seed", "4", "-style=fusion", "--reverse"}, true, 4u, false},
    {"AValueThatLooksLikeQtsIsTheOptions", {"--seed", "-display"}, false, std::nullopt, false},
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
    for (const auto& arg : o->qtArguments)
        EXPECT_EQ(std::count(c.args.begin(), c.args.end(), arg), 1) << arg << ": only Qt's own go to Qt";
}

INSTANTIATE_TEST_SUITE_P(Options, ExplorerCommandLine, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ExplorerLocationOption, IsReadBeforeAWindowOpens)
{
    const std::string location = "mandel-location/1 mode=4 fn=1.5,0.25,9 moduli=160,170,180 clicks=12.5,400/300,300";
    const struct {
        std::vector<std::string> args;
        const char* refusal;  // null: accepted
    } cases[] = {
        {{"--seed", "5", "--location", location}, nullptr},
        {{"--location", location + " size=800x600"}, nullptr},  // the window draws at its own size
        {{"--location"}, "--location needs a value"},
        {{"--location", "--seed"}, "not a location"},
        {{"--location", "mandel-location/1 mode=0"}, "mode takes"},
        {{"--location-file", "/nonexistent/view.png"}, "--location-file takes"},
        {{"--location", location, "--location", location}, "one location"},
        {{"--location", "mandel-location/1 mode=1 fn=1,1,1 moduli=150,150,150 centre=0,x zoom=9 iterations=900"}, "centre"},
    };
    for (const auto& c : cases) {
        const auto o = parseExplorerOptions(c.args);
        ASSERT_EQ(o.ok(), !c.refusal) << c.args.back() << (o ? "" : ": " + o.error());
        if (c.refusal) {
            EXPECT_EQ(o.error().rfind("mandel-explorer: --location", 0), 0u) << o.error();
            EXPECT_NE(o.error().find(c.refusal), std::string::npos) << o.error();
            EXPECT_EQ(o.error().find('\n'), std::string::npos);
        } else {
            ASSERT_TRUE(o->location);
            EXPECT_EQ(formatLocation(*o->location).rfind(location, 0), 0u) << formatLocation(*o->location);
        }
    }
}

TEST(ExplorerUsage, DescribesTheSeed)
{
    const std::string usage = explorerUsage();
    EXPECT_NE(usage.find("--seed N"), std::string::npos);
    EXPECT_NE(usage.find("mandel-render --seed N"), std::string::npos);
}

} // namespace
} // namespace mandel
