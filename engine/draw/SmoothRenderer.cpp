#include "SmoothRenderer.h"

#include "ExplorerState.h"
#include "FieldComputer.h"
#include "PosterMapping.h"
#include "SmoothColour.h"
#include "SmoothKernel.h"
#include "Surface.h"
#include "ThreadPool.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <string>

namespace mandel {

namespace {

// A band of a quarter million samples keeps its counts and smooth values
// near 16 MB.
constexpr std::int64_t kDefaultBandSamples = std::int64_t{1} << 18;

// Hands rows on to a surface, as the picture's pixels.
struct SurfaceSink final : BandSink {
    explicit SurfaceSink(Surface& s) : surface(s) {}
    Status writeRows(const std::uint8_t* rgb, int rows) override
    {
        for (int r = 0; r < rows; ++r, ++row)
            for (int x = 0; x < kDrawableSize; ++x, rgb += 3)
                surface.setPixel(x, row, composeColour(rgb[0], rgb[1], rgb[2]));
        return {};
    }
    Surface& surface;
    int row = 0;
};

} // namespace

Status SmoothRenderer::renderPicture(const ExplorerState& view, const SmoothColours& colours, Surface& surface,
                                     const PosterHooks& hooks)
{
    SurfaceSink sink(surface);
    return render(view, colours, PictureSize{kDrawableSize, kDrawableSize}, sink, hooks);
}

SmoothRenderer::SmoothRenderer(ThreadPool* pool, std::int64_t bandPixels)
    : pool_(pool), bandPixels_(bandPixels > 0 ? bandPixels : kDefaultBandSamples)
{
}

SmoothRenderer::SmoothRenderer(FieldComputer& computer, std::int64_t bandPixels)
    : pool_(computer.pool()), computer_(&computer),
      bandPixels_(bandPixels > 0 ? bandPixels : kDefaultBandSamples)
{
}

Status SmoothRenderer::render(const ExplorerState& view, const SmoothColours& colours, PictureSize size,
                              BandSink& sink, const PosterHooks& hooks)
{
    const int width = size.width;
    const int height = size.height;
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide)
        return fail("a picture's sides must be 1 to " + std::to_string(kMaxPictureSide) + " pixels", EINVAL);
    const int n = std::clamp(colours.samples, 1, kMaxSamples);
    const PosterMapping samples(view, PictureSize{width * n, height * n});
    const GradientMap gradient(colours);
    // One sample's width in the plane, for the distance shading.
    const double pixel = std::abs(samples.planeX(1) - samples.planeX(0));

    const auto w = static_cast<std::size_t>(width);
    const std::int64_t rowSamples = std::int64_t{width} * n * n;
    const int band = static_cast<int>(std::clamp<std::int64_t>(bandPixels_ / rowSamples, 1, height));
    cx_.resize(w * static_cast<std::size_t>(n));
    for (std::size_t u = 0; u < cx_.size(); ++u)
        cx_[u] = samples.planeX(static_cast<int>(u));
    cy_.resize(static_cast<std::size_t>(band) * static_cast<std::size_t>(n));
    rgb_.resize(w * static_cast<std::size_t>(band) * 3);

