#include "Memory.h"

#include <fstream>
#include <sstream>
#include <string>

namespace mandel {

std::size_t availableMemory()
{
    std::ifstream in("/proc/meminfo");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("MemAvailable:", 0) != 0)
            continue;
        std::istringstream fields(line.substr(13));
        unsigned long long kib = 0;
        if (fields >> kib)
            return static_cast<std::size_t>(kib) * 1024;
    }
    return 0;
}

} // namespace mandel
