#pragma once

#include "BandSink.h"
#include "ByteWriter.h"
#include "Location.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mandel {

class ThreadPool;

// The largest image-data chunk written: PNG allows 2^31 - 1 bytes; stay
// well below.
inline constexpr std::size_t kMaxPngChunk = std::size_t{1} << 30;

// A text chunk of a PNG file: a keyword (1-79 Latin-1 characters) and its text.
struct PngText {
    std::string keyword;
    std::string text;
};

// Writes a poster as an 8-bit RGB PNG while its bands arrive, holding one
// band at a time. The bands of a poster are compressed in pieces side by
// side on a pool of threads into one valid zlib stream (each piece ends on
// a byte boundary; the checksums are combined), so compression keeps up
// with the iteration. Every row is Sub-filtered.
class PngBandWriter final : public BandSink {
public:
    // A PNG of `size` with `texts` before the image data, written through
    // `out`; compresses on `pool` (serially when null), which must outlive
    // the writer. `level` is zlib's 1 (fastest) to 9. A band whose data
    // passes `maxChunk` bytes goes out in chunks of at most that.
    PngBandWriter(PictureSize size, std::vector<PngText> texts, ByteWriter out, ThreadPool* pool, int level = 1,
                  std::size_t maxChunk = kMaxPngChunk);
    ~PngBandWriter() override;
    PngBandWriter(const PngBandWriter&) = delete;
    PngBandWriter& operator=(const PngBandWriter&) = delete;

    // Takes the next rows (the first call writes the header first; the call
    // with the last row ends the file). Fails once rows go past the height
    // or the writer failed before.
    Status writeRows(const std::uint8_t* rgb, int rows) override;

    // Whether every row went in and the file is complete.
    bool complete() const noexcept;

    // Bytes written so far.
    std::uint64_t bytesWritten() const noexcept;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace mandel
