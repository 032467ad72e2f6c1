// Zoom videos as files: an MP4 a standard tool reads back with the frames
// given, nothing left behind when dropped or refused.

#include "ScratchFolder.h"
#include "VideoFile.h"
#include "ZoomDive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

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

} // namespace
} // namespace mandel
