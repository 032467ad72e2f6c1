#pragma once

#include "ImageView.h"
#include "Surface.h"

#include <vector>

namespace mandel {

// A surface held in memory: the headless renderer's picture and the model
// the window's image follows. Pixels are stored row by row, top row first.
class ImageSurface final : public Surface {
public:
    ImageSurface();

    void clear() override;
    void setPixel(int x, int y, Colour c) override;
    void setColumn(int x, const Colour* colours, int count) override;
    void setColumns(int x0, int columns, const Colour* colours, int count) override;
    // Columns own their pixels; blocks of 16 fill whole cache lines.
    bool columnsFromThreads() const noexcept override { return true; }
    Colour* pixelRows() noexcept override { return pixels_.data(); }

    // Pixel (x, y) of the drawable area; x, y must be in 0..595.
    Colour pixel(int x, int y) const { return pixels_[index(x, y)]; }
    // All pixels, row by row, kDrawableSize * kDrawableSize of them.
    const std::vector<Colour>& pixels() const noexcept { return pixels_; }
    // The drawable area as a picture to write; valid while this surface is.
    ImageView view() const noexcept { return {kDrawableSize, kDrawableSize, pixels_}; }

    friend bool operator==(const ImageSurface& a, const ImageSurface& b) { return a.pixels_ == b.pixels_; }

private:
    static std::size_t index(int x, int y)
    {
        return static_cast<std::size_t>(y) * kDrawableSize + static_cast<std::size_t>(x);
    }
    std::vector<Colour> pixels_;
};

} // namespace mandel
