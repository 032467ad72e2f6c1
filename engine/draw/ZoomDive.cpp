#include "ZoomDive.h"

#include "ThreadPool.h"

#include <algorithm>
#include <cmath>

namespace mandel {

namespace {

const double kLog10Of2 = std::log10(2.0);

// How a frame's pixels fall on one picture of the same centre: picture
// coordinate = offset + scale * frame coordinate, per axis, for pixel
// centres (coordinates of pixel k's centre are k + 0.5).
struct Placement {
    double scale, offsetX, offsetY;
};

Placement place(const RgbImage& frame, int pictureWidth, int pictureHeight, double pictureZoom, double frameZoom)
{
    // Plane units per pixel: 4 / (10^K * shorter side).
    const double frameStep = 4.0 / (std::pow(10.0, frameZoom - pictureZoom) * std::min(frame.width, frame.height));
    const double pictureStep = 4.0 / std::min(pictureWidth, pictureHeight);
    const double scale = frameStep / pictureStep;
    const int pictureShorter = std::min(pictureWidth, pictureHeight), frameShorter = std::min(frame.width, frame.height);
    return {scale, diveCentre(pictureWidth, pictureShorter) - scale * diveCentre(frame.width, frameShorter),
            diveCentre(pictureHeight, pictureShorter) - scale * diveCentre(frame.height, frameShorter)};
}

// The bilinear sample of `image` at (x, y), pixel centres at k + 0.5,
// clamped at the edges.
void sample(const RgbImage& image, double x, double y, double out[3])
{
    const double fx = std::clamp(x - 0.5, 0.0, image.width - 1.0);
    const double fy = std::clamp(y - 0.5, 0.0, image.height - 1.0);
    const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    const int x1 = std::min(x0 + 1, image.width - 1), y1 = std::min(y0 + 1, image.height - 1);
    const double tx = fx - x0, ty = fy - y0;
    const auto at = [&image](int px, int py) {
        return image.rgb.data() + (static_cast<std::size_t>(py) * static_cast<std::size_t>(image.width) +
                                   static_cast<std::size_t>(px)) * 3;
    };
    const std::uint8_t *a = at(x0, y0), *b = at(x1, y0), *c = at(x0, y1), *d = at(x1, y1);
    for (int k = 0; k < 3; ++k) {
        const double top = a[k] + (b[k] - a[k]) * tx;
        const double bottom = c[k] + (d[k] - c[k]) * tx;
        out[k] = top + (bottom - top) * ty;
    }
}

} // namespace

double diveCentre(int length, int shorter) noexcept
{
    return length / 2.0 + 0.5 + 2.0 * shorter / static_cast<double>(kPosterSquare);
}

ZoomDive::ZoomDive(double start, double target, int frames)
    : start_(start), target_(target), frames_(std::max(2, frames)),
      keyframes_(static_cast<int>(std::ceil((target - start) / kLog10Of2 - 1e-9)) + 1)
{
    keyframes_ = std::max(keyframes_, 2);
}

double ZoomDive::doublings() const noexcept
{
    return (target_ - start_) / kLog10Of2;
}

double ZoomDive::keyframeZoom(int j) const noexcept
{
    return j >= keyframes_ - 1 ? target_ : start_ + j * kLog10Of2;
}

double ZoomDive::frameZoom(int f) const noexcept
{
    return f >= frames_ - 1 ? target_ : start_ + (target_ - start_) * f / (frames_ - 1);
}

int ZoomDive::outerKeyframe(double zoom) const noexcept
{
    int j = static_cast<int>(std::floor((zoom - start_) / kLog10Of2));
    j = std::clamp(j, 0, keyframes_ - 2);
    // Rounding near a keyframe's own zoom: take the one at or outside.
    while (j > 0 && keyframeZoom(j) > zoom)
        --j;
    return j;
}

RgbImage halved(const RgbImage& image)
{
    RgbImage half((image.width + 1) / 2, (image.height + 1) / 2);
    for (int y = 0; y < half.height; ++y)
        for (int x = 0; x < half.width; ++x) {
            int sum[3] = {0, 0, 0}, count = 0;
            for (int dy = 0; dy < 2 && 2 * y + dy < image.height; ++dy)
                for (int dx = 0; dx < 2 && 2 * x + dx < image.width; ++dx) {
                    const std::uint8_t* p = image.rgb.data() + (static_cast<std::size_t>(2 * y + dy) * static_cast<std::size_t>(image.width) +
                                                                 static_cast<std::size_t>(2 * x + dx)) * 3;
                    for (int k = 0; k < 3; ++k)
                        sum[k] += p[k];
                    ++count;
                }
            std::uint8_t* out = half.rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(half.width) + static_cast<std::size_t>(x)) * 3;
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<std::uint8_t>((sum[k] + count / 2) / count);
        }
    return half;
}

void assembleFrame(const RgbImage& outer, double outerZoom, const RgbImage& innerHalf, double innerZoom,
                   double frameZoom, RgbImage& frame, ThreadPool* pool)
{
    const Placement o = place(frame, outer.width, outer.height, outerZoom, frameZoom);
    const Placement i = place(frame, innerHalf.width, innerHalf.height, innerZoom, frameZoom);
    // The inner keyframe's edges in frame pixels, and the feather inside them.
    const double left = -i.offsetX / i.scale, right = (innerHalf.width - i.offsetX) / i.scale;
    const double top = -i.offsetY / i.scale, bottom = (innerHalf.height - i.offsetY) / i.scale;
    const double feather = std::max(1.0, std::min(frame.width, frame.height) / 32.0);
    auto rows = [&](int y0, int y1) {
        double a[3], b[3];
        for (int y = y0; y < y1; ++y) {
            const double fy = y + 0.5;
            std::uint8_t* out = frame.rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width) * 3;
            for (int x = 0; x < frame.width; ++x, out += 3) {
                const double fx = x + 0.5;
                const double inside = std::min({fx - left, right - fx, fy - top, bottom - fy});
                const double w = std::clamp(inside / feather, 0.0, 1.0);
                sample(outer, o.offsetX + o.scale * fx, o.offsetY + o.scale * fy, a);
                if (w > 0)
                    sample(innerHalf, i.offsetX + i.scale * fx, i.offsetY + i.scale * fy, b);
                for (int k = 0; k < 3; ++k) {
                    const double v = w > 0 ? a[k] + (b[k] - a[k]) * w : a[k];
                    out[k] = static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
                }
            }
        }
    };
    if (!pool) {
        rows(0, frame.height);
        return;
    }
    const int parts = pool->size();
    auto job = [&](int k) { rows(frame.height * k / parts, frame.height * (k + 1) / parts); };
    pool->run(job);
}

} // namespace mandel
