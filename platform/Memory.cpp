#include "Memory.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <sys/resource.h>

namespace mandel {

namespace {

// The first word of the file at `path` as a number of bytes; nothing when
// it is missing, unreadable or "max".
std::size_t bytesIn(const std::string& path, bool& found)
{
    std::ifstream in(path);
    unsigned long long value = 0;
    found = static_cast<bool>(in >> value);
    return found ? static_cast<std::size_t>(value) : 0;
}

// The number after `key` in /proc/self/status-like text, in kB, as bytes.
std::size_t kibibytesAfter(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key, 0) != 0)
            continue;
        std::istringstream fields(line.substr(key.size()));
        unsigned long long kib = 0;
        if (fields >> kib)
            return static_cast<std::size_t>(kib) * 1024;
    }
    return 0;
}

// What is left under the limit `limitFile` with `useFile`, for the cgroup
// at `folder` and each of its ancestors up to `top`; the least, 0 for none.
std::size_t leastLeftUpTo(std::string folder, const std::string& top, const char* limitFile, const char* useFile)
{
    std::size_t least = 0;
    for (;;) {
        bool limited = false, used = false;
        const std::size_t limit = bytesIn(folder + "/" + limitFile, limited);
        const std::size_t use = bytesIn(folder + "/" + useFile, used);
        // v1 writes "no limit" as a number near 2^63.
        if (limited && limit < (std::size_t{1} << 62)) {
            const std::size_t left = used && use < limit ? limit - use : (used ? 1 : limit);
            least = least == 0 ? left : std::min(least, left);
        }
        if (folder.size() <= top.size())
            return least;
        folder.erase(folder.find_last_of('/'));
    }
}

} // namespace

std::size_t availableMemory()
{
    return kibibytesAfter("/proc/meminfo", "MemAvailable:");
}

std::size_t cgroupMemoryLeft(const std::string& procCgroup, const std::string& root)
{
    std::size_t least = 0;
    auto take = [&least](std::size_t left) {
        if (left != 0)
            least = least == 0 ? left : std::min(least, left);
    };
    std::istringstream lines(procCgroup);
    for (std::string line; std::getline(lines, line);) {
        // "hierarchy:controllers:path"; v2 is "0::path".
        const auto first = line.find(':');
        const auto second = first == std::string::npos ? std::string::npos : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        if (path.empty() || path.front() != '/' || path.find("/..") != std::string::npos)
            continue;
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        if (path == "/")
            path.clear();
        if (line.compare(0, first, "0") == 0 && controllers.empty()) {
            for (const std::string& mount : {root, root + "/unified"})
                take(leastLeftUpTo(mount + path, mount, "memory.max", "memory.current"));
        } else {
            std::istringstream names(controllers);
            for (std::string name; std::getline(names, name, ',');)
                if (name == "memory")
                    take(leastLeftUpTo(root + "/memory" + path, root + "/memory", "memory.limit_in_bytes",
                                       "memory.usage_in_bytes"));
        }
    }
    return least;
}

MemoryLimits memoryLimits()
{
    MemoryLimits limits;
    limits.available = availableMemory();
    rlimit as{};
    if (::getrlimit(RLIMIT_AS, &as) == 0 && as.rlim_cur != RLIM_INFINITY) {
        const std::size_t used = kibibytesAfter("/proc/self/status", "VmSize:");
        const auto limit = static_cast<std::size_t>(as.rlim_cur);
        limits.addressSpace = limit > used ? limit - used : 1;
    }
    std::ifstream cgroups("/proc/self/cgroup");
    std::stringstream text;
    text << cgroups.rdbuf();
    limits.cgroup = cgroupMemoryLeft(text.str());
    return limits;
}

std::size_t leastLimit(const MemoryLimits& limits)
{
    std::size_t least = 0;
    for (const std::size_t limit : {limits.available, limits.addressSpace, limits.cgroup})
        if (limit != 0)
            least = least == 0 ? limit : std::min(least, limit);
    return least;
}

std::size_t memoryBudget()
{
    return leastLimit(memoryLimits()) / 4 * 3;
}

} // namespace mandel
