#pragma once

#include <cstddef>

namespace mandel {

// Bytes of memory the system can give this process now without swapping
// others out (MemAvailable of /proc/meminfo); 0 when it cannot say.
std::size_t availableMemory();

} // namespace mandel
