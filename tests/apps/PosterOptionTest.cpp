#include "RenderCommand.h"
#include "RenderRun.h"

#include "MemoryFile.h"
#include "PngBandWriter.h"
#include "PngDecoder.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace mandel {
namespace {

namespace fs = std::filesystem;

using testing::Outcome;
using testing::readFile;
using testing::render;

testing::DecodedPng decoded(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return testing::decodePng({std::istreambuf_iterator<char>(in), {}});
}

class PosterCli : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (root / name).string(); }
    testing::ScratchFolder scratch{"poster-cli"};
    const fs::path root = scratch.path();
};

struct BadPoster {
    const char* name;
    std::vector<std::string> args;  // "@" + name: a file in the scratch folder
    const char* mentions;
};

const BadPoster kBadPosters[] = {
    {"ZeroSide", {"--size", "0x5", "--out", "@a.png"}, "--size takes WxH"},
    {"SideTooLong", {"--size", "65536x5", "--out", "@a.png"}, "1 to 65535"},
    {"Negative", {"--size", "-4x5", "--out", "@a.png"}, "--size"},
    {"NotWhole", {"--size", "4.5x5", "--out", "@a.png"}, "--size"},
    {"MissingSide", {"--size", "45", "--out", "@a.png"}, "--size"},
    {"ExtraPart", {"--size", "4x5x6", "--out", "@a.png"}, "--size"},
    {"UnknownExtension", {"--out", "@a.jpeg"}, ".jpeg"},
    {"SizeWithoutFile", {"--size", "40x30"}, "--out"},
    {"SizeWithRepeat", {"--size", "40x30", "--repeat", "2", "--out", "@a.png"}, "--size"},
    {"NotAPng", {"--location-file", "@text.png", "--out", "@a.png"}, "--location-file"},
    {"PngWithoutLocation", {"--location-file", "@plain.png", "--out", "@a.png"}, "--location-file"},
    {"MissingFile", {"--location-file", "@none.png", "--out", "@a.png"}, "--location-file"},
    {"TwoLocations", {"--location-file", "@good.png", "--location", "mandel-location/1", "--out", "@a.png"},
     "one location"},
};

void PrintTo(const BadPoster& row, std::ostream* os) { *os << row.name; }

class PosterBadInput : public PosterCli, public ::testing::WithParamInterface<BadPoster> {};

TEST_P(PosterBadInput, ExitsTwoWithOneLineAndNoFile)
{
    std::ofstream(root / "text.png") << "not a picture\n";
    ASSERT_EQ(render({"--seed", "1", "--size", "8x8", "--out", path("good.png")}).status, 0);
    {
        // A PNG with no location, as another program writes one.
        testing::MemoryFile file;
        PngBandWriter png({2, 1}, {{"Software", "another"}}, file.writer(), nullptr);
        const std::uint8_t rgb[6] = {};
        ASSERT_TRUE(png.writeRows(rgb, 1));
        std::ofstream(root / "plain.png", std::ios::binary)
            .write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
    }
    const auto before = std::distance(fs::directory_iterator(root), {});

    std::vector<std::string> args = GetParam().args;
    for (auto& a : args)
        if (a.front() == '@')
            a = path(a.substr(1));
    const Outcome r = render(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(GetParam().mentions), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(root), {}), before) << "a file was written";
}

INSTANTIATE_TEST_SUITE_P(Posters, PosterBadInput, ::testing::ValuesIn(kBadPosters),
                         [](const auto& row) { return std::string(row.param.name); });

// A picture is also a bookmark: its PNG gives back its view, at its size
// unless told another, in the same colours; a picture without --size is
// the window's, in whichever format.
TEST_F(PosterCli, APngGivesBackItsViewAndSize)
{
    const std::vector<std::string> view = {"--seed", "11", "--mode", "7", "--click", "186,300", "--click", "300.5,280.25"};
    auto poster = view;
    poster.insert(poster.end(), {"--size", "90x50", "--out", path("poster.png")});
    ASSERT_EQ(render(poster).status, 0);
    ASSERT_EQ(render({"--location-file", path("poster.png"), "--out", path("again.png")}).status, 0);
    const auto first = decoded(path("poster.png")), again = decoded(path("again.png"));
    ASSERT_TRUE(first.ok && again.ok);
    EXPECT_EQ(again.width, 90);
    EXPECT_EQ(again.height, 50);
    EXPECT_EQ(again.pixels, first.pixels);

    ASSERT_EQ(render({"--location-file", path("poster.png"), "--size", "30x60", "--out", path("other.png")}).status, 0);
    EXPECT_EQ(decoded(path("other.png")).width, 30);

    auto windowPng = view, windowBmp = view;
    windowPng.insert(windowPng.end(), {"--out", path("window.png")});
    windowBmp.insert(windowBmp.end(), {"--out", path("window.bmp")});
    ASSERT_EQ(render(windowPng).status, 0);
    ASSERT_EQ(render(windowBmp).status, 0);
    const auto png = decoded(path("window.png"));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.width, 596);
    // The BMP holds the same pixels bottom row first, after its 54-byte header.
    std::ifstream in(path("window.bmp"), std::ios::binary);
    const std::vector<unsigned char> bmp{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(bmp.size(), 54u + 596u * 596u * 3u);
    for (const int y : {0, 297, 595})
        for (const int x : {0, 311, 595}) {
            const std::size_t at = 54 + (static_cast<std::size_t>(595 - y) * 596 + static_cast<std::size_t>(x)) * 3;
            const Colour c = png.pixels[static_cast<std::size_t>(y) * 596 + static_cast<std::size_t>(x)];
            EXPECT_EQ(bmp[at + 2], redOf(c)) << x << "," << y;
            EXPECT_EQ(bmp[at + 1], greenOf(c)) << x << "," << y;
            EXPECT_EQ(bmp[at], blueOf(c)) << x << "," << y;
        }
    ASSERT_EQ(render({"--location-file", path("window.png"), "--out", path("window-again.png")}).status, 0);
    EXPECT_EQ(decoded(path("window-again.png")).pixels, png.pixels) << "the window's picture, modes 7 and 8 included";
}

// Ctrl+C or SIGTERM in the middle of a poster: no file, no temporary.
TEST_F(PosterCli, AnInterruptedPosterLeavesNothing)
{
    for (const char* signal : {"INT", "TERM"}) {
        const std::string script = std::string(MANDEL_RENDER_BINARY) + " --seed 3 --size 40000x40000 --out " +
                                   path("big.png") + " >/dev/null 2>&1 & p=$!; sleep 0.7; kill -" + signal +
                                   " $p; wait $p";
        const int status = std::system(script.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_NE(WEXITSTATUS(status), 0) << signal;
        EXPECT_TRUE(fs::is_empty(root)) << signal;
    }
}

} // namespace
} // namespace mandel
