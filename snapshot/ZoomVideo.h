#pragma once

#include "DivePictures.h"
#include "Location.h"
#include "Result.h"
#include "VideoFile.h"
#include "ZoomDive.h"

#include <optional>
#include <string>
#include <vector>

namespace mandel {

class ThreadPool;

// Where a dive's frames go, in order: a video, a folder of PNGs.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual Status add(const RgbImage& frame) = 0;
};

// Where a dive's keyframes come from, asked for in rising index order.
class KeyframeSource {
public:
    virtual ~KeyframeSource() = default;
    virtual Result<RgbImage> keyframe(int index, const DrawControl& control) = 0;
};

// Keyframes drawn as they are asked for.
class DrawnKeyframes final : public KeyframeSource {
public:
    DrawnKeyframes(const DivePictures& pictures, const ZoomDive& dive, PictureSize frame)
        : pictures_(pictures), dive_(dive), size_(keyframeSize(frame))
    {
    }
    Result<RgbImage> keyframe(int index, const DrawControl& control) override
    {
        return pictures_.draw(dive_.keyframeZoom(index), size_, control);
    }

private:
    const DivePictures& pictures_;
    const ZoomDive& dive_;
    PictureSize size_;
};

// Makes every frame of `dive` at `frame` size from the keyframes around it
// (ZoomDive's rule), handing each to `sink` as it is made: at most two
// keyframes are held whatever the length. `control`'s
// progress gets the share of frames done, keyframes counting as
// `keyframeShare` of the work; its stop ends the video ("stopped",
// ECANCELED). Frames are assembled on `pool` (null: this thread).
Status makeDiveFrames(const ZoomDive& dive, PictureSize frame, KeyframeSource& keyframes, FrameSink& sink,
                      const DrawControl& control, ThreadPool* pool, double keyframeShare = 0.9);

// Draws every frame of `dive` directly, each the deep poster of its zoom.
Status drawExactFrames(const ZoomDive& dive, PictureSize frame, const DivePictures& pictures, FrameSink& sink,
                       const DrawControl& control);

// A folder of a dive's keyframes, for a cluster to share: keyframe j is
// keyframe-J.png (J zero-padded to at least five digits), a PNG with the
// keyframe's location (a deep poster of keyframeSize), and
// dive.txt holds the dive (its target, start zoom, frame size and keyframe
// count), so a folder can be assembled on its own. Every file is written
// aside and put in place whole.
class KeyframeFolder {
public:
    // The dive a folder holds.
    struct Plan {
        Location target;  // deep, with its cap
        double startZoom = 0;
        PictureSize frame;
        int keyframes = 0;
    };

    explicit KeyframeFolder(std::string folder) : folder_(std::move(folder)) {}

    std::string keyframePath(int index, int keyframes) const;
    std::string planPath() const;

    // Makes the folder if missing and writes the plan (the same text on
    // every node of a cluster).
    Status writePlan(const Plan& plan) const;
    // Reads the plan back; fails naming the file when it is missing or damaged.
    Result<Plan> readPlan() const;

    // The keyframe `index` read back: fails when the file is missing,
    // truncated or damaged, of another size, or of another location.
    Result<RgbImage> read(int index, const Plan& plan, const Location& expected) const;
    // Draws keyframe `index` into the folder unless a complete one of the
    // right location is there already (so a stopped run resumes). True when
    // it was drawn.
    Result<bool> ensure(int index, const Plan& plan, const DivePictures& pictures, const ZoomDive& dive,
                        const DrawControl& control) const;
    // The first keyframe whose file is missing, if any.
    std::optional<int> firstMissing(const Plan& plan) const;

private:
    std::string folder_;
};

// Keyframes from a folder: read when complete, else drawn and written there
// when `pictures` is given, else a failure naming the file.
class FolderKeyframes final : public KeyframeSource {
public:
    FolderKeyframes(const KeyframeFolder& folder, const KeyframeFolder::Plan& plan, const ZoomDive& dive,
                    const DivePictures* pictures)
        : folder_(folder), plan_(plan), dive_(dive), pictures_(pictures)
    {
    }
    Result<RgbImage> keyframe(int index, const DrawControl& control) override;

private:
    const KeyframeFolder& folder_;
    const KeyframeFolder::Plan& plan_;
    const ZoomDive& dive_;
    const DivePictures* pictures_;
};

// Frames as PNG files frame-NNNNNN.png in a folder, each with the location
// of the poster it stands for, written aside and put in place whole.
class PngFrames final : public FrameSink {
public:
    PngFrames(std::string folder, const ZoomDive& dive, Location target);
    Status add(const RgbImage& frame) override;

private:
    std::string folder_;
    const ZoomDive& dive_;
    Location target_;
    int next_ = 0;
};

// Frames encoded into a video.
class VideoFrames final : public FrameSink {
public:
    explicit VideoFrames(VideoFile& video) : video_(video) {}
    Status add(const RgbImage& frame) override { return video_.add(frame); }

private:
    VideoFile& video_;
};

// A zoom video in one call, as the window makes it: the dive from the zoom
// `startZoom` into the centre of `target`, `seconds` long at `fps` frames a
// second of `size`.
struct ZoomVideoRequest {
    Location target;
    // The target's reference orbit when the caller has it; null: computed.
    std::shared_ptr<const ReferenceOrbit> orbit;
    double startZoom = 0;
    PictureSize size{1920, 1080};
    int fps = 60;
    double seconds = 10;
};

// Makes the video `request` names at `path` (written aside and put in place
// only when complete). Fails with "PATH: why" (ECANCELED when stopped),
// leaving nothing behind.
Status writeZoomVideo(const std::string& path, const ZoomVideoRequest& request, const DrawControl& control);

// Hands every frame to each of several sinks.
class FrameSinks final : public FrameSink {
public:
    void push(FrameSink* sink) { sinks_.push_back(sink); }
    Status add(const RgbImage& frame) override
    {
        for (FrameSink* sink : sinks_)
            if (Status s = sink->add(frame); !s)
                return s;
        return {};
    }

private:
    std::vector<FrameSink*> sinks_;
};

// An 8-bit RGB PNG of `image` holding `location`, written aside and put in
// place whole at `path`. Compressed on this thread in one piece: its bytes
// never depend on the number of threads (a poster's pieces do).
Status writeRgbPng(const std::string& path, const RgbImage& image, const Location& location);
// The pixels of a PNG file as 8-bit RGB; fails for a missing, truncated or
// damaged file.
Result<RgbImage> readRgbPng(const std::string& path);

} // namespace mandel
