#include "RenderCommand.h"

#include "AtomicFile.h"
#include "AutoIterations.h"
#include "DeepSetup.h"
#include "BmpBandWriter.h"
#include "BmpWriter.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "PictureComputer.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "ImageSurface.h"
#include "Location.h"
#include "LocationOption.h"
#include "Numbers.h"
#include "OneLine.h"
#include "OptionTable.h"
#include "PictureFile.h"
#include "RandomSource.h"
#include "Renderer.h"
#include "SmoothRenderer.h"
#include "ThreadPool.h"
#include "StatusLine.h"
#include "ReferenceOrbit.h"
#include "Version.h"
#include "ZoomVideo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace mandel {

namespace {

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
     [](RenderOptions& o, const std::string& v) { return takeLocation(o.location, [&v] { return locationOption(v); }); },
     "  --location TEXT   start from the location TEXT, a line Copy location gives (see\n"
     "                    LOCATIONS in the README); --fn, --mode and --moduli then change its\n"
     "                    colours, --iterations a deep view's cap, and each --click zooms on\n"
     "                    from its view; its size, if any, is the picture's unless --size is given\n"},
    {"--location-file", true,
     [](RenderOptions& o, const std::string& v) {
         return takeLocation(o.location, [&] { return locationFileOption(v, locationFileReading(o.tell, v)); });
     },
     "  --location-file FILE\n"
     "                    as --location, with the location stored in FILE: a PNG this program\n"
     "                    wrote, or a text file holding one location line\n"},
    {"--fn", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         auto fn = readSingles(v, 3, 0.0f, 10.0f);
         if (!fn)
             return fail("three decimals R,G,B, each in [0, 10), got " + inQuotes(v));
         o.fn = std::move(fn);
         return {};
     },
     "  --fn R,G,B        colour multipliers, three decimals each in [0, 10)\n"},
    {"--mode", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto mode = readWhole(v, 1, 9);
         if (!mode)
             return fail("a whole number 1 to 9, got " + inQuotes(v));
         o.mode = static_cast<float>(*mode);
         return {};
     },
     "  --mode B          colour mode, a whole number 1 to 9\n"},
    {"--moduli", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         auto moduli = readWholes(v, 3, 150, 304);
         if (!moduli)
             return fail("three whole numbers M1,M2,M3, each 150 to 304, got " + inQuotes(v));
         o.moduli = std::move(moduli);
         return {};
     },
     "  --moduli M1,M2,M3 moduli of modes 2 and 3, three whole numbers 150 to 304\n"},
    {"--click", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto xy = readSingles(v, 2, 0.0f, static_cast<float>(kDrawableSize));
         if (!xy)
             return fail("X,Y, two numbers each in [0, 596), got " + inQuotes(v));
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
         const auto parts = splitAt(v, ',');
         if (parts.size() != 2 || !isPlainDecimal(parts[0]) || !isPlainDecimal(parts[1]))
             return fail("RE,IM, two plain decimals of any length such as -0.75,0.1 (no exponent), got " + inQuotes(v));
         o.centre = std::make_pair(std::string(parts[0]), std::string(parts[1]));
         return {};
     },
     "  --centre RE,IM    a deep view centred on RE + IM i, two plain decimals of any length; needs --zoom\n"},
    {"--zoom", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto zoom = readDouble(v, 0, kMaxDeepZoom);
         if (!zoom)
             return fail("a decimal 0 to " + std::to_string(kMaxDeepZoom) + ", got " + inQuotes(v));
         o.zoom = *zoom;
         return {};
     },
     "  --zoom K          the deep view's magnification 10^K, K a decimal 0 to 1000000\n"},
    {"--iterations", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto n = readWhole(v, kMinDeepIterations, kMaxDeepIterations);
         if (!n)
             return fail("a whole number " + std::to_string(kMinDeepIterations) + " to " +
                         std::to_string(kMaxDeepIterations) + ", got " + inQuotes(v));
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
     "  --out FILE        write the picture to FILE (replacing it), as PNG for FILE.png (with its\n"
     "                    location inside) or as a 24-bit BMP for FILE.bmp (or a name without\n"
     "                    an extension, such as /dev/stdout), unless --format names the format\n"},
    {"--format", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         if (v == "png")
             o.format = ImageFormat::Png;
         else if (v == "bmp")
             o.format = ImageFormat::Bmp;
         else
             return fail("png or bmp, got " + inQuotes(v));
         return {};
     },
     "  --format FORMAT   write --out FILE as FORMAT, png or bmp, whatever its name says (so a\n"
     "                    PNG can go to /dev/stdout); default: from FILE's extension\n"},
    {"--size", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto size = parsePictureSize(v);
         if (!size)
             return fail("WxH, two whole numbers 1 to " + std::to_string(kMaxPictureSide) +
                         " such as 3840x2160, got " + inQuotes(v));
         o.size = *size;
         return {};
     },
     "  --size WxH        draw a poster W x H pixels (each side 1 to 65535) of the view: the\n"
     "                    square of the 596 x 596 picture fills its shorter side; needs --out;\n"
     "                    default: the 596 x 596 picture itself\n"},
    {"--quiet", false,
     [](RenderOptions& o, const std::string&) -> Status {
         o.quiet = true;
         return {};
     },
     "  --quiet           no progress line while a poster is drawn\n"},
    {"--repeat", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto repeat = readWhole(v, 1, 1000000);
         if (!repeat)
             return fail("a whole number 1 to 1000000, got " + inQuotes(v));
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
    {"--palette", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         if (v == "list") {
             o.listPalettes = true;
             return {};
         }
         if (!findPalette(v))
             return fail("the name of a built-in palette (" + paletteNames() + ") or list, got " + inQuotes(v));
         o.palette = v;
         return {};
     },
     "  --palette NAME    smooth colours from the built-in palette NAME instead of the colour\n"
     "                    mode; list: print the names, one a line\n"},
    {"--stops", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         auto stops = parseStops(v);
         if (!stops)
             return fail(std::string(kStopsAccepts) + ", got " + inQuotes(v));
         o.stops = std::move(stops);
         return {};
     },
     "  --stops LIST      smooth colours from a custom palette: RRGGBB@P stops joined by commas,\n"
     "                    P in [0, 1) rising (or colours alone, spread evenly)\n"},
    {"--density", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto d = parseDensity(v);
         if (!d)
             return fail(std::string(kDensityAccepts) + ", got " + inQuotes(v));
         o.density = *d;
         return {};
     },
     "  --density D       escape values per cycle of the palette, D > 0; log:D: doublings of\n"
     "                    the escape value per cycle; default 24\n"},
    {"--offset", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto f = readSingle(v, 0.0f, 1.0f);
         if (!f)
             return fail(std::string(kOffsetAccepts) + ", got " + inQuotes(v));
         o.offset = *f;
         return {};
     },
     "  --offset F        where the palette's cycle starts, a decimal in [0, 1); default 0\n"},
    {"--shading", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto shading = parseShading(v);
         if (!shading)
             return fail(std::string(kShadingAccepts) + ", got " + inQuotes(v));
         o.shading = *shading;
         return {};
     },
     "  --shading KIND    none, distance (darkens near the set) or slopes (light on a relief)\n"},
    {"--samples", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto n = readWhole(v, 1, kMaxSamples);
         if (!n)
             return fail(std::string(kSamplesAccepts) + ", got " + inQuotes(v));
         o.samples = static_cast<int>(*n);
         return {};
     },
     "  --samples N       N x N samples a pixel, averaged in linear light, N 1 to 8; default 1\n"},
    {"--video", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         if (v.empty())
             return fail("a file name, got an empty one");
         o.video = v;
         return {};
     },
     "  --video OUT.mp4   make a zoom video (H.264 in MP4) diving from the full view into the\n"
     "                    centre of the view the other options name (--location, --centre...)\n"},
    {"--from", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         auto from = locationOption(v);
         if (!from)
             return from.failure();
         o.from = std::move(*from);
         return {};
     },
     "  --from LOCATION   start the dive at this location's zoom (same centre as the target)\n"
     "                    instead of the full view\n"},
    {"--fps", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto fps = readWhole(v, 1, 240);
         if (!fps)
             return fail("a whole number of frames a second, 1 to 240, got " + inQuotes(v));
         o.fps = static_cast<int>(*fps);
         return {};
     },
     "  --fps F           frames a second of a video, 1 to 240; default 60\n"},
    {"--seconds", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto seconds = readDouble(v, 0, 360000);
         if (!seconds || *seconds <= 0)
             return fail("a decimal above 0 and at most 360000, got " + inQuotes(v));
         o.seconds = *seconds;
         return {};
     },
     "  --seconds S       the video's length in seconds; default: one second per doubling\n"},
    {"--rate", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto rate = readDouble(v, 0, 1000);
         if (!rate || *rate <= 0)
             return fail("a decimal above 0 and at most 1000, got " + inQuotes(v));
         o.rate = *rate;
         return {};
     },
     "  --rate R          doublings of the zoom a second, instead of --seconds; default 1\n"},
    {"--exact-frames", false,
     [](RenderOptions& o, const std::string&) -> Status {
         o.exactFrames = true;
         return {};
     },
     "  --exact-frames    draw every frame of the video directly (slow; for short dives and checks)\n"},
    {"--frames", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         if (v.empty())
             return fail("a folder, got an empty name");
         o.frames = v;
         return {};
     },
     "  --frames DIR      write the video's frames as DIR/frame-NNNNNN.png, with --video or\n"
     "                    instead of it\n"},
    {"--keyframes", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         if (v.empty())
             return fail("a folder, got an empty name");
         o.keyframes = v;
         return {};
     },
     "  --keyframes DIR   draw the dive's keyframes into DIR (keyframe-NNNNN.png, each with its\n"
     "                    location, and dive.txt); complete ones there are kept, so a stopped run\n"
     "                    resumes; with --video or --frames the video is made from them as well\n"},
    {"--keyframe-range", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto parts = splitAt(v, ':');
         std::optional<long long> a, b;
         if (parts.size() == 2) {
             a = readWhole(parts[0], 0, 100000000);
             b = readWhole(parts[1], 0, 100000000);
         }
         if (!a || !b || *a > *b)
             return fail("A:B, two keyframe indices from 0 with A <= B, got " + inQuotes(v));
         o.keyframeRange = std::make_pair(static_cast<int>(*a), static_cast<int>(*b));
         return {};
     },
     "  --keyframe-range A:B\n"
     "                    with --keyframes: draw only keyframes A to B (both included; 0 is the\n"
     "                    outermost), so machines of a cluster share a dive\n"},
    {"--keyframe-count", false,
     [](RenderOptions& o, const std::string&) -> Status {
         o.keyframeCount = true;
         return {};
     },
     "  --keyframe-count  print the number of keyframes of the dive the other options name, so\n"
     "                    a cluster's tasks can share out --keyframe-range; draw nothing\n"},
    {"--assemble", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         if (v.empty())
             return fail("a folder, got an empty name");
         o.assemble = v;
         return {};
     },
     "  --assemble DIR    make --video (or --frames) from DIR, a complete folder of keyframes\n"
     "                    that --keyframes drew, with --fps and --seconds or --rate\n"},
    {"--threads", true,
     [](RenderOptions& o, const std::string& v) -> Status {
         const auto n = readWhole(v, 1, 1024);
         if (!n)
             return fail("a whole number of threads 1 to 1024, got " + inQuotes(v));
         o.threads = static_cast<int>(*n);
         return {};
     },
     "  --threads N       threads a video or its keyframes are drawn on; default: one per core\n"},
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

