#pragma once

#include "Location.h"
#include "Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mandel {

// What mandel-explorer was asked for on its command line.
struct ExplorerOptions {
    std::optional<std::uint64_t> seed;  // empty: seed from the time of day
    std::optional<Location> location;   // where to go after start-up
    bool help = false;
    bool version = false;
};

// Parses argv[1..] (after Qt has taken its own options); on bad input the
// failure is a one-line message naming the option.
Result<ExplorerOptions> parseExplorerOptions(const std::vector<std::string>& args);

// The text --help prints.
std::string explorerUsage();

// The line --version prints: the program's name and the project's version.
std::string explorerVersion();

} // namespace mandel
