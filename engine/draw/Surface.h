#pragma once

#include "Colour.h"

#include <cstddef>

namespace mandel {

// Side of the drawable area of a picture surface: 600 outer pixels less a
// 2-pixel border on each side.
inline constexpr int kDrawableSize = 596;

// What the renderer draws on. Implementations drop pixels outside the
// drawable area (0..595 on both axes).
class Surface {
public:
    virtual ~Surface() = default;
    // Fills the drawable area with the background colour.
    virtual void clear() = 0;
    // Sets pixel (x, y); ignored outside the drawable area.
    virtual void setPixel(int x, int y, Colour c) = 0;
    // Sets pixels (x, 0) .. (x, count - 1) of one column from `colours`, as
    // that many setPixel calls would; surfaces override it to go faster.
    virtual void setColumn(int x, const Colour* colours, int count)
    {
        for (int y = 0; y < count; ++y)
            setPixel(x, y, colours[y]);
    }
    // Sets `columns` whole columns x0, x0 + 1, ... from `colours`, column
    // after column (count colours each), as that many setColumn calls in
    // order would; surfaces override it to go faster.
    virtual void setColumns(int x0, int columns, const Colour* colours, int count)
    {
        for (int c = 0; c < columns; ++c)
            setColumn(x0 + c, colours + static_cast<std::ptrdiff_t>(c) * count, count);
    }
    // Whether setColumns may run on several threads at once for runs of
    // columns that do not overlap, each starting at a multiple of 16.
    virtual bool columnsFromThreads() const noexcept { return false; }
    // The drawable area's pixels row by row, kDrawableSize colours a row,
    // for drawing straight into, from several threads at once where they
    // write different pixels; null where the surface keeps no such memory.
    virtual Colour* pixelRows() noexcept { return nullptr; }
};

} // namespace mandel
