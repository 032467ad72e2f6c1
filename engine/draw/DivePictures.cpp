#include "DivePictures.h"

#include "DeepComputer.h"
#include "DeepSetup.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "PictureComputer.h"
#include "PosterRenderer.h"
#include "SmoothRenderer.h"
#include "ThreadPool.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mandel {

namespace {

// Rows of a poster gathered into memory.
class ImageRows final : public BandSink {
public:
    explicit ImageRows(RgbImage& image) : image_(image) {}
    Status writeRows(const std::uint8_t* rgb, int rows) override
    {
        const std::size_t bytes = static_cast<std::size_t>(rows) * static_cast<std::size_t>(image_.width) * 3;
        std::memcpy(image_.rgb.data() + at_, rgb, bytes);
        at_ += bytes;
        return {};
    }

private:
    RgbImage& image_;
    std::size_t at_ = 0;
};

} // namespace

DivePictures::DivePictures(DivePictures&&) noexcept = default;
DivePictures& DivePictures::operator=(DivePictures&&) noexcept = default;
DivePictures::~DivePictures() = default;

Result<DivePictures> DivePictures::prepare(const Location& target, std::shared_ptr<const ReferenceOrbit> orbit,
                                           int threads, const DrawControl& control)
{
    DivePictures dive;
    dive.target_ = target;
    dive.target_.size.reset();
    if (!target.deep) {
        auto legacy = legacyStateOf(target);
        if (!legacy)
            return legacy.failure();
        dive.target_.deep = deepViewOf(*legacy, kMinDeepIterations);
        dive.target_.clicks.clear();
    }
    // An orbit serves zooms up to its own: deeper ones need more precision.
    if (!orbit || orbit->view().re != dive.target_.deep->re || orbit->view().im != dive.target_.deep->im ||
        orbit->view().zoom < dive.target_.deep->zoom) {
        DeepSetupRequest request;
        request.view = *dive.target_.deep;
        request.orbitOnly = true;
        request.memoryLimit = deepMemoryLimit();
        request.progress = [&control](double share) {
            if (control.stop && control.stop->load())
                return false;
            return !control.progress || control.progress(share);
        };
        Result<DeepSetup> setup = setUpDeep(request);
        if (!setup)
            return setup.error() == "stopped" ? fail("stopped", ECANCELED) : setup.failure();
        orbit = std::move(setup->orbit);
    }
    dive.orbit_ = std::move(orbit);
    dive.threads_ = std::max(0, threads);
    if (threads > 0)
        dive.own_ = std::make_unique<ThreadPool>(threads);
    return dive;
}

ThreadPool* DivePictures::pool() const noexcept
{
    return own_ ? own_.get() : &ThreadPool::shared();
}

Location DivePictures::locationAt(double zoom, PictureSize size) const
{
    Location at = target_;
    at.deep->zoom = zoom;
    at.size = size;
    return at;
}

Result<RgbImage> DivePictures::draw(double zoom, PictureSize size, const DrawControl& control) const
{
    // The rule a free view is drawn by: in doubles by the vector kernel
    // while the pixel spacing allows it, by perturbation beyond.
    DeepCentre view = *target_.deep;
    view.zoom = zoom;
    if (const std::optional<DoublesFrame> frame = doubles_ ? doublesFrameOf(view) : std::nullopt) {
        FreeViewPixels pixels(view, *frame, threads_);
        if (target_.smooth) {
            SmoothRenderer renderer(pixels);
            return drawRows(size, control, [&](BandSink& rows, const PosterHooks& hooks) {
                return renderer.render(*target_.smooth, size, rows, hooks);
            });
        }
        PosterRenderer renderer(pixels);
        return drawWith(renderer, size, control);
    }
    DeepComputerOptions options;
    options.pool = pool();
    options.iterations = target_.deep->iterations;
    options.zoom = zoom;
    DeepComputer computer(orbit_, options);
    if (target_.smooth) {
        SmoothRenderer renderer(computer);
        return drawRows(size, control, [&](BandSink& rows, const PosterHooks& hooks) {
            return renderer.render(*target_.smooth, size, rows, hooks);
        });
    }
    PosterRenderer renderer(computer);
    return drawWith(renderer, size, control);
}

Result<RgbImage> DivePictures::drawWith(PosterRenderer& renderer, PictureSize size, const DrawControl& control) const
{
    return drawRows(size, control, [&](BandSink& rows, const PosterHooks& hooks) {
        return renderer.render(target_.palette, size, rows, hooks);
    });
}

Result<RgbImage> DivePictures::drawRows(PictureSize size, const DrawControl& control,
                                        const std::function<Status(BandSink&, const PosterHooks&)>& render) const
{
    RgbImage image(size.width, size.height);
    ImageRows rows(image);
    PosterHooks hooks;
    hooks.progress = [&](int rowsDone) {
        if (control.stop && control.stop->load())
            return false;
        return !control.progress || control.progress(static_cast<double>(rowsDone) / size.height);
    };
    if (Status drawn = render(rows, hooks); !drawn)
        return drawn.failure();
    return image;
}

} // namespace mandel
