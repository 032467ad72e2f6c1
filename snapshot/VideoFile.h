#pragma once

#include "Result.h"

#include <memory>
#include <string>

namespace mandel {

struct RgbImage;

// How a zoom video is encoded.
struct VideoSettings {
    int width = 1920, height = 1080;  // even: the colour planes are halved
    int fps = 60;
    // x264's constant rate factor: 0 lossless .. 51 worst; 20 looks clean
    // on the set's fine detail at a size fit to share.
    int quality = 20;
    // x264's preset: how hard it searches for the bytes that quality
    // costs. A faster one makes a somewhat larger file of the same quality.
    std::string preset = "faster";
};

// Threads an H.264 encoder runs on, whatever the machine.
inline constexpr int kEncoderThreads = 4;

// An H.264 video in an MP4 file (yuv420p), encoded with FFmpeg's libraries
// as its frames arrive: memory holds a few frames whatever the length.
// Written aside and put in place whole by finish(), so the path never holds
// a partial video; dropped before, it leaves nothing behind.
class VideoFile {
public:
    // Opens an encoder for `path` (replacing what is there, as --out does).
    // Fails with a one-line reason: odd sizes, no H.264 encoder, a path
    // that cannot be written.
    static Result<VideoFile> open(const std::string& path, const VideoSettings& settings);

    VideoFile(VideoFile&&) noexcept;
    VideoFile& operator=(VideoFile&&) noexcept;
    ~VideoFile();

    // Encodes the next frame, of the settings' size.
    Status add(const RgbImage& frame);
    // Drains the encoder, writes the index and puts the file in place.
    Status finish();

    struct Encoder;

private:
    explicit VideoFile(std::unique_ptr<Encoder> encoder);
    std::unique_ptr<Encoder> encoder_;
};

} // namespace mandel
