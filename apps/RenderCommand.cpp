#include "RenderCommand.h"

#include "AtomicFile.h"
#include "AutoIterations.h"
#include "BmpWriter.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "ImageSurface.h"
#include "Location.h"
#include "LocationOption.h"
#include "Memory.h"
#include "OneLine.h"
#include "OptionTable.h"
#include "RandomSource.h"
#include "Renderer.h"
#include "ReferenceOrbit.h"
#include "Version.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace mandel {

namespace {

std::vector<std::string> splitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

// A decimal number, whole text consumed, finite.
std::optional<double> parseDecimal(const std::string& text)
{
    // strtod skips every kind of leading white space; none belongs in a number.
    if (text.empty() || text.find_first_of(" \t\n\v\f\r") != std::string::npos)
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v))
        return std::nullopt;
    // strtod also reads hexadecimal and "infinity"; only plain decimals count.
    if (text.find_first_of("xXnNiI") != std::string::npos)
        return std::nullopt;
    return v;
}

// A whole number written in decimal digits, with an optional sign.
std::optional<long long> parseWhole(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (i == text.size() || text.size() - i > 18)
        return std::nullopt;
    for (std::size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9')
            return std::nullopt;
    return std::strtoll(text.c_str(), nullptr, 10);
}


std::optional<std::vector<float>> parseSingles(const std::string& text, std::size_t count, float lo, float hi)
{
    const auto parts = splitCommas(text);
    if (parts.size() != count)
        return std::nullopt;
    std::vector<float> values;
    for (const auto& p : parts) {
        const auto v = parseDecimal(p);
        if (!v)
            return std::nullopt;
        const auto single = static_cast<float>(*v);
        if (!(single >= lo && single < hi))
            return std::nullopt;
        values.push_back(single);
    }
    return values;
}

std::optional<std::vector<float>> parseWholes(const std::string& text, std::size_t count, long long lo, long long hi)
{
    const auto parts = splitCommas(text);
    if (parts.size() != count)
        return std::nullopt;
    std::vector<float> values;
    for (const auto& p : parts) {
        const auto v = parseWhole(p);
        if (!v || *v < lo || *v > hi)
            return std::nullopt;
        values.push_back(static_cast<float>(*v));
    }
    return values;
}

// The options of mandel-render, one row each: add an option by adding a row.
const OptionRow<RenderOptions> kOptions[] = {
    {"--seed", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto seed = parseSeed(v);
         if (!seed)
             return fail(seed.error());
         o.seed = *seed;
         return {};
     },
     "  --seed N          seed the random source with N (0 to 18446744073709551615);\n"
     "                    default: seconds since midnight, as the explorer does\n"},
    {"--location", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         Result<Location> location = locationOption(v);
         if (!location)
             return location.failure();
         // A poster of another size is drawn by poster output, not here.
         if (location->size)
             return fail("a location line: size is for posters; this picture is always 596 x 596");
         o.location = std::move(*location);
         return {};
     },
     "  --location TEXT   start from the location TEXT, a line Copy location gives (see\n"
     "                    LOCATIONS in the README); --fn, --mode and --moduli then change its\n"
     "                    colours, --iterations a deep view's cap, and each --click zooms on\n"
     "                    from its view\n"},
    {"--fn", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         auto fn = parseSingles(v, 3, 0.0f, 10.0f);
         if (!fn)
             return fail("three decimals R,G,B, each in [0, 10), got '" + v + "'");
         o.fn = std::move(fn);
         return {};
     },
     "  --fn R,G,B        colour multipliers, three decimals each in [0, 10)\n"},
    {"--mode", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto mode = parseWhole(v);
         if (!mode || *mode < 1 || *mode > 9)
             return fail("a whole number 1 to 9, got '" + v + "'");
         o.mode = static_cast<float>(*mode);
         return {};
     },
     "  --mode B          colour mode, a whole number 1 to 9\n"},
    {"--moduli", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         auto moduli = parseWholes(v, 3, 150, 304);
         if (!moduli)
             return fail("three whole numbers M1,M2,M3, each 150 to 304, got '" + v + "'");
         o.moduli = std::move(moduli);
         return {};
     },
     "  --moduli M1,M2,M3 moduli of modes 2 and 3, three whole numbers 150 to 304\n"},
    {"--click", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto xy = parseSingles(v, 2, 0.0f, static_cast<float>(kDrawableSize));
         if (!xy)
             return fail("X,Y, two numbers each in [0, 596), got '" + v + "'");
         o.clicks.emplace_back((*xy)[0], (*xy)[1]);
         return {};
     },
     "  --click X,Y       zoom tenfold at pixel (X, Y), each in [0, 596); repeatable, in order\n"},
    {"--deep", false,
     [](RenderOptions& o, const std::string&) -> Status {
         o.deep = true;
         return {};
     },
     "  --deep            deep mode from the full view: each --click zooms tenfold without limit\n"},
    {"--centre", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto parts = splitCommas(v);
         if (parts.size() != 2 || !isPlainDecimal(parts[0]) || !isPlainDecimal(parts[1]))
             return fail("RE,IM, two plain decimals of any length such as -0.75,0.1 (no exponent), got '" + v +
                         "'");
         o.centre = std::make_pair(parts[0], parts[1]);
         return {};
     },
     "  --centre RE,IM    a deep view centred on RE + IM i, two plain decimals of any length; needs --zoom\n"},
    {"--zoom", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto zoom = parseWhole(v);
         if (!zoom || v[0] == '+' || v[0] == '-' || *zoom > kMaxDeepZoom)
             return fail("a whole number 0 to " + std::to_string(kMaxDeepZoom) + ", got '" + v + "'");
         o.zoom = *zoom;
         return {};
     },
     "  --zoom K          the deep view's magnification 10^K, K a whole number 0 to 1000000\n"},
    {"--iterations", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto n = parseWhole(v);
         if (!n || v[0] == '+' || *n < kMinDeepIterations || *n > kMaxDeepIterations)
             return fail("a whole number " + std::to_string(kMinDeepIterations) + " to " +
                         std::to_string(kMaxDeepIterations) + ", got '" + v + "'");
         o.iterations = *n;
         return {};
     },
     "  --iterations N    a deep view's iteration cap, 200 to 100000000; default: chosen from the picture\n"},
    {"--out", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         if (v.empty())
             return fail("a file name, got an empty one");
         o.out = v;
         return {};
     },
     "  --out FILE.bmp    write the 596 x 596 picture as a 24-bit BMP (replaces FILE)\n"},
    {"--repeat", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto repeat = parseWhole(v);
         if (!repeat || *repeat < 1 || *repeat > 1000000)
             return fail("a whole number 1 to 1000000, got '" + v + "'");
         o.repeat = static_cast<int>(*repeat);
         return {};
     },
     "  --repeat N        draw the picture N times (N >= 1), for timing\n"},
    {"--reference", false,
     [](RenderOptions& o, const std::string&) -> Status {
         o.reference = true;
         return {};
     },
     "  --reference       draw with the reference: the plain scalar loop, coloured pixel by pixel\n"},
    {"--help", false,
     [](RenderOptions& o, const std::string&) -> Status {
         o.help = true;
         return {};
     },
     "  --help            show this text\n"},
    {"--version", false,
     [](RenderOptions& o, const std::string&) -> Status {
         o.version = true;
         return {};
     },
     "  --version         show the version\n"},
};