// The smooth colours the options give: the location's, changed by the
// options; none without a palette or stops.
std::optional<SmoothColours> smoothColoursOf(const RenderOptions& o)
{
    std::optional<SmoothColours> c;
    if (o.location)
        c = o.location->smooth;
    if (o.palette || o.stops) {
        if (!c)
            c.emplace();
        c->palette = o.palette.value_or("");
        c->stops = o.stops.value_or(std::vector<GradientStop>{});
    }
    if (!c)
        return c;
    if (o.density) {
        c->density = o.density->value;
        c->logDensity = o.density->logarithmic;
    }
    c->offset = o.offset.value_or(c->offset);
    c->shading = o.shading.value_or(c->shading);
    c->samples = o.samples.value_or(c->samples);
    return c;
}

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

// Whether a BMP poster can be written where --out says: its sizes must fit
// in 32 bits, and it is written bottom row first, so not down a pipe.
// Returns 0, or the exit status 2 with the reason said on `err`.
int checkBmpPoster(const RenderOptions& o, std::ostream& err)
{
    if (!o.size || outputFormat(o) != ImageFormat::Bmp)
        return 0;
    if (const Status fits = BmpBandWriter::fits(*o.size); !fits) {
        err << "mandel-render: --size " << o.size->width << "x" << o.size->height << ": " << fits.error() << '\n';
        return 2;
    }
    struct stat st {};
    if (::stat(o.out.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISSOCK(st.st_mode))) {
        err << onOneLine("mandel-render: --out " + o.out +
                         ": a BMP poster is written bottom row first and cannot go to a pipe or device; "
                         "write a PNG instead (--format png)")
            << '\n';
        return 2;
    }
    return 0;
}

