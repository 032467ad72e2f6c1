#include "PosterRenderer.h"

#include "ColourGrid.h"
#include "ColourTables.h"
#include "ExplorerState.h"
#include "FieldComputer.h"
#include "PosterMapping.h"
#include "ThreadPool.h"

#include <algorithm>
#include <cerrno>
#include <string>

namespace mandel {

namespace {

// A band of about a million pixels: 16 MB of iteration results and 3 MB of
// colours, few enough to stay bounded at any width, many enough that the
// pool's threads start a handful of times per band only.
constexpr std::int64_t kDefaultBandPixels = std::int64_t{1} << 20;

// Colours columns of one band into rows of bytes, a column at a time
// through a buffer that stays in the cache.
struct BandColouring {
    const ColourTables& tables;
    const PointResult* field;  // the band, column by column
    int width, rows;
    const std::int32_t* before;  // n of the pixel drawn before each column's first row
    std::uint8_t* rgb;           // the band, row by row

    // False when some colour value could not be formed.
    bool columns(int c0, int c1, std::vector<Colour>& column) const
    {
        column.resize(static_cast<std::size_t>(rows));
        const auto stride = static_cast<std::size_t>(width) * 3;
        for (int c = c0; c < c1; ++c) {
            if (!tables.colourColumn(field + static_cast<std::size_t>(c) * static_cast<std::size_t>(rows), rows,
                                     before[c], column.data()))
                return false;
            std::uint8_t* out = rgb + static_cast<std::size_t>(c) * 3;
            for (int r = 0; r < rows; ++r, out += stride) {
                const Colour colour = column[static_cast<std::size_t>(r)];
                out[0] = static_cast<std::uint8_t>(redOf(colour));
                out[1] = static_cast<std::uint8_t>(greenOf(colour));
                out[2] = static_cast<std::uint8_t>(blueOf(colour));
            }
        }
        return true;
    }
};

} // namespace

PosterRenderer::PosterRenderer(FieldComputer& computer, std::int64_t bandPixels)
    : computer_(computer), bandPixels_(bandPixels > 0 ? bandPixels : kDefaultBandPixels)
{
}

int PosterRenderer::bandRows(int width) const noexcept
{
    const std::int64_t rows = bandPixels_ / std::max(1, width);
    return static_cast<int>(std::clamp<std::int64_t>(rows, 1, kMaxPictureSide));
}

Status PosterRenderer::render(const ExplorerState& view, PictureSize size, BandSink& sink, const PosterHooks& hooks)
{
    const int width = size.width;
    const int height = size.height;
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide)
        return fail("a poster's sides must be 1 to " + std::to_string(kMaxPictureSide) + " pixels", EINVAL);
    const ColourTables tables(view);
    const PosterMapping mapping(view, size);
    const int band = std::min(height, bandRows(width));
    const auto w = static_cast<std::size_t>(width);

    cx_.resize(w);
    for (int u = 0; u < width; ++u)
        cx_[static_cast<std::size_t>(u)] = mapping.planeX(u);
    cy_.resize(static_cast<std::size_t>(band));
    field_.resize(w * static_cast<std::size_t>(band));
    rgb_.resize(w * static_cast<std::size_t>(band) * 3);
    before_.resize(w);
    const int mode = colourModeOf(view.b);
    if (mode == 7 || mode == 8) {
        // These modes carry a component down each column and on to the top
        // of the next, so row 0 follows the bottom row of the column before.
        const double bottom = mapping.planeY(height - 1);
        computer_.computeGrid(cx_.data(), width, &bottom, 1, field_.data());
        bottom_.resize(w);
        for (std::size_t u = 0; u < w; ++u)
            bottom_[u] = field_[u].n;
    }

    ThreadPool* pool = computer_.pool();
    const int parts = pool ? pool->size() : 1;
    std::vector<std::vector<Colour>> columnBuffers(static_cast<std::size_t>(parts));
    for (int r0 = 0; r0 < height; r0 += band) {
        const int rows = std::min(band, height - r0);
        for (int r = 0; r < rows; ++r)
            cy_[static_cast<std::size_t>(r)] = mapping.planeY(r0 + r);
        if (r0 == 0) {
            before_[0] = kNoPixelBefore;
            for (std::size_t u = 1; u < w; ++u)
                before_[u] = bottom_.empty() ? 0 : bottom_[u - 1];
        }
        computer_.computeGrid(cx_.data(), width, cy_.data(), rows, field_.data());

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
