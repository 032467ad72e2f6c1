#pragma once

#include "LocationPicture.h"
#include "Location.h"
#include "Result.h"
#include "ZoomDive.h"

#include <functional>
#include <memory>

namespace mandel {

class BandSink;
class PosterRenderer;
struct PosterHooks;
class ReferenceOrbit;
class ThreadPool;

// The pictures of a dive into the centre of one deep view: deep posters of
// that centre at any zoom up to the view's, in its colours and with its
// iteration cap, each drawn as a free view is: in doubles by the vector
// kernel while its pixel spacing allows (doublesFrameOf), beyond that
// against the one reference orbit of the centre (computed once, at the
// precision of the deepest zoom).
class DivePictures {
public:
    // Prepares the dive into `target`: a deep location, or a legacy one
    // taken as the deep view that shows it (cap 200, as the legacy loop).
    // `orbit`, when given, is the target's (same centre and zoom, a cap at
    // least the target's); null: computed here. `threads` > 0 draws on a
    // pool of that many threads, 0 on every core. Fails with a one-line
    // reason: a view that does not fit in memory, or "stopped" (ECANCELED).
    // Keyframes in smooth colours are drawn by perturbation at every zoom.
    static Result<DivePictures> prepare(const Location& target, std::shared_ptr<const ReferenceOrbit> orbit,
                                        int threads, const DrawControl& control);

    DivePictures(DivePictures&&) noexcept;
    DivePictures& operator=(DivePictures&&) noexcept;
    ~DivePictures();

    // The deep poster of the centre at `zoom` (at most the target's), `size`.
    Result<RgbImage> draw(double zoom, PictureSize size, const DrawControl& control) const;
    // The location of that poster: what mandel-render --location draws as it.
    Location locationAt(double zoom, PictureSize size) const;
    // The target as a deep view (its cap included).
    const DeepCentre& target() const noexcept { return *target_.deep; }
    // Whether pictures shallow enough are drawn in doubles (the default);
    // off, every one is drawn by perturbation, for benchmarks to compare.
    void setDoubles(bool on) noexcept { doubles_ = on; }
    // The pool the pictures are drawn on, for the work beside them.
    ThreadPool* pool() const noexcept;

private:
    DivePictures() = default;
    Result<RgbImage> drawWith(PosterRenderer& renderer, PictureSize size, const DrawControl& control) const;
    // The picture `render` writes into rows of `size`, stopped and followed
    // by `control`.
    Result<RgbImage> drawRows(PictureSize size, const DrawControl& control,
                              const std::function<Status(BandSink&, const PosterHooks&)>& render) const;

    Location target_;  // deep, without a size
    std::shared_ptr<const ReferenceOrbit> orbit_;
    int threads_ = 0;
    bool doubles_ = true;
    std::unique_ptr<ThreadPool> own_;
};

} // namespace mandel