// A deep view that cannot be drawn here (too large for the memory): said
// on one line, exit 2 as for other input that cannot be drawn.
int refuseDeep(const std::string& why, std::ostream& err)
{
    err << onOneLine("mandel-render: cannot draw this deep view: " + why) << '\n';
    return 2;
}

// The view a run draws: its palette and legacy view, or a deep view with
// the reference orbit it is drawn against; and the location naming it.
struct RunView {
    ExplorerState state;
    Location location;
    std::shared_ptr<const ReferenceOrbit> orbit;  // deep views too deep for doubles only
    std::shared_ptr<FreeViewPixels> computer;     // of the window's picture of a deep view
};

// Zooms the legacy view on at each --click. Returns an exit status.
int zoomLegacy(const RenderOptions& o, RunView& view, std::ostream& err)
{
    for (std::size_t k = 0; k < o.clicks.size(); ++k) {
        if (!tryZoomAt(view.state, o.clicks[k].first, o.clicks[k].second)) {
            err << "mandel-render: --click number " << (k + 1)
                << " would zoom past the range of a double; at most about 300 zooms fit\n";
            return 2;
        }
        view.location.clicks.push_back(Click{o.clicks[k].first, o.clicks[k].second});
    }
    return 0;
}

// Finds the deep view the options name, after its --clicks, and computes
// its reference orbit. Returns an exit status.
// `stop`, when given, stops the orbit (a dive's, under Ctrl+C): the exit
// status is then 128 + `*signal`.
int prepareDeep(const RenderOptions& o, RunView& view, std::ostream& err, bool orbitOnly = false,
                const std::atomic<bool>* stop = nullptr, const volatile std::sig_atomic_t* signal = nullptr)
{
    DeepCentre centre{"0", "0", 0, o.iterations.value_or(kDefaultDeepIterations)};
    if (o.centre) {
        centre.re = o.centre->first;
        centre.im = o.centre->second;
        centre.zoom = *o.zoom;
    }
    if (centre.zoom + static_cast<double>(o.clicks.size()) > static_cast<double>(kMaxDeepZoom)) {
        err << "mandel-render: --click: the zooms would pass 1E+" << kMaxDeepZoom << '\n';
        return 2;
    }
    for (const auto& [x, y] : o.clicks)
        centre = zoomDeepAt(centre, static_cast<double>(x) - kDeepCentrePixel,
                            static_cast<double>(y) - kDeepCentrePixel);
    // Refuse what would not fit rather than be killed for it.
    DeepSetupRequest request;
    request.view = centre;
    request.chooseCap = !o.iterations;
    request.memoryLimit = deepMemoryLimit();
    // A poster's tables reach as far as its size asks: built when it is drawn.
    request.orbitOnly = orbitOnly || o.size.has_value();
    if (stop)
        request.progress = [stop](double) { return !stop->load(); };
    Result<FreeViewSetup> setup = setUpFreeView(request);
    if (!setup && stop && stop->load() && signal) {
        err << "mandel-render: stopped; no video written\n";
        return 128 + *signal;
    }
    if (!setup)
        return refuseDeep(setup.error(), err);
    view.orbit = std::move(setup->orbit);
    view.computer = std::move(setup->pixels);
    centre.iterations = setup->iterations;
    view.location.deep = centre;
    return 0;
}