// Flushes `out`, named `name` in messages; false, with a message on `err`,
// when what was written to it did not all arrive (a full disk, a closed pipe).
bool wroteAll(std::ostream& out, std::ostream& err, const char* name = "standard output")
{
    errno = 0;
    if (out.flush())
        return true;
    const int why = errno;
    err << "mandel-render: cannot write to " << name << (why != 0 ? std::string(": ") + std::strerror(why) : "")
        << '\n';
    return false;
}

// Whether `path` is the file standard output goes to (/dev/stdout, say).
bool isStandardOutput(const std::string& path)
{
    struct stat target {}, stdoutFile {};
    return ::stat(path.c_str(), &target) == 0 && ::fstat(STDOUT_FILENO, &stdoutFile) == 0 &&
           target.st_dev == stdoutFile.st_dev && target.st_ino == stdoutFile.st_ino;
}

// A deep view that cannot be drawn here (too large for the memory): said
// on one line, exit 2 as for other input that cannot be drawn.
int refuseDeep(const std::string& why, std::ostream& err)
{
    err << onOneLine("mandel-render: cannot draw this deep view: " + why) << '\n';
    return 2;
}

int drawLegacy(const RenderOptions& o, ExplorerState& state, Renderer& renderer, ImageSurface& surface,
               const DrawHooks& hooks, std::ostream& err)
{
    for (std::size_t k = 0; k < o.clicks.size(); ++k) {
        if (!tryZoomAt(state, o.clicks[k].first, o.clicks[k].second)) {
            err << "mandel-render: --click number " << (k + 1)
                << " would zoom past the range of a double; at most about 300 zooms fit\n";
            return 2;
        }
    }

    for (int r = 0; r < o.repeat; ++r) {
        surface.clear();
        renderer.DrawFractal(state, surface, hooks);
    }
    return 0;
}

