#pragma once

#include "AtomicFile.h"
#include "Result.h"

#include <string>

namespace mandel {

// `path` with "-k" before its extension: M20261209-3840x2160-2.png.
std::string numberedName(const std::string& path, int k);

// Gives the finished `file` the first name of `path`, path-2.ext, path-3.ext,
// ... that is free, never replacing a file; the file is written once, then
// only linked. Gives the name taken; fails with the reason of the first
// failure that is not a taken name, or when 9999 names are taken.
Result<std::string> publishUnderFirstFreeName(PendingFile& file, const std::string& path);

} // namespace mandel
