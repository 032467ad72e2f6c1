#include "DeepSetup.h"

#include "AutoIterations.h"
#include "Memory.h"

#include <utility>

namespace mandel {

namespace {

bool sameCentre(const ReferenceOrbit& orbit, const DeepCentre& view)
{
    return orbit.view().re == view.re && orbit.view().im == view.im && orbit.view().zoom == view.zoom;
}

// The orbit of request.view with its cap, computed or extended into
// `setup`, unless the caller's shared one will do.
Status orbitFor(DeepSetupRequest& request, const WorkControl& control, DeepSetup& setup)
{
    const DeepCentre& view = request.view;
    if (!request.chooseCap && request.shared && sameCentre(*request.shared, view) &&
        request.shared->view().iterations >= view.iterations) {
        setup.orbit = request.shared;
        setup.iterations = view.iterations;
        return {};
    }
    // Refused before any work rather than after minutes of it.
    if (Status fits = deepViewFits(view, request.memoryLimit); !fits)
        return fits;
    auto reached = ReferenceOrbit::reuseOrCompute(view, std::move(request.extend), control);
    if (!reached)
        return reached.failure();
    std::shared_ptr<ReferenceOrbit> orbit = std::move(reached).value();
    setup.iterations = view.iterations;
    if (request.chooseCap) {
        // From the view's own cap, not the orbit's: a reused orbit may hold
        // more than an earlier choice kept.
        auto chosen = chooseIterations(*orbit, view.iterations, control);
        if (!chosen)
            return chosen.failure();
        setup.iterations = *chosen;
    }
    setup.orbit = orbit;
    setup.ownOrbit = std::move(orbit);
    return {};
}

} // namespace

std::size_t deepMemoryLimit()
{
    return memoryBudget();
}

Status deepViewFits(const DeepCentre& view, std::size_t budget)
{
    // Seven numbers of the orbit's precision, with room for MPFR's limbs.
    const std::size_t numbers = 7 * (static_cast<std::size_t>(precisionFor(view.zoom)) / 8 + 64);
    const std::size_t needed = DeepComputer::bytesFor(view.iterations, view.zoom) + numbers;
    if (budget == 0 || needed <= budget)
        return {};
    auto megabytes = [](std::size_t bytes) { return std::to_string((bytes + (std::size_t{1} << 20) - 1) >> 20); };
    return fail("a cap of " + std::to_string(view.iterations) + " iterations needs about " + megabytes(needed) +
                    " MB for the reference orbit and its tables, and at most " + megabytes(budget) +
                    " MB may be used here (three quarters of the least of the memory available, the address "
                    "space limit and the cgroup's memory limit)",
                ENOMEM);
}

Result<DeepSetup> setUpDeep(DeepSetupRequest request)
{
    if (Status ok = checkDeepView(request.view); !ok)
        return ok.failure();
    WorkControl control;
    control.memoryLimit = request.memoryLimit;
    control.progress = request.progress;
    DeepSetup setup;
    if (Status ok = orbitFor(request, control, setup); !ok)
        return ok.failure();
    if (request.orbitOnly)
        return setup;
    DeepComputerOptions options = request.computer;
    options.iterations = setup.iterations;
    setup.computer = std::make_shared<DeepComputer>(setup.orbit, options);
    if (Status ok = setup.computer->prepare(request.reach, request.memoryLimit); !ok)
        return ok.failure();
    return setup;
}

} // namespace mandel
