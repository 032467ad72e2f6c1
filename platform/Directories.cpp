#include "Directories.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace mandel {

Status makeDirectories(const std::string& path)
{
    namespace fs = std::filesystem;
    if (path.empty())
        return fail("empty path");
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec)
        return fail(ec.message(), ec.value());
    if (!fs::is_directory(path, ec))
        return fail("exists and is not a folder", ENOTDIR);
    return {};
}

} // namespace mandel
