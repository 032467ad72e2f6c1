#include "ZoomVideo.h"

#include "LocationFile.h"
#include "OutputFile.h"
#include "PngBandWriter.h"
#include "ThreadPool.h"
#include "Version.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace mandel {

namespace {

constexpr std::string_view kPlanTag = "mandel-dive/1";

bool stopped(const DrawControl& control)
{
    return control.stop && control.stop->load();
}

// `control` for a part of the work: its share scaled into [from, from + width).
DrawControl partOf(const DrawControl& control, double from, double width)
{
    DrawControl part;
    part.stop = control.stop;
    if (control.progress)
        part.progress = [&control, from, width](double share) { return control.progress(from + width * share); };
    return part;
}

std::string padded(int index, int digits)
{
    const std::string text = std::to_string(index);
    const auto width = static_cast<std::size_t>(digits);
    return std::string(text.size() < width ? width - text.size() : 0, '0') + text;
}

Location keyframeLocation(const KeyframeFolder::Plan& plan, const ZoomDive& dive, int index)
{
    Location at = plan.target;
    at.deep->zoom = dive.keyframeZoom(index);
    at.size = keyframeSize(plan.frame);
    return at;
}

} // namespace

Status writeRgbPng(const std::string& path, const RgbImage& image, const Location& location)
{
    auto out = OutputFile::open(path, Overwrite::Replace);
    if (!out)
        return fail(path + ": " + out.error(), out.failure().code);
    std::vector<PngText> texts{{std::string(kPngLocationKeyword), formatLocation(location)},
                               {std::string(kPngSoftwareKeyword), "mandel-render " + std::string(kVersion)}};
    PngBandWriter png(PictureSize{image.width, image.height}, std::move(texts),
                      [&out](std::uint64_t offset, std::span<const unsigned char> bytes) {
                          return out->writeAt(offset, bytes);
                      },
                      nullptr);
    if (Status s = png.writeRows(image.rgb.data(), image.height); !s)
        return fail(path + ": " + s.error(), s.failure().code);
    if (Status s = out->commit(); !s)
        return fail(path + ": " + s.error(), s.failure().code);
    return {};
}

Result<RgbImage> readRgbPng(const std::string& path)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return fail(path + ": " + png.message, EINVAL);
    png.format = PNG_FORMAT_RGB;
    RgbImage image(static_cast<int>(png.width), static_cast<int>(png.height));
    if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) {
        const std::string why = png.message;
        png_image_free(&png);
        return fail(path + ": " + why, EINVAL);
    }
    return image;
}

Status makeDiveFrames(const ZoomDive& dive, PictureSize frameSize, KeyframeSource& keyframes, FrameSink& sink,
                      const DrawControl& control, ThreadPool* pool, double keyframeShare)
{
    const int count = dive.keyframes();
    const double perKeyframe = keyframeShare / count;
    const double perFrame = (1 - keyframeShare) / dive.frames();
    int drawn = 0, made = 0;
    auto next = [&](int index) -> Result<RgbImage> {
        auto image = keyframes.keyframe(index, partOf(control, drawn * perKeyframe + made * perFrame, perKeyframe));
        ++drawn;
        const PictureSize want = keyframeSize(frameSize);
        if (image && (image->width != want.width || image->height != want.height))
            return fail("keyframe " + std::to_string(index) + " is " + std::to_string(image->width) + "x" +
                            std::to_string(image->height) + ", not " + std::to_string(want.width) + "x" +
                            std::to_string(want.height),
                        EINVAL);
        return image;
    };
    auto outer = next(0);
    if (!outer)
        return outer.failure();
    auto inner = next(1);
    if (!inner)
        return inner.failure();
    RgbImage innerHalf = halved(*inner);
    int j = 0;
    RgbImage frame(frameSize.width, frameSize.height);
    for (int f = 0; f < dive.frames(); ++f) {
        if (stopped(control))
            return fail("stopped", ECANCELED);
        const double zoom = dive.frameZoom(f);
        // Keyframes move on one at a time, the outer one dropped first.
        for (const int to = dive.outerKeyframe(zoom); j < to; ++j) {
            *outer = std::move(*inner);
            inner = next(j + 2);
            if (!inner)
                return inner.failure();
            innerHalf = halved(*inner);
        }
        assembleFrame(*outer, dive.keyframeZoom(j), innerHalf, dive.keyframeZoom(j + 1), zoom, frame, pool);
        if (Status s = sink.add(frame); !s)
            return s;
        ++made;
        if (control.progress && !control.progress(drawn * perKeyframe + made * perFrame))
            return fail("stopped", ECANCELED);
    }
    return {};
}

