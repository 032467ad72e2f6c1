#include "LocationPicture.h"

#include "DeepSetup.h"
#include "PictureComputer.h"
#include "FastComputer.h"
#include "PosterMapping.h"
#include "PosterRenderer.h"
#include "Renderer.h"
#include "SmoothRenderer.h"
#include "ThreadPool.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <optional>

namespace mandel {

namespace {

// The share of a deep picture's progress its reference orbit stands for:
// its length is unknown until it ends, so it gets a fixed slice.
constexpr double kOrbitShare = 0.1;

bool stopped(const DrawControl& control)
{
    return control.stop && control.stop->load();
}

// Pixels from the centre of the poster's farthest pixel, for the deep
// computer's approximation tables.
double farthestOffset(PictureSize size)
{
    const PosterMapping mapping(size);
    const double dx = std::max(std::abs(mapping.pictureX(0) - kDeepCentrePixel),
                               std::abs(mapping.pictureX(size.width - 1) - kDeepCentrePixel));
    const double dy = std::max(std::abs(mapping.pictureY(0) - kDeepCentrePixel),
                               std::abs(mapping.pictureY(size.height - 1) - kDeepCentrePixel));
    return std::hypot(dx, dy);
}

} // namespace

LocationPicture::LocationPicture(LocationPicture&&) noexcept = default;
LocationPicture& LocationPicture::operator=(LocationPicture&&) noexcept = default;
LocationPicture::~LocationPicture() = default;

Result<LocationPicture> LocationPicture::prepare(const Location& location, std::shared_ptr<const ReferenceOrbit> orbit,
                                                 const DrawControl& control)
{
    LocationPicture picture;
    picture.poster_ = location.size.has_value();
    picture.size_ = location.size.value_or(PictureSize{kDrawableSize, kDrawableSize});
    picture.smooth_ = location.smooth;
    picture.palette_ = location.palette;
    if (!location.deep) {
        auto legacy = legacyStateOf(location);
        if (!legacy)
            return legacy.failure();
        picture.legacy_ = std::move(*legacy);
        return picture;
    }

    DeepSetupRequest request;
    request.view = *location.deep;
    request.shared = std::move(orbit);
    request.reach = picture.poster_ ? farthestOffset(picture.size_) : kWindowReach;
    request.memoryLimit = deepMemoryLimit();
    request.progress = [&control](double share) {
        if (stopped(control))
            return false;
        return !control.progress || control.progress(share * kOrbitShare);
    };
    Result<FreeViewSetup> setup = setUpFreeView(request);
    if (!setup) {
        const Failure& why = setup.failure();
        return why.reason == "stopped" ? fail("stopped", ECANCELED) : why;
    }
    if (setup->orbit && setup->orbit != request.shared)
        picture.shareBefore_ = kOrbitShare;
    picture.deep_ = std::move(setup->pixels);
    return picture;
}

ThreadPool* LocationPicture::pool() const noexcept
{
    return deep_ ? deep_->pool() : &ThreadPool::shared();
}

Status LocationPicture::drawWindowPicture(ImageSurface& surface, const DrawControl& control)
{
    if (smooth_) {
        PosterHooks hooks;
        hooks.progress = [&control](int) { return !stopped(control); };
        if (deep_)
            return SmoothRenderer(*deep_).renderPicture(*smooth_, surface, hooks);
        const auto computer = makeFastComputer();
        return SmoothRenderer(*computer).renderPicture(*legacy_, *smooth_, surface, hooks);
    }
    Renderer renderer(makeFastComputer());
    DrawHooks draw;
    draw.yield = [&control] { return !stopped(control); };
    const bool drawn = deep_ ? renderer.DrawDeep(*deep_, deep_->view().zoom, palette_, surface, draw)
                             : renderer.DrawFractal(*legacy_, surface, draw);
    return drawn ? Status() : Status(fail("stopped", ECANCELED));
}

Status LocationPicture::drawPoster(BandSink& sink, const DrawControl& control)
{
    PosterHooks posterHooks;
    posterHooks.progress = [&](int rowsDone) {
        if (stopped(control))
            return false;
        const double share = shareBefore_ + (1 - shareBefore_) * rowsDone / size_.height;
        return !control.progress || control.progress(share);
    };
    if (smooth_ && deep_)
        return SmoothRenderer(*deep_).render(*smooth_, size_, sink, posterHooks);
    if (smooth_) {
        const auto computer = makeFastComputer();
        return SmoothRenderer(*computer).render(*legacy_, *smooth_, size_, sink, posterHooks);
    }
    if (deep_)
        return PosterRenderer(*deep_).render(palette_, size_, sink, posterHooks);
    const auto computer = makeFastComputer();
    return PosterRenderer(*computer).render(*legacy_, size_, sink, posterHooks);
}

} // namespace mandel
