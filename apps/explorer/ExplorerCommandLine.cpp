#include "ExplorerCommandLine.h"

#include "RandomSource.h"

namespace mandel {

std::string explorerUsage()
{
    return "Usage: mandel-explorer [--seed N] [--help]\n"
           "Explores the Mandelbrot set in a window. Press a mouse button on the picture to zoom in\n"
           "tenfold around that point; \"new\" (Ctrl+N) draws new colours over the full view, \"back\"\n"
           "(Backspace) returns to the full view, \"save\" (Ctrl+S) writes the picture as a BMP file\n"
           "into the tivek-art folder of your pictures folder, \"exit\" (Ctrl+Q) ends the program.\n"
           "\n"
           "  --seed N  seed the random colours with N (0 to 18446744073709551615) instead of the\n"
           "            seconds since midnight; mandel-render --seed N draws the same first picture\n"
           "  --help    show this text\n"
           "\n"
           "Qt's own options (-platform, -display, ...) are accepted as well.\n";
}

std::optional<ExplorerOptions> parseExplorerOptions(const std::vector<std::string>& args, std::string& error)
{
    ExplorerOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--seed") {
            if (i + 1 >= args.size()) {
                error = "mandel-explorer: --seed needs a value (see --help)";
                return std::nullopt;
            }
            const std::string& value = args[++i];
            const auto seed = parseSeed(value);
            if (!seed) {
                error = "mandel-explorer: --seed takes a whole number 0 to 18446744073709551615, got '" + value + "'";
                return std::nullopt;
            }
            o.seed = *seed;
        } else {
            error = "mandel-explorer: unknown option '" + name + "' (see --help)";
            return std::nullopt;
        }
    }
    return o;
}

} // namespace mandel
