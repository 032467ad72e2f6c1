#pragma once

#include <string>
#include <string_view>

namespace mandel {

// `text` with its control characters written as escapes (\n, \r, \t, \xHH),
// so that a message quoting a path or a value stays on one line.
std::string onOneLine(std::string_view text);

} // namespace mandel
