// The mandel-explorer program's own command line, run as a process.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <ostream>
#include <string>

namespace {

struct ProcessRun {
    int status = -1;
    std::string out;
};

// Runs the explorer with `args` (a shell fragment), stdout and stderr
// joined, in the environment `environment` sets up (a shell fragment
// before the program: variables, or env -u ...).
ProcessRun runExplorer(const std::string& args, const std::string& environment)
{
    const std::string command = "bash -c \"" + environment + " '" + MANDEL_EXPLORER_BINARY + "' " + args + " 2>&1\"";
    ProcessRun r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return r;
    std::array<char, 4096> buf{};
    std::size_t got = 0;
    while ((got = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        r.out.append(buf.data(), got);
    const int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

// No window system at all: no display, no Wayland, no platform named.
const char* const kNoDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";

struct Case {
    const char* name;
    const char* args;
    int status;
    const char* says;
    const char* environment = "QT_QPA_PLATFORM=offscreen";
};

void PrintTo(const Case& row, std::ostream* os) { *os << row.name; }

const Case kCases[] = {
    {"HelpDescribesTheSeed", "--help", 0, "--seed N"},
    {"HelpNeedsNoDisplay", "--help -platform none-such", 0, "Usage: mandel-explorer"},
    {"VersionIsTheProjectsAndNeedsNoDisplay", "--version -platform none-such", 0,
     "mandel-explorer " MANDEL_PROJECT_VERSION "\n"},
    {"BadSeedIsRefusedBeforeAWindowOpens", "--seed x", 2, "--seed takes a whole number"},
    {"UnknownOptionIsRefused", "--zoom 3", 2, "unknown option '--zoom'"},
    {"BadLocationIsRefusedBeforeAWindowOpens", "--location 'mandel-location/1 mode=0'", 2,
     "mandel-explorer: --location takes a location line: mode takes"},
    // Every argument is checked before the window system starts, so even
    // where none can start the refusal is the documented one, not an abort.
    {"BadLocationWithoutADisplay", "--location 'mandel-location/1 mode=0'", 2,
     "mandel-explorer: --location takes a location line: mode takes", kNoDisplay},
    {"BadLocationFileThroughAPipeWithoutADisplay", "--location-file <(printf 'mandel-location/1 mode=0')", 2,
     "mandel-explorer: --location-file takes", kNoDisplay},
    {"UnknownOptionWithoutADisplay", "-platform offscreen --zoom 3", 2, "unknown option '--zoom'", kNoDisplay},
    {"QtsOptionNeedsItsValue", "--seed 3 -display", 2, "-display needs a value", kNoDisplay},
};

class ExplorerBinary : public ::testing::TestWithParam<Case> {};

TEST_P(ExplorerBinary, AnswersOnItsCommandLine)
{
    const ProcessRun r = runExplorer(GetParam().args, GetParam().environment);
    EXPECT_EQ(r.status, GetParam().status) << r.out;
    EXPECT_NE(r.out.find(GetParam().says), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Program, ExplorerBinary, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
