// Colouring grids out of drawing order, against ColourChain run over the
// whole picture in drawing order: whole pictures, runs of columns and bands
// of rows, on a pool and on the caller.

#include "ColourChain.h"
#include "ColourGrid.h"
#include "ColourTables.h"
#include "TestStates.h"
#include "ThreadPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace mandel {
namespace {

using testing::palette;

constexpr int kColumns = 37;
// More rows than colourBlock takes in one band.
constexpr int kRows = 150;

// A picture's results, column-major: counts over the whole range, the cap,
// zi with halves, and a few counts outside the colour tables.
std::vector<PointResult> pictureResults(std::mt19937_64& rng)
{
    std::uniform_int_distribution<int> n(3, 200);
    std::uniform_real_distribution<double> zi(-6.0, 6.0);
    std::vector<PointResult> grid(static_cast<std::size_t>(kColumns) * kRows);
    for (std::size_t i = 0; i < grid.size(); ++i) {
        switch (i % 5) {
        case 0: grid[i] = {zi(rng), n(rng)}; break;
        case 1: grid[i] = {0.5, n(rng)}; break;
        case 2: grid[i] = {-1.5, kMaxIterations}; break;
        case 3: grid[i] = {zi(rng), i % 3 == 0 ? 4000 : 9}; break;
        default: grid[i] = {0.0, n(rng)}; break;
        }
    }
    return grid;
}

std::vector<Colour> inDrawingOrder(const ExplorerState& s, const std::vector<PointResult>& grid)
{
    ColourChain chain(s);
    std::vector<Colour> out;
    for (const PointResult& p : grid)
        out.push_back(chain.next(p.n, p.zi));
    return out;
}

// How a picture is cut into grids: runs of `runColumns` columns, each cut
// into bands of `bandRows` rows; or, with `block`, runs of whole columns
// coloured by colourBlock into a picture kept row by row, of which only
// the first `keptColumns` columns and `keptRows` rows are kept.
struct Layout {
    const char* name;
    int runColumns;
    int bandRows;
    bool block = false;
    int keptColumns = kColumns, keptRows = kRows;
};

// Where colourBlock keeps nothing: what was there stays.
constexpr Colour kUntouched = 0xDEADBEEFu;

const Layout kLayouts[] = {
    {"whole picture", kColumns, kRows},
    {"runs of 5 columns", 5, kRows},
    {"bands of 16 rows", kColumns, 16},
    {"runs of 4 columns in bands of 7 rows", 4, 7},
    {"single pixels", 1, 1},
    {"blocks of 16 columns, row by row", 16, kRows, true},
    {"one block, row by row", kColumns, kRows, true},
    {"blocks of 16 columns, the last 5 columns and 13 rows not kept", 16, kRows, true, kColumns - 5, kRows - 13},
};

// colourBlock's layouts: the picture row by row, given back column by
// column; pixels it does not keep must be untouched.
bool colourByBlocks(const ColourTables& tables, const std::vector<PointResult>& picture, const Layout& layout,
                    std::vector<Colour>& out)
{
    std::vector<Colour> rows(picture.size(), kUntouched);
    bool formed = true;
    for (int x0 = 0; x0 < kColumns; x0 += layout.runColumns) {
        const int columns = std::min(layout.runColumns, kColumns - x0);
        const std::int32_t before =
            x0 > 0 ? picture[static_cast<std::size_t>(x0) * kRows - 1].n : kNoPixelBefore;
        const int keptColumns = std::clamp(layout.keptColumns - x0, 0, columns);
        formed = tables.colourBlock(picture.data() + static_cast<std::size_t>(x0) * kRows, columns, kRows, before,
                                    rows.data() + x0, kColumns, keptColumns, layout.keptRows) &&
                 formed;
    }
    out.assign(picture.size(), 0);
    for (std::size_t x = 0; x < kColumns; ++x)
        for (std::size_t y = 0; y < kRows; ++y) {
            const Colour c = rows[y * kColumns + x];
            const bool kept = x < static_cast<std::size_t>(layout.keptColumns) && y < static_cast<std::size_t>(layout.keptRows);
            // A pixel not kept but written shows as a colour no chain gives.
            out[x * kRows + y] = kept ? c : (c == kUntouched ? kUntouched : ~c);
        }
    return formed;
}

// The colours the chain gives, where `layout` keeps them.
std::vector<Colour> keptOf(std::vector<Colour> want, const Layout& layout)
{
    for (std::size_t x = 0; x < kColumns; ++x)
        for (std::size_t y = 0; y < kRows; ++y)
            if (x >= static_cast<std::size_t>(layout.keptColumns) || y >= static_cast<std::size_t>(layout.keptRows))
                want[x * kRows + y] = kUntouched;
    return want;
}

// Colours the picture grid by grid as `layout` cuts it; false when some
// grid said a value did not form.
bool colourByLayout(const ColourTables& tables, const std::vector<PointResult>& picture, const Layout& layout,
                    ThreadPool* pool, std::vector<Colour>& out)
{
    if (layout.block)
        return colourByBlocks(tables, picture, layout, out);
    auto nAt = [&](int x, int y) { return picture[static_cast<std::size_t>(x) * kRows + static_cast<std::size_t>(y)].n; };
    out.assign(picture.size(), 0);
    bool formed = true;
    for (int x0 = 0; x0 < kColumns; x0 += layout.runColumns) {
        const int columns = std::min(layout.runColumns, kColumns - x0);
        for (int y0 = 0; y0 < kRows; y0 += layout.bandRows) {
            const int rows = std::min(layout.bandRows, kRows - y0);
            std::vector<PointResult> grid;
            std::vector<std::int32_t> before;
            for (int x = x0; x < x0 + columns; ++x) {
                for (int y = y0; y < y0 + rows; ++y)
                    grid.push_back(picture[static_cast<std::size_t>(x) * kRows + static_cast<std::size_t>(y)]);
                before.push_back(y0 > 0 ? nAt(x, y0 - 1) : x > 0 ? nAt(x - 1, kRows - 1) : kNoPixelBefore);
            }
            std::vector<Colour> colours(grid.size());
            formed = colourGrid(tables, grid.data(), columns, rows, before.data(), colours.data(), pool) && formed;
            for (int c = 0; c < columns; ++c)
                for (int r = 0; r < rows; ++r)
                    out[static_cast<std::size_t>(x0 + c) * kRows + static_cast<std::size_t>(y0 + r)] =
                        colours[static_cast<std::size_t>(c) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(r)];
        }
    }
    return formed;
}

long firstDifference(const std::vector<Colour>& got, const std::vector<Colour>& want)
{
    const auto at = std::mismatch(got.begin(), got.end(), want.begin());
    return at.first == got.end() ? -1 : static_cast<long>(at.first - got.begin());
}

TEST(ColourGrid, DrawnPalettesColourAsTheChainInEveryLayoutOnAnyThread)
{
    std::mt19937_64 rng(0x6A1Du);
    std::uniform_real_distribution<float> multiplier(0.0f, 10.0f);
    std::uniform_int_distribution<int> modulus(150, 304);
    ThreadPool three(3);
    ThreadPool* pools[] = {nullptr, &three};
    for (int round = 0; round < 3; ++round) {
        const auto picture = pictureResults(rng);
        for (int mode = 1; mode <= 9; ++mode) {
            const ExplorerState s = palette(static_cast<float>(mode), multiplier(rng), multiplier(rng), multiplier(rng),
                                            static_cast<float>(modulus(rng)), static_cast<float>(modulus(rng)),
                                            static_cast<float>(modulus(rng)));
            const auto want = inDrawingOrder(s, picture);
            const ColourTables tables(s);
            for (const Layout& layout : kLayouts) {
                for (ThreadPool* pool : pools) {
                    if (pool && (layout.runColumns < 4 || layout.block))
                        continue;  // a pool adds nothing to grids of a column or less, or to blocks
                    std::vector<Colour> got;
                    ASSERT_TRUE(colourByLayout(tables, picture, layout, pool, got)) << "mode " << mode << ", " << layout.name;
                    const long at = firstDifference(got, keptOf(want, layout));
                    ASSERT_EQ(at, -1) << "mode " << mode << ", " << layout.name << (pool ? ", 3 threads" : ", caller")
                                      << ": column " << at / kRows << ", row " << at % kRows;
                }
            }
        }
    }
}

struct Unformed {
    const char* name;
    ExplorerState s;
    // Pixel (column, row) given a count or zi no value forms from, or -1.
    int column, row;
    PointResult odd;
};

TEST(ColourGrid, ValuesThatDoNotFormAreReportedNeverMiscoloured)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Unformed cases[] = {
        // The carried green is NaN: every pixel after the first depends on it.
        {"mode 7, green multiplier NaN", palette(7, 1.5f, nan, 2), -1, 0, {}},
        {"mode 8, blue multiplier NaN", palette(8, 1.5f, 2, nan), -1, 0, {}},
        {"mode 2, modulus 0", palette(2, 1.5f, 2, 3, 0, 200, 200), -1, 0, {}},
        // One pixel whose own value does not form.
        {"mode 4, |zi| beyond range", palette(4, 1.5f, 2, 3), 10, kRows - 1, {1e300, 5}},
        {"mode 1, negative count", palette(1, 1.5f, 2, 3), 3, 0, {0.0, -4}},
        {"mode 7, negative count before a column", palette(7, 1.5f, 2, 3), 20, kRows - 1, {0.0, -4}},
    };
    std::mt19937_64 rng(0x0DDu);
    ThreadPool two(2);
    for (const Unformed& c : cases) {
        auto picture = pictureResults(rng);
        if (c.column >= 0)
            picture[static_cast<std::size_t>(c.column) * kRows + static_cast<std::size_t>(c.row)] = c.odd;
        const auto want = inDrawingOrder(c.s, picture);
        const ColourTables tables(c.s);
        for (const Layout& layout : kLayouts) {
            std::vector<Colour> got;
            const bool formed = colourByLayout(tables, picture, layout, &two, got);
            EXPECT_FALSE(formed) << c.name << ", " << layout.name;
            if (formed) {
                EXPECT_EQ(firstDifference(got, keptOf(want, layout)), -1) << c.name << ", " << layout.name;
            }
        }
    }
}

// After a run coloured out of order, drawing order continues where the run
// ended, as the renderer does when a later run has a value that does not form.
TEST(ColourGrid, DrawingOrderResumesAfterTheLastPixelOfARun)
{
    std::mt19937_64 rng(0x5E7u);
    for (int mode = 1; mode <= 9; ++mode) {
        const ExplorerState s = palette(static_cast<float>(mode), 1.25f, 7.5f, 3.0f, 151, 233, 304);
        const auto picture = pictureResults(rng);
        const auto want = inDrawingOrder(s, picture);
        ColourTables tables(s);
        const std::size_t split = 5 * kRows;  // five columns out of order, the rest in order
        std::vector<Colour> got(picture.size());
        ASSERT_TRUE(tables.colourColumn(picture.data(), static_cast<int>(split), kNoPixelBefore, got.data()));
        tables.resumeAfter(picture[split - 1], picture[split - 2].n);
        tables.colourRun(picture.data() + split, static_cast<int>(picture.size() - split), got.data() + split);
        ASSERT_EQ(firstDifference(got, want), -1) << "mode " << mode;
    }
}

} // namespace
} // namespace mandel