// Draws the window's picture of `view` --repeat times.
void drawPicture(const RenderOptions& o, const RunView& view, Renderer& renderer, ImageSurface& surface,
                 const DrawHooks& hooks)
{
    // A legacy picture of the window's size draws every pixel of the
    // surface: clearing it first would only be overwritten.
    const bool covers = !view.location.smooth && !view.computer && view.state.wid + 1 >= kDrawableSize &&
                        view.state.hei + 1 >= kDrawableSize;
    for (int r = 0; r < o.repeat; ++r) {
        if (!covers)
            surface.clear();
        if (view.location.smooth && view.computer) {
            (void)SmoothRenderer(*view.computer).renderPicture(*view.location.smooth, surface);
            if (hooks.printStatus)
                hooks.printStatus(deepStatusLine(view.location.palette.b, view.computer->view().zoom));
        } else if (view.location.smooth) {
            const auto fast = o.reference ? nullptr : makeFastComputer();
            SmoothRenderer smooth = fast ? SmoothRenderer(*fast) : SmoothRenderer(&ThreadPool::shared());
            (void)smooth.renderPicture(view.state, *view.location.smooth, surface);
            if (hooks.printStatus)
                hooks.printStatus(statusLine(view.state));
        } else if (view.computer)
            renderer.DrawDeep(*view.computer, view.computer->view().zoom, view.location.palette, surface, hooks);
        else
            renderer.DrawFractal(view.state, surface, hooks);
    }
}

// Prints the status line where it belongs: standard error when the
// picture itself goes to standard output. False when it could not be written.
bool printStatus(const RenderOptions& o, const std::string& status, std::ostream& out, std::ostream& err)
{
    const bool outIsThePicture = !o.out.empty() && isStandardOutput(o.out);
    std::ostream& statusOut = outIsThePicture ? err : out;
    statusOut << status << '\n';
    return wroteAll(statusOut, err, outIsThePicture ? "standard error" : "standard output");
}

PictureRequest requestFor(const RenderOptions& o, const RunView& view)
{
    PictureRequest request;
    request.location = view.location;
    request.location.size = o.size;
    request.format = outputFormat(o);
    request.software = "mandel-render";
    request.orbit = view.orbit;
    return request;
}

// Reports a failed write of `path` ("PATH: why" from the writers).
int cannotWrite(const std::string& path, const std::string& reason, std::ostream& err)
{
    const std::string why = reason.rfind(path + ": ", 0) == 0 ? reason.substr(path.size() + 2) : reason;
    err << onOneLine("mandel-render: cannot write '" + path + "': " + why) << '\n';
    return 1;
}

void clearStaleTemporaries(const std::string& path)
{
    const auto folderEnd = path.find_last_of('/');
    removeStaleTemporaries(folderEnd == std::string::npos ? "." : path.substr(0, folderEnd + 1));
}

// Set by SIGINT and SIGTERM while a poster is written: the poster stops
// at its next band and leaves nothing behind.
std::atomic<bool> gStopRequested{false};
volatile std::sig_atomic_t gStopSignal = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void requestStop(int signal)
{
    gStopSignal = signal;
    gStopRequested.store(true);
}

