#pragma once

#include "Location.h"
#include "ProgressLine.h"
#include "PictureFile.h"
#include "Result.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mandel {

// The options of mandel-render, as parsed from its command line.
struct RenderOptions {
    std::optional<std::uint64_t> seed;
    std::optional<Location> location;           // applied before the options below
    std::optional<std::vector<float>> fn;       // three multipliers
    std::optional<float> mode;                  // 1..9
    std::optional<std::vector<float>> moduli;   // three, 150..304
    std::vector<std::pair<float, float>> clicks;
    bool deep = false;                                          // deep mode from the full view
    std::optional<std::pair<std::string, std::string>> centre;  // a deep view's centre, decimals
    std::optional<double> zoom;                                 // its K
    std::optional<long long> iterations;                        // its cap N; none: automatic
    std::string out;                            // empty: write no file
    std::optional<ImageFormat> format;          // none: named by out's extension
    std::optional<PictureSize> size;            // a poster of this size; none: the window's picture
    bool quiet = false;                         // no progress line
    int repeat = 1;
    bool reference = false;
    bool help = false;
    bool version = false;
    // Smooth colours: a built-in palette or custom stops switch them on.
    std::optional<std::string> palette;          // a built-in's name
    bool listPalettes = false;                   // --palette list
    std::optional<std::vector<GradientStop>> stops;
    std::optional<Density> density;
    std::optional<float> offset;                 // [0, 1)
    std::optional<Shading> shading;
    std::optional<int> samples;                  // 1..8
    // Zoom videos: a dive from the full view (or --from) to the view above.
    std::string video;                          // OUT.mp4; empty: none
    std::string frames;                         // a folder for the frames as PNGs; empty: none
    std::string keyframes;                      // a folder the keyframes are drawn into; empty: none
    std::string assemble;                       // a folder of keyframes to make the video from
    std::optional<Location> from;               // the dive's start, on the target's centre
    std::optional<int> fps;                     // default 60
    std::optional<double> seconds;              // the length; or
    std::optional<double> rate;                 // doublings of the zoom per second; default 1
    bool exactFrames = false;                   // every frame drawn directly
    std::optional<std::pair<int, int>> keyframeRange;  // keyframes A..B only
    bool keyframeCount = false;                 // print the dive's number of keyframes, draw nothing
    int threads = 0;                            // a dive's threads; 0: every core
    // Where a line for the user goes while the options are read (a pipe
    // that keeps --location-file waiting); empty: nowhere.
    std::function<void(const std::string&)> tell;
};

// Parses argv[1..]; on bad input the failure is a one-line message naming
// the option and what it accepts. `tell` gets lines for the user meanwhile
// (a --location-file that waits on a pipe says so).
Result<RenderOptions> parseRenderOptions(const std::vector<std::string>& args,
                                         std::function<void(const std::string&)> tell = {});

// The format `o` writes its file in: --format, else the name's extension.
ImageFormat outputFormat(const RenderOptions& o);

// The usage text printed by --help.
std::string renderUsage();

// Runs mandel-render: draws, prints the status line on `out`, writes the file,
// with a progress line on `err` for long posters when `terminal` says err
// is a terminal, timed by `clock`. Returns the exit status: 0 done, 1 the file could not be
// written, 2 bad input, 128 + the signal when SIGINT or SIGTERM stopped it.
int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal = false,
              const SecondsClock& clock = steadySeconds);

} // namespace mandel
