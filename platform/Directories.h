#pragma once

#include <string>

namespace mandel {

// Makes `path` and any missing parents. Returns an empty string on success
// (also when it already exists as a folder), else the reason it failed.
std::string makeDirectories(const std::string& path);

} // namespace mandel
