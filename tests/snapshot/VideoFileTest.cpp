// Zoom videos as files: an MP4 a standard tool reads back with the frames
// given, nothing left behind when dropped or refused; and mandel-render's
// dives: their length, their frames against frames drawn directly, and
// keyframes shared between runs and threads.

#include "DeepViews.h"
#include "RenderRun.h"
#include "ScratchFolder.h"
#include "VideoFile.h"
#include "ZoomDive.h"
#include "LocationFile.h"
#include "ZoomVideo.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace mandel {
namespace {

// What ffprobe says of the first video stream of `path`, as key=value lines.
std::string probe(const std::string& path)
{
    const std::string command = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                "stream=codec_name,width,height,pix_fmt,nb_read_frames,avg_frame_rate:format=duration "
                                "-of default=noprint_wrappers=1 '" + path + "' 2>&1";
    std::string text;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            text += buf;
        ::pclose(p);
    }
    return text;
}

TEST(VideoFile, AnMp4HoldsEveryFrameAtItsSizeAndRate)
{
    if (std::system("ffprobe -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffprobe is not installed";
    testing::ScratchFolder folder("video");
    const std::string path = (folder.path() / "dive.mp4").string();
    VideoSettings settings;
    settings.width = 64;
    settings.height = 48;
    settings.fps = 12;
    auto video = VideoFile::open(path, settings);
    ASSERT_TRUE(video.ok()) << video.error();
    for (int f = 0; f < 30; ++f) {
        RgbImage frame(64, 48);
        for (std::size_t p = 0; p < frame.rgb.size(); ++p)
            frame.rgb[p] = static_cast<std::uint8_t>((p + static_cast<std::size_t>(f) * 7) % 251);
        ASSERT_TRUE(video->add(frame).ok());
    }
    // Nothing under the name until the video is complete.
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(video->finish().ok());
    const std::string said = probe(path);
    for (const char* line : {"codec_name=h264", "width=64", "height=48", "pix_fmt=yuv420p", "nb_read_frames=30",
                             "avg_frame_rate=12/1", "duration=2.5"})
        EXPECT_NE(said.find(line), std::string::npos) << line << " in\n" << said;
}

TEST(VideoFile, RefusedOrDroppedVideosLeaveNothing)
{
    testing::ScratchFolder folder("video");
    const std::string path = (folder.path() / "dive.mp4").string();
    VideoSettings odd;
    odd.width = 63;
    EXPECT_FALSE(VideoFile::open(path, odd).ok());
    {
        VideoSettings settings;
        settings.width = 32;
        settings.height = 32;
        auto video = VideoFile::open(path, settings);
        ASSERT_TRUE(video.ok()) << video.error();
        EXPECT_TRUE(video->add(RgbImage(32, 32)).ok());
        EXPECT_FALSE(video->add(RgbImage(16, 32)).ok());
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

namespace fs = std::filesystem;
using testing::Outcome;
using testing::readFile;
using testing::render;

bool haveFfprobe()
{
    return std::system("ffprobe -version > /dev/null 2>&1") == 0;
}

// The location of a small copy of the set, its centre good to 1E+100.
std::string deepTarget(double zoom)
{
    const testing::DeepTestView& v = testing::kDeepTestViews[3];  // MinibrotPeriod137
    return "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 centre=" + std::string(v.re) + "," +
           std::string(v.im) + " zoom=" + std::to_string(static_cast<int>(zoom)) + " iterations=3000";
}

class Dive : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (scratch.path() / name).string(); }
    // A dive to 1E+12 (41 keyframes), 2 s at 8 fps, plus `more`.
    Outcome dive(std::vector<std::string> more, const std::string& size = "64x36") const
    {
        std::vector<std::string> args = {"--location", deepTarget(12), "--size", size, "--fps", "8", "--seconds", "2"};
        args.insert(args.end(), more.begin(), more.end());
        return render(args);
    }
    testing::ScratchFolder scratch{"dive"};
};

// Frames are made as keyframes come, so memory holds a few whatever the
// length: each keyframe is asked for once, in order, only when the next
// frame needs it, and every frame goes out before the keyframe after its
// two is drawn.
TEST(DiveFrames, KeyframesAreTakenOneAtATimeAsTheFramesNeedThem)
{
    const ZoomDive dive(0, 3, 97);
    struct Source final : KeyframeSource {
        std::vector<int> asked;
        std::vector<int> framesBefore;
        const int* made = nullptr;
        Result<RgbImage> keyframe(int index, const DrawControl&) override
        {
            asked.push_back(index);
            framesBefore.push_back(*made);
            return RgbImage(keyframeSize({8, 5}).width, keyframeSize({8, 5}).height);
        }
    } source;
    struct Sink final : FrameSink {
        int made = 0;
        Status add(const RgbImage&) override
        {
            ++made;
            return {};
        }
    } sink;
    source.made = &sink.made;
    ASSERT_TRUE(makeDiveFrames(dive, {8, 5}, source, sink, {}, nullptr).ok());
    EXPECT_EQ(sink.made, 97);
    ASSERT_EQ(static_cast<int>(source.asked.size()), dive.keyframes());
    for (int k = 0; k < dive.keyframes(); ++k) {
        EXPECT_EQ(source.asked[static_cast<std::size_t>(k)], k);
        if (k < 2)
            continue;
        // Asked for just before the first frame past keyframe k - 1.
        const int before = source.framesBefore[static_cast<std::size_t>(k)];
        EXPECT_GE(dive.frameZoom(before), dive.keyframeZoom(k - 1)) << k;
        EXPECT_LT(dive.frameZoom(before - 1), dive.keyframeZoom(k - 1)) << k;
    }
}

TEST_F(Dive, ADiveTo1E50PlaysAtItsSizeRateAndLength)
{
    if (!haveFfprobe())
        GTEST_SKIP() << "ffprobe is not installed";
    const Outcome r = render({"--location", deepTarget(50), "--video", path("dive.mp4"), "--size", "192x108", "--fps",
                              "6", "--seconds", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("18 frames of 192x108 at 6 fps from 168 keyframes"), std::string::npos) << r.out;
    const std::string said = probe(path("dive.mp4"));
    for (const char* line : {"codec_name=h264", "width=192", "height=108", "pix_fmt=yuv420p", "nb_read_frames=18",
                             "avg_frame_rate=6/1", "duration=3.0"})
        EXPECT_NE(said.find(line), std::string::npos) << line << " in\n" << said;
}

// The mean difference a channel between `a` and `b` moved by (dx, dy),
// and the share of channel values more than 32 apart, over the pixels both
// have away from a 2-pixel border.
std::pair<double, double> difference(const RgbImage& a, const RgbImage& b, int dx = 0, int dy = 0)
{
    long long sum = 0, far = 0, n = 0;
    for (int y = 2; y < a.height - 2; ++y)
        for (int x = 2; x < a.width - 2; ++x)
            for (int k = 0; k < 3; ++k, ++n) {
                const auto at = [k](const RgbImage& i, int px, int py) {
                    return i.rgb[(static_cast<std::size_t>(py) * static_cast<std::size_t>(i.width) +
                                  static_cast<std::size_t>(px)) * 3 + static_cast<std::size_t>(k)];
                };
                const int d = std::abs(at(a, x, y) - at(b, x + dx, y + dy));
                sum += d;
                far += d > 32 ? 1 : 0;
            }
    return {static_cast<double>(sum) / static_cast<double>(n), static_cast<double>(far) / static_cast<double>(n)};
}

// Frames made from keyframes stand for the posters of their zoom. The
// tolerance, over the whole frame (the feather included): a mean difference
// from the poster drawn directly of at most 3 levels a channel, and at most
// 3 % of the channel values more than 32 apart (single pixels of fine
// detail, which a frame averages from several keyframe samples and a poster
// takes from one). And no other placement fits better: moved by a pixel
// either way, the poster differs more.
TEST_F(Dive, AssembledFramesMatchFramesDrawnDirectly)
{
    // Rows: the colour modes (shallow keyframes in doubles), and a palette
    // (every keyframe by perturbation, each at its own pixel spacing).
    const std::vector<std::vector<std::string>> colourings = {{}, {"--palette", "ocean", "--density", "64"}};
    for (std::size_t c = 0; c < colourings.size(); ++c) {
        const std::string made = "made" + std::to_string(c), exact = "exact" + std::to_string(c);
        auto with = [&](std::vector<std::string> args) {
            args.insert(args.end(), colourings[c].begin(), colourings[c].end());
            return args;
        };
        ASSERT_EQ(dive(with({"--frames", path(made)}), "128x72").status, 0) << c;
        ASSERT_EQ(dive(with({"--frames", path(exact), "--exact-frames"}), "128x72").status, 0) << c;
        int frames = 0;
        for (const auto& entry : fs::directory_iterator(path(made))) {
            const std::string name = entry.path().filename().string();
            auto a = readRgbPng(entry.path().string());
            auto b = readRgbPng(path(exact + "/" + name));
            ASSERT_TRUE(a && b) << name;
            ASSERT_EQ(a->rgb.size(), b->rgb.size());
            const auto [mean, far] = difference(*a, *b);
            EXPECT_LE(mean, 3.0) << c << " " << name;
            EXPECT_LE(far, 0.03) << c << " " << name;
            for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}})
                EXPECT_GT(difference(*a, *b, dx, dy).first, mean) << c << " " << name << " moved " << dx << "," << dy;
            ++frames;
        }
        EXPECT_EQ(frames, 16) << c;
    }
}

