#include "SaveLocations.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace mandel {

namespace {

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The XDG_PICTURES_DIR entry of user-dirs.dirs, with $HOME expanded; empty
// when the file or the entry is missing or not an absolute path.
std::string xdgPicturesEntry(const std::string& home)
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string configDir = config && *config == '/' ? config : home + "/.config";
    std::ifstream in(configDir + "/user-dirs.dirs");
    std::string line, found;
    const std::string key = "XDG_PICTURES_DIR=";
    while (std::getline(in, line)) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
            continue;
        std::string value = line.substr(start + key.size());
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        found = value;  // a later entry overrides an earlier one
    }
    if (found.empty() || found.front() != '/')
        return {};
    return std::filesystem::path(found).lexically_normal().string();
}

} // namespace

std::string picturesFolder()
{
    const std::string home = homeFolder();
    const std::string entry = xdgPicturesEntry(home);
    if (!entry.empty())
        return withoutTrailingSlash(entry);
    return withoutTrailingSlash(home) + "/Pictures";
}

std::string saveFolder()
{
    const std::string pictures = picturesFolder();
    return (pictures == "/" ? "" : pictures) + "/tivek-art";
}

} // namespace mandel
