#include "SaveLocations.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace mandel {
namespace {

namespace fs = std::filesystem;

// The window's tooltip and the desktop's file manager must agree on where
// the pictures folder is: compare with Qt's own reading of the XDG dirs.
TEST(SaveLocationsQt, AgreesWithQtPicturesLocation)
{
    const fs::path home = fs::temp_directory_path() / ("mandel-qt-home-" + std::to_string(::getpid()));
    const char* entries[] = {nullptr, "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", "XDG_PICTURES_DIR=\"/opt/pics\"\n"};
    ::setenv("HOME", home.string().c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    for (const char* entry : entries) {
        fs::remove_all(home);
        fs::create_directories(home / ".config");
        if (entry)
            std::ofstream(home / ".config" / "user-dirs.dirs") << entry;
        const QString qt = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        EXPECT_EQ(picturesFolder(), qt.toStdString()) << (entry ? entry : "no user-dirs.dirs");
    }
    fs::remove_all(home);
}

} // namespace
} // namespace mandel
