#pragma once

#include "BandSink.h"
#include "ColourChain.h"
#include "ExplorerState.h"
#include "PointResult.h"
#include "PosterMapping.h"

#include <cstdint>
#include <vector>

namespace mandel::testing {

// A poster the straightforward way: every pixel iterated one at a time and
// coloured by one ColourChain in drawing order (down each column, columns
// left to right). Row by row, top row first.
inline std::vector<Colour> referencePoster(const ExplorerState& view, PictureSize size)
{
    const PosterMapping mapping(view, size);
    std::vector<Colour> image(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height));
    ColourChain chain(view);
    for (int u = 0; u < size.width; ++u) {
        const double cx = mapping.planeX(u);
        for (int v = 0; v < size.height; ++v) {
            const PointResult p = iteratePoint(cx, mapping.planeY(v));
            image[static_cast<std::size_t>(v) * static_cast<std::size_t>(size.width) + static_cast<std::size_t>(u)] =
                chain.next(p.n, p.zi);
        }
    }
    return image;
}

// Keeps every row handed to it, as colours, and how the rows came; fails
// when told to.
class MemorySink final : public BandSink {
public:
    explicit MemorySink(int width) : width_(width) {}

    Status writeRows(const std::uint8_t* rgb, int rows) override
    {
        if (failAfter >= 0 && static_cast<int>(bands.size()) >= failAfter)
            return fail("disk full", 28);
        bands.push_back(rows);
        for (std::size_t i = 0; i < static_cast<std::size_t>(rows) * static_cast<std::size_t>(width_); ++i)
            pixels.push_back(composeColour(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]));
        return {};
    }

    std::vector<Colour> pixels;  // row by row
    std::vector<int> bands;      // rows of each call
    int failAfter = -1;          // calls that succeed before it fails; -1: never

private:
    int width_;
};

} // namespace mandel::testing
