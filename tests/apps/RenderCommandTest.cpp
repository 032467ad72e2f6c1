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
#include "PictureComputer.h"
#include "Renderer.h"
#include "StatusLine.h"

#include "ProtectedSymlinks.h"
#include "ScratchFolder.h"
#include "TestStates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
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
    std::string mentions;
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
        {{"--centre", "0,0", "--zoom", "2.5e0"}, "--zoom"},
        {{"--centre", "0,0", "--zoom", ".5"}, "--zoom"},
        {{"--centre", "0,0", "--zoom", "+2"}, "--zoom"},
        {{"--centre", "0,0", "--zoom", "1000001"}, "0 to 1000000"},
        {{"--deep", "--iterations", "199"}, "200 to 100000000"},
        {{"--deep", "--iterations", "100000001"}, "--iterations"},
        {{"--deep", "--iterations", "1e4"}, "--iterations"},
        {{"--iterations", "1000"}, "--iterations sets the cap of deep views"},
        {{"--deep", "--reference"}, "--reference"},
        {{"--centre", "0,0", "--zoom", "1000000", "--click", "3,3"}, "--click"},
        {{"--centre", "0,0", "--zoom", "999999.5", "--click", "3,3"}, "--click"},
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

TEST_F(RenderCli, RefusesBadDivesWithExitTwoAndNoFile)
{
    const std::string v = path("never.mp4"), k = path("keyframes"), missing = path("nothing");
    const std::vector<std::string> t = {"--centre", "-0.75,0.1", "--zoom", "3", "--iterations", "200"};
    auto with = [&t](std::vector<std::string> more) {
        more.insert(more.begin(), t.begin(), t.end());
        return more;
    };
    const BadInput cases[] = {
        {with({"--video", v, "--size", "100x"}), "--size"},
        {with({"--video", v, "--size", "191x108"}), "--size of a video takes even sides"},
        {with({"--video", v, "--size", "40000x2000"}), "--size of a video takes sides up to 32767"},
        {with({"--video", v, "--fps", "0"}), "--fps"},
        {with({"--video", v, "--fps", "241"}), "--fps"},
        {with({"--video", v, "--seconds", "0"}), "--seconds"},
        {with({"--video", v, "--rate", "-1"}), "--rate"},
        {with({"--video", v, "--seconds", "3", "--rate", "2"}), "give one"},
        {with({"--video", v, "--threads", "0"}), "--threads"},
        {with({"--video", v, "--out", path("a.png")}), "--out"},
        {with({"--video", v, "--from", "nonsense"}), "--from"},
        {with({"--video", v, "--from", "mandel-location/1 mode=1 fn=1,1,1 moduli=150,150,150 centre=0.25,0 zoom=1 "
                                       "iterations=200"}),
         "--from takes a location on the target's centre"},
        {with({"--video", v, "--from", "mandel-location/1 mode=1 fn=1,1,1 moduli=150,150,150 centre=-0.750,+0.10 "
                                       "zoom=3 iterations=200"}),
         "a dive needs a target deeper than its start: give --location"},
        {{"--video", v}, "a dive needs a target deeper than its start"},
        {with({"--fps", "30"}), "add --video"},
        {with({"--exact-frames", "--keyframes", k}), "--exact-frames draws a video's frames"},
        {with({"--keyframe-range", "0:3", "--video", v}), "--keyframe-range draws part of the keyframes into a folder"},
        {with({"--keyframes", k, "--keyframe-range", "0:3", "--video", v}), "--assemble"},
        {with({"--keyframes", k, "--keyframe-range", "3:2"}), "--keyframe-range"},
        {with({"--keyframes", k, "--keyframe-range", "0:x"}), "--keyframe-range"},
        {with({"--keyframes", k, "--keyframe-range", "0:11"}), "--keyframe-range 0:11: this dive has keyframes 0 to 10"},
        {{"--assemble", missing}, "--assemble makes a video from a keyframe folder: add --video"},
        {{"--assemble", missing, "--video", v}, "--assemble " + missing + ": " + missing + "/dive.txt: missing"},
        {with({"--assemble", missing, "--video", v}), "--assemble takes the dive from its folder"},
    };
    for (const auto& c : cases) {
        const Outcome r = render(c.args);
        EXPECT_EQ(r.status, 2) << c.mentions;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_TRUE(fs::is_empty(root)) << c.mentions;
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
        // Pictures drawn again over the last one, without a clear between.
        {"--seed", "11", "--mode", "1", "--repeat", "3"},
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

// What the engine draws for a free view in the colours of `seed` (in
// doubles or by perturbation, as its depth asks), and its status line.
std::vector<unsigned char> deepPicture(std::uint64_t seed, const DeepCentre& view, std::string& status)
{
    DeepSetupRequest request;
    request.view = view;
    auto setup = setUpFreeView(request);
    EXPECT_TRUE(setup.ok());
    ImageSurface image;
    DrawHooks hooks;
    hooks.printStatus = [&status](const std::string& line) { status = line; };
    Renderer().DrawDeep(*setup->pixels, view.zoom, paletteOf(testing::startupState(seed)), image, hooks);
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
        // A zoom between powers of ten, as the wheel leaves it.
        {{"--centre", "-0.75,0.1", "--zoom", "2.30103", "--iterations", "300"}, {"-0.75", "0.1", 2.30103, 300}, " 2E+2 "},
        {{"--centre", "-0.75,0.1", "--zoom", "20.5", "--iterations", "1000", "--click", "10,20"},
         zoomDeepAt({"-0.75", "0.1", 20.5, 1000}, -290, -280), " 3.16E+21 "},
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
            DeepSetupRequest request;
            request.view = view;
            request.view.iterations = kDefaultDeepIterations;
            request.chooseCap = true;
            view.iterations = setUpFreeView(request)->iterations;
        }
        std::string status;
        EXPECT_EQ(readFile(path("deep.bmp")), deepPicture(11, view, status)) << args[0] << " " << view.zoom;
        EXPECT_EQ(r.out, status + "\n");
        EXPECT_NE(r.out.find(std::string("magnification ") + run.magnification + " times"), std::string::npos) << r.out;
    }
}

