#include "ExplorerCommandLine.h"

#include "LocationOption.h"
#include "OptionTable.h"
#include "RandomSource.h"
#include "Version.h"

#include <algorithm>
#include <iterator>
#include <string_view>

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
     [](ExplorerOptions& o, const std::string& v) {
         return takeLocation(o.location, [&] { return locationFileOption(v, locationFileReading(o.tell, v)); });
     },
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

// Qt's own command-line options (QGuiApplication, QApplication and the X11
// platform): those that take the next argument as their value, and those
// that stand alone. Qt takes each with one dash or two, and "-name=value".
constexpr std::string_view kQtWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                             "qwindowgeometry", "geometry", "qwindowtitle", "title", "qwindowicon",
                                             "icon", "session", "display", "name", "style", "stylesheet", "visual"};
constexpr std::string_view kQtAlone[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability",
                                         "qmljsdebugger"};

// How many arguments from `arg` on are one of Qt's options: 0 when it is
// none, 1 for an option alone or "-name=value", 2 with the value after it.
int qtOptionLength(const std::string& arg)
{
    if (arg.size() < 2 || arg[0] != '-')
        return 0;
    std::string_view name(arg);
    name.remove_prefix(name.substr(0, 2) == "--" ? 2 : 1);
    const auto eq = name.find('=');
    const std::string_view bare = name.substr(0, eq);
    const bool withValue = std::find(std::begin(kQtWithValue), std::end(kQtWithValue), bare) != std::end(kQtWithValue);
    const bool alone = std::find(std::begin(kQtAlone), std::end(kQtAlone), bare) != std::end(kQtAlone);
    if (eq != std::string_view::npos)
        return withValue || alone ? 1 : 0;
    return withValue ? 2 : alone ? 1 : 0;
}

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

Result<ExplorerOptions> parseExplorerOptions(const std::vector<std::string>& args,
                                             std::function<void(const std::string&)> tell)
{
    // Qt's options go aside; the rest, the program's own and anything
    // unknown, is read by the table, which refuses what it does not know.
    std::vector<std::string> own, qt;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto row = std::find_if(std::begin(kOptions), std::end(kOptions),
                                      [&](const auto& r) { return r.name == args[i]; });
        const bool ours = row != std::end(kOptions);
        const int qtLength = ours ? 0 : qtOptionLength(args[i]);
        if (qtLength == 0) {
            own.push_back(args[i]);
            // An option's value goes with it, whatever it looks like.
            if (ours && row->takesValue && i + 1 < args.size())
                own.push_back(args[++i]);
            continue;
        }
        if (qtLength == 2 && i + 1 >= args.size())
            return fail(onOneLine("mandel-explorer: " + args[i] + " needs a value (it is one of Qt's options)"));
        for (int k = 0; k < qtLength; ++k)
            qt.push_back(args[i + static_cast<std::size_t>(k)]);
        i += static_cast<std::size_t>(qtLength - 1);
    }
    ExplorerOptions defaults;
    defaults.tell = std::move(tell);
    auto options = parseOptionTable<ExplorerOptions>("mandel-explorer", kOptions, own, std::move(defaults));
    if (options)
        options->qtArguments = std::move(qt);
    return options;
}

} // namespace mandel