Status drawExactFrames(const ZoomDive& dive, PictureSize frameSize, const DivePictures& pictures, FrameSink& sink,
                       const DrawControl& control)
{
    for (int f = 0; f < dive.frames(); ++f) {
        auto frame = pictures.draw(dive.frameZoom(f), frameSize,
                                   partOf(control, static_cast<double>(f) / dive.frames(), 1.0 / dive.frames()));
        if (!frame)
            return frame.failure();
        if (Status s = sink.add(*frame); !s)
            return s;
    }
    return {};
}

Status writeZoomVideo(const std::string& path, const ZoomVideoRequest& request, const DrawControl& control)
{
    auto failed = [&path](const Failure& why) { return fail(path + ": " + why.reason, why.code); };
    // The orbit is a small part of a dive: a fixed slice of the progress.
    constexpr double kOrbitShare = 0.02;
    auto pictures = DivePictures::prepare(request.target, request.orbit, 0, partOf(control, 0, kOrbitShare));
    if (!pictures)
        return failed(pictures.failure());
    const double target = pictures->target().zoom;
    if (target <= request.startZoom)
        return failed(fail("a dive needs a view deeper than the full view: zoom in first", EINVAL));
    const int frames = static_cast<int>(std::clamp(std::llround(request.seconds * request.fps), 2LL, 100000000LL));
    const ZoomDive dive(request.startZoom, target, frames);
    VideoSettings settings;
    settings.width = request.size.width;
    settings.height = request.size.height;
    settings.fps = request.fps;
    auto video = VideoFile::open(path, settings);
    if (!video)
        return failed(video.failure());
    VideoFrames sink(*video);
    DrawnKeyframes keyframes(*pictures, dive, request.size);
    if (Status made = makeDiveFrames(dive, request.size, keyframes, sink, partOf(control, kOrbitShare, 1 - kOrbitShare),
                                     pictures->pool());
        !made)
        return failed(made.failure());
    if (Status finished = video->finish(); !finished)
        return failed(finished.failure());
    return {};
}

std::string KeyframeFolder::keyframePath(int index, int keyframes) const
{
    const int digits = std::max<int>(5, static_cast<int>(std::to_string(std::max(0, keyframes - 1)).size()));
    return folder_ + "/keyframe-" + padded(index, digits) + ".png";
}

std::string KeyframeFolder::planPath() const
{
    return folder_ + "/dive.txt";
}

Status KeyframeFolder::writePlan(const Plan& plan) const
{
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error)
        return fail(folder_ + ": " + error.message(), error.value());
    char start[64];
    std::snprintf(start, sizeof start, "%.17g", plan.startZoom);
    const std::string text = std::string(kPlanTag) + " keyframes=" + std::to_string(plan.keyframes) + " from=" + start +
                             " size=" + std::to_string(plan.frame.width) + "x" + std::to_string(plan.frame.height) +
                             "\n" + formatLocation(plan.target) + "\n";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (Status s = writeFileAtomically(planPath(), {bytes, text.size()}, Overwrite::Replace); !s)
        return fail(planPath() + ": " + s.error(), s.failure().code);
    return {};
}

