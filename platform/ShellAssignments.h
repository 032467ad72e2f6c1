#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace mandel {

// Looks up a variable a file may refer to ($HOME): its value, or nothing.
using VariableLookup = std::function<std::optional<std::string>(const std::string& name)>;

// The variables a POSIX shell sets by sourcing `text`, a file of NAME=value
// lines such as the desktop's user-dirs.dirs: quotes and backslash escapes
// undone, a leading ~ and $NAME or ${NAME} expanded from earlier lines, else
// through `lookup`. Lines that are not plain assignments (commands, other
// expansions) set nothing; a quote left open ends the reading, as the shell
// stops at the error.
std::map<std::string, std::string> readShellAssignments(std::string_view text, const VariableLookup& lookup);

} // namespace mandel
