#include "ExplorerCommandLine.h"

#include "LocationOption.h"
#include "OptionTable.h"
#include "RandomSource.h"
#include "Version.h"

namespace mandel {

namespace {

Status setHelp(ExplorerOptions& o, const std::string&)
{
    o.help = true;
    return {};
}

// The options of mandel-explorer, one row each: add an option by adding a row.
const OptionRow<ExplorerOptions> kOptions[] = {
    {"--seed", true,
     [](ExplorerOptions& o, const std::string& v) -> Status {
         const auto seed = parseSeed(v);
         if (!seed)
             return fail(seed.error());
         o.seed = *seed;
         return {};
     },
     "  --seed N   seed the random colours with N (0 to 18446744073709551615) instead of the\n"
     "             seconds since midnight; mandel-render --seed N draws the same first picture\n"},
    {"--location", true,
     [](ExplorerOptions& o, const std::string& v) { return takeLocation(o.location, [&v] { return locationOption(v); }); },
     "  --location TEXT\n"
     "             after start-up go to the location TEXT, a line Copy location (Ctrl+C) gives;\n"
     "             undo (Ctrl+Z) returns to the start-up picture\n"},
    {"--location-file", true,
     [](ExplorerOptions& o, const std::string& v) { return takeLocation(o.location, [&v] { return locationFileOption(v); }); },
     "  --location-file FILE\n"
     "             as --location, with the location stored in FILE: a PNG this program wrote\n"
     "             (Export picture, or mandel-render --out FILE.png), or a text file of one line\n"},
    {"--help", false, setHelp, "  --help     show this text\n"},
    {"-h", false, setHelp, ""},
    {"--version", false,
     [](ExplorerOptions& o, const std::string&) -> Status {
         o.version = true;
         return {};
     },
     "  --version  show the version\n"},
};

} // namespace

std::string explorerUsage()
{
    return "Usage: mandel-explorer [--seed N] [--location TEXT | --location-file FILE] [--help] [--version]\n"
           "Explores the Mandelbrot set in a window. Press a mouse button on the picture to zoom in\n"
           "tenfold around that point; \"new\" (Ctrl+N) draws new colours over the full view, \"back\"\n"
           "(Backspace) returns to the full view, \"save\" (Ctrl+S) writes the picture as a BMP file\n"
           "into the tivek-art folder of your pictures folder, \"exit\" (Ctrl+Q) ends the program.\n"
           "Ctrl+Z undoes a command, Ctrl+Shift+Z or Ctrl+Y redoes it; Ctrl+C copies the location of\n"
           "the view, Ctrl+V goes to the location on the clipboard. Ctrl+E exports the view at any size\n"
           "as a PNG that holds its location, Ctrl+O goes back to the location in such a PNG. The\n"
           "menus list every command.\n"
           "\n" +
           optionHelp<ExplorerOptions>(kOptions) +
           "\n"
           "Qt's own options (-platform, -display, ...) are accepted as well.\n";
}

std::string explorerVersion()
{
    return "mandel-explorer " + std::string(kVersion) + "\n";
}

Result<ExplorerOptions> parseExplorerOptions(const std::vector<std::string>& args)
{
    return parseOptionTable<ExplorerOptions>("mandel-explorer", kOptions, args);
}

} // namespace mandel
