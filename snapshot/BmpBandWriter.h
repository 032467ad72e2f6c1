#pragma once

#include "BandSink.h"
#include "ByteWriter.h"
#include "Location.h"

#include <cstdint>
#include <vector>

namespace mandel {

// Writes a poster as a 24-bit uncompressed BMP while its bands arrive, the
// same bytes encodeBmp gives for the whole image. BMP stores rows bottom
// up, so each band goes to its place in the file: the writer must be able
// to write anywhere in it.
class BmpBandWriter final : public BandSink {
public:
    // Whether a BMP can hold a picture of `size`: its sizes are 32-bit, so
    // a file must stay below 4 GiB. The failure says so, with the size.
    static Status fits(PictureSize size);

    // A BMP of `size` (which must fit) written through `out`.
    BmpBandWriter(PictureSize size, ByteWriter out);

    // Takes the next rows, top to bottom; the first call also writes the header.
    Status writeRows(const std::uint8_t* rgb, int rows) override;

    // Whether every row went in.
    bool complete() const noexcept { return failure_.ok() && rowsDone_ == size_.height; }

private:
    PictureSize size_;
    ByteWriter out_;
    std::uint64_t rowBytes_;
    int rowsDone_ = 0;
    Status failure_;
    std::vector<unsigned char> block_;
};

} // namespace mandel
