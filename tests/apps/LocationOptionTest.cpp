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
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace mandel {
namespace {

namespace fs = std::filesystem;

using testing::Outcome;
using testing::readFile;
using testing::render;

// The BMP of `s` drawn by the engine, without locations or the command line.
std::vector<unsigned char> bmpOf(const ExplorerState& s)
{
    static Renderer renderer(makeFastComputer());
    ImageSurface image;
    renderer.DrawFractal(s, image);
    return encodeBmp(image.view());
}

const char* const kText = "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 clicks=300,300/450.5,150.25";

// The state kText stands for, made by hand: palette, full view, two zooms.
ExplorerState textState()
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    s.fn1 = 4.2187495f;
    s.fn2 = 0.5f;
    s.fn3 = 9.99f;
    s.b = 3;
    s.m1 = 150;
    s.m2 = 200;
    s.m3 = 304;
    ResetView(s);
    ZoomAt(s, 300, 300);
    ZoomAt(s, 450.5f, 150.25f);
    return s;
}

struct Start {
    const char* name;
    std::vector<std::string> more;  // options after --location kText
    std::function<void(ExplorerState&)> change;  // of textState()
};

const Start kStarts[] = {
    {"TheLocationAlone", {}, [](ExplorerState&) {}},
    {"ASeedDoesNotChangeIt", {"--seed", "99"}, [](ExplorerState&) {}},
    {"ModeOverridesItsMode", {"--mode", "7"}, [](ExplorerState& s) { s.b = 7; }},
    {"FnOverridesItsMultipliers", {"--fn", "1,2.5,0.125"},
     [](ExplorerState& s) {
         s.fn1 = 1;
         s.fn2 = 2.5f;
         s.fn3 = 0.125f;
     }},
    {"ModuliOverrideItsModuli", {"--moduli", "151,152,153"},
     [](ExplorerState& s) {
         s.m1 = 151;
         s.m2 = 152;
         s.m3 = 153;
     }},
    {"ClicksZoomOnFromItsView", {"--click", "10.5,20", "--click", "595,0"},
     [](ExplorerState& s) {
         ZoomAt(s, 10.5f, 20);
         ZoomAt(s, 595, 0);
     }},
    {"OptionsBeforeItCountAsWell", {"--mode", "2", "--click", "300,300"},
     [](ExplorerState& s) {
         s.b = 2;
         ZoomAt(s, 300, 300);
     }},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Start& row, std::ostream* os) { *os << row.name; }

class RenderFromALocation : public ::testing::TestWithParam<Start> {};

TEST_P(RenderFromALocation, DrawsItsViewWithTheOptionsAppliedAfterIt)
{
    testing::ScratchFolder scratch("location");
    const std::string out = (scratch.path() / "a.bmp").string();
    std::vector<std::string> args = {"--location", kText, "--out", out};
    args.insert(args.end(), GetParam().more.begin(), GetParam().more.end());
    const Outcome r = render(args);
    ASSERT_EQ(r.status, 0) << r.err;
    ExplorerState expected = textState();
    GetParam().change(expected);
    EXPECT_EQ(readFile(out), bmpOf(expected));
    EXPECT_EQ(r.out, statusLine(expected) + "\n");
}

INSTANTIATE_TEST_SUITE_P(RenderLocation, RenderFromALocation, ::testing::ValuesIn(kStarts),
                         [](const auto& row) { return std::string(row.param.name); });

std::string chainOf(int clicks)
{
    std::string text = "mandel-location/1 mode=1 fn=1,1,1 moduli=150,150,150 clicks=595,595";
    for (int k = 1; k < clicks; ++k)
        text.append("/595,595");
    return text;
}

struct Refusal {
    const char* name;
    std::string text;
    const char* mentions;
};

const Refusal kRefusals[] = {
    {"Empty", "", "empty"},
    {"LaterVersion", "mandel-location/3 mode=1", "version '3'"},
    {"MissingField", "mandel-location/1 mode=1 fn=1,1,1 clicks=none", "'moduli' is missing"},
    {"ModeOutOfRange", "mandel-location/1 mode=11 fn=1,1,1 moduli=150,150,150 clicks=none", "mode takes"},
    {"NanMultiplier", "mandel-location/1 mode=1 fn=1,nan,1 moduli=150,150,150 clicks=none", "fn takes"},
    {"TrailingGarbage", "mandel-location/1 mode=1 fn=1,1,1 moduli=150,150,150 clicks=none !", "unknown field"},
    {"TwoLines", std::string(kText) + "\n" + kText, "one line"},
    {"PastTheRangeOfADouble", chainOf(320), "range of a double"},
    {"DamagedPosterSize", std::string(kText) + " size=1920x0", "size"},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Refusal& row, std::ostream* os) { *os << row.name; }

class RenderRefusesALocation : public ::testing::TestWithParam<Refusal> {};

TEST_P(RenderRefusesALocation, WithExitTwoOneLineNamingTheFieldAndNoFile)
{
    testing::ScratchFolder scratch("refusal");
    const std::string out = (scratch.path() / "never.bmp").string();
    const Outcome r = render({"--out", out, "--location", GetParam().text});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("mandel-render: --location takes a location line: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(GetParam().mentions), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(fs::exists(out));
}

INSTANTIATE_TEST_SUITE_P(RenderLocation, RenderRefusesALocation, ::testing::ValuesIn(kRefusals),
                         [](const auto& row) { return std::string(row.param.name); });

const char* const kDeep =
    "mandel-location/1 mode=5 fn=1.5,2.5,0.5 moduli=170,230,300 centre=-0.743643887037158,0.131825904205311 zoom=12 "
    "iterations=400";

struct DeepStart {
    const char* name;
    std::vector<std::string> withLocation;  // after --location kDeep
    std::vector<std::string> spelledOut;    // the same picture without a location
};

const DeepStart kDeepStarts[] = {
    {"TheLocationAlone", {}, {"--centre", "-0.743643887037158,0.131825904205311", "--zoom", "12", "--iterations", "400"}},
    {"ColoursAndCapOverriddenAndAZoomOn",
     {"--mode", "2", "--iterations", "600", "--click", "100,450"},
     {"--centre", "-0.743643887037158,0.131825904205311", "--zoom", "12", "--iterations", "600", "--mode", "2",
      "--click", "100,450"}},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const DeepStart& row, std::ostream* os) { *os << row.name; }

class RenderFromADeepLocation : public ::testing::TestWithParam<DeepStart> {};

TEST_P(RenderFromADeepLocation, DrawsWhatTheDeepOptionsDraw)
{
    testing::ScratchFolder scratch("deep");
    const std::string a = (scratch.path() / "a.bmp").string();
    const std::string b = (scratch.path() / "b.bmp").string();
    std::vector<std::string> located = {"--location", kDeep, "--out", a};
    located.insert(located.end(), GetParam().withLocation.begin(), GetParam().withLocation.end());
    std::vector<std::string> spelled = {"--fn", "1.5,2.5,0.5", "--mode", "5", "--moduli", "170,230,300", "--out", b};
    spelled.insert(spelled.end(), GetParam().spelledOut.begin(), GetParam().spelledOut.end());
    const Outcome r = render(located);
    const Outcome s = render(spelled);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(r.out, s.out);
    EXPECT_TRUE(readFile(a) == readFile(b)) << "a deep location draws another picture than its options";
}

INSTANTIATE_TEST_SUITE_P(RenderLocation, RenderFromADeepLocation, ::testing::ValuesIn(kDeepStarts),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(RenderLocation, AnotherViewBesideTheLocationIsRefused)
{
    const std::vector<std::string> others[] = {{"--deep"}, {"--centre", "0,0", "--zoom", "3"}, {"--zoom", "3"}};
    for (const auto& other : others) {
        std::vector<std::string> args = {"--location", kText};
        args.insert(args.end(), other.begin(), other.end());
        const Outcome r = render(args);
        EXPECT_EQ(r.status, 2) << other[0];
        EXPECT_NE(r.err.find("--location sets the view"), std::string::npos) << r.err;
    }
}

// Random reachable states: start-up palettes, chains of whole and fractional
// presses, some far past 1E+15. Written as a location, mandel-render draws
// the very picture the chain draws.
TEST(RenderLocation, EveryReachableStateDrawnFromItsLocationIsThePictureItself)
{
    testing::ScratchFolder scratch("property");
    const std::string out = (scratch.path() / "p.bmp").string();
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
        for (int k = 0; k < depth; ++k) {
            std::uniform_real_distribution<float> at(0.0f, 595.99f);
            const Click c{std::floor(at(rng) * scale) / scale, std::floor(at(rng) * scale) / scale};
            ZoomAt(s, c.x, c.y);
            l.clicks.push_back(c);
        }
        const std::string text = formatLocation(l);
        const Outcome r = render({"--location", text, "--out", out});
        ASSERT_EQ(r.status, 0) << text << ": " << r.err;
        ASSERT_EQ(readFile(out), bmpOf(s)) << text;
        ASSERT_EQ(r.out, statusLine(s) + "\n") << text;
    }
}

} // namespace
} // namespace mandel
