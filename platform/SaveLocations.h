#pragma once

#include <string>

namespace mandel {

// The user's pictures folder: XDG_PICTURES_DIR from the XDG user dirs, else
// $HOME/Pictures.
std::string picturesFolder();

// The folder saved pictures go to: the pictures folder plus "tivek-art".
std::string saveFolder();

} // namespace mandel
