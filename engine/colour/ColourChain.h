#pragma once

#include "Colour.h"

namespace mandel {

struct ExplorerState;

// The colour rule of one picture. It holds the red, green and blue of the
// pixel drawn last, because modes 7 and 8 read the previous pixel's values:
// one chain must see every pixel of a picture in drawing order.
class ColourChain {
public:
    // Starts a picture for the colour parameters of `s` (copied).
    explicit ColourChain(const ExplorerState& s) noexcept;

    // Colours the next pixel from its iteration count n and final zi.
    Colour next(int n, double zi) noexcept;

    int red() const noexcept { return red_; }
    int green() const noexcept { return green_; }
    int blue() const noexcept { return blue_; }

private:
    float fn1_, fn2_, fn3_;
    int m1_, m2_, m3_;
    int mode_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool first_ = true;
};

} // namespace mandel
