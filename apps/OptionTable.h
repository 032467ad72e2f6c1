#pragma once

#include "OneLine.h"
#include "Result.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mandel {

// One option of a program's command line. A program lists its options as
// rows of a table; parsing, the messages for bad input and the option part
// of the usage text all come from that table, so an option is added by
// adding a row.
template <class Options>
struct OptionRow {
    std::string_view name;  // as typed, "--seed"
    bool takesValue;        // whether the next argument is its value
    // Stores the value (empty for an option without one) in the options;
    // a failure's reason says what the option takes, "a whole number ...".
    Status (*apply)(Options& options, const std::string& value);
    std::string_view help;  // its lines of the usage text, each ending in '\n'; empty: not listed
};

// Parses `args` (argv[1..]) against `rows`, starting from `defaults`. A
// failure's reason is one line (control characters in what was typed are
// shown as escapes) that starts with "`program`: " and names the option:
// unknown, missing its value, or what its value must be.
template <class Options>
Result<Options> parseOptionTable(std::string_view program, std::span<const OptionRow<Options>> rows,
                                 const std::vector<std::string>& args, Options defaults = {})
{
    Options options = std::move(defaults);
    const std::string prefix = std::string(program) + ": ";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        const OptionRow<Options>* row = nullptr;
        for (const auto& r : rows)
            if (r.name == name)
                row = &r;
        if (!row)
            return fail(onOneLine(prefix + "unknown option " + inQuotes(name) + " (see --help)"));
        std::string value;
        if (row->takesValue) {
            if (i + 1 >= args.size())
                return fail(prefix + name + " needs a value (see --help)");
            value = args[++i];
        }
        if (const Status applied = row->apply(options, value); !applied)
            return fail(onOneLine(prefix + name + " takes " + applied.error()));
    }
    return options;
}

// The usage lines of every listed option, in table order.
template <class Options>
std::string optionHelp(std::span<const OptionRow<Options>> rows)
{
    std::string text;
    for (const auto& r : rows)
        text += r.help;
    return text;
}

} // namespace mandel
