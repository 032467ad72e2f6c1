#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mandel {

// `text` with everything that is not printable text written as an escape
// (\n, \r, \t, \xHH for each byte), so that a message quoting a path or a
// value stays on one line and sends nothing to a terminal but text: control
// characters (C0, DEL, and C1 such as U+009B, the control sequence
// introducer), bytes that are not UTF-8 (a lone 0x9B is one on 8-bit
// terminals), and the invisible format characters that reorder or hide
// text (U+200B to U+200F, U+2028 to U+202E, U+2060 to U+206F, U+FEFF).
// Printable UTF-8 passes as it is.
std::string onOneLine(std::string_view text);

// `text` escaped as onOneLine does and, when longer than `characters`
// characters (an escape counts as one), cut there and ended with "...".
std::string shortened(std::string_view text, std::size_t characters);

// The characters inQuotes() shows of a value before it cuts it short.
inline constexpr std::size_t kQuotedCharacters = 80;

// `value` in single quotes for a message, escaped as onOneLine does and,
// when longer than `characters` characters, cut there with "..." inside the
// quotes: a refusal quotes what it refuses without repeating megabytes of it.
std::string inQuotes(std::string_view value, std::size_t characters = kQuotedCharacters);

} // namespace mandel
