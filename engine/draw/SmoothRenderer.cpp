#include "SmoothRenderer.h"

#include "ExplorerState.h"
#include "FieldComputer.h"
#include "PosterMapping.h"
#include "SmoothColour.h"
#include "PointResult.h"
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
    // One sample's width in the plane, for the distance shading.
    const double pixel = std::abs(samples.planeX(1) - samples.planeX(0));
    const SampleColouring colouring(colours, pixel);

    const auto w = static_cast<std::size_t>(width);
    const std::int64_t rowSamples = std::int64_t{width} * n * n;
    const int band = static_cast<int>(std::clamp<std::int64_t>(bandPixels_ / rowSamples, 1, height));
    cx_.resize(w * static_cast<std::size_t>(n));
    for (std::size_t u = 0; u < cx_.size(); ++u)
        cx_[u] = samples.planeX(static_cast<int>(u));
    const std::size_t columns = cx_.size();
    cy_.resize(static_cast<std::size_t>(band) * static_cast<std::size_t>(n));
    rgb_.resize(w * static_cast<std::size_t>(band) * 3);
    if (n > 1)
        sampleRgb_.resize(columns * cy_.size() * 3);

    const double blockSize = static_cast<double>(n) * static_cast<double>(n);
    for (int r0 = 0; r0 < height; r0 += band) {
        const int rows = std::min(band, height - r0);
        for (int r = 0; r < rows * n; ++r)
            cy_[static_cast<std::size_t>(r)] = samples.planeY(r0 * n + r);
        const auto sampleRows = static_cast<std::size_t>(rows * n);
        if (computer_) {
            // Counts first, fast: samples inside the set need nothing more.
            counts_.resize(columns * sampleRows);
            computer_->computeGrid(cx_.data(), static_cast<int>(columns), cy_.data(), rows * n, counts_.data());
        }
        const int parts = pool_ ? pool_->size() : 1;
        // The samples' bytes, row by row: the picture's own rows with one
        // sample a pixel.
        std::uint8_t* sampled = n == 1 ? rgb_.data() : sampleRgb_.data();
        // Blocks of columns dealt out in turn, so that slow ones near the
        // set spread over every thread while threads seldom write to the
        // same cache line; in each column the escaped samples are iterated
        // again and coloured in one pass, on SIMD lanes with a fast computer,
        // straight into their rows.
        constexpr std::size_t kBlock = 32;
        auto colourColumns = [&](int i) {
            std::vector<double> cr, ci;
            std::vector<std::int32_t> counts;
            std::vector<std::size_t> at;
            for (auto b = static_cast<std::size_t>(i) * kBlock; b < columns; b += static_cast<std::size_t>(parts) * kBlock)
                for (std::size_t c = b; c < std::min(columns, b + kBlock); ++c) {
                    ci.clear();
                    counts.clear();
                    at.clear();
                    for (std::size_t r = 0; r < sampleRows; ++r) {
                        const std::int32_t count =
                            computer_ ? counts_[c * sampleRows + r].n : iteratePoint(cx_[c], cy_[r]).n;
                        if (count >= kMaxIterations) {
                            std::uint8_t* to = sampled + (r * columns + c) * 3;
                            to[0] = colouring.interior[0];
                            to[1] = colouring.interior[1];
                            to[2] = colouring.interior[2];
                            continue;
                        }
                        ci.push_back(cy_[r]);
                        counts.push_back(count);
                        at.push_back(r);
                    }
                    cr.assign(ci.size(), cx_[c]);
                    const EscapedSamples task{cr.data(), ci.data(), counts.data(), static_cast<int>(ci.size()),
                                              sampled + c * 3,   at.data(),   columns * 3};
                    if (computer_)
                        colourEscaped(colouring, task);
                    else
                        colourEscapedScalar(colouring, task);
                }
        };
        if (pool_)
            pool_->run(colourColumns);
        else
            colourColumns(0);
        if (n > 1) {
            auto average = [&](int i) {
                for (int r = i; r < rows; r += parts) {
                    std::uint8_t* out = rgb_.data() + static_cast<std::size_t>(r) * w * 3;
                    for (std::size_t u = 0; u < w; ++u, out += 3) {
                        double sum[3] = {0, 0, 0};
                        for (int j = 0; j < n; ++j) {
                            const std::uint8_t* in =
                                sampled + ((static_cast<std::size_t>(r * n + j)) * columns + u * static_cast<std::size_t>(n)) * 3;
                            for (int i2 = 0; i2 < n; ++i2, in += 3)
                                for (int k = 0; k < 3; ++k)
                                    sum[k] += decodeSrgb(in[k]);
                        }
                        for (int k = 0; k < 3; ++k)
                            out[k] = encodeSrgb(sum[k] / blockSize);
                    }
                }
            };
            if (pool_)
                pool_->run(average);
            else
                average(0);
        }
        if (Status s = sink.writeRows(rgb_.data(), rows); !s)
            return s;
        if (hooks.progress && !hooks.progress(r0 + rows))
            return fail("stopped", ECANCELED);
    }
    return {};
}

} // namespace mandel