// Catches SIGINT and SIGTERM while it lives; puts back what was there.
class StopSignals {
public:
    StopSignals()
    {
        gStopRequested.store(false);
        gStopSignal = 0;
        struct sigaction action {};
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &oldInt_);
        ::sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals()
    {
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction oldInt_ {}, oldTerm_ {};
};

int writePoster(const RenderOptions& o, const RunView& view, bool terminal, const SecondsClock& clock, std::ostream& out,
                std::ostream& err)
{
    const std::string status = view.location.deep ? deepStatusLine(view.state.b, view.location.deep->zoom)
                                          : statusLine(view.state);
    const bool statusWritten = printStatus(o, status, out, err);
    clearStaleTemporaries(o.out);

    const std::int64_t pixels = std::int64_t{o.size->width} * o.size->height;
    std::optional<ProgressLine> progress;
    if (terminal && !o.quiet)
        progress.emplace(err, pixels);
    const double start = clock();
    PictureFileHooks hooks;
    hooks.stop = &gStopRequested;
    hooks.progress = [&](double share) {
        if (progress)
            progress->update(static_cast<std::int64_t>(share * static_cast<double>(pixels)), clock() - start);
        return true;
    };
    Result<std::string> written = [&] {
        const StopSignals signals;
        return writePictureFile(o.out, requestFor(o, view), hooks);
    }();
    if (progress)
        progress->finish();
    if (!written && written.failure().code == ECANCELED) {
        err << "mandel-render: stopped; no file written\n";
        const int signal = gStopSignal;
        return signal != 0 ? 128 + signal : 1;
    }
    if (!written)
        return cannotWrite(o.out, written.error(), err);
    return statusWritten ? 0 : 1;
}

int finish(const RenderOptions& o, const RunView& view, const ImageSurface& surface, const std::string& status,
           std::ostream& out, std::ostream& err)
{
    const bool statusWritten = printStatus(o, status, out, err);
    if (!o.out.empty()) {
        clearStaleTemporaries(o.out);
        const Result<std::string> written = writeImageFile(o.out, surface.view(), requestFor(o, view));
        if (!written)
            return cannotWrite(o.out, written.error(), err);
    }
    return statusWritten ? 0 : 1;
}

// Whether the options of a zoom video go together.
Status checkDiveOptions(const RenderOptions& o)
{
    const bool making = !o.video.empty() || !o.frames.empty();
    const bool dive = making || !o.keyframes.empty() || !o.assemble.empty() || o.keyframeCount;
    const bool diveOnly = o.from || o.fps || o.seconds || o.rate || o.exactFrames || o.keyframeRange || o.threads;
    if (!dive) {
        if (diveOnly)
            return fail("mandel-render: --from, --fps, --seconds, --rate, --exact-frames, --keyframe-range and "
                        "--threads make zoom videos: add --video OUT.mp4 (or --frames, --keyframes)");
        return {};
    }
    if (!o.out.empty() || o.repeat != 1 || o.reference)
        return fail("mandel-render: --out, --repeat and --reference draw one picture; a video goes to --video");
    if (o.video.size() >= 1 && o.video.back() == '/')
        return fail("mandel-render: --video takes a file name such as dive.mp4, not a folder");
    if (o.seconds && o.rate)
        return fail("mandel-render: --seconds and --rate both set the length; give one");
    if (o.size) {
        if (o.size->width % 2 != 0 || o.size->height % 2 != 0)
            return fail("mandel-render: --size of a video takes even sides (its colour planes are halved), got " +
                        std::to_string(o.size->width) + "x" + std::to_string(o.size->height));
        if (o.size->width > kMaxPictureSide / 2 || o.size->height > kMaxPictureSide / 2)
            return fail("mandel-render: --size of a video takes sides up to " + std::to_string(kMaxPictureSide / 2) +
                        " (keyframes are twice the size)");
    }
    if (o.keyframeCount && (making || !o.keyframes.empty() || !o.assemble.empty()))
        return fail("mandel-render: --keyframe-count prints a number and draws nothing; leave out --video, --frames, "
                    "--keyframes and --assemble");
    if (!o.assemble.empty()) {
        if (!making)
            return fail("mandel-render: --assemble makes a video from a keyframe folder: add --video OUT.mp4 "
                        "(or --frames DIR)");
        if (o.location || o.centre || o.deep || !o.clicks.empty() || o.from || o.size || !o.keyframes.empty() ||
            o.exactFrames || o.keyframeRange || o.fn || o.mode || o.moduli || o.iterations)
            return fail("mandel-render: --assemble takes the dive from its folder; give only --video, --frames, "
                        "--fps, --seconds or --rate and --threads with it");
        return {};
    }
    if (o.keyframeRange && o.keyframes.empty())
        return fail("mandel-render: --keyframe-range draws part of the keyframes into a folder: add --keyframes DIR");
    if (o.keyframeRange && making)
        return fail("mandel-render: --keyframe-range draws part of the keyframes; make the video with --assemble "
                    "once every keyframe is drawn");
    if (o.exactFrames && !making)
        return fail("mandel-render: --exact-frames draws a video's frames: add --video OUT.mp4 (or --frames DIR)");
    if (o.exactFrames && !o.keyframes.empty())
        return fail("mandel-render: --exact-frames draws every frame directly, without keyframes; leave out "
                    "--keyframes");
    return {};
}

// Trims a plain decimal to one spelling per value: no plus sign, no
// leading or trailing zeros, no "-0".
std::string sameDecimal(std::string text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.erase(0, 1);
    }
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    while (text.size() > 1 && text[0] == '0' && text[1] != '.')
        text.erase(0, 1);
    if (text.empty() || text == "0")
        return "0";
    return negative ? "-" + text : text;
}

