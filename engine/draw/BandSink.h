#pragma once

#include "Result.h"

#include <cstdint>

namespace mandel {

// Where a poster's rows go, a band at a time, top row first: an image file
// being written, or memory in tests.
class BandSink {
public:
    virtual ~BandSink() = default;
    // Takes the next `rows` rows, row after row, each of the poster's width
    // in pixels of three bytes: red, green, blue. A failure stops the poster.
    virtual Status writeRows(const std::uint8_t* rgb, int rows) = 0;
};

} // namespace mandel
