#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mandel {

// What mandel-explorer was asked for on its command line.
struct ExplorerOptions {
    std::optional<std::uint64_t> seed;  // empty: seed from the time of day
    bool help = false;
};

// Parses argv[1..] (after Qt has taken its own options); on bad input
// returns nothing and sets `error` to a one-line message.
std::optional<ExplorerOptions> parseExplorerOptions(const std::vector<std::string>& args, std::string& error);

// The text --help prints.
std::string explorerUsage();

} // namespace mandel
