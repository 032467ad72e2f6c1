#pragma once

#include "Result.h"

#include <cstdint>
#include <functional>
#include <span>

namespace mandel {

// Where an image encoder puts its bytes: `bytes` at `offset` from the start
// of the file. Encoders that stream write at increasing offsets; others
// (bottom-up BMP rows) fill in the file out of order.
using ByteWriter = std::function<Status(std::uint64_t offset, std::span<const unsigned char> bytes)>;

} // namespace mandel