    const double blockSize = static_cast<double>(n) * static_cast<double>(n);
    for (int r0 = 0; r0 < height; r0 += band) {
        const int rows = std::min(band, height - r0);
        for (int r = 0; r < rows * n; ++r)
            cy_[static_cast<std::size_t>(r)] = samples.planeY(r0 * n + r);
        const auto sampleRows = static_cast<std::size_t>(rows * n);
        if (computer_) {
            // Counts first, fast: samples inside the set need nothing more.
            counts_.resize(cx_.size() * sampleRows);
            computer_->computeGrid(cx_.data(), static_cast<int>(cx_.size()), cy_.data(), rows * n, counts_.data());
        }
        const int parts = pool_ ? pool_->size() : 1;
        if (computer_) {
            // Then the escaped samples again on SIMD lanes with their
            // derivatives, a column at a time; interior ones are done.
            points_.resize(cx_.size() * sampleRows);
            auto lanes = [&](int i) {
                std::vector<double> ci, cr, zr, zi, dzr, dzi;
                std::vector<std::int32_t> counts;
                std::vector<std::size_t> at;
                const std::size_t columns = cx_.size();
                for (std::size_t c = columns * static_cast<std::size_t>(i) / static_cast<std::size_t>(parts);
                     c < columns * static_cast<std::size_t>(i + 1) / static_cast<std::size_t>(parts); ++c) {
                    ci.clear();
                    counts.clear();
                    at.clear();
                    for (std::size_t r = 0; r < sampleRows; ++r) {
                        const std::int32_t count = counts_[c * sampleRows + r].n;
                        if (count >= kMaxIterations) {
                            points_[c * sampleRows + r] = SmoothPoint{kMaxIterations, true};
                            continue;
                        }
                        ci.push_back(cy_[r]);
                        counts.push_back(count);
                        at.push_back(r);
                    }
                    cr.assign(ci.size(), cx_[c]);
                    zr.resize(ci.size());
                    zi.resize(ci.size());
                    dzr.resize(ci.size());
                    dzi.resize(ci.size());
                    runSmoothSteps({cr.data(), ci.data(), counts.data(), static_cast<int>(ci.size()), zr.data(),
                                    zi.data(), dzr.data(), dzi.data()});
                    for (std::size_t k = 0; k < ci.size(); ++k)
                        points_[c * sampleRows + at[k]] =
                            finishSmooth(cr[k], ci[k], counts[k], kMaxIterations, zr[k], zi[k], dzr[k], dzi[k]);
                }
            };
            if (pool_)
                pool_->run(lanes);
            else
                lanes(0);
        }
        auto sample = [&](std::size_t column, std::size_t row) {
            if (computer_)
                return points_[column * sampleRows + row];
            return iterateSmooth(cx_[column], cy_[row]);
        };
        // Rows dealt out in turn, so that slow rows near the set spread
        // over every thread.
        auto part = [&](int i) {
            for (int r = i; r < rows; r += parts) {
                std::uint8_t* out = rgb_.data() + static_cast<std::size_t>(r) * w * 3;
                for (int u = 0; u < width; ++u, out += 3) {
                    if (n == 1) {
                        // One sample: its 8-bit value is the pixel's, as
                        // decoding and encoding again would give.
                        const Colour c = colourOf(gradient.colourOf(
                            sample(static_cast<std::size_t>(u), static_cast<std::size_t>(r)), pixel));
                        out[0] = static_cast<std::uint8_t>(redOf(c));
                        out[1] = static_cast<std::uint8_t>(greenOf(c));
                        out[2] = static_cast<std::uint8_t>(blueOf(c));
                        continue;
                    }
                    double sum[3] = {0, 0, 0};
                    for (int j = 0; j < n; ++j) {
                        const auto row = static_cast<std::size_t>(r * n + j);
                        for (int i2 = 0; i2 < n; ++i2) {
                            const Colour c = colourOf(
                                gradient.colourOf(sample(static_cast<std::size_t>(u * n + i2), row), pixel));
                            sum[0] += decodeSrgb(static_cast<std::uint8_t>(redOf(c)));
                            sum[1] += decodeSrgb(static_cast<std::uint8_t>(greenOf(c)));
                            sum[2] += decodeSrgb(static_cast<std::uint8_t>(blueOf(c)));
                        }
                    }
                    for (int k = 0; k < 3; ++k)
                        out[k] = encodeSrgb(sum[k] / blockSize);
                }
            }
        };
        if (pool_)
            pool_->run(part);
        else
            part(0);
        if (Status s = sink.writeRows(rgb_.data(), rows); !s)
            return s;
        if (hooks.progress && !hooks.progress(r0 + rows))
            return fail("stopped", ECANCELED);
    }
    return {};
}

} // namespace mandel
