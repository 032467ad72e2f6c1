#pragma once

#include "Location.h"
#include "Result.h"

#include <cstdint>
#include <functional>
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
    // Qt's own options (-platform xcb, -display :1, -style=fusion, ...),
    // with their values, in order: what QApplication is given.
    std::vector<std::string> qtArguments;
    // Where a line for the user goes while the options are read (a pipe
    // that keeps --location-file waiting); empty: nowhere.
    std::function<void(const std::string&)> tell;
};

// Parses argv[1..] before the window system starts, so that bad input is
// refused without one: the program's own options are read and checked
// (a --location-file is read), Qt's own are set aside for QApplication,
// and anything else is refused. On bad input the failure is a one-line
// message naming the option. `tell` gets lines for the user meanwhile.
Result<ExplorerOptions> parseExplorerOptions(const std::vector<std::string>& args,
                                             std::function<void(const std::string&)> tell = {});

// The text --help prints.
std::string explorerUsage();

// The line --version prints: the program's name and the project's version.
std::string explorerVersion();

} // namespace mandel