// What a cluster's tasks share out: --keyframe-count says how many
// keyframes --keyframes draws, for a deep view, a legacy one and a dive from
// --from, and refuses what a dive would.
TEST_F(RenderCli, KeyframeCountIsWhatKeyframesDraws)
{
    const std::string from = "mandel-location/1 mode=3 fn=1,1,1 moduli=150,200,304 centre=-0.75,0.1 zoom=0.7 "
                             "iterations=300";
    const struct {
        const char* name;
        std::vector<std::string> view;
    } dives[] = {
        {"deep", {"--centre", "-0.75,0.1", "--zoom", "1.5", "--iterations", "300"}},
        {"legacy", {"--click", "300,200"}},
        {"from", {"--centre", "-0.75,0.1", "--zoom", "1.5", "--iterations", "300", "--from", from}},
    };
    for (const auto& dive : dives) {
        auto args = dive.view;
        args.insert(args.end(), {"--size", "16x10"});
        auto counting = args;
        counting.push_back("--keyframe-count");
        const Outcome counted = render(counting);
        ASSERT_EQ(counted.status, 0) << dive.name << ": " << counted.err;
        const fs::path folder = root / dive.name;
        args.insert(args.end(), {"--keyframes", folder.string()});
        const Outcome drawn = render(args);
        ASSERT_EQ(drawn.status, 0) << dive.name << ": " << drawn.err;
        int keyframes = 0;
        for (const auto& entry : fs::directory_iterator(folder))
            keyframes += entry.path().filename().string().starts_with("keyframe-") ? 1 : 0;
        EXPECT_EQ(counted.out, std::to_string(keyframes) + "\n") << dive.name;
    }
    const BadInput refused[] = {
        {{"--keyframe-count", "--deep"}, "deeper than its start"},
        {{"--keyframe-count", "--centre", "-0.75,0.1", "--zoom", "0.5", "--from", from}, "deeper than its start"},
        {{"--keyframe-count", "--centre", "0,0", "--zoom", "3", "--from", from}, "on the target's centre"},
        {{"--keyframe-count", "--centre", "0,0", "--zoom", "3", "--video", path("never.mp4")}, "--keyframe-count"},
        {{"--keyframe-count", "--centre", "0,0", "--zoom", "3", "--keyframes", path("never")}, "--keyframe-count"},
    };
    for (const auto& r : refused) {
        const Outcome o = render(r.args);
        EXPECT_EQ(o.status, 2) << r.mentions;
        EXPECT_NE(o.err.find(r.mentions), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty()) << o.out;
    }
    EXPECT_FALSE(fs::exists(path("never.mp4")));
    EXPECT_FALSE(fs::exists(path("never")));
}