TEST_F(Dive, AKeyframeIsTheSameBytesWithAnyThreadCount)
{
    for (const char* threads : {"1", "2"})
        ASSERT_EQ(dive({"--keyframes", path(std::string("t") + threads), "--keyframe-range", "30:31", "--threads",
                        threads})
                      .status,
                  0);
    for (const char* name : {"keyframe-00030.png", "keyframe-00031.png", "dive.txt"}) {
        const auto one = readFile(path(std::string("t1/") + name));
        EXPECT_FALSE(one.empty()) << name;
        EXPECT_EQ(one, readFile(path(std::string("t2/") + name))) << name;
    }
    // Each a PNG of the keyframe size that holds its own location.
    auto location = readPngLocation(path("t1/keyframe-00031.png"));
    ASSERT_TRUE(location.ok()) << location.error();
    EXPECT_EQ(location->size, (PictureSize{128, 72}));
    EXPECT_NEAR(location->deep->zoom, 31 * std::log10(2.0), 1e-12);
}

// Shallow keyframes are drawn in doubles by the vector kernel: still the
// same bytes on every SIMD target (the scalar one included) and with any
// thread count, so machines of one build share them. Rows: a keyframe in
// doubles and one past them, drawn by perturbation.
TEST(DiveKeyframes, AreTheSameBytesOnEveryTargetAndThreadCount)
{
    auto target = parseLocation(deepTarget(12));
    ASSERT_TRUE(target.ok()) << target.error();
    for (const double zoom : {3.0, 9.0}) {
        std::vector<std::uint8_t> first;
        for (const std::int64_t simd : hwy::SupportedAndGeneratedTargets())
            for (const int threads : {1, 2}) {
                hwy::SetSupportedTargetsForTest(simd);
                auto pictures = DivePictures::prepare(*target, nullptr, threads, {});
                ASSERT_TRUE(pictures.ok()) << pictures.error();
                auto keyframe = pictures->draw(zoom, {128, 72}, {});
                hwy::SetSupportedTargetsForTest(0);
                ASSERT_TRUE(keyframe.ok()) << keyframe.error();
                if (first.empty())
                    first = keyframe->rgb;
                EXPECT_EQ(keyframe->rgb, first) << "zoom " << zoom << " on " << hwy::TargetName(simd) << ", "
                                                << threads << " threads";
            }
    }
}

