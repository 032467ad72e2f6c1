#pragma once

#include "Colour.h"
#include "PointResult.h"

#include <array>
#include <cstdint>

namespace mandel {

struct ExplorerState;

// The colour rule of one picture, as ColourChain gives it pixel by pixel,
// from tables made once per picture: every component that depends on n
// alone, and the chained ones on n plus a previous component, are looked
// up; only modes 4-6 round a product per pixel. Same drawing order rule:
// one object must see every pixel of a picture in order.
class ColourTables {
public:
    // Starts a picture for the colour parameters of `s`.
    explicit ColourTables(const ExplorerState& s) noexcept;

    // Colours the next pixel from its iteration count n and final zi.
    Colour next(int n, double zi) noexcept;

    // Colours the next `count` pixels, in order, into `out`.
    void colourRun(const PointResult* points, int count, Colour* out) noexcept;

private:
    // Whole counts the tables cover: n of 0..200, and n plus a component
    // below 255 for the chained modes.
    static constexpr int kCounts = 201;
    static constexpr int kSums = 201 + 254;
    // A component value, or -1 where it cannot be formed (the pixel then
    // keeps the previous value, as ColourChain does).
    using Table = std::array<std::int16_t, kSums>;

    int single(const Table& t, int n, float fn, int m) const noexcept;
    int chained(int sum) const noexcept;

    int mode_;
    float fnR_, fnG_, fnB_;  // multipliers of the single products
    int mR_, mG_, mB_;       // their moduli
    float fnChain_;          // multiplier of the chained or |zi| product
    Table red_{}, green_{}, blue_{}, chain_{};
    // Modes 1-3 colour by n alone: the composed colour of each count, when
    // every component of every count can be formed.
    std::array<Colour, kCounts> direct_{};
    bool hasDirect_ = false;
    int r_ = 0, g_ = 0, b_ = 0;
    bool first_ = true;
};

} // namespace mandel
