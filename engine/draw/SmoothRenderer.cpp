#include "SmoothRenderer.h"

#include "DeepComputer.h"
#include "DeepSmooth.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "FieldComputer.h"
#include "PictureComputer.h"
#include "PosterMapping.h"
#include "SmoothColour.h"
#include "PointResult.h"
#include "SmoothKernel.h"
#include "Surface.h"
#include "ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <cerrno>
#include <cmath>
#include <string>

namespace mandel {

namespace {

// A band of about a million samples, as the poster renderer's: 24 MB of
// counts and last values, and columns long enough for the kernel's dense
// groups; the pool's threads start a handful of times per band only, which
// on a busy machine counts for more than keeping the counts in the cache.
constexpr std::int64_t kDefaultBandSamples = std::int64_t{1} << 20;

// A piece of a band's columns whose counts and last z (3 MB) stay in the
// cache between the computer and the colouring.
constexpr std::size_t kPieceSamples = std::size_t{1} << 17;

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

SmoothRenderer::SmoothRenderer(DeepComputer& deep, std::int64_t bandPixels)
    : pool_(deep.pool()), deep_(&deep), bandPixels_(bandPixels > 0 ? bandPixels : kDefaultBandSamples)
{
}

SmoothRenderer::SmoothRenderer(FreeViewPixels& pixels, std::int64_t bandPixels)
    : pool_(pixels.pool()), computer_(pixels.doubles()), deep_(pixels.deep()), offset_(pixels.offset()),
      bandPixels_(bandPixels > 0 ? bandPixels : kDefaultBandSamples)
{
    if (computer_) {
        frame_ = pixels.frame();
        freeCap_ = static_cast<std::int32_t>(pixels.iterations());
    }
}

Status SmoothRenderer::renderPicture(const SmoothColours& colours, Surface& surface, const PosterHooks& hooks)
{
    SurfaceSink sink(surface);
    return render(colours, PictureSize{kDrawableSize, kDrawableSize}, sink, hooks);
}

Status SmoothRenderer::render(const ExplorerState& view, const SmoothColours& colours, PictureSize size,
                              BandSink& sink, const PosterHooks& hooks)
{
    if (Status s = checkPictureSize(size); !s)
        return s;
    if (deep_ || frame_)
        return fail("a deep renderer draws its computer's view", EINVAL);
    const int n = std::clamp(colours.samples, 1, kMaxSamples);
    const PosterMapping samples(view, PictureSize{size.width * n, size.height * n});
    cx_.resize(static_cast<std::size_t>(size.width * n));
    for (std::size_t u = 0; u < cx_.size(); ++u)
        cx_[u] = samples.planeX(static_cast<int>(u));
    // One sample's width in the plane, for the distance shading.
    SampleColouring colouring(colours, std::abs(samples.planeX(1) - samples.planeX(0)));
    return draw(samples, colouring, n, sink, hooks);
}

Status SmoothRenderer::render(const SmoothColours& colours, PictureSize size, BandSink& sink, const PosterHooks& hooks)
{
    if (Status s = checkPictureSize(size); !s)
        return s;
    if (!deep_ && !frame_)
        return fail("a legacy picture needs its view", EINVAL);
    const int n = std::clamp(colours.samples, 1, kMaxSamples);
    const PosterMapping samples(PictureSize{size.width * n, size.height * n});
    cx_.resize(static_cast<std::size_t>(size.width * n));
    if (frame_) {
        // The plane points the free view's pixels compute, as FreeViewPixels
        // forms them, and a sample's width in the plane.
        for (std::size_t u = 0; u < cx_.size(); ++u)
            cx_[u] = frame_->re + (samples.pictureX(static_cast<int>(u)) - kDeepCentrePixel) * frame_->step;
        SampleColouring colouring(colours, frame_->step * (samples.pictureX(1) - samples.pictureX(0)));
        return draw(samples, colouring, n, sink, hooks);
    }
    for (std::size_t u = 0; u < cx_.size(); ++u)
        cx_[u] = samples.pictureX(static_cast<int>(u)) - kDeepCentrePixel + offset_.dx;
    // Deep samples are offsets in the picture's pixels, and so are the
    // derivative and the distance.
    SampleColouring colouring(colours, samples.pictureX(1) - samples.pictureX(0));
    colouring.derivativeStep = DeepSmooth(deep_->orbit(), deep_->spacing()).spacing();
    return draw(samples, colouring, n, sink, hooks);
}

Status SmoothRenderer::draw(const PosterMapping& samples, const SampleColouring& colouring, int n, BandSink& sink,
                            const PosterHooks& hooks)
{
    const int width = samples.size().width / n;
    const int height = samples.size().height / n;
    const std::int32_t cap = deep_ ? static_cast<std::int32_t>(deep_->iterations()) : frame_ ? freeCap_ : kMaxIterations;
    std::optional<DeepSmooth> deepSmooth;
    if (deep_)
        deepSmooth.emplace(deep_->orbit(), deep_->spacing());

    const auto w = static_cast<std::size_t>(width);
    const std::int64_t rowSamples = std::int64_t{width} * n * n;
    const int band = static_cast<int>(std::clamp<std::int64_t>(bandPixels_ / rowSamples, 1, height));
    const std::size_t columns = cx_.size();
    cy_.resize(static_cast<std::size_t>(band) * static_cast<std::size_t>(n));
    rgb_.resize(w * static_cast<std::size_t>(band) * 3);
    if (n > 1)
        sampleRgb_.resize(columns * cy_.size() * 3);

    const double blockSize = static_cast<double>(n) * static_cast<double>(n);
    for (int r0 = 0; r0 < height; r0 += band) {
        const int rows = std::min(band, height - r0);
        for (int r = 0; r < rows * n; ++r)
            cy_[static_cast<std::size_t>(r)] =
                deep_    ? samples.pictureY(r0 * n + r) - kDeepCentrePixel + offset_.dy
                : frame_ ? frame_->im - (samples.pictureY(r0 * n + r) - kDeepCentrePixel) * frame_->step
                         : samples.planeY(r0 * n + r);
        const auto sampleRows = static_cast<std::size_t>(rows * n);
        // Counts first, fast: samples inside the set need nothing more.
        // Without shading the computer hands out each loop's last z too,
        // and colouring goes on from there; shading needs the derivative,
        // so escaped samples take their steps again (deep views: by
        // perturbation, DeepSmooth).
        const bool knownZ = (computer_ || deep_) && !colouring.needsDerivative;
        // With the fast computer the counts and last z go through a piece
        // of columns at a time, computed and coloured while they are still
        // in the cache: reading them back from memory costs more than the
        // colouring itself. The deep computer's come for the whole band.
        const std::size_t piece =
            knownZ && !deep_ ? std::clamp<std::size_t>(kPieceSamples / sampleRows / 8 * 8, 8, columns) : columns;
        if (knownZ)
            lastZr_.resize(piece * sampleRows);
        if (deep_ && knownZ) {
            // The samples' c in doubles, which the extra steps add.
            planeCy_.resize(sampleRows);
            for (std::size_t r = 0; r < sampleRows; ++r)
                planeCy_[r] = deepSmooth->planeIm(cy_[r]);
        }
        if (computer_ || deep_) {
            counts_.resize(piece * sampleRows);
            if (deep_) {
                deep_->computeGrid(cx_.data(), static_cast<int>(columns), cy_.data(), rows * n, counts_.data(),
                                   knownZ ? lastZr_.data() : nullptr);
            } else if (!knownZ) {
                // Samples that reach the cap take the interior colour,
                // whatever their z.
                const CapZUnread unread(computer_, true);
                computer_->computeGrid(cx_.data(), static_cast<int>(columns), cy_.data(), rows * n, counts_.data());
            }
        }
        if (deep_ && !knownZ)
            // Escaped samples go over their steps again with the tables
            // their counts came from.
            deepSmooth.emplace(deep_->orbit(), deep_->spacing(), deep_->tables());
        const int parts = pool_ ? pool_->size() : 1;
        // The samples' bytes, row by row: the picture's own rows with one
        // sample a pixel.
        std::uint8_t* sampled = n == 1 ? rgb_.data() : sampleRgb_.data();
        // Blocks of columns dealt out in turn, so that slow ones near the
        // set spread over every thread. In each column the escaped samples
        // are iterated again and coloured in one pass (on SIMD lanes with a
        // fast computer) into a block kept column by column; the block then
        // goes to the rows a piece of a row at a time.
        const std::size_t blockColumns = std::clamp<std::size_t>(8192 / sampleRows, 1, 64);
        constexpr std::size_t kPad = 16;  // a multiple of any target's lanes of doubles
        // Columns whose last z is known: eight at a time, each written down
        // a block kept row by row, a row's 24 bytes in 32 (room for the
        // fourth byte of the last one's colour), and then each row's bytes
        // go to the picture's row in one piece.
        constexpr std::size_t kKnownColumns = 8, kKnownRowBytes = 32;
        std::size_t pieceStart = 0, pieceEnd = 0;
        std::atomic<std::size_t> nextKnown{0};
        auto colourKnown = [&](int) {
            const auto block = std::make_unique_for_overwrite<std::uint8_t[]>(sampleRows * kKnownRowBytes);
            for (std::size_t b0 = nextKnown.fetch_add(kKnownColumns, std::memory_order_relaxed); b0 < pieceEnd;
                 b0 = nextKnown.fetch_add(kKnownColumns, std::memory_order_relaxed)) {
                const std::size_t b1 = std::min(pieceEnd, b0 + kKnownColumns);
                for (std::size_t c = b0; c < b1; ++c) {
                    KnownColumn known{deep_ ? deepSmooth->planeRe(cx_[c]) : cx_[c],
                                      deep_ ? planeCy_.data() : cy_.data(),
                                      counts_.data() + (c - pieceStart) * sampleRows,
                                      lastZr_.data() + (c - pieceStart) * sampleRows,
                                      static_cast<int>(sampleRows),
                                      cap,
                                      nullptr};
                    known.bytes = block.get() + (c - b0) * 3;
                    known.stride = kKnownRowBytes;
                    colourKnownColumn(colouring, known);
                }
                // A whole block's rows in copies of a fixed length.
                const std::uint8_t* from = block.get();
                std::uint8_t* to = sampled + b0 * 3;
                if (b1 - b0 == kKnownColumns) {
                    for (std::size_t r = 0; r < sampleRows; ++r, from += kKnownRowBytes, to += columns * 3)
                        std::memcpy(to, from, kKnownColumns * 3);
                } else {
                    for (std::size_t r = 0; r < sampleRows; ++r, from += kKnownRowBytes, to += columns * 3)
                        std::memcpy(to, from, (b1 - b0) * 3);
                }
            }
        };
        auto colourColumns = [&](int i) {
            std::vector<double> cr, ci;
            std::vector<std::int32_t> counts;
            std::vector<std::size_t> at;
            std::vector<std::uint32_t> block(blockColumns * sampleRows);
            const std::uint32_t interior = colouring.interior;
            for (auto b0 = static_cast<std::size_t>(i) * blockColumns; b0 < columns;
                 b0 += static_cast<std::size_t>(parts) * blockColumns) {
                const std::size_t b1 = std::min(columns, b0 + blockColumns);
                for (std::size_t c = b0; c < b1; ++c) {
                    std::uint32_t* column = block.data() + (c - b0) * sampleRows;
                    // Every sample written as inside, and listed as if it
                    // escaped; the list moves on past those that did.
                    counts.resize(sampleRows + kPad);
                    ci.resize(sampleRows + kPad);
                    at.resize(sampleRows + kPad);
                    std::size_t escaped = 0;
                    for (std::size_t r = 0; r < sampleRows; ++r) {
                        const std::int32_t count =
                            counts_.empty() ? iteratePoint(cx_[c], cy_[r]).n : counts_[c * sampleRows + r].n;
                        column[r] = interior;
                        counts[escaped] = count;
                        ci[escaped] = cy_[r];
                        at[escaped] = r;
                        escaped += count < cap ? 1 : 0;
                    }
                    // Whole vectors: the last sample again fills the last one.
                    for (; escaped % kPad != 0 && escaped > 0; ++escaped) {
                        counts[escaped] = counts[escaped - 1];
                        ci[escaped] = ci[escaped - 1];
                        at[escaped] = at[escaped - 1];
                    }
                    cr.assign(escaped, cx_[c]);
                    const EscapedSamples task{cr.data(), ci.data(), counts.data(), static_cast<int>(escaped),
                                              column, at.data()};
                    if (deepSmooth) {
                        // Deep samples one by one: each iterated again by
                        // perturbation for its last z and dz/dx.
                        for (std::size_t k = 0; k < escaped; ++k) {
                            const DeepFinal f = deepSmooth->finalValue(cx_[c], ci[k], counts[k]);
                            column[at[k]] = colouring.colourEscaped(deepSmooth->planeRe(cx_[c]),
                                                                    deepSmooth->planeIm(ci[k]), counts[k], f.zr,
                                                                    f.zi, f.dzr, f.dzi);
                        }
                    } else if (computer_) {
                        colourEscaped(colouring, task);
                    } else {
                        colourEscapedScalar(colouring, task);
                    }
                }
                for (std::size_t r = 0; r < sampleRows; ++r) {
                    std::uint8_t* out = sampled + (r * columns + b0) * 3;
                    const std::uint32_t* in = block.data() + r;
                    // Four bytes a sample, the fourth overwritten by the
                    // next; the block's last must not touch its neighbour.
                    static_assert(std::endian::native == std::endian::little);
                    for (std::size_t c = b0; c + 1 < b1; ++c, in += sampleRows, out += 3)
                        std::memcpy(out, in, 4);
                    std::memcpy(out, in, 3);
                }
            }
        };
        if (knownZ) {
            for (pieceStart = 0; pieceStart < columns; pieceStart = pieceEnd) {
                pieceEnd = std::min(columns, pieceStart + piece);
                if (!deep_) {
                    const CapZUnread unread(computer_, true);  // as above
                    computer_->computeGridWithZr(cx_.data() + pieceStart, static_cast<int>(pieceEnd - pieceStart),
                                                 cy_.data(), rows * n, counts_.data(), lastZr_.data());
                }
                nextKnown.store(pieceStart, std::memory_order_relaxed);
                if (pool_)
                    pool_->run(colourKnown);
                else
                    colourKnown(0);
            }
        } else if (pool_)
            pool_->run(colourColumns);
        else
            colourColumns(0);
        if (n > 1) {
            const std::array<double, 256>& decoded = srgbDecoded();
            const StepLookup& encode = srgbEncoding();
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
                                    sum[k] += decoded[in[k]];
                        }
                        for (int k = 0; k < 3; ++k)
                            out[k] = static_cast<std::uint8_t>(encode.count(sum[k] / blockSize));
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
