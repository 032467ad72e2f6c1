#pragma once

#include "Location.h"

#include "Colour.h"
#include "PointResult.h"

#include <array>
#include <cstdint>
#include <limits>

namespace mandel {

struct ExplorerState;

// What `before` holds for the first pixel of a picture: no pixel before it.
inline constexpr std::int32_t kNoPixelBefore = std::numeric_limits<std::int32_t>::min();

// The colour rule of one picture, as ColourChain gives it pixel by pixel,
// from tables made once per picture: every component that depends on n
// alone, and the chained ones on n plus a previous component, are looked
// up; only modes 4-6 round a product per pixel.
//
// Two ways to use it:
//  - in drawing order (next, colourRun): one object sees every pixel of a
//    picture in order, exactly as ColourChain, whatever the values;
//  - pixel by pixel from the pixel's own result and the n of the pixel
//    drawn just before it (colourColumn, const: any number of threads may
//    share one object). A pixel's colour depends on nothing else as long
//    as every component value forms, which holds for every palette the
//    program draws and every view it reaches.
class ColourTables {
public:
    // Starts a picture in `palette`.
    explicit ColourTables(const Palette& palette) noexcept;
    // Starts a picture for the colour parameters of `s`.
    explicit ColourTables(const ExplorerState& s) noexcept;

    // Whether a colour of `palette` reads the final zi of its pixel.
    static bool readsZi(const Palette& palette) noexcept;

    // Colours the next pixel from its iteration count n and final zi.
    Colour next(int n, double zi) noexcept;

    // Colours the next `count` pixels, in order, into `out`.
    void colourRun(const PointResult* points, int count, Colour* out) noexcept;

    // Colours `count` pixels that follow one another in drawing order, the
    // first of them drawn right after a pixel with count `before`
    // (kNoPixelBefore: the first pixel of a picture). Returns false, with
    // `out` unspecified, when some value cannot be formed: such pixels
    // depend on the whole picture before them and must be coloured in
    // drawing order. Const: does not touch the drawing-order state.
    bool colourColumn(const PointResult* points, int count, std::int32_t before, Colour* out) const noexcept;

    // colourColumn for a block of `columns` whole columns of `rows` rows
    // that follow one another in drawing order, held column by column
    // (grid[c * rows + r]), the first drawn right after a pixel with count
    // `before`: pixel (c, r) goes to out[r * stride + c], for the first
    // `keptColumns` columns and `keptRows` rows only (the others are
    // coloured for the answer, not kept). Row after row, so the block's
    // colours reach a picture stored row by row in whole cache lines.
    bool colourBlock(const PointResult* grid, int columns, int rows, std::int32_t before, Colour* out,
                     std::ptrdiff_t stride, int keptColumns, int keptRows) const noexcept;

    // Sets the drawing-order state to what it is after `last`, a pixel
    // drawn right after one with count `before`, when colourColumn formed
    // every value of both: next() then continues the picture from there.
    void resumeAfter(const PointResult& last, std::int32_t before) noexcept;

private:
    // Whole counts the tables cover: n of 0..200, and n plus a component
    // below 255 for the chained modes.
    static constexpr int kCounts = 201;
    static constexpr int kSums = 201 + 254;
    // A component value, or -1 where it cannot be formed (the pixel then
    // keeps the previous value, as ColourChain does).
    using Table = std::array<std::int16_t, kSums>;

    // What sets the modes apart: which channel (0 red, 1 green, 2 blue), if
    // any, takes n + |zi| (modes 4-6) or n plus the channel after it
    // (modes 7-9: the previous pixel's green or blue, or this pixel's red,
    // since channels are coloured in the order red, green, blue).
    enum class Special { None, WithZi, Chained };
    struct ModeRule {
        Special special = Special::None;
        int channel = 0;
        int source() const noexcept { return (channel + 1) % 3; }
    };

    int single(int channel, int n) const noexcept;
    int chained(int sum) const noexcept;
    int withZi(int n, double zi) const noexcept;
    // One pixel of colourColumn, whose rest is R; false when some value
    // cannot be formed.
    enum class Rest;
    template <Rest R>
    bool colourOne(const PointResult& p, std::int32_t before, Colour& out) const noexcept;
    // The three components of a pixel from its own result and the count of
    // the pixel before it; false when some value cannot be formed.
    bool components(int n, double zi, std::int32_t before, int (&c)[3]) const noexcept;

    ModeRule rule_;
    // Multipliers and moduli of the single products, per channel; the
    // special channel's product takes its channel's multiplier too.
    float fn_[3];
    int m_[3];
    std::array<Table, 3> single_{};
    Table chain_{};
    // Composed colour of each count when no channel is special and every
    // value of every count forms (modes 1-3 as the program draws them).
    std::array<Colour, kCounts> direct_{};
    bool hasDirect_ = false;
    // Whether every value the tables hold forms (every count's channels,
    // and for modes 7 and 8 every previous component and chained value):
    // then a pixel whose counts the tables cover needs no checks.
    bool lookupsAlone_ = false;
    // For colourColumn, per count: the channels that follow from the count
    // alone, composed (the special one 0 unless it too follows from the
    // count, as in mode 9), and whether they form; and what the rest of a
    // pixel takes.
    enum class Rest { None, Zi, Before };
    // f.template operator()<R>() for this picture's rest R, a constant to
    // the loops it picks.
    template <class F>
    bool withRest(F&& f) const noexcept;
    template <Rest R, bool kDirect>
    bool colourBlockOf(const PointResult* grid, int columns, int rows, std::int32_t before, Colour* out,
                       std::ptrdiff_t stride, int keptColumns, int keptRows) const noexcept;
    std::array<Colour, kCounts> fromCount_{};
    std::array<bool, kCounts> fromCountForms_{};
    Rest rest_ = Rest::None;
    int c_[3] = {0, 0, 0};  // drawing-order state: the components drawn last
    bool first_ = true;
};

} // namespace mandel
