#include "SaveLocations.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
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

} // namespace
} // namespace mandel
