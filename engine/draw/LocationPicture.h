#pragma once

#include "BandSink.h"
#include "ExplorerState.h"
#include "ImageSurface.h"
#include "Location.h"
#include "Result.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace mandel {

class FreeViewPixels;
class ReferenceOrbit;
class ThreadPool;

// What drawing a picture tells its caller, and how it is stopped.
struct DrawControl {
    // Called now and then with the share done, 0 to 1 (a deep view's
    // reference orbit first, then the rows); returning false stops.
    std::function<bool(double share)> progress;
    // When set and true, the work stops at the next band or column (checked
    // often; safe to set from a signal handler or another thread).
    const std::atomic<bool>* stop = nullptr;
};

// The picture a location names, ready to draw: its palette and legacy view,
// and for a deep view the reference orbit and tables. A pure function of
// the location (and the size), drawn on all cores.
class LocationPicture {
public:
    // Prepares `location` for drawing at its size (without one, the window's
    // 596 x 596 picture). A deep view's reference orbit is computed here,
    // the longest part of its start, unless `orbit` is one of the same centre
    // and zoom with a cap that reaches the view's, or the view is shallow
    // enough for doubles (no orbit at all). Fails with a one-line
    // reason for a malformed view, one that would not fit in memory, or
    // "stopped" (code ECANCELED).
    static Result<LocationPicture> prepare(const Location& location, std::shared_ptr<const ReferenceOrbit> orbit,
                                           const DrawControl& control);

    LocationPicture(LocationPicture&&) noexcept;
    LocationPicture& operator=(LocationPicture&&) noexcept;
    ~LocationPicture();

    // Draws the window's own 596 x 596 picture, as the window draws it
    // (modes 7 and 8 included).
    Status drawWindowPicture(ImageSurface& surface, const DrawControl& control);
    // Draws the poster of the location's size into `sink`, a band at a time.
    Status drawPoster(BandSink& sink, const DrawControl& control);

    PictureSize size() const noexcept { return size_; }
    // The pool the picture is drawn on, for work beside it (compression).
    ThreadPool* pool() const noexcept;

private:
    LocationPicture() = default;

    ExplorerState state_;
    std::optional<SmoothColours> smooth_;  // set: drawn in smooth colours
    PictureSize size_{};
    bool poster_ = false;
    std::shared_ptr<FreeViewPixels> deep_;  // a free view, in doubles or by perturbation
    double shareBefore_ = 0;  // of the progress, taken by the reference orbit
};

} // namespace mandel
