#include "AutoIterations.h"
#include "BmpWriter.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "ImageSurface.h"
#include "RandomSource.h"
#include "ReferenceOrbit.h"
#include "RenderCommand.h"
#include "RenderRun.h"
#include "Renderer.h"
#include "StatusLine.h"

#include "ScratchFolder.h"
#include "TestStates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace mandel {
namespace {

namespace fs = std::filesystem;

using testing::Outcome;
using testing::readFile;
using testing::render;

class RenderCli : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (root / name).string(); }
    testing::ScratchFolder scratch{"cli"};
    const fs::path root = scratch.path();
};

struct BadInput {
    std::vector<std::string> args;
    const char* mentions;
};

TEST_F(RenderCli, RefusesBadInputWithExitTwoAndNoFile)
{
    const std::string out = path("never.bmp");
    const BadInput cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"--bogus", "3"}, "unknown option '--bogus'"},
        {{"--seed", "1", "2"}, "unknown option '2'"},
        {{"--seed"}, "--seed"},
        {{"--seed", "-1"}, "--seed"},
        {{"--seed", "12x"}, "--seed"},
        {{"--seed", "99999999999999999999999"}, "--seed"},
        {{"--fn", "1,2"}, "--fn"},
        {{"--fn", "1,2,3,4"}, "--fn"},
        {{"--fn", "1,2,10"}, "[0, 10)"},
        {{"--fn", "1,2,9.9999999999"}, "--fn"},  // rounds to the single 10
        {{"--fn", "1,-0.5,2"}, "--fn"},
        {{"--fn", "1,nan,2"}, "--fn"},
        {{"--fn", "1,,2"}, "--fn"},
        {{"--fn", "0x1,1,1"}, "--fn"},
        {{"--fn", "\v1,1,1"}, "--fn"},  // white space strtod would skip
        {{"--fn", "1,\r1,1"}, "--fn"},
        {{"--click", "\f3,3"}, "--click"},
        {{"--fn", "1,2,\n3"}, "got '1,2,\\n3'"},  // shown on one line
        {{"--mode", "0"}, "1 to 9"},
        {{"--mode", "10"}, "--mode"},
        {{"--mode", "2.5"}, "--mode"},
        // One grammar with locations: plain digits, no sign, no exponent.
        {{"--mode", "+3"}, "--mode"},
        {{"--fn", "5e-1,1,1"}, "--fn"},
        {{"--fn", ".5,1,1"}, "--fn"},
        {{"--fn", "+1,1,1"}, "--fn"},
        {{"--moduli", "+150,200,200"}, "--moduli"},
        {{"--click", "1e2,3"}, "--click"},
        {{"--repeat", "+2"}, "--repeat"},
        {{"--moduli", "149,200,200"}, "150 to 304"},
        {{"--moduli", "150,200,305"}, "--moduli"},
        {{"--moduli", "150,200"}, "--moduli"},
        {{"--click", "596,3"}, "[0, 596)"},
        {{"--click", "3"}, "--click"},
        {{"--click", "-1,3"}, "--click"},
        {{"--click", "inf,3"}, "--click"},
        {{"--repeat", "0"}, "--repeat"},
        {{"--repeat", "x"}, "--repeat"},
        {{"--out", ""}, "--out"},
        {{"--centre", "1e-5,0", "--zoom", "3"}, "--centre"},
        {{"--centre", "nan,0", "--zoom", "3"}, "--centre"},
        {{"--centre", "0,inf", "--zoom", "3"}, "--centre"},
        {{"--centre", "0x1,0", "--zoom", "3"}, "--centre"},
        {{"--centre", "0.5", "--zoom", "3"}, "--centre"},
        {{"--centre", "1,2,3", "--zoom", "3"}, "--centre"},
        {{"--centre", "1.,2", "--zoom", "3"}, "--centre"},
        {{"--centre", " 1,2", "--zoom", "3"}, "--centre"},
        {{"--centre", "0.25,0.5"}, "--centre needs --zoom"},
        {{"--zoom", "20"}, "--zoom needs --centre"},
        {{"--centre", "0,0", "--zoom", "-1"}, "--zoom"},
        {{"--centre", "0,0", "--zoom", "2.5"}, "--zoom"},
        {{"--centre", "0,0", "--zoom", "+2"}, "--zoom"},
        {{"--centre", "0,0", "--zoom", "1000001"}, "0 to 1000000"},
        {{"--deep", "--iterations", "199"}, "200 to 100000000"},
        {{"--deep", "--iterations", "100000001"}, "--iterations"},
        {{"--deep", "--iterations", "1e4"}, "--iterations"},
        {{"--iterations", "1000"}, "--iterations sets the cap of deep views"},
        {{"--deep", "--reference"}, "--reference"},
        {{"--centre", "0,0", "--zoom", "1000000", "--click", "3,3"}, "--click"},
        {{"--palette", "mauve"}, "--palette takes the name of a built-in palette"},
        {{"--stops", "00000g"}, "--stops"},
        {{"--stops", "000000@0.5,ffffff@0.5"}, "--stops"},
        {{"--palette", "fire", "--stops", "000000"}, "give one"},
        {{"--palette", "fire", "--density", "0"}, "--density"},
        {{"--palette", "fire", "--density", "log:"}, "--density"},
        {{"--palette", "fire", "--offset", "1"}, "--offset"},
        {{"--palette", "fire", "--offset", "-0.1"}, "--offset"},
        {{"--palette", "fire", "--shading", "bumps"}, "--shading"},
        {{"--palette", "fire", "--samples", "0"}, "--samples"},
        {{"--palette", "fire", "--samples", "9"}, "1 to 8"},
        {{"--density", "4"}, "add --palette or --stops"},
        {{"--palette", "fire", "--deep"}, "deep views"},
    };
    for (const auto& c : cases) {
        auto args = c.args;
        args.insert(args.begin(), {"--out", out});
        const Outcome r = render(args);
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(RenderCli, RefusesAZoomPastTheDoubles)
{
    std::vector<std::string> args = {"--seed", "1", "--out", path("deep.bmp")};
    for (int i = 0; i < 320; ++i) {
        args.push_back("--click");
        args.push_back("595,595");
    }
    const Outcome r = render(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--click"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("deep.bmp")));
}

TEST_F(RenderCli, UnwritableOutputsExitOneNamingThePath)
{
    std::ofstream(root / "plain") << "x";
    fs::create_directories(root / "folder");
    const std::string targets[] = {path("missing/a.bmp"), path("folder"), path("plain/a.bmp")};
    for (const auto& t : targets) {
        const Outcome r = render({"--seed", "3", "--out", t});
        EXPECT_EQ(r.status, 1) << t;
        EXPECT_NE(r.err.find(t), std::string::npos) << r.err;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(root), {}), 2) << "nothing partial left";
}

TEST_F(RenderCli, SeedReproducesTheExplorersStartUpPicture)
{
    const Outcome r = render({"--seed", "4242", "--click", "186,300", "--click", "300.5,299.25", "--out", path("a.bmp")});
    ASSERT_EQ(r.status, 0) << r.err;

    ExplorerState s = testing::startupState(4242);
    ZoomAt(s, 186, 300);
    ZoomAt(s, 300.5f, 299.25f);
    ImageSurface image;
    Renderer renderer;
    renderer.DrawFractal(s, image);
    EXPECT_EQ(readFile(path("a.bmp")), encodeBmp(image.view()));
    EXPECT_EQ(r.out, statusLine(s) + "\n");
    EXPECT_NE(r.out.find("magnification  100  times"), std::string::npos);
}

TEST_F(RenderCli, OverridesReplaceTheDrawnPalette)
{
    const Outcome a = render({"--seed", "1", "--fn", "1.5,2.5,3.5", "--mode", "1", "--moduli", "150,151,304",
                          "--out", path("a.bmp")});
    const Outcome b = render({"--seed", "2", "--fn", "1.5,2.5,3.5", "--mode", "1", "--out", path("b.bmp")});
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    EXPECT_EQ(readFile(path("a.bmp")), readFile(path("b.bmp"))) << "mode 1 ignores moduli and the seed";
    EXPECT_NE(a.out.find("mode =  1 "), std::string::npos);
    // The centre (300, 300) is at the cap: (45, 245, 190), stored bottom-up.
    const auto bytes = readFile(path("a.bmp"));
    const std::size_t at = 54 + (595 - 300) * 1788 + 300 * 3;
    EXPECT_EQ(bytes[at], 190);
    EXPECT_EQ(bytes[at + 1], 245);
    EXPECT_EQ(bytes[at + 2], 45);
}

TEST_F(RenderCli, HelpListsEveryOptionWithItsRange)
{
    const Outcome r = render({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* o : {"--seed", "--fn", "--mode", "--moduli", "--click", "--out", "--repeat", "[0, 10)", "1 to 9",
                          "150 to 304", "[0, 596)", "--deep", "--centre", "--zoom", "--iterations", "200 to 100000000"})
        EXPECT_NE(r.out.find(o), std::string::npos) << o;
}

TEST_F(RenderCli, PaletteListPrintsOneNameALine)
{
    const Outcome r = render({"--palette", "list", "--out", path("never.png")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 13), "classic\nfire\n");
    EXPECT_GE(std::count(r.out.begin(), r.out.end(), '\n'), 8);
    EXPECT_FALSE(fs::exists(path("never.png")));
}

// A stream whose every write fails, as on a full disk.
class FullStreamBuf : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(RenderCli, AStatusLineThatCannotBeWrittenIsAFailure)
{
    const std::vector<std::string> runs[] = {{"--seed", "1"}, {"--help"}, {"--version"}};
    for (const auto& args : runs) {
        FullStreamBuf full;
        std::ostream out(&full);
        std::ostringstream err;
        EXPECT_EQ(runRender(args, out, err), 1) << args[0];
        EXPECT_NE(err.str().find("cannot write to standard output"), std::string::npos) << err.str();
    }
}

TEST_F(RenderCli, VersionIsTheProjectsAndDrawsNothing)
{
    const Outcome r = render({"--seed", "3", "--version", "--out", path("never.bmp")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "mandel-render " MANDEL_PROJECT_VERSION "\n");
    EXPECT_FALSE(fs::exists(path("never.bmp")));
}

TEST_F(RenderCli, TheBinaryExitsWithTheStatus)
{
    const std::string bin = MANDEL_RENDER_BINARY;
    auto status = [](const std::string& cmd) { return WEXITSTATUS(std::system(cmd.c_str())); };
    EXPECT_EQ(status(bin + " --mode 11 2>/dev/null"), 2);
    EXPECT_EQ(status(bin + " --seed 5 --repeat 2 --out " + path("x.bmp") + " >/dev/null"), 0);
    EXPECT_EQ(fs::file_size(path("x.bmp")), 54u + 1788u * 596u);
    EXPECT_EQ(status(bin + " --seed 5 --out " + path("nope/x.bmp") + " >/dev/null 2>&1"), 1);
    EXPECT_EQ(status(bin + " --seed 5 >&- 2>/dev/null"), 1) << "standard output closed";
}

TEST_F(RenderCli, APicturePipedToStandardOutputIsTheWholePicture)
{
    const std::string bin = MANDEL_RENDER_BINARY;
    ASSERT_EQ(render({"--seed", "5", "--out", path("file.bmp")}).status, 0);
    // /proc/self/fd/1 is what /dev/stdout links to.
    const std::string piped = bin + " --seed 5 --out /proc/self/fd/1 2>" + path("status.txt") + " | cat >" + path("piped.bmp");
    ASSERT_EQ(std::system(piped.c_str()), 0);
    EXPECT_EQ(readFile(path("piped.bmp")), readFile(path("file.bmp")));
    const auto status = readFile(path("status.txt"));
    EXPECT_NE(std::string(status.begin(), status.end()).find("magnification"), std::string::npos)
        << "the status line goes to standard error instead";
}

// --reference is a whole second pipeline (the scalar loop, colours in
// drawing order); the default one must draw the same file and status.
TEST_F(RenderCli, TheReferenceAndTheDefaultDrawTheSamePicture)
{
    const std::vector<std::vector<std::string>> pictures = {
        {"--seed", "7", "--mode", "7"},
        {"--seed", "8", "--mode", "8", "--click", "186,300"},
        {"--seed", "9", "--mode", "5", "--click", "186,300", "--click", "420.75,100"},
        {"--seed", "10", "--mode", "2", "--click", "595,0"},
    };
    for (const auto& args : pictures) {
        auto fast = args;
        fast.insert(fast.end(), {"--out", path("fast.bmp")});
        auto reference = args;
        reference.insert(reference.end(), {"--reference", "--out", path("reference.bmp")});
        const Outcome a = render(fast);
        const Outcome b = render(reference);
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        EXPECT_EQ(a.out, b.out) << args[3];
        EXPECT_EQ(readFile(path("fast.bmp")), readFile(path("reference.bmp"))) << "mode " << args[3];
    }
}

// What the engine draws for a deep view in the colours of `seed`, and its status line.
std::vector<unsigned char> deepPicture(std::uint64_t seed, const DeepCentre& view, std::string& status)
{
    auto orbit = ReferenceOrbit::compute(view);
    EXPECT_TRUE(orbit.ok());
    DeepComputer computer(std::shared_ptr<const ReferenceOrbit>(std::move(orbit.value())));
    ImageSurface image;
    DrawHooks hooks;
    hooks.printStatus = [&status](const std::string& line) { status = line; };
    Renderer().DrawDeep(computer, testing::startupState(seed), image, hooks);
    return encodeBmp(image.view());
}

TEST_F(RenderCli, DrawsTheDeepViewTheOptionsName)
{
    const std::string mini[] = {"-0.00000000000000005080655206364047861695457499256407823361646978964504433388298",
                                "1.000000000000000632720065388414143680992769992608350212556972"};
    const struct {
        std::vector<std::string> args;
        DeepCentre view;  // what the engine should be asked to draw; a cap of 0: chosen from the picture
        const char* magnification;
    } runs[] = {
        {{"--deep", "--iterations", "300"}, {"0", "0", 0, 300}, " 1 "},
        {{"--deep"}, {"0", "0", 0, 0}, " 1 "},
        // Clicks zoom about the pixel's plane point, with K + 20 digits.
        {{"--deep", "--iterations", "400", "--click", "186,255", "--click", "310.5,290"},
         zoomDeepAt(zoomDeepAt({"0", "0", 0, 400}, -114, -45), 10.5, -10), " 100 "},
        {{"--centre", "-0.74364388703715870475219150611477,0.13182590420531197049040516193", "--zoom", "25",
          "--iterations", "2000"},
         {"-0.74364388703715870475219150611477", "0.13182590420531197049040516193", 25, 2000}, " 1E+25 "},
        {{"--centre", "0,1", "--zoom", "1000", "--iterations", "200"}, {"0", "1", 1000, 200}, " 1E+1000 "},
        // Near a small copy of the set the edges run into the default cap: it is raised.
        {{"--centre", mini[0] + "," + mini[1], "--zoom", "31"}, {mini[0], mini[1], 31, 0}, " 1E+31 "},
    };
    for (const auto& run : runs) {
        auto args = run.args;
        args.insert(args.end(), {"--seed", "11", "--out", path("deep.bmp")});
        const Outcome r = render(args);
        ASSERT_EQ(r.status, 0) << r.err;
        DeepCentre view = run.view;
        if (view.iterations == 0) {
            view.iterations = kDefaultDeepIterations;
            view.iterations = orbitWithAutoIterations(view).value()->view().iterations;
        }
        std::string status;
        EXPECT_EQ(readFile(path("deep.bmp")), deepPicture(11, view, status)) << args[0] << " " << view.zoom;
        EXPECT_EQ(r.out, status + "\n");
        EXPECT_NE(r.out.find(std::string("magnification ") + run.magnification + " times"), std::string::npos) << r.out;
    }
}

TEST_F(RenderCli, ADeepViewTooLargeForMemoryIsRefused)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit set here";
#endif
    // In 300 MB of address space an orbit of 10^8 values (1.6 GB) cannot be
    // had: the program says so instead of dying.
    const std::string run = "ulimit -v 307200; " + std::string(MANDEL_RENDER_BINARY) +
                            " --centre 0,0 --zoom 30 --iterations 100000000 --out " + path("big.bmp") + " 2>" +
                            path("said.txt");
    const int status = std::system(run.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "killed instead of refusing";
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const auto said = readFile(path("said.txt"));
    EXPECT_NE(std::string(said.begin(), said.end()).find("memory"), std::string::npos);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    EXPECT_FALSE(fs::exists(path("big.bmp")));
}

} // namespace
} // namespace mandel
