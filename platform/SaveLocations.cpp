#include "SaveLocations.h"

#include "ShellAssignments.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace mandel {

namespace {

bool isAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

// The home folder: $HOME where it is an absolute path (a relative one would
// put pictures wherever the program was started), else the account's.
std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && isAbsolute(home))
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && isAbsolute(pw->pw_dir))
        return pw->pw_dir;
    return "/";
}

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::optional<std::string> environment(const std::string& name)
{
    if (const char* value = std::getenv(name.c_str()))
        return std::string(value);
    return std::nullopt;
}

// XDG_PICTURES_DIR as `xdg-user-dir PICTURES` finds it: user-dirs.dirs read
// as the shell reads it, and where the file is silent, the environment.
std::optional<std::string> xdgPicturesDir(const std::string& home)
{
    const auto config = environment("XDG_CONFIG_HOME");
    const std::string configDir = config && isAbsolute(*config) ? *config : home + "/.config";
    std::ifstream in(configDir + "/user-dirs.dirs", std::ios::binary);
    std::string text, line;
    while (std::getline(in, line))
        text += line + '\n';
    const auto set = readShellAssignments(text, [&home](const std::string& name) {
        return name == "HOME" ? std::optional<std::string>(home) : environment(name);
    });
    if (const auto it = set.find("XDG_PICTURES_DIR"); it != set.end())
        return it->second;
    return environment("XDG_PICTURES_DIR");
}

} // namespace

std::string picturesFolder()
{
    const std::string home = homeFolder();
    // Only an absolute folder counts: a relative or empty one is no place.
    if (const auto dir = xdgPicturesDir(home); dir && isAbsolute(*dir))
        return withoutTrailingSlash(std::filesystem::path(*dir).lexically_normal().string());
    return withoutTrailingSlash(home) + "/Pictures";
}

std::string saveFolder()
{
    const std::string pictures = picturesFolder();
    return (pictures == "/" ? "" : pictures) + "/tivek-art";
}

} // namespace mandel
