#pragma once

#include "Location.h"

#include <cstdint>
#include <vector>

namespace mandel {

class ThreadPool;

// The side of the square a poster's shorter side spans, in picture pixels.
inline constexpr int kPosterSquare = 596;

// Where the dive's centre lies along a side of `length` pixels of a poster
// whose shorter side is `shorter` pixels, in pixel coordinates (pixel k's
// centre at k + 0.5). A poster's pixel u shows picture pixel
// (u - length/2) * 596/shorter + 298 and the centre is picture pixel 300,
// so the centre sits 0.5 + 2 * shorter/596 past the middle: every picture of
// the dive is placed by it, so keyframes and frames line up.
double diveCentre(int length, int shorter) noexcept;

// A picture in memory: width * height pixels of three bytes (red, green,
// blue), row by row, top row first.
struct RgbImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;

    RgbImage() = default;
    RgbImage(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3) {}
};

// The dive of a zoom video: every frame is the deep poster of the same
// centre at its zoom K (magnification 10^K: the shorter side spans the
// 596 pixels of spacing 1 / (150 * 10^K) of the window's square), K
// growing at a constant rate from the start zoom to the target zoom. The
// first frame is the start, the last the target.
//
// Keyframes are pictures of the same centre, one per doubling of the
// magnification: keyframe j has zoom start + j log10 2, except the last,
// which is the target itself (the last step may be shorter than a
// doubling). A keyframe is twice the frame's width and height
// (keyframeSize) over the same part of the plane as a frame of its zoom.
// At zoom K between keyframes j and j + 1, with t = 10^(zoom(j+1) - K) in
// [1, 2], the inner keyframe covers 1/t of the frame from its centre, so
// the outer one makes the border for every t > 1, at 2 * (t/2) = t >= 1 of
// its samples a frame pixel: twice is the least factor that samples every
// frame pixel at least once (sqrt(2) would give t/sqrt(2) < 1 there for
// t < sqrt(2)). The inner one is halved before it is laid over, so it too
// is sampled at t, never minified by more than two.
class ZoomDive {
public:
    // A dive from zoom `start` to `target` (target > start) in `frames`
    // frames (at least 2).
    ZoomDive(double start, double target, int frames);

    int frames() const noexcept { return frames_; }
    int keyframes() const noexcept { return keyframes_; }
    // Doublings of the magnification from start to target.
    double doublings() const noexcept;
    double keyframeZoom(int j) const noexcept;
    double frameZoom(int f) const noexcept;
    // The keyframe a frame of zoom `zoom` scales up: the innermost one at or
    // outside it, never the last (the frame's inner keyframe is the next).
    int outerKeyframe(double zoom) const noexcept;

private:
    double start_, target_;
    int frames_;
    int keyframes_;
};

// The size of a dive's keyframes for frames of `frame`: twice each side.
inline PictureSize keyframeSize(PictureSize frame)
{
    return {2 * frame.width, 2 * frame.height};
}

// Half the width and height, each pixel the mean of a 2 x 2 block (an odd
// last column or row averaged on its own): the inner keyframe as frames
// sample it, so that it is never minified by more than two.
RgbImage halved(const RgbImage& image);

// Makes the frame of zoom `frameZoom` (its size set beforehand) from the
// keyframes around it: `outer` (zoom outerZoom <= frameZoom) scaled up, and
// the inner keyframe's half-size image `innerHalf` (zoom innerZoom >=
// frameZoom) laid over the middle where it reaches. Both are sampled
// bilinearly at the frame pixel's centre; the inner one's weight rises
// from 0 at its edge to 1 a feather (1/32 of the frame's shorter side)
// inside, so no seam shows. Rows are shared out on `pool` (null: this
// thread).
void assembleFrame(const RgbImage& outer, double outerZoom, const RgbImage& innerHalf, double innerZoom,
                   double frameZoom, RgbImage& frame, ThreadPool* pool = nullptr);
// The same frame, pixel by pixel as the rule above says, on this thread:
// what assembleFrame (which finds each column's and row's samples once) is
// held to byte for byte.
void assembleFrameReference(const RgbImage& outer, double outerZoom, const RgbImage& innerHalf, double innerZoom,
                            double frameZoom, RgbImage& frame);

} // namespace mandel