// Odd places to read from and write to, run through bash on the program
// itself. In each script $R is mandel-render, $D a scratch folder holding
// want.bmp and view.png (the picture and a PNG of location $L).
struct OddPlace {
    const char* name;
    const char* script;
    int status;
    const char* says;   // part of standard error
    const char* check;  // bash that must succeed afterwards; empty: none
    enum Needs { Nothing, ProtectedSymlinks, NoAddressSanitizer } needs = Nothing;
};

const OddPlace kOddPlaces[] = {
    {"a location piped to /dev/stdin", "printf '%s' \"$L\" | $R --location-file /dev/stdin --out $D/got.bmp", 0, "",
     "cmp $D/got.bmp $D/want.bmp"},
    {"a location through process substitution", "$R --location-file <(printf '%s' \"$L\") --out $D/got.bmp", 0, "",
     "cmp $D/got.bmp $D/want.bmp"},
    {"a PNG through process substitution", "$R --location-file <(cat $D/view.png) --out $D/got.bmp", 0, "",
     "cmp $D/got.bmp $D/want.bmp"},
    {"a PNG piped to /dev/stdin", "{ cat $D/view.png || :; } | $R --location-file /dev/stdin --out $D/got.bmp", 0, "",
     "cmp $D/got.bmp $D/want.bmp"},
    {"a FIFO nobody writes to, until someone does",
     "mkfifo $D/f; timeout 20 $R --location-file $D/f --out $D/got.bmp 2>$D/err & p=$!; "
     "for _ in $(seq 200); do grep -q waiting $D/err && break; sleep 0.05; done; printf '%s' \"$L\" >$D/f; "
     "wait $p; s=$?; cat $D/err >&2; exit $s",
     0, "--location-file: waiting for", "cmp $D/got.bmp $D/want.bmp"},
    {"a FIFO whose writer leaves without a word",
     "mkfifo $D/f; (sleep 0.3; : >$D/f) & timeout 20 $R --location-file $D/f --out $D/got.bmp", 2, "empty",
     "[ ! -e $D/got.bmp ]"},
    {"a folder", "$R --location-file $D --out $D/got.bmp", 2, "Is a directory", "[ ! -e $D/got.bmp ]"},
    {"a link of another user in a sticky folder",
     "mkdir -m 1777 $D/shared; printf keep >$D/victim; ln -s $D/victim $D/shared/pic.bmp; "
     "chown -h nobody $D/shared/pic.bmp; $R --seed 1 --out $D/shared/pic.bmp",
     1, "Permission denied", "[ \"$(cat $D/victim)\" = keep ] && [ -L $D/shared/pic.bmp ]",
     OddPlace::ProtectedSymlinks},
    {"an oversized BMP poster", "$R --seed 1 --size 65535x65535 --out $D/x.bmp >$D/out", 2,
     "a BMP file holds at most 4 GiB", "[ ! -e $D/x.bmp ] && [ ! -s $D/out ]"},
    {"a BMP poster down a pipe", "$R --seed 1 --size 64x64 --out /dev/stdout | cat >$D/x", 2, "cannot go to a pipe",
     "[ ! -s $D/x ]"},
    {"a PNG poster to standard output",
     "$R --location \"$L\" --size 64x48 --format png --out /dev/stdout | cat >$D/x.png", 0, "magnification",
     "$R --location-file $D/x.png --format png --out $D/y.png >/dev/null && cmp $D/x.png $D/y.png"},
    {"a PNG picture to standard output", "$R --location \"$L\" --format png --out /dev/stdout | cat >$D/x.png", 0,
     "magnification", "$R --location-file $D/x.png --out $D/got.bmp >/dev/null && cmp $D/got.bmp $D/want.bmp"},
    {"a format the name contradicts", "$R --seed 1 --format png --out $D/x.bmp", 2, "another format",
     "[ ! -e $D/x.bmp ]"},
    // The orbit alone (640 MB) would fit in 1 GB of address space, with its
    // tables not: refused at once, from the estimate, not after the orbit.
    {"a deep view too large for the address space",
     "ulimit -v 1048576; $R --centre 0,0 --zoom 30 --iterations 40000000 --out $D/x.bmp", 2,
     "needs about", "[ ! -e $D/x.bmp ]", OddPlace::NoAddressSanitizer},
    // In a cgroup of 200 MB (v2 where the memory controller can be had, else
    // v1): the orbit alone would pass the limit and have the kernel kill
    // the program; it is refused at once instead. Exit 77: no such cgroup here.
    {"a deep view too large for its cgroup",
     "cg=''; P=/sys/fs/cgroup$(sed -n 's/^0:://p' /proc/self/cgroup); "
     "if grep -qw memory $P/cgroup.controllers 2>/dev/null && mkdir $P/mandel-test-$$ 2>/dev/null; then "
     "  cg=$P/mandel-test-$$; echo 209715200 >$cg/memory.max || { rmdir $cg; cg=''; }; "
     "elif [ -d /sys/fs/cgroup/memory ] && mkdir /sys/fs/cgroup/memory/mandel-test-$$ 2>/dev/null; then "
     "  cg=/sys/fs/cgroup/memory/mandel-test-$$; echo 209715200 >$cg/memory.limit_in_bytes || { rmdir $cg; cg=''; }; "
     "fi; [ -n \"$cg\" ] || exit 77; "
     "(echo $BASHPID >$cg/cgroup.procs && exec $R --centre 0,0 --zoom 30 --iterations 20000000 --out $D/x.bmp); "
     "s=$?; rmdir $cg; exit $s",
     2, "needs about", "[ ! -e $D/x.bmp ]"},
    {"a deep view whose orbit does not fit",
     "ulimit -v 307200; $R --centre 0,0 --zoom 30 --iterations 100000000 --out $D/x.bmp", 2, "memory",
     "[ ! -e $D/x.bmp ]", OddPlace::NoAddressSanitizer},
};

