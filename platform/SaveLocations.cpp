#include "SaveLocations.h"

#include <cstdlib>

namespace mandel {

std::string picturesFolder()
{
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/Pictures";
}

std::string saveFolder()
{
    return picturesFolder() + "/tivek-art";
}

} // namespace mandel
