// mandel-render --location: where it starts, what overrides it, what it refuses.
#include "BmpWriter.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "ImageSurface.h"
#include "Location.h"
#include "RandomSource.h"
#include "RenderCommand.h"
#include "RenderRun.h"
#include "Renderer.h"
#include "StatusLine.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace mandel {
namespace {

namespace fs = std::filesystem;

using testing::Outcome;
using testing::readFile;
using testing::render;

const char* const kFlat = "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 clicks=300,300/450.5,150.25";
const char* const kDeep =
    "mandel-location/1 mode=5 fn=1.5,2.5,0.5 moduli=170,230,300 centre=-0.743643887037158,0.131825904205311 zoom=12 "
    "iterations=400";

// The options that draw kFlat, with its mode, multipliers or moduli changed and more after.
std::vector<std::string> flat(const char* mode, const char* fn, const char* moduli, std::vector<std::string> more = {})
{
    std::vector<std::string> args = {"--mode", mode, "--fn", fn, "--moduli", moduli,
                                     "--click", "300,300", "--click", "450.5,150.25"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The options that draw kDeep, with its mode and cap changed and more after.
std::vector<std::string> deep(const char* mode, const char* iterations, std::vector<std::string> more = {})
{
    std::vector<std::string> args = {"--mode", mode, "--fn", "1.5,2.5,0.5", "--moduli", "170,230,300",
                                     "--centre", "-0.743643887037158,0.131825904205311", "--zoom", "12",
                                     "--iterations", iterations};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// A location draws what the options it stands for draw, and options given
// beside it (before or after) change what they name.
TEST(RenderLocation, DrawsWhatItsOptionsDrawWithTheOthersApplied)
{
    const char* fn = "4.2187495,0.5,9.99";
    const char* moduli = "150,200,304";
    const struct {
        const char* name;
        std::vector<std::string> located;  // "@flat", "@deep": --location and that location
        std::vector<std::string> spelled;  // the same picture without a location
    } runs[] = {
        {"the location alone", {"@flat"}, flat("3", fn, moduli)},
        {"a seed changes nothing", {"@flat", "--seed", "99"}, flat("3", fn, moduli)},
        {"--fn and --moduli", {"@flat", "--fn", "1,2.5,0.125", "--moduli", "151,152,153"},
         flat("3", "1,2.5,0.125", "151,152,153")},
        {"clicks zoom on from its view", {"@flat", "--click", "10.5,20", "--click", "595,0"},
         flat("3", fn, moduli, {"--click", "10.5,20", "--click", "595,0"})},
        {"--mode before it", {"--mode", "2", "@flat", "--click", "300,300"}, flat("2", fn, moduli, {"--click", "300,300"})},
        {"a deep location alone", {"@deep"}, deep("5", "400")},
        {"a deep location with colours and cap overridden and a zoom on",
         {"@deep", "--mode", "2", "--iterations", "600", "--click", "100,450"}, deep("2", "600", {"--click", "100,450"})},
    };
    testing::ScratchFolder scratch("location");
    const std::string a = (scratch.path() / "a.bmp").string(), b = (scratch.path() / "b.bmp").string();
    for (const auto& run : runs) {
        std::vector<std::string> located = {"--out", a};
        for (const auto& arg : run.located)
            if (arg[0] == '@')
                located.insert(located.end(), {"--location", arg == "@flat" ? kFlat : kDeep});
            else
                located.push_back(arg);
        std::vector<std::string> spelled = run.spelled;
        spelled.insert(spelled.end(), {"--out", b});
        const Outcome r = render(located), s = render(spelled);
        ASSERT_EQ(r.status, 0) << run.name << ": " << r.err;
        ASSERT_EQ(s.status, 0) << run.name << ": " << s.err;
        EXPECT_EQ(r.out, s.out) << run.name;
        EXPECT_TRUE(readFile(a) == readFile(b)) << run.name << ": another picture than its options draw";
    }
}

TEST(RenderLocation, RefusesWithExitTwoOneLineNamingTheFieldAndNoFile)
{
    std::string pastTheDoubles = "mandel-location/1 mode=1 fn=1,1,1 moduli=150,150,150 clicks=595,595";
    for (int k = 1; k < 320; ++k)
        pastTheDoubles.append("/595,595");
    // 15,000 clicks, the last one bad: the refusal quotes that one.
    std::string manyClicks = "mandel-location/1 mode=1 fn=1,1,1 moduli=150,150,150 clicks=1,1";
    for (int k = 1; k < 14999; ++k)
        manyClicks.append("/1,1");
    manyClicks.append("/1,x");
    const std::string hugeWord = std::string(kFlat) + " " + std::string(10 << 20, 'w');
    const struct {
        std::vector<std::string> args;
        const char* mentions;
    } refusals[] = {
        {{""}, "takes a location line: empty"},
        {{"mandel-location/3 mode=1"}, "version '3'"},
        {{"mandel-location/1 mode=1 fn=1,1,1 clicks=none"}, "'moduli' is missing"},
        {{"mandel-location/1 mode=11 fn=1,1,1 moduli=150,150,150 clicks=none"}, "mode takes"},
        {{"mandel-location/1 mode=1 fn=1,nan,1 moduli=150,150,150 clicks=none"}, "fn takes"},
        {{"mandel-location/1 mode=1 fn=1,1,1 moduli=150,150,150 clicks=none !"}, "unknown field"},
        {{std::string(kFlat) + "\n" + kFlat}, "one line"},
        {{pastTheDoubles}, "range of a double"},
        {{std::string(kFlat) + " size=1920x0"}, "size"},
        {{kFlat, "--deep"}, "--location sets the view"},
        {{kFlat, "--centre", "0,0", "--zoom", "3"}, "--location sets the view"},
        {{kFlat, "--zoom", "3"}, "--location sets the view"},
        {{manyClicks}, "got '1,x' (click 15000)"},
        {{hugeWord}, "unknown field 'wwwwwwwwww"},
        // Control sequence introducers: a lone byte (8-bit terminals) and U+009B in UTF-8.
        {{std::string(kFlat) + " \x9b[31m"}, "unknown field '\\x9b[31m'"},
        {{std::string(kFlat) + " \xc2\x9b[31m"}, "unknown field '\\xc2\\x9b[31m'"},
        {{"mandel-location/1 mode=\x1b]0;owned\x07"}, "got '\\x1b]0;owned\\x07'"},
    };
    testing::ScratchFolder scratch("refusal");
    const std::string out = (scratch.path() / "never.bmp").string();
    for (const auto& refusal : refusals) {
        std::vector<std::string> args = {"--out", out, "--location"};
        args.insert(args.end(), refusal.args.begin(), refusal.args.end());
        const Outcome r = render(args);
        EXPECT_EQ(r.status, 2) << refusal.mentions;
        EXPECT_EQ(r.err.rfind("mandel-render: --location ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(refusal.mentions), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        // About 80 characters of a value are quoted, and only text goes out.
        EXPECT_LT(r.err.size(), 400u) << refusal.mentions;
        EXPECT_EQ(std::count_if(r.err.begin(), r.err.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\n'; }),
                  0)
            << r.err;
        EXPECT_EQ(r.err.find("\x9b"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(fs::exists(out));
    }
}

// Random reachable states: start-up palettes, chains of whole and fractional
// presses, some far past 1E+15. Written as a location, mandel-render draws
// the very picture the chain draws.
TEST(RenderLocation, EveryReachableStateDrawnFromItsLocationIsThePictureItself)
{
    testing::ScratchFolder scratch("property");
    const std::string out = (scratch.path() / "p.bmp").string();
    Renderer renderer(makeFastComputer());
    std::mt19937_64 rng(90210);
    for (int trial = 0; trial < 40; ++trial) {
        ExplorerState s;
        s.wid = s.hei = kSurfaceSize;
        RandomSource colours(rng());
        DrawColourParameters(s, colours);
        ResetView(s);
        Location l;
        l.palette = paletteOf(s);
        const int depth = std::uniform_int_distribution<int>(0, trial % 3 == 0 ? 30 : 12)(rng);
        const float scale = std::array{1.0f, 1.25f, 1.5f, 2.0f}[static_cast<std::size_t>(trial % 4)];
        std::uniform_real_distribution<float> at(0.0f, 595.99f);
        for (int k = 0; k < depth; ++k) {
            const Click c{std::floor(at(rng) * scale) / scale, std::floor(at(rng) * scale) / scale};
            ZoomAt(s, c.x, c.y);
            l.clicks.push_back(c);
        }
        const std::string text = formatLocation(l);
        const Outcome r = render({"--location", text, "--out", out});
        ASSERT_EQ(r.status, 0) << text << ": " << r.err;
        ImageSurface image;
        renderer.DrawFractal(s, image);
        ASSERT_EQ(readFile(out), encodeBmp(image.view())) << text;
        ASSERT_EQ(r.out, statusLine(s) + "\n") << text;
    }
}

} // namespace
} // namespace mandel