void PrintTo(const OddPlace& row, std::ostream* os) { *os << row.name; }

class OddPlaces : public ::testing::TestWithParam<OddPlace> {};

// A command line that runs `script` in bash (its single quotes escaped).
std::string inBash(const std::string& script)
{
    std::string line = "bash -c '";
    for (const char c : script)
        line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return line + "'";
}

TEST_P(OddPlaces, ReadAndWrittenOrRefusedAtOnce)
{
    const OddPlace& row = GetParam();
    std::optional<testing::ProtectedSymlinks> protection;
    if (row.needs == OddPlace::ProtectedSymlinks) {
        protection.emplace();
        if (!protection->on())
            GTEST_SKIP() << protection->why();
    }
#if defined(__SANITIZE_ADDRESS__)
    if (row.needs == OddPlace::NoAddressSanitizer)
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit set here";
#endif
    testing::ScratchFolder scratch("odd");
    const std::string d = scratch.path().string();
    const std::string location =
        "mandel-location/1 mode=5 fn=2.5,7.25,0.75 moduli=200,210,220 clicks=186,300/301.5,10";
    const std::string setup = "set -o pipefail; R='" + std::string(MANDEL_RENDER_BINARY) + "' D='" + d + "' L='" +
                              location + "'; $R --location \"$L\" --out $D/want.bmp >/dev/null && "
                                         "$R --location \"$L\" --out $D/view.png >/dev/null || exit 99; ";
    const int raw = std::system((inBash(setup + row.script) + " 2>'" + d + "/said.txt'").c_str());
    ASSERT_TRUE(WIFEXITED(raw)) << "killed";
    if (WEXITSTATUS(raw) == 77)
        GTEST_SKIP() << "what this needs cannot be had here";
    const auto said = readFile(scratch.path() / "said.txt");
    const std::string err(said.begin(), said.end());
    EXPECT_EQ(WEXITSTATUS(raw), row.status) << err;
    EXPECT_NE(err.find(row.says), std::string::npos) << err;
    if (row.status != 0) {
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    if (*row.check) {
        std::string check = "bash -c '";
        for (const char c : "R='" + std::string(MANDEL_RENDER_BINARY) + "' D='" + d + "'; " + row.check)
            check += c == '\'' ? std::string("'\\''") : std::string(1, c);
        check += "'";
        EXPECT_EQ(std::system(check.c_str()), 0) << row.check;
    }
}

INSTANTIATE_TEST_SUITE_P(RenderCli, OddPlaces, ::testing::ValuesIn(kOddPlaces), [](const auto& row) {
    std::string name;
    for (const char c : std::string(row.param.name))
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
    return name;
});

} // namespace
} // namespace mandel
