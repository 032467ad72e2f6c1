#include "SaveLocations.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace mandel {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct DirsCase {
    const char* name;
    std::optional<std::string> userDirs;  // contents of user-dirs.dirs, none: no file
    std::string expected;                 // with H for the home folder
};

TEST(SaveLocations, PicturesFolderFollowsTheXdgUserDirs)
{
    const fs::path home = fs::temp_directory_path() / ("mandel-home-" + std::to_string(::getpid()));
    const DirsCase cases[] = {
        {"no file", std::nullopt, "H/Pictures"},
        {"home relative", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", "H/Bilder"},
        {"absolute", "# comment\nXDG_MUSIC_DIR=\"$HOME/M\"\nXDG_PICTURES_DIR=\"/srv/pics/\"\n", "/srv/pics"},
        {"relative is ignored", "XDG_PICTURES_DIR=\"pics\"\n", "H/Pictures"},
        {"no entry", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "H/Pictures"},
        {"the last entry wins", "XDG_PICTURES_DIR=\"$HOME/a\"\nXDG_PICTURES_DIR=\"$HOME/b\"\n", "H/b"},
    };
    const ScopedEnv homeEnv("HOME", home.string());
    const ScopedEnv configEnv("XDG_CONFIG_HOME", std::nullopt);
    for (const auto& c : cases) {
        fs::remove_all(home);
        fs::create_directories(home / ".config");
        if (c.userDirs)
            std::ofstream(home / ".config" / "user-dirs.dirs") << *c.userDirs;
        std::string expected = c.expected;
        if (expected[0] == 'H')
            expected = home.string() + expected.substr(1);
        EXPECT_EQ(picturesFolder(), expected) << c.name;
        EXPECT_EQ(saveFolder(), expected + "/tivek-art") << c.name;
    }
    fs::remove_all(home);
}

TEST(SaveLocations, ConfigHomeIsHonoured)
{
    const testing::ScratchFolder scratch("cfg");
    const fs::path& base = scratch.path();
    fs::create_directories(base / "cfg");
    std::ofstream(base / "cfg" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/Fotos\"\n";
    const ScopedEnv homeEnv("HOME", (base / "h").string());
    const ScopedEnv configEnv("XDG_CONFIG_HOME", (base / "cfg").string());
    EXPECT_EQ(picturesFolder(), (base / "h" / "Fotos").string());
}

// What `xdg-user-dir PICTURES` prints, without its last slash; empty where
// it is not installed.
std::string xdgUserDir()
{
    FILE* pipe = ::popen("xdg-user-dir PICTURES 2>/dev/null", "r");
    char line[4096] = {};
    std::string out = pipe && std::fgets(line, sizeof line, pipe) ? line : "";
    if (pipe && ::pclose(pipe) != 0)
        return {};
    while (!out.empty() && (out.back() == '\n' || out.back() == '/'))
        out.pop_back();
    return out;
}

TEST(SaveLocations, UserDirsAreReadAsTheShellReadsThem)
{
    const struct {
        const char* name;
        const char* userDirs;     // contents of user-dirs.dirs
        const char* environment;  // XDG_PICTURES_DIR, or nullptr for unset
        std::string expected;     // with H for the home folder
        bool asXdgUserDir;        // what `xdg-user-dir PICTURES` prints too
    } cases[] = {
        {"escaped quotes", "XDG_PICTURES_DIR=\"$HOME/say \\\"hi\\\"\"\n", nullptr, "H/say \"hi\"", true},
        {"single quotes keep a dollar", "XDG_PICTURES_DIR='/srv/$HOME'\n", nullptr, "/srv/$HOME", true},
        {"braces", "XDG_PICTURES_DIR=\"${HOME}/Bilder\"\n", nullptr, "H/Bilder", true},
        {"escaped blank", "XDG_PICTURES_DIR=$HOME/My\\ Pictures\n", nullptr, "H/My Pictures", true},
        {"tilde", "XDG_PICTURES_DIR=~/t\n", nullptr, "H/t", true},
        {"escaped dollar", "XDG_PICTURES_DIR=\"$HOME/\\$x\"\n", nullptr, "H/$x", true},
        {"comment after the value", "XDG_PICTURES_DIR=\"$HOME/p\" # mine\n", nullptr, "H/p", true},
        {"an earlier line's variable", "BASE=\"$HOME/media\"\nXDG_PICTURES_DIR=\"$BASE/pics\"\n", nullptr, "H/media/pics", true},
        {"the home folder itself", "XDG_PICTURES_DIR=\"$HOME/\"\n", nullptr, "H", false},
        {"the environment where the file is silent", "XDG_MUSIC_DIR=\"$HOME/M\"\n", "/env/pics", "/env/pics", true},
        {"the file over the environment", "XDG_PICTURES_DIR=\"$HOME/f\"\n", "/env/pics", "H/f", true},
        {"a relative environment value is ignored", "", "pics", "H/Pictures", false},
        {"no command is run", "XDG_PICTURES_DIR=\"$(echo /tmp)\"\n", nullptr, "H/Pictures", false},
        {"a quote left open sets nothing", "XDG_PICTURES_DIR=\"$HOME/a\n", nullptr, "H/Pictures", false},
    };
    const testing::ScratchFolder scratch("shell");
    const fs::path home = scratch.path() / "home";
    const ScopedEnv homeEnv("HOME", home.string());
    const ScopedEnv configEnv("XDG_CONFIG_HOME", std::nullopt);
    const bool haveXdgUserDir = std::system("command -v xdg-user-dir >/dev/null 2>&1") == 0;
    fs::create_directories(home / ".config");
    for (const auto& c : cases) {
        std::ofstream(home / ".config" / "user-dirs.dirs") << c.userDirs;
        const ScopedEnv picturesEnv("XDG_PICTURES_DIR",
                                    c.environment ? std::optional<std::string>(c.environment) : std::nullopt);
        const std::string expected = c.expected[0] == 'H' ? home.string() + c.expected.substr(1) : c.expected;
        EXPECT_EQ(picturesFolder(), expected) << c.name;
        if (c.asXdgUserDir && haveXdgUserDir) {
            EXPECT_EQ(picturesFolder(), xdgUserDir()) << c.name << ": xdg-user-dir disagrees";
        }
    }
}

TEST(SaveLocations, ARelativeHomeIsNotUsed)
{
    const testing::ScratchFolder scratch("relhome");
    const ScopedEnv configEnv("XDG_CONFIG_HOME", scratch.path().string());
    const ScopedEnv picturesEnv("XDG_PICTURES_DIR", std::nullopt);
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    for (const char* home : {"relative/home", ""}) {
        const ScopedEnv homeEnv("HOME", std::string(home));
        EXPECT_EQ(picturesFolder(), std::string(account->pw_dir) + "/Pictures") << '"' << home << '"';
    }
}

} // namespace
} // namespace mandel
