#include "FirstFreeName.h"

#include <cerrno>

namespace mandel {

std::string numberedName(const std::string& path, int k)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    std::string name = hasExtension ? path.substr(0, dot) : path;
    name.append("-").append(std::to_string(k));
    if (hasExtension)
        name.append(path, dot);
    return name;
}

Result<std::string> publishUnderFirstFreeName(PendingFile& file, const std::string& path)
{
    for (int k = 1; k < 10000; ++k) {
        const std::string name = k == 1 ? path : numberedName(path, k);
        const Status published = file.publishNew(name);
        if (published)
            return name;
        if (published.failure().code != EEXIST)
            return published.failure();
    }
    return fail("too many pictures with this name", EEXIST);
}

} // namespace mandel