int drawDeep(const RenderOptions& o, const ExplorerState& palette, Renderer& renderer, ImageSurface& surface,
             const DrawHooks& hooks, std::ostream& err)
{
    DeepCentre view{"0", "0", 0, o.iterations.value_or(kDefaultDeepIterations)};
    if (o.centre) {
        view.re = o.centre->first;
        view.im = o.centre->second;
        view.zoom = *o.zoom;
    }
    if (view.zoom + static_cast<long long>(o.clicks.size()) > kMaxDeepZoom) {
        err << "mandel-render: --click: the zooms would pass 1E+" << kMaxDeepZoom << '\n';
        return 2;
    }
    for (const auto& [x, y] : o.clicks)
        view = zoomDeepAt(view, static_cast<double>(x) - kDeepCentrePixel, static_cast<double>(y) - kDeepCentrePixel);
    // Refuse what would not fit rather than be killed for it.
    WorkControl control;
    const std::size_t available = availableMemory();
    control.memoryLimit = available / 4 * 3;
    std::shared_ptr<const ReferenceOrbit> orbit;
    if (o.iterations) {
        auto computed = ReferenceOrbit::compute(view, control);
        if (computed)
            orbit = std::move(computed.value());
        else
            return refuseDeep(computed.error(), err);
    } else {
        auto chosen = orbitWithAutoIterations(view, control);
        if (!chosen)
            return refuseDeep(chosen.error(), err);
        orbit = std::move(chosen.value());
    }
    DeepComputer computer(orbit);
    if (const Status ok = computer.prepare(kDeepCentrePixel * 1.4142135623730951, control.memoryLimit); !ok)
        return refuseDeep(ok.error(), err);
    for (int r = 0; r < o.repeat; ++r) {
        surface.clear();
        renderer.DrawDeep(computer, palette, surface, hooks);
    }
    return 0;
}

int finish(const RenderOptions& o, const ImageSurface& surface, const std::string& status, std::ostream& out,
           std::ostream& err)
{
    // A picture piped to standard output must not have the status line in it.
    const bool outIsThePicture = !o.out.empty() && isStandardOutput(o.out);
    std::ostream& statusOut = outIsThePicture ? err : out;
    statusOut << status << '\n';
    const bool statusWritten = wroteAll(statusOut, err, outIsThePicture ? "standard error" : "standard output");

    if (!o.out.empty()) {
        const std::string shown = onOneLine(o.out);
        const auto folderEnd = o.out.find_last_of('/');
        removeStaleTemporaries(folderEnd == std::string::npos ? "." : o.out.substr(0, folderEnd + 1));
        const Status written = writeFileAtomically(o.out, encodeBmp(surface.view()), Overwrite::Replace);
        if (!written) {
            err << "mandel-render: cannot write '" << shown << "': " << written.error() << '\n';
            return 1;
        }
    }
    return statusWritten ? 0 : 1;
}

} // namespace

