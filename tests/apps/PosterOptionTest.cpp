#include "BmpWriter.h"
#include "PngBandWriter.h"
#include "RenderCommand.h"
#include "RenderRun.h"

#include "MemoryFile.h"
#include "PngDecoder.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace mandel {
namespace {

namespace fs = std::filesystem;

using testing::decodePngFile;
using testing::Outcome;
using testing::readFile;
using testing::render;

class PosterCli : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (root / name).string(); }
    testing::ScratchFolder scratch{"poster-cli"};
    const fs::path root = scratch.path();
};

TEST_F(PosterCli, PosterBadInputExitsTwoWithOneLineAndNoFile)
{
    std::ofstream(root / "text.png") << "not a picture\n";
    ASSERT_EQ(render({"--seed", "1", "--size", "8x8", "--out", path("good.png")}).status, 0);
    testing::MemoryFile plain;  // a PNG with no location, as another program writes one
    const std::uint8_t rgb[6] = {};
    ASSERT_TRUE(PngBandWriter({2, 1}, {{"Software", "another"}}, plain.writer(), nullptr).writeRows(rgb, 1));
    std::ofstream(root / "plain.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(plain.bytes.data()), static_cast<std::streamsize>(plain.bytes.size()));
    const auto before = std::distance(fs::directory_iterator(root), {});

    const struct {
        std::vector<std::string> args;  // "@" + name: a file in the scratch folder
        const char* mentions;
    } cases[] = {
        {{"--size", "0x5", "--out", "@a.png"}, "--size takes WxH"},
        {{"--size", "65536x5", "--out", "@a.png"}, "1 to 65535"},
        {{"--size", "-4x5", "--out", "@a.png"}, "--size"},
        {{"--size", "4.5x5", "--out", "@a.png"}, "--size"},
        {{"--size", "45", "--out", "@a.png"}, "--size"},
        {{"--size", "4x5x6", "--out", "@a.png"}, "--size"},
        {{"--out", "@a.jpeg"}, ".jpeg"},
        {{"--size", "40x30"}, "--out"},
        {{"--size", "40x30", "--repeat", "2", "--out", "@a.png"}, "--size"},
        {{"--location-file", "@text.png", "--out", "@a.png"}, "--location-file"},
        {{"--location-file", "@plain.png", "--out", "@a.png"}, "--location-file"},
        {{"--location-file", "@none.png", "--out", "@a.png"}, "--location-file"},
        {{"--location-file", "@good.png", "--location", "mandel-location/1", "--out", "@a.png"}, "one location"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        for (auto& a : args)
            if (a.front() == '@')
                a = path(a.substr(1));
        const Outcome r = render(args);
        EXPECT_EQ(r.status, 2) << c.args[1];
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(std::distance(fs::directory_iterator(root), {}), before) << c.args[1] << ": a file was written";
    }
}

// A picture is also a bookmark: its PNG gives back its view, at its size
// unless told another, in the same colours; a picture without --size is
// the window's, in whichever format.
TEST_F(PosterCli, APngGivesBackItsViewAndSize)
{
    const std::vector<std::string> view = {"--seed", "11", "--mode", "7", "--click", "186,300", "--click", "300.5,280.25"};
    auto run = [&](std::vector<std::string> args, const char* out) {
        args.insert(args.begin(), {"--out", path(out)});
        EXPECT_EQ(render(args).status, 0) << out;
        return decodePngFile(path(out));
    };
    auto poster = view, window = view;
    poster.insert(poster.end(), {"--size", "90x50"});
    const auto first = run(poster, "poster.png");
    const auto again = run({"--location-file", path("poster.png")}, "again.png");
    ASSERT_TRUE(first.ok && again.ok);
    EXPECT_EQ(again.width, 90);
    EXPECT_EQ(again.height, 50);
    EXPECT_EQ(again.pixels, first.pixels);
    EXPECT_EQ(run({"--location-file", path("poster.png"), "--size", "30x60"}, "other.png").width, 30);

    const auto png = run(window, "window.png");
    ASSERT_TRUE(png.ok);
    ASSERT_EQ(png.width, 596);
    run(window, "window.bmp");
    EXPECT_EQ(readFile(path("window.bmp")), encodeBmp(ImageView{596, 596, png.pixels})) << "the same pixels";
    EXPECT_EQ(run({"--location-file", path("window.png")}, "window-again.png").pixels, png.pixels)
        << "the window's picture, modes 7 and 8 included";
}

TEST_F(PosterCli, APngGivesBackItsSmoothColours)
{
    auto run = [&](std::vector<std::string> args, const char* out) {
        args.insert(args.begin(), {"--out", path(out)});
        EXPECT_EQ(render(args).status, 0) << out;
        return decodePngFile(path(out));
    };
    const auto first = run({"--seed", "3", "--click", "150,200", "--stops", "102030@0,ffc080@0.5", "--density",
                            "log:0.5", "--offset", "0.25", "--shading", "slopes", "--samples", "2", "--size", "40x30"},
                           "smooth.png");
    const auto again = run({"--location-file", path("smooth.png")}, "again.png");
    ASSERT_TRUE(first.ok && again.ok);
    EXPECT_EQ(again.pixels, first.pixels);
    // The options change a location's colours as they change its mode.
    EXPECT_NE(run({"--location-file", path("smooth.png"), "--offset", "0.75"}, "other.png").pixels, first.pixels);
    // The window's picture in a palette is the 596 x 596 poster.
    EXPECT_EQ(run({"--palette", "ice", "--shading", "distance"}, "w.png").pixels,
              run({"--palette", "ice", "--shading", "distance", "--size", "596x596"}, "p.png").pixels);
}

// The progress line of a poster: on a terminal once half a second has gone
// by, and cleared at the end; never with --quiet, nor when standard error is
// not a terminal. Every report comes `late` seconds after the start.
TEST_F(PosterCli, TheProgressLineShowsOnATerminalAfterHalfASecondUnlessQuiet)
{
    const struct {
        const char* name;
        bool terminal, quiet;
        double late;
        bool shown;
    } rows[] = {
        {"terminal after the delay", true, false, 0.55, true},
        {"terminal within the delay", true, false, 0.45, false},
        {"quiet terminal", true, true, 60, false},
        {"not a terminal", false, false, 60, false},
    };
    for (const auto& row : rows) {
        int reads = 0;
        const SecondsClock clock = [&] { return reads++ == 0 ? 1000.0 : 1000.0 + row.late; };
        std::vector<std::string> args{"--seed", "1", "--size", "64x48", "--out", path("p.png")};
        if (row.quiet)
            args.push_back("--quiet");
        std::ostringstream out, err;
        ASSERT_EQ(runRender(args, out, err, row.terminal, clock), 0) << row.name << ": " << err.str();
        EXPECT_EQ(err.str().find("Mpx/s") != std::string::npos, row.shown) << row.name << ": " << err.str();
        if (row.shown) {
            EXPECT_EQ(err.str().back(), '\r') << "the line is cleared once the poster is written";
        }
    }
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
