#pragma once

#include <string>

namespace mandel {

// The user's pictures folder, as `xdg-user-dir PICTURES` names it:
// XDG_PICTURES_DIR from user-dirs.dirs (in $XDG_CONFIG_HOME, else
// ~/.config) read as shell syntax, else from the environment; where neither
// gives an absolute folder, ~/Pictures. The home folder is $HOME when that is
// absolute, else the account's.
std::string picturesFolder();

// The folder saved pictures go to: the pictures folder plus "tivek-art".
std::string saveFolder();

} // namespace mandel
