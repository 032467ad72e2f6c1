#pragma once

#include "BandSink.h"
#include "Location.h"
#include "PointResult.h"
#include "Result.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace mandel {

struct ExplorerState;
class DeepComputer;
class FieldComputer;
class PictureComputer;
class PosterMapping;
class ThreadPool;

// What a poster hands back to its caller while it runs.
struct PosterHooks {
    // Called after each band with the rows written so far; returning false
    // stops the poster. Empty: runs to the end.
    std::function<bool(int rowsDone)> progress;
};

// Draws posters: pictures of a view at any size, iterated, coloured and
// handed on in bands of rows, top to bottom, so that memory stays bounded
// by the width whatever the height. Keeps its buffers between posters.
class PosterRenderer {
public:
    // Iterates with `computer` and colours on its threads; it must outlive
    // the renderer. `bandPixels` bounds the pixels of one band (0: a default
    // that keeps a band near a few megabytes).
    explicit PosterRenderer(FieldComputer& computer, std::int64_t bandPixels = 0);
    // Draws posters of the deep view of `deep` (its centre, zoom and cap):
    // pixel (u, v) is the point at picture pixel (x', y') of the poster
    // mapping, (x' - 300, y' - 300) pixels from the centre.
    explicit PosterRenderer(DeepComputer& deep, std::int64_t bandPixels = 0);
    // Draws posters of a free view through `pixels` (picture pixels of the
    // poster mapping), in whatever number type it computes.
    explicit PosterRenderer(PictureComputer& pixels, std::int64_t bandPixels = 0);

    // Draws the poster of `view` (view and palette; size ignored; for a deep
    // renderer only the palette) at `size`
    // and hands every row to `sink` in order. Fails, with nothing more
    // handed on, when the sink fails, when the hooks stop it (reason
    // "stopped", code ECANCELED), or for a palette whose values cannot all
    // be formed.
    Status render(const ExplorerState& view, PictureSize size, BandSink& sink, const PosterHooks& hooks = {});

    // Rows per band for posters of `width` pixels.
    int bandRows(int width) const noexcept;

private:
    FieldComputer* computer_ = nullptr;
    DeepComputer* deep_ = nullptr;
    PictureComputer* pixels_ = nullptr;
    std::int64_t bandPixels_;
    std::vector<double> cx_, cy_;  // picture pixels of the columns and of one band's rows
    std::vector<PointResult> field_;      // one band, column by column
    std::vector<std::int32_t> before_;    // n of the pixel before each column's first row
    std::vector<std::int32_t> bottom_;    // n of the poster's bottom row
    std::vector<std::uint8_t> rgb_;       // one band, row by row
};

} // namespace mandel