// The legacy view or deep view a location shows, as a deep view.
Result<DeepCentre> deepCentreOf(const Location& location)
{
    if (location.deep)
        return *location.deep;
    auto state = legacyStateOf(location);
    if (!state)
        return state.failure();
    return deepViewOf(*state, kMinDeepIterations);
}

// The zoom a dive into `target` starts from: --from's, on the same centre,
// or the full view's. A failure's reason is the line that refuses the dive.
Result<double> diveStart(const RenderOptions& o, const DeepCentre& target)
{
    double start = 0;
    if (o.from) {
        auto from = deepCentreOf(*o.from);
        if (!from)
            return fail("--from: " + from.error());
        if (sameDecimal(from->re) != sameDecimal(target.re) || sameDecimal(from->im) != sameDecimal(target.im))
            return fail("--from takes a location on the target's centre " + target.re + "," + target.im +
                        ", got centre " + from->re + "," + from->im);
        start = from->zoom;
    }
    if (target.zoom <= start)
        return fail("a dive needs a target deeper than its start: give --location (or --centre and --zoom) of zoom "
                    "above " + writeDouble(start));
    return start;
}

// Prints the number of keyframes of the dive the options name, from its
// zooms alone, so that each task of a cluster learns it without computing
// an orbit. Returns the exit status.
int printKeyframeCount(const RenderOptions& o, RunView& view, std::ostream& out, std::ostream& err)
{
    DeepCentre target;
    if (o.deep || o.centre) {
        target = {o.centre ? o.centre->first : "0", o.centre ? o.centre->second : "0", o.centre ? *o.zoom : 0.0,
                  kMinDeepIterations};
        if (target.zoom + static_cast<double>(o.clicks.size()) > static_cast<double>(kMaxDeepZoom)) {
            err << "mandel-render: --click: the zooms would pass 1E+" << kMaxDeepZoom << '\n';
            return 2;
        }
        for (const auto& [x, y] : o.clicks)
            target = zoomDeepAt(target, static_cast<double>(x) - kDeepCentrePixel,
                                static_cast<double>(y) - kDeepCentrePixel);
    } else {
        if (const int failed = zoomLegacy(o, view, err))
            return failed;
        target = deepViewOf(view.state, kMinDeepIterations);
    }
    const Result<double> start = diveStart(o, target);
    if (!start) {
        err << onOneLine("mandel-render: " + start.error()) << '\n';
        return 2;
    }
    out << ZoomDive(*start, target.zoom, 2).keyframes() << '\n';
    return wroteAll(out, err) ? 0 : 1;
}