TEST_F(Dive, AStoppedRunResumesKeepingCompleteKeyframesAndRedrawingATruncatedOne)
{
    const std::vector<std::string> first = {"--keyframes", path("k"), "--keyframe-range", "0:2"};
    ASSERT_EQ(dive(first).status, 0);
    const auto whole = readFile(path("k/keyframe-00002.png"));
    fs::resize_file(path("k/keyframe-00002.png"), whole.size() / 2);
    const auto kept = fs::last_write_time(path("k/keyframe-00001.png"));
    const Outcome again = dive(first);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("1 drawn, 2 kept"), std::string::npos) << again.out;
    EXPECT_EQ(fs::last_write_time(path("k/keyframe-00001.png")), kept);
    EXPECT_EQ(readFile(path("k/keyframe-00002.png")), whole);
}

TEST_F(Dive, KeyframesDrawnInRangesAssembleIntoTheVideoOfOneRun)
{
    ASSERT_EQ(dive({"--video", path("one.mp4")}).status, 0);
    ASSERT_EQ(dive({"--keyframes", path("k"), "--keyframe-range", "0:19"}).status, 0);
    // Not yet complete: refused, naming the first keyframe missing.
    const Outcome early = render({"--assemble", path("k"), "--video", path("early.mp4"), "--fps", "8", "--seconds", "2"});
    EXPECT_EQ(early.status, 2);
    EXPECT_NE(early.err.find("keyframe 20 is missing"), std::string::npos) << early.err;
    EXPECT_FALSE(fs::exists(path("early.mp4")));
    ASSERT_EQ(dive({"--keyframes", path("k"), "--keyframe-range", "20:40", "--threads", "1"}).status, 0);
    const Outcome r = render({"--assemble", path("k"), "--video", path("assembled.mp4"), "--fps", "8", "--seconds", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(path("assembled.mp4")), readFile(path("one.mp4")));
}

TEST_F(Dive, CtrlCStopsWithStatus130AndNoVideo)
{
    const std::string script = std::string(MANDEL_RENDER_BINARY) + " --location '" + deepTarget(50) +
                               "' --size 1920x1080 --video " + path("long.mp4") +
                               " >/dev/null 2>&1 & p=$!; sleep 1.5; kill -INT $p; wait $p";
    const int status = std::system(script.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_TRUE(fs::is_empty(scratch.path()));
}

} // namespace
} // namespace mandel