std::string renderUsage()
{
    return "Usage: mandel-render [options]\n"
           "Draws one picture of the Mandelbrot explorer without a window and prints its status line.\n"
           "\n" +
           optionHelp<RenderOptions>(kOptions) +
           "\n"
           "Exit status: 0 done, 1 the file or standard output could not be written, 2 bad input.\n";
}

Result<RenderOptions> parseRenderOptions(const std::vector<std::string>& args)
{
    auto parsed = parseOptionTable<RenderOptions>("mandel-render", kOptions, args);
    if (!parsed)
        return parsed;
    const RenderOptions& o = *parsed;
    if (o.location && (o.deep || o.centre || o.zoom))
        return fail("mandel-render: --location sets the view already; leave out --deep, --centre and --zoom");
    if (o.centre && !o.zoom)
        return fail("mandel-render: --centre needs --zoom K as well");
    if (o.zoom && !o.centre)
        return fail("mandel-render: --zoom needs --centre RE,IM as well (or --deep for the full view)");
    const bool deep = o.deep || o.centre || (o.location && o.location->deep);
    if (o.iterations && !deep)
        return fail("mandel-render: --iterations sets the cap of deep views: add --deep or --centre");
    if (o.reference && deep)
        return fail("mandel-render: --reference draws legacy pictures; deep pictures are checked against the "
                    "brute-force path by the tests");
    return parsed;
}

int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    const auto parsed = parseRenderOptions(args);
    if (!parsed) {
        err << parsed.error() << '\n';
        return 2;
    }
    RenderOptions o = *parsed;
    if (o.help) {
        out << renderUsage();
        return wroteAll(out, err) ? 0 : 1;
    }
    if (o.version) {
        out << "mandel-render " << kVersion << '\n';
        return wroteAll(out, err) ? 0 : 1;
    }

    // The same start-up as the explorer's, so a seed gives its palette.
    ExplorerState state;
    state.wid = kSurfaceSize;
    state.hei = kSurfaceSize;
    RandomSource rng(o.seed ? *o.seed : secondsSinceMidnightSeed());
    DrawColourParameters(state, rng);
    // A location comes first: its colours, and its view as the options
    // for deep views give one, or as the state its clicks lead to.
    if (o.location && o.location->deep) {
        applyPalette(state, o.location->palette);
        o.centre = std::make_pair(o.location->deep->re, o.location->deep->im);
        o.zoom = o.location->deep->zoom;
        if (!o.iterations)
            o.iterations = o.location->deep->iterations;
    } else if (o.location) {
        Result<ExplorerState> at = legacyStateOf(*o.location);  // the option checked it
        if (!at) {
            err << "mandel-render: --location takes a location line: " << at.error() << '\n';
            return 2;
        }
        state = std::move(*at);
    }
    if (o.fn) {
        state.fn1 = (*o.fn)[0];
        state.fn2 = (*o.fn)[1];
        state.fn3 = (*o.fn)[2];
    }
    if (o.mode)
        state.b = *o.mode;
    if (o.moduli) {
        state.m1 = (*o.moduli)[0];
        state.m2 = (*o.moduli)[1];
        state.m3 = (*o.moduli)[2];
    }
    if (!o.location || o.location->deep)
        ResetView(state);
    Renderer renderer(o.reference ? nullptr : makeFastComputer());
    ImageSurface surface;
    std::string status;
    DrawHooks hooks;
    hooks.printStatus = [&status](const std::string& line) { status = line; };
    if (o.deep || o.centre) {
        if (const int failed = drawDeep(o, state, renderer, surface, hooks, err))
            return failed;
    } else if (const int failed = drawLegacy(o, state, renderer, surface, hooks, err)) {
        return failed;
    }
    return finish(o, surface, status, out, err);
}

} // namespace mandel
