#pragma once

#include "Result.h"

#include <string>

namespace mandel {

// Makes `path` and any missing parents; succeeds also when it already
// exists as a folder.
Status makeDirectories(const std::string& path);

} // namespace mandel
