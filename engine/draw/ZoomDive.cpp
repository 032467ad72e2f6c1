#include "ZoomDive.h"

#include "ThreadPool.h"

#include <algorithm>
#include <cmath>
#include <vector>

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

namespace {

// Shares rows [0, height) out on `pool` (null: this thread).
template <class Rows>
void byRows(int height, ThreadPool* pool, Rows& rows)
{
    if (!pool) {
        rows(0, height);
        return;
    }
    const int parts = pool->size();
    auto job = [&](int k) { rows(height * k / parts, height * (k + 1) / parts); };
    pool->run(job);
}

// std::lround(std::clamp(v, 0.0, 255.0)) without a call: halves round up,
// as lround rounds them away from 0; v - its whole part is exact here.
inline std::uint8_t roundedByte(double v)
{
    const double c = std::clamp(v, 0.0, 255.0);
    const int whole = static_cast<int>(c);
    return static_cast<std::uint8_t>(whole + (c - whole >= 0.5 ? 1 : 0));
}

// Where the pixels along one axis of a frame fall on a picture: the two
// picture pixels around each sample and the weight of the second, computed
// as sample() computes them, once per column or row instead of per pixel.
struct Taps {
    std::vector<int> lo, hi;
    std::vector<double> t;

    Taps(int frameLength, double offset, double scale, int pictureLength)
        : lo(static_cast<std::size_t>(frameLength)), hi(lo.size()), t(lo.size())
    {
        for (std::size_t k = 0; k < lo.size(); ++k) {
            const double f = static_cast<double>(k) + 0.5;
            const double p = std::clamp(offset + scale * f - 0.5, 0.0, pictureLength - 1.0);
            lo[k] = static_cast<int>(p);
            hi[k] = std::min(lo[k] + 1, pictureLength - 1);
            t[k] = p - lo[k];
        }
    }
};

} // namespace

void assembleFrame(const RgbImage& outer, double outerZoom, const RgbImage& innerHalf, double innerZoom,
                   double frameZoom, RgbImage& frame, ThreadPool* pool)
{
    const Placement o = place(frame, outer.width, outer.height, outerZoom, frameZoom);
    const Placement i = place(frame, innerHalf.width, innerHalf.height, innerZoom, frameZoom);
    const double left = -i.offsetX / i.scale, right = (innerHalf.width - i.offsetX) / i.scale;
    const double top = -i.offsetY / i.scale, bottom = (innerHalf.height - i.offsetY) / i.scale;
    const double feather = std::max(1.0, std::min(frame.width, frame.height) / 32.0);
    const Taps outerX(frame.width, o.offsetX, o.scale, outer.width), outerY(frame.height, o.offsetY, o.scale, outer.height);
    const Taps innerX(frame.width, i.offsetX, i.scale, innerHalf.width);
    const Taps innerY(frame.height, i.offsetY, i.scale, innerHalf.height);
    std::vector<double> insideX(static_cast<std::size_t>(frame.width));
    for (std::size_t x = 0; x < insideX.size(); ++x) {
        const double fx = static_cast<double>(x) + 0.5;
        insideX[x] = std::min(fx - left, right - fx);
    }
    auto rowOf = [](const RgbImage& image, int y) {
        return image.rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) * 3;
    };
    auto rows = [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const auto yk = static_cast<std::size_t>(y);
            const double fy = y + 0.5;
            const double insideY = std::min(fy - top, bottom - fy);
            const std::uint8_t *oTop = rowOf(outer, outerY.lo[yk]), *oBottom = rowOf(outer, outerY.hi[yk]);
            const std::uint8_t *iTop = rowOf(innerHalf, innerY.lo[yk]), *iBottom = rowOf(innerHalf, innerY.hi[yk]);
            const double oty = outerY.t[yk], ity = innerY.t[yk];
            std::uint8_t* out = frame.rgb.data() + yk * static_cast<std::size_t>(frame.width) * 3;
            for (std::size_t x = 0; x < insideX.size(); ++x, out += 3) {
                const double w = std::clamp(std::min(insideX[x], insideY) / feather, 0.0, 1.0);
                const std::size_t ox0 = static_cast<std::size_t>(outerX.lo[x]) * 3, ox1 = static_cast<std::size_t>(outerX.hi[x]) * 3;
                const std::size_t ix0 = static_cast<std::size_t>(innerX.lo[x]) * 3, ix1 = static_cast<std::size_t>(innerX.hi[x]) * 3;
                const double otx = outerX.t[x], itx = innerX.t[x];
                for (std::size_t k = 0; k < 3; ++k) {
                    double a = 0, b = 0;
                    if (w < 1) {
                        const double oUp = oTop[ox0 + k] + (oTop[ox1 + k] - oTop[ox0 + k]) * otx;
                        const double oDown = oBottom[ox0 + k] + (oBottom[ox1 + k] - oBottom[ox0 + k]) * otx;
                        a = oUp + (oDown - oUp) * oty;
                    }
                    if (w > 0) {
                        const double iUp = iTop[ix0 + k] + (iTop[ix1 + k] - iTop[ix0 + k]) * itx;
                        const double iDown = iBottom[ix0 + k] + (iBottom[ix1 + k] - iBottom[ix0 + k]) * itx;
                        b = iUp + (iDown - iUp) * ity;
                    }
                    out[k] = roundedByte(w >= 1 ? b : w > 0 ? a + (b - a) * w : a);
                }
            }
        }
    };
    byRows(frame.height, pool, rows);
}

void assembleFrameReference(const RgbImage& outer, double outerZoom, const RgbImage& innerHalf, double innerZoom,
                            double frameZoom, RgbImage& frame)
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
                // Past the feather the inner keyframe alone makes the pixel.
                if (w < 1)
                    sample(outer, o.offsetX + o.scale * fx, o.offsetY + o.scale * fy, a);
                if (w > 0)
                    sample(innerHalf, i.offsetX + i.scale * fx, i.offsetY + i.scale * fy, b);
                for (int k = 0; k < 3; ++k) {
                    const double v = w >= 1 ? b[k] : w > 0 ? a[k] + (b[k] - a[k]) * w : a[k];
                    out[k] = static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
                }
            }
        }
    };
    rows(0, frame.height);
}

} // namespace mandel
