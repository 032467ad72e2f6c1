#include "PosterRenderer.h"

#include "PictureComputer.h"

#include "ColourGrid.h"
#include "ColourTables.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "FieldComputer.h"
#include "PosterMapping.h"
#include "ThreadPool.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace mandel {

namespace {

// A band of about a million pixels: 16 MB of iteration results and 3 MB of
// colours, few enough to stay bounded at any width, many enough that the
// pool's threads start a handful of times per band only.
constexpr std::int64_t kDefaultBandPixels = std::int64_t{1} << 20;

// Colours columns of one band into rows of bytes. Rows of bytes lie a
// whole row apart (often a multiple of 4 KiB, which maps every row to the
// same cache set), so columns are coloured a block at a time into a small
// buffer and written out row by row, each row's piece in one go.
struct BandColouring {
    const ColourTables& tables;
    const PointResult* field;  // the band, column by column
    int width, rows;
    const std::int32_t* before;  // n of the pixel drawn before each column's first row
    std::uint8_t* rgb;           // the band, row by row

    static constexpr int kBlockPixels = 8192;

    // False when some colour value could not be formed.
    bool columns(int c0, int c1, std::vector<Colour>& block) const
    {
        const auto height = static_cast<std::size_t>(rows);
        const int blockColumns = std::clamp(kBlockPixels / rows, 1, 64);
        block.resize(static_cast<std::size_t>(blockColumns) * height);
        for (int b0 = c0; b0 < c1; b0 += blockColumns) {
            const int b1 = std::min(c1, b0 + blockColumns);
            for (int c = b0; c < b1; ++c)
                if (!tables.colourColumn(field + static_cast<std::size_t>(c) * height, rows, before[c],
                                         block.data() + static_cast<std::size_t>(c - b0) * height))
                    return false;
            for (int r = 0; r < rows; ++r) {
                std::uint8_t* out = rgb + (static_cast<std::size_t>(r) * static_cast<std::size_t>(width) +
                                           static_cast<std::size_t>(b0)) * 3;
                const Colour* in = block.data() + r;
                // A colour's bytes in memory are red, green, blue, 0: one
                // four-byte store per pixel, its last byte overwritten by
                // the next pixel; the block's last pixel must not touch its
                // neighbour, which another block or thread writes.
                static_assert(std::endian::native == std::endian::little);
                for (int c = b0; c + 1 < b1; ++c, in += height, out += 3)
                    std::memcpy(out, in, 4);
                std::memcpy(out, in, 3);
            }
        }
        return true;
    }
};

} // namespace

PosterRenderer::PosterRenderer(FieldComputer& computer, std::int64_t bandPixels)
    : computer_(&computer), bandPixels_(bandPixels > 0 ? bandPixels : kDefaultBandPixels)
{
}

PosterRenderer::PosterRenderer(DeepComputer& deep, std::int64_t bandPixels)
    : deep_(&deep), bandPixels_(bandPixels > 0 ? bandPixels : kDefaultBandPixels)
{
}

PosterRenderer::PosterRenderer(PictureComputer& pixels, std::int64_t bandPixels)
    : pixels_(&pixels), bandPixels_(bandPixels > 0 ? bandPixels : kDefaultBandPixels)
{
}

int PosterRenderer::bandRows(int width) const noexcept
{
    const std::int64_t rows = bandPixels_ / std::max(1, width);
    return static_cast<int>(std::clamp<std::int64_t>(rows, 1, kMaxPictureSide));
}

Status PosterRenderer::render(const ExplorerState& view, PictureSize size, BandSink& sink, const PosterHooks& hooks)
{
    if (deep_ || pixels_)
        return render(paletteOf(view), size, sink, hooks);
    if (Status s = checkPictureSize(size); !s)
        return s;
    LegacyPixels legacy(*computer_, view);
    return draw(paletteOf(view), PosterMapping(view, size), legacy, sink, hooks);
}

Status PosterRenderer::render(const Palette& palette, PictureSize size, BandSink& sink, const PosterHooks& hooks)
{
    if (!deep_ && !pixels_)
        return fail("a legacy poster needs its view", EINVAL);
    if (Status s = checkPictureSize(size); !s)
        return s;
    if (pixels_)
        return draw(palette, PosterMapping(size), *pixels_, sink, hooks);
    DeepPixels deep(*deep_);
    return draw(palette, PosterMapping(size), deep, sink, hooks);
}

// The one place legacy and deep posters differ is `pixels`: how a picture
// pixel is turned into a point.
Status PosterRenderer::draw(const Palette& palette, const PosterMapping& mapping, PictureComputer& pixels,
                            BandSink& sink, const PosterHooks& hooks)
{
    const int width = mapping.size().width;
    const int height = mapping.size().height;
    const ColourTables tables(palette);
    // Counts alone where no colour reads z at the cap.
    const bool counts = !ColourTables::readsZi(palette);
    const int band = std::min(height, bandRows(width));
    const auto w = static_cast<std::size_t>(width);

    cx_.resize(w);
    for (int u = 0; u < width; ++u)
        cx_[static_cast<std::size_t>(u)] = mapping.pictureX(u);
    cy_.resize(static_cast<std::size_t>(band));
    field_.resize(w * static_cast<std::size_t>(band));
    rgb_.resize(w * static_cast<std::size_t>(band) * 3);
    before_.resize(w);
    const int mode = colourModeOf(palette.b);
    if (mode == 7 || mode == 8) {
        // These modes carry a component down each column and on to the top
        // of the next, so row 0 follows the bottom row of the column before.
        const double bottom = mapping.pictureY(height - 1);
        pixels.computeFor(counts, cx_.data(), width, &bottom, 1, field_.data());
        bottom_.resize(w);
        for (std::size_t u = 0; u < w; ++u)
            bottom_[u] = field_[u].n;
    }

    ThreadPool* pool = pixels.pool();
    const int parts = pool ? pool->size() : 1;
    std::vector<std::vector<Colour>> columnBuffers(static_cast<std::size_t>(parts));
    for (int r0 = 0; r0 < height; r0 += band) {
        const int rows = std::min(band, height - r0);
        for (int r = 0; r < rows; ++r)
            cy_[static_cast<std::size_t>(r)] = mapping.pictureY(r0 + r);
        if (r0 == 0) {
            before_[0] = kNoPixelBefore;
            for (std::size_t u = 1; u < w; ++u)
                before_[u] = bottom_.empty() ? 0 : bottom_[u - 1];
        }
        pixels.computeFor(counts, cx_.data(), width, cy_.data(), rows, field_.data());

        const BandColouring job{tables, field_.data(), width, rows, before_.data(), rgb_.data()};
        std::vector<char> formed(static_cast<std::size_t>(parts), 1);
        auto part = [&](int i) {
            const auto k = static_cast<std::size_t>(i);
            formed[k] = job.columns(static_cast<int>(std::int64_t{width} * i / parts),
                                    static_cast<int>(std::int64_t{width} * (i + 1) / parts), columnBuffers[k]);
        };
        if (pool)
            pool->run(part);
        else
            part(0);
        if (std::find(formed.begin(), formed.end(), 0) != formed.end())
            return fail("the colour parameters give values that cannot be formed", EINVAL);
        for (std::size_t u = 0; u < w; ++u)
            before_[u] = field_[u * static_cast<std::size_t>(rows) + static_cast<std::size_t>(rows - 1)].n;

        if (Status s = sink.writeRows(rgb_.data(), rows); !s)
            return s;
        if (hooks.progress && !hooks.progress(r0 + rows))
            return fail("stopped", ECANCELED);
    }
    return {};
}

} // namespace mandel