Result<KeyframeFolder::Plan> KeyframeFolder::readPlan() const
{
    std::ifstream in(planPath());
    if (!in)
        return fail(planPath() + ": missing: not a folder of keyframes (--keyframes writes one)", ENOENT);
    std::string head, line;
    std::getline(in, head);
    std::getline(in, line);
    auto damaged = [this] { return fail(planPath() + ": damaged; draw the keyframes again", EINVAL); };
    std::istringstream words(head);
    std::string tag, keyframes, from, size;
    if (!(words >> tag >> keyframes >> from >> size) || tag != kPlanTag || keyframes.rfind("keyframes=", 0) != 0 ||
        from.rfind("from=", 0) != 0 || size.rfind("size=", 0) != 0)
        return damaged();
    Plan plan;
    char* end = nullptr;
    plan.keyframes = static_cast<int>(std::strtol(keyframes.c_str() + 10, &end, 10));
    if (*end != '\0' || plan.keyframes < 2)
        return damaged();
    plan.startZoom = std::strtod(from.c_str() + 5, &end);
    if (*end != '\0')
        return damaged();
    const auto frame = parsePictureSize(size.substr(5));
    auto target = parseLocation(line);
    if (!frame || !target || !target->deep)
        return damaged();
    plan.frame = *frame;
    plan.target = std::move(*target);
    return plan;
}

Result<RgbImage> KeyframeFolder::read(int index, const Plan& plan, const Location& expected) const
{
    const std::string path = keyframePath(index, plan.keyframes);
    auto location = readPngLocation(path);
    if (!location)
        return location.failure();
    if (*location != expected)
        return fail(path + ": holds another view than keyframe " + std::to_string(index) + " of this dive", EINVAL);
    auto image = readRgbPng(path);
    const PictureSize want = keyframeSize(plan.frame);
    if (image && (image->width != want.width || image->height != want.height))
        return fail(path + ": not the size of this dive's keyframes", EINVAL);
    return image;
}

Result<bool> KeyframeFolder::ensure(int index, const Plan& plan, const DivePictures& pictures, const ZoomDive& dive,
                                    const DrawControl& control) const
{
    const Location expected = keyframeLocation(plan, dive, index);
    if (read(index, plan, expected))
        return false;
    auto image = pictures.draw(dive.keyframeZoom(index), keyframeSize(plan.frame), control);
    if (!image)
        return image.failure();
    if (Status s = writeRgbPng(keyframePath(index, plan.keyframes), *image, expected); !s)
        return s.failure();
    return true;
}

std::optional<int> KeyframeFolder::firstMissing(const Plan& plan) const
{
    for (int j = 0; j < plan.keyframes; ++j) {
        struct stat st {};
        if (::stat(keyframePath(j, plan.keyframes).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return j;
    }
    return std::nullopt;
}

Result<RgbImage> FolderKeyframes::keyframe(int index, const DrawControl& control)
{
    const Location expected = keyframeLocation(plan_, dive_, index);
    if (!pictures_)
        return folder_.read(index, plan_, expected);
    auto kept = folder_.read(index, plan_, expected);
    if (kept)
        return kept;
    auto image = pictures_->draw(dive_.keyframeZoom(index), keyframeSize(plan_.frame), control);
    if (!image)
        return image.failure();
    if (Status s = writeRgbPng(folder_.keyframePath(index, plan_.keyframes), *image, expected); !s)
        return s.failure();
    return image;
}

PngFrames::PngFrames(std::string folder, const ZoomDive& dive, Location target)
    : folder_(std::move(folder)), dive_(dive), target_(std::move(target))
{
    target_.size.reset();
}

Status PngFrames::add(const RgbImage& frame)
{
    if (next_ == 0) {
        std::error_code error;
        std::filesystem::create_directories(folder_, error);
        if (error)
            return fail(folder_ + ": " + error.message(), error.value());
    }
    Location at = target_;
    at.deep->zoom = dive_.frameZoom(next_);
    at.size = PictureSize{frame.width, frame.height};
    const std::string path = folder_ + "/frame-" + padded(next_, 6) + ".png";
    ++next_;
    return writeRgbPng(path, frame, at);
}

} // namespace mandel
