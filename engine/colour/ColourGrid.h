#pragma once

#include "Colour.h"
#include "ColourTables.h"
#include "PointResult.h"

#include <cstdint>

namespace mandel {

class ThreadPool;

// Colouring many pixels at once, on the threads of a pool.
//
// A grid is `columns` columns of `rows` results each, column-major:
// grid[c * rows + r] is row r of column c, and out[c * rows + r] gets its
// colour. Within a column, rows follow one another in drawing order;
// before[c] is the count n of the pixel drawn just before row 0 of column c:
//  - a whole picture or a run of its columns: the last row of column c - 1
//    (for the first column of a run, the last row of the column left of it;
//    kNoPixelBefore for column 0 of the picture);
//  - a band of rows y0..y1-1 of a taller picture: the pixel above, row
//    y0 - 1 of the same column; for the top band (y0 = 0), the bottom row of
//    the column to the left, kNoPixelBefore for the first column.
// This is all the colour rules read of other pixels (modes 7 and 8 carry one
// component from the pixel before), so bands and runs can be coloured in any
// order and on any thread.
//
// Returns true when every colour value formed: then `out` holds exactly the
// colours ColourChain gives in drawing order. Returns false otherwise (not
// for palettes and views the program makes; possible for made-up values):
// then colour those pixels in drawing order with ColourTables::next.
// `pool` null: colours on the calling thread.
bool colourGrid(const ColourTables& tables, const PointResult* grid, int columns, int rows, const std::int32_t* before,
                Colour* out, ThreadPool* pool);

} // namespace mandel
