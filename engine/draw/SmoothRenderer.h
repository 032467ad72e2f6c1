#pragma once

#include "BandSink.h"
#include "DeepView.h"
#include "Location.h"
#include "PointResult.h"
#include "PosterRenderer.h"
#include "Result.h"
#include "SmoothColour.h"
#include "SmoothColours.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace mandel {

struct ExplorerState;
class DeepComputer;
class FieldComputer;
class FreeViewPixels;
class PosterMapping;
class Surface;
class ThreadPool;

// Draws legacy views in smooth colours at any size, a band of rows at a
// time, so memory stays bounded by the width.
//
// Samples: with N = colours.samples, pixel (u, v) of a W x H picture
// averages the N x N pixels (N u + i, N v + j), i, j < N, of the N W x N H
// poster of the view (PosterMapping). Each sample is first rounded to 8-bit
// sRGB as that poster's pixel is, then the block is averaged in linear
// light and rounded to the nearest 8-bit sRGB value; so the W x H picture
// is exactly the block average of the larger poster. With N = 1 it is
// that poster itself.
class SmoothRenderer {
public:
    // Draws on `pool` (null: the calling thread), every sample by the
    // scalar reference. `bandPixels` bounds the samples of one band (0: a
    // default of 1 Mi).
    explicit SmoothRenderer(ThreadPool* pool, std::int64_t bandPixels = 0);
    // Draws on the threads of `computer`, which finds the counts first and,
    // without shading, each loop's last z, from which escaped samples are
    // coloured on SIMD lanes (with shading they are iterated again with the
    // derivative); the same picture as the reference's.
    explicit SmoothRenderer(FieldComputer& computer, std::int64_t bandPixels = 0);
    // Draws the deep view of `deep` (its orbit fixes centre, zoom and cap)
    // on its threads: counts and, without shading, the last z from it; with
    // shading each escaped sample is iterated again by perturbation for its
    // z and derivative (DeepSmooth). Sample
    // (u, v) lies at picture pixel (x', y') of the poster mapping, (x' -
    // 300, y' - 300) pixels from the centre, as deep posters' pixels do.
    explicit SmoothRenderer(DeepComputer& deep, std::int64_t bandPixels = 0);
    // Draws the free view of `pixels` on its threads: in doubles where it
    // computes in doubles (counts and last z from the vector kernel, as for
    // legacy views, on the view's own grid of c), else by perturbation as
    // above.
    explicit SmoothRenderer(FreeViewPixels& pixels, std::int64_t bandPixels = 0);

    // Draws the view of `view` (its palette unused) at `size` in `colours`
    // and hands every row to `sink` in order. Fails when the sink fails, or
    // when the hooks stop it ("stopped", ECANCELED).
    Status render(const ExplorerState& view, const SmoothColours& colours, PictureSize size, BandSink& sink,
                  const PosterHooks& hooks = {});

    // Draws the window's 596 x 596 picture of `view` on `surface` (the
    // 596 x 596 poster, which is that picture).
    Status renderPicture(const ExplorerState& view, const SmoothColours& colours, Surface& surface,
                         const PosterHooks& hooks = {});

    // The same for a deep renderer: its computer's view.
    Status render(const SmoothColours& colours, PictureSize size, BandSink& sink, const PosterHooks& hooks = {});
    Status renderPicture(const SmoothColours& colours, Surface& surface, const PosterHooks& hooks = {});

private:
    // Draws the samples of `samples` (N times the picture's size), whose
    // columns are in cx_ already.
    Status draw(const PosterMapping& samples, const SampleColouring& colouring, int n, BandSink& sink,
                const PosterHooks& hooks);

    ThreadPool* pool_;
    FieldComputer* computer_ = nullptr;
    DeepComputer* deep_ = nullptr;
    // A free view in doubles: where its pixels lie, and its cap.
    std::optional<DoublesFrame> frame_;
    std::int32_t freeCap_ = 0;
    // A deep view's centre from its orbit's, in its pixels.
    PixelOffset offset_;
    std::int64_t bandPixels_;
    std::vector<PointResult> counts_;  // the band's samples, column by column
    std::vector<double> lastZr_;       // beside them, where colouring goes on from the loop's last z
    std::vector<std::uint8_t> sampleRgb_;  // the band's samples' colours, row by row
    std::vector<double> cx_, cy_;
    std::vector<double> planeCy_;  // deep samples' plane y, for colouring from the last z
    std::vector<std::uint8_t> rgb_;
};

} // namespace mandel
