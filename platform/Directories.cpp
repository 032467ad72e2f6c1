#include "Directories.h"

#include <filesystem>
#include <system_error>

namespace mandel {

std::string makeDirectories(const std::string& path)
{
    namespace fs = std::filesystem;
    if (path.empty())
        return "empty path";
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec)
        return ec.message();
    if (!fs::is_directory(path, ec))
        return "exists and is not a folder";
    return {};
}

} // namespace mandel