// Makes the video, the frames or the keyframes a run asks for. Returns the
// exit status.
int runDive(const RenderOptions& o, const RunView& view, bool terminal, const SecondsClock& clock, std::ostream& out,
            std::ostream& err)
{
    const int fps = o.fps.value_or(60);
    auto framesFor = [&](double doublings) {
        const double seconds = o.seconds.value_or(doublings / o.rate.value_or(1.0));
        return static_cast<int>(std::clamp(std::llround(seconds * fps), 2LL, 100000000LL));
    };
    auto refuse = [&err](const std::string& why) {
        err << onOneLine("mandel-render: " + why) << '\n';
        return 2;
    };
    std::optional<ThreadPool> ownPool;
    if (o.threads > 0 && !o.assemble.empty())
        ownPool.emplace(o.threads);

    std::optional<ProgressLine> progress;
    const double start = clock();
    constexpr std::int64_t kShares = 1000000;
    if (terminal && !o.quiet)
        progress.emplace(err, kShares);
    DrawControl control;
    control.stop = &gStopRequested;
    control.progress = [&](double share) {
        if (progress)
            progress->update(static_cast<std::int64_t>(share * kShares), clock() - start);
        return true;
    };
    auto stoppedOr = [&](const Status& s, const std::string& what) {
        if (progress)
            progress->finish();
        if (s.failure().code == ECANCELED && gStopRequested.load()) {
            err << (o.video.empty() && o.frames.empty() ? "mandel-render: stopped; the keyframes drawn are kept\n"
                                                        : "mandel-render: stopped; no video written\n");
            const int signal = gStopSignal;
            return signal != 0 ? 128 + signal : 1;
        }
        err << onOneLine("mandel-render: " + what + s.error()) << '\n';
        return s.failure().code == ENOMEM || s.failure().code == EINVAL ? 2 : 1;
    };

    // The dive: from the folder, or from the options' view.
    KeyframeFolder::Plan plan;
    std::optional<DivePictures> pictures;
    std::optional<KeyframeFolder> folder;
    if (!o.assemble.empty()) {
        folder.emplace(o.assemble);
        auto read = folder->readPlan();
        if (!read)
            return refuse("--assemble " + o.assemble + ": " + read.error());
        plan = std::move(*read);
        if (const auto missing = folder->firstMissing(plan))
            return refuse("--assemble " + o.assemble + ": keyframe " + std::to_string(*missing) + " is missing (" +
                          folder->keyframePath(*missing, plan.keyframes) + "); the folder holds keyframes 0 to " +
                          std::to_string(plan.keyframes - 1));
    } else {
        auto prepared = DivePictures::prepare(view.location, view.orbit, o.threads, control);
        if (!prepared)
            return stoppedOr(Status(prepared.failure()), "cannot make this dive: ");
        pictures.emplace(std::move(*prepared));
        plan.target = Location{};
        plan.target.palette = view.location.palette;
        plan.target.deep = pictures->target();
        plan.frame = o.size.value_or(PictureSize{1920, 1080});
        const Result<double> startZoom = diveStart(o, *plan.target.deep);
        if (!startZoom)
            return refuse(startZoom.error());
        plan.startZoom = *startZoom;
    }
    const ZoomDive probe(plan.startZoom, plan.target.deep->zoom, 2);
    const ZoomDive dive(plan.startZoom, plan.target.deep->zoom, framesFor(probe.doublings()));
    if (!o.assemble.empty() && dive.keyframes() != plan.keyframes)
        return refuse("--assemble " + o.assemble + ": dive.txt names " + std::to_string(plan.keyframes) +
                      " keyframes where its dive has " + std::to_string(dive.keyframes()));
    plan.keyframes = dive.keyframes();
    ThreadPool* pool = pictures ? pictures->pool() : ownPool ? &*ownPool : &ThreadPool::shared();

    if (!o.keyframes.empty()) {
        folder.emplace(o.keyframes);
        int first = 0, last = dive.keyframes() - 1;
        if (o.keyframeRange) {
            if (o.keyframeRange->second > last)
                return refuse("--keyframe-range " + std::to_string(o.keyframeRange->first) + ":" +
                              std::to_string(o.keyframeRange->second) + ": this dive has keyframes 0 to " +
                              std::to_string(last));
            first = o.keyframeRange->first;
            last = o.keyframeRange->second;
        }
        clearStaleTemporaries(o.keyframes + "/");
        if (Status written = folder->writePlan(plan); !written)
            return cannotWrite(o.keyframes, written.error(), err);
        if (o.video.empty() && o.frames.empty()) {
            int drawn = 0;
            for (int j = first; j <= last; ++j) {
                const double from = static_cast<double>(j - first) / (last - first + 1);
                DrawControl part;
                part.stop = control.stop;
                part.progress = [&, from](double share) { return control.progress(from + share / (last - first + 1)); };
                auto made = folder->ensure(j, plan, *pictures, dive, part);
                if (!made)
                    return stoppedOr(Status(made.failure()), "keyframe " + std::to_string(j) + ": ");
                drawn += *made ? 1 : 0;
            }
            if (progress)
                progress->finish();
            out << "keyframes " << first << " to " << last << " of " << dive.keyframes() << " in " << o.keyframes
                << ": " << drawn << " drawn, " << (last - first + 1 - drawn) << " kept\n";
            return wroteAll(out, err) ? 0 : 1;
        }
    }

    // The frames go to the video and the PNG folder asked for.
    FrameSinks sinks;
    std::optional<VideoFile> video;
    std::optional<VideoFrames> videoFrames;
    std::optional<PngFrames> pngFrames;
    if (!o.video.empty()) {
        clearStaleTemporaries(o.video);
        VideoSettings settings;
        settings.width = plan.frame.width;
        settings.height = plan.frame.height;
        settings.fps = fps;
        auto opened = VideoFile::open(o.video, settings);
        if (!opened)
            return cannotWrite(o.video, opened.error(), err);
        video.emplace(std::move(*opened));
        videoFrames.emplace(*video);
        sinks.push(&*videoFrames);
    }
    if (!o.frames.empty()) {
        pngFrames.emplace(o.frames, dive, plan.target);
        sinks.push(&*pngFrames);
    }
    Status made;
    if (o.exactFrames) {
        made = drawExactFrames(dive, plan.frame, *pictures, sinks, control);
    } else if (folder) {
        FolderKeyframes keyframes(*folder, plan, dive, pictures ? &*pictures : nullptr);
        made = makeDiveFrames(dive, plan.frame, keyframes, sinks, control, pool, pictures ? 0.9 : 0.3);
    } else {
        DrawnKeyframes keyframes(*pictures, dive, plan.frame);
        made = makeDiveFrames(dive, plan.frame, keyframes, sinks, control, pool);
    }
    if (!made)
        return stoppedOr(made, "");
    if (video)
        if (Status finished = video->finish(); !finished)
            return cannotWrite(o.video, finished.error(), err);
    if (progress)
        progress->finish();
    out << (o.video.empty() ? o.frames : o.video) << ": " << dive.frames() << " frames of " << plan.frame.width << "x"
        << plan.frame.height << " at " << fps << " fps from " << dive.keyframes() << " keyframes, zoom "
        << writeDouble(plan.startZoom) << " to " << writeDouble(plan.target.deep->zoom) << '\n';
    return wroteAll(out, err) ? 0 : 1;
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

ImageFormat outputFormat(const RenderOptions& o)
{
    if (o.format)
        return *o.format;
    const Result<ImageFormat> named = imageFormatFor(o.out);  // parseRenderOptions checked it
    return named ? *named : ImageFormat::Bmp;
}

Result<RenderOptions> parseRenderOptions(const std::vector<std::string>& args,
                                         std::function<void(const std::string&)> tell)
{
    RenderOptions defaults;
    defaults.tell = std::move(tell);
    auto parsed = parseOptionTable<RenderOptions>("mandel-render", kOptions, args, std::move(defaults));
    if (!parsed)
        return parsed;
    const RenderOptions& o = *parsed;
    if (o.format && o.out.empty())
        return fail("mandel-render: --format names the format of the file --out FILE writes: add --out");
    if (!o.out.empty()) {
        // An extension names the format, unless --format does; the two must not disagree.
        const Result<ImageFormat> named = imageFormatFor(o.out);
        const auto slash = o.out.find_last_of('/');
        const auto dot = o.out.find_last_of('.');
        const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        if (!o.format && !named)
            return fail(onOneLine("mandel-render: --out takes a file name: " + named.error() +
                                  " (or name the format with --format)"));
        if (o.format && named && hasExtension && *named != *o.format)
            return fail(onOneLine("mandel-render: --out " + inQuotes(o.out) + " names another format than --format " +
                                  (*o.format == ImageFormat::Png ? "png" : "bmp")));
    }
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
    const bool dive = !o.video.empty() || !o.frames.empty() || !o.keyframes.empty() || !o.assemble.empty() || o.keyframeCount;
    if (o.size && o.out.empty() && !dive)
        return fail("mandel-render: --size draws a poster into a file: add --out FILE");
    if (o.size && (o.repeat != 1 || o.reference))
        return fail("mandel-render: --repeat and --reference draw the 596 x 596 picture; leave out --size");
    if (o.palette && o.stops)
        return fail("mandel-render: --palette and --stops both choose the palette; give one");
    const bool smoothGiven = o.palette || o.stops || (o.location && o.location->smooth);
    if (!smoothGiven && (o.density || o.offset || o.shading || o.samples))
        return fail("mandel-render: --density, --offset, --shading and --samples colour smooth pictures: add "
                    "--palette or --stops");
    if (Status diveChecked = checkDiveOptions(o); !diveChecked)
        return diveChecked.failure();
    return parsed;
}

int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal,
              const SecondsClock& clock)
{
    const auto parsed = parseRenderOptions(args, [&err](const std::string& line) {
        err << "mandel-render: " << line << '\n';
        err.flush();
    });
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
    if (o.listPalettes) {
        for (const BuiltInPalette& p : builtInPalettes())
            out << p.name << '\n';
        return wroteAll(out, err) ? 0 : 1;
    }

    // The same start-up as the explorer's, so a seed gives its palette.
    RunView view;
    ExplorerState& state = view.state;
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
        view.location.clicks = o.location->clicks;
    }
    // A location's poster size is the picture's, unless --size says otherwise
    // (or --repeat or --reference ask for the 596 x 596 picture).
    if (o.location && o.location->size && !o.size && !o.out.empty() && o.repeat == 1 && !o.reference)
        o.size = o.location->size;
    // A BMP poster that cannot be written is refused before any drawing.
    if (const int refused = checkBmpPoster(o, err))
        return refused;
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
    view.location.palette = paletteOf(state);
    view.location.smooth = smoothColoursOf(o);
    const bool deep = o.deep || o.centre;
    const bool dive = !o.video.empty() || !o.frames.empty() || !o.keyframes.empty() || !o.assemble.empty();
    // A dive stops cleanly on Ctrl+C from its reference orbit on.
    std::optional<StopSignals> diveSignals;
    if (dive)
        diveSignals.emplace();
    if (dive && !o.assemble.empty())
        return runDive(o, view, terminal, clock, out, err);
    if (o.keyframeCount)
        return printKeyframeCount(o, view, out, err);
    if (const int failed = deep ? prepareDeep(o, view, err, dive, dive ? &gStopRequested : nullptr, &gStopSignal)
                                : zoomLegacy(o, view, err))
        return failed;
    if (dive)
        return runDive(o, view, terminal, clock, out, err);
    if (o.size)
        return writePoster(o, view, terminal, clock, out, err);

    Renderer renderer(o.reference ? nullptr : makeFastComputer());
    ImageSurface surface;
    std::string status;
    DrawHooks hooks;
    hooks.printStatus = [&status](const std::string& line) { status = line; };
    drawPicture(o, view, renderer, surface, hooks);
    return finish(o, view, surface, status, out, err);
}

} // namespace mandel
