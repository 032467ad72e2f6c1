#pragma once

#include "DeepComputer.h"
#include "DeepView.h"
#include "Location.h"
#include "ReferenceOrbit.h"
#include "Result.h"

#include <cstddef>
#include <functional>
#include <memory>

namespace mandel {

// Pixels from the centre pixel to the farthest corner of the window's
// 596 x 596 picture: how far its approximation tables must reach.
inline constexpr double kWindowReach = kDeepCentrePixel * 1.4142135623730951;

// The memory a deep view may take: three quarters of the least of the
// memory available, the address-space limit and the cgroup's limit, so the
// rest of the desktop keeps room; 0 when none is known (no limit).
std::size_t deepMemoryLimit();

// Whether a deep view with `view`'s centre, zoom and cap fits in `budget`
// bytes (0: no limit known): its reference orbit, approximation tables and
// high-precision numbers, estimated before any of them is computed, so a
// view that cannot fit is refused at once. The failure (code ENOMEM) says
// what the view needs and what there is.
Status deepViewFits(const DeepCentre& view, std::size_t budget);

// What a deep picture needs to know before its first pixel.
struct DeepSetupRequest {
    DeepCentre view;
    // The cap is chosen from the picture, starting from view.iterations.
    bool chooseCap = false;
    // An earlier orbit handed over by the caller: extended (and becoming the
    // result's) rather than computed again when it has the same centre and
    // zoom and nobody else holds it; an orbit others read is never changed.
    std::shared_ptr<ReferenceOrbit> extend;
    // An orbit of the same centre and zoom that others may be reading: used
    // as it is when its cap reaches the view's and no cap is to be chosen.
    std::shared_ptr<const ReferenceOrbit> shared;
    // Pixels from the centre pixel to the farthest pixel drawn.
    double reach = kWindowReach;
    // Bytes the orbit and tables may take together; 0: no limit.
    std::size_t memoryLimit = 0;
    // Called now and then with the share of the orbit done; false stops.
    std::function<bool(double)> progress;
    // Computer options other than the cap.
    DeepComputerOptions computer;
    // Only the orbit and its cap: the caller builds computers of its own
    // reach later (a poster's is known only with its size).
    bool orbitOnly = false;
};

// The orbit a deep picture is drawn against and the computer that draws it,
// its tables built.
struct DeepSetup {
    std::shared_ptr<const ReferenceOrbit> orbit;
    // The same orbit when it was computed or extended here (not the caller's
    // shared one), for the caller to extend later.
    std::shared_ptr<ReferenceOrbit> ownOrbit;
    std::shared_ptr<DeepComputer> computer;  // null when only the orbit was asked for
    // The cap of the picture: the view's, or the one chosen (the orbit may
    // hold more values than it needs).
    long long iterations = 0;
};

// Computes (or extends, or takes) the reference orbit `request` names, chooses
// the cap when asked, and builds the computer. Fails with a one-line reason
// when the view is malformed, when it would not fit in the memory limit
// (judged before any work), or with "stopped" when `progress` said so.
Result<DeepSetup> setUpDeep(DeepSetupRequest request);

} // namespace mandel
