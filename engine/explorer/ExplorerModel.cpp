#include "ExplorerModel.h"

#include "AutoIterations.h"
#include "DeepSetup.h"
#include "DeepView.h"

#include "Numbers.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace mandel {

namespace {

CommandResult refused(Refusal why, std::string reason = {})
{
    CommandResult r;
    r.refusal = why;
    r.reason = std::move(reason);
    return r;
}

CommandResult redrawn()
{
    CommandResult r;
    r.redraw = true;
    return r;
}

bool sameView(const DeepCentre& a, const DeepCentre& b)
{
    return a.re == b.re && a.im == b.im && a.zoom == b.zoom;
}

// Zooms within this of a whole number are taken as it: a wheel turned in
// and back out again lands on the tenfold steps it left.
constexpr double kWholeZoomSnap = 1e-9;

// Rectangles narrower than this are a press that slipped, not a choice.
constexpr double kSmallestRectangle = 3;

std::string_view trimmedField(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

const char* viewKindName(ViewKind kind)
{
    return kind == ViewKind::Free ? "Free view" : "Classic view";
}

ExplorerModel::ExplorerModel(RandomSource& rng) : rng_(rng), deepIterations_(kDefaultDeepIterations) {}

void ExplorerModel::start()
{
    state_.wid = kSurfaceSize;
    state_.hei = kSurfaceSize;
    DrawColourParameters(state_, rng_);
    ResetView(state_);
    view_ = Location{paletteOf(state_), {}, {}, {}};
}

CommandResult ExplorerModel::zoomAt(float X, float Y)
{
    if (deep_) {
        if (deep_->zoom + 1 > static_cast<double>(kMaxDeepZoom))
            return refused(Refusal::PastDeepestZoom);
        // The point under the pointer becomes the centre, as in legacy mode.
        const DeepCentre next = zoomDeepAt(*deep_, static_cast<double>(X) - kDeepCentrePixel,
                                           static_cast<double>(Y) - kDeepCentrePixel);
        return enterDeep(next, deepLocation(next), Step::Record, autoIterations_);
    }
    ExplorerState zoomed = state_;
    if (!tryZoomAt(zoomed, X, Y))
        return refused(Refusal::PastDoubleRange);
    std::optional<Location> next = view_;
    if (next)
        next->clicks.push_back({X, Y});
    return enterLegacy(zoomed, std::move(next), Step::Record);
}

DeepCentre ExplorerModel::freeView() const
{
    if (deep_)
        return *deep_;
    return deepViewOf(state_, startingCap());
}

CommandResult ExplorerModel::reframe(const DeepCentre& view, double dx, double dy, double zoom)
{
    const double whole = std::round(zoom);
    if (std::fabs(zoom - whole) < kWholeZoomSnap)
        zoom = whole;
    if (zoom > static_cast<double>(kMaxDeepZoom))
        return refused(Refusal::PastDeepestZoom);
    if (zoom < 0)
        return refused(Refusal::PastWidestZoom);
    if (!deep_)
        origin_ = LegacyOrigin{state_, view_, view};
    const DeepCentre next = reframeDeep(view, dx, dy, zoom);
    return enterDeep(next, deepLocation(next), Step::Record, autoIterations_);
}

CommandResult ExplorerModel::zoomBy(double factor, double X, double Y)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return {};
    const DeepCentre view = freeView();
    return zoomAbout(view, view.zoom + std::log10(factor), 1 / factor, X, Y);
}

CommandResult ExplorerModel::wheelZoom(double factor, double X, double Y, double seconds)
{
    joinStep_ = wheel_ && seconds >= wheel_->seconds && seconds - wheel_->seconds <= kWheelBurstSeconds &&
                wheel_->view == view_ && deep_;
    CommandResult result = zoomBy(factor, X, Y);
    joinStep_ = false;
    if (result.done() && result.redraw)
        wheel_ = WheelTurn{seconds, view_};
    return result;
}

CommandResult ExplorerModel::zoomOut(double X, double Y)
{
    const DeepCentre view = freeView();
    return zoomAbout(view, view.zoom - 1, 10, X, Y);
}

CommandResult ExplorerModel::zoomAbout(const DeepCentre& view, double zoom, double shrink, double X, double Y)
{
    // Out past the full view's scale stops at it, once.
    if (zoom < 0 && view.zoom > 0) {
        zoom = 0;
        shrink = std::pow(10.0, view.zoom);
    }
    // The point at offset d stays at offset d: the centre moves by d (1 - shrink),
    // shrink being the new pixel's size in old pixels.
    const double dx = X - kDeepCentrePixel, dy = Y - kDeepCentrePixel;
    return reframe(view, dx * (1 - shrink), dy * (1 - shrink), zoom);
}

CommandResult ExplorerModel::pan(double dx, double dy)
{
    if (dx == 0 && dy == 0)
        return {};
    const DeepCentre view = freeView();
    return reframe(view, -dx, -dy, view.zoom);
}

CommandResult ExplorerModel::zoomToRectangle(double x0, double y0, double x1, double y1)
{
    const double across = std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
    if (!(across >= kSmallestRectangle))
        return {};
    const DeepCentre view = freeView();
    const double zoom = view.zoom + std::log10(static_cast<double>(kSurfaceSize - 4) / across);
    return reframe(view, (x0 + x1) / 2 - kDeepCentrePixel, (y0 + y1) / 2 - kDeepCentrePixel, zoom);
}

CommandResult ExplorerModel::goToCoordinates(std::string_view re, std::string_view im, std::string_view zoom,
                                             std::string_view iterations)
{
    re = trimmedField(re);
    im = trimmedField(im);
    zoom = trimmedField(zoom);
    iterations = trimmedField(iterations);
    if (!isPlainDecimal(re))
        return refused(Refusal::Location, "real part: a plain decimal such as -0.75, got '" + std::string(re) + "'");
    if (!isPlainDecimal(im))
        return refused(Refusal::Location,
                       "imaginary part: a plain decimal such as 0.1, got '" + std::string(im) + "'");
    const auto k = readDouble(zoom, 0, static_cast<double>(kMaxDeepZoom));
    if (!k)
        return refused(Refusal::Location, "zoom: a decimal 0 to " + std::to_string(kMaxDeepZoom) +
                                              " (magnification 10^zoom), got '" + std::string(zoom) + "'");
    DeepCentre next{std::string(re), std::string(im), *k, startingCap()};
    bool choose = autoIterations_;
    if (!iterations.empty()) {
        const auto n = readWhole(iterations, kMinDeepIterations, kMaxDeepIterations);
        if (!n)
            return refused(Refusal::Location, "iterations: a whole number " + std::to_string(kMinDeepIterations) +
                                                  " to " + std::to_string(kMaxDeepIterations) + ", or empty, got '" +
                                                  std::string(iterations) + "'");
        next.iterations = *n;
        choose = false;
    }
    if (!deep_)
        origin_ = LegacyOrigin{state_, view_, deepViewOf(state_, startingCap())};
    return enterDeep(next, deepLocation(next), Step::Record, choose);
}

CommandResult ExplorerModel::newColours()
{
    ResetView(state_);
    DrawColourParameters(state_, rng_);
    CommandResult r = fullView();
    if (view_ && view_->smooth) {
        // In a palette, new colours are another built-in palette and offset.
        const auto palettes = builtInPalettes();
        const auto pick = static_cast<std::size_t>(rng_.next() * static_cast<float>(palettes.size()));
        view_->smooth->palette = std::string(palettes[std::min(pick, palettes.size() - 1)].name);
        view_->smooth->offset = rng_.next();
    }
    return r;
}

CommandResult ExplorerModel::back()
{
    ResetView(state_);
    return fullView();
}

CommandResult ExplorerModel::fullView()
{
    if (deep_) {
        // Deep mode stays on: the full view, its cap chosen afresh.
        const DeepCentre full{"0", "0", 0, startingCap()};
        return enterDeep(full, deepLocation(full), Step::Record, autoIterations_);
    }
    Location full{paletteOf(state_), {}, {}, {}};
    // Back to the full view keeps smooth colours, as it keeps the modes'.
    if (view_)
        full.smooth = view_->smooth;
    show(std::move(full), Step::Record);
    return redrawn();
}

CommandResult ExplorerModel::toggleDeep()
{
    if (!deep_) {
        const DeepCentre deep = deepViewOf(state_, startingCap());
        origin_ = LegacyOrigin{state_, view_, deep};
        return enterDeep(deep, deepLocation(deep), Step::Record, autoIterations_);
    }
    // Legacy views zoom in whole tenfold steps only.
    if (deep_->zoom > kMaxLegacyZoom || deep_->zoom != std::floor(deep_->zoom))
        return refused(Refusal::DeepStaysOn);
    if (origin_ && sameView(origin_->deep, *deep_) && paletteOf(origin_->state) == paletteOf(state_)) {
        ExplorerState back = origin_->state;
        back.imeslike = state_.imeslike;
        return enterLegacy(back, origin_->view, Step::Record);
    }
    // Zooms from the full view that reach this centre as near as clicks can.
    const Location legacy{paletteOf(state_), clicksToward(*deep_), {}, {}};
    Result<ExplorerState> next = legacyStateOf(legacy);
    if (!next)
        return refused(Refusal::Location, next.error());
    next->imeslike = state_.imeslike;
    return enterLegacy(*next, legacy, Step::Record);
}

CommandResult ExplorerModel::setIterations(bool automatic, long long iterations, std::size_t memoryLimit)
{
    if (!automatic) {
        if (iterations < kMinDeepIterations || iterations > kMaxDeepIterations)
            return refused(Refusal::CapOutOfRange);
        // Judged at the depth shown: deeper views need more precise numbers.
        const DeepCentre at{"0", "0", deep_ ? deep_->zoom : 0, iterations};
        if (const Status fits = deepViewFits(at, memoryLimit); !fits) {
            CommandResult r = refused(Refusal::CapTooLarge, fits.error());
            r.iterations = iterations;
            return r;
        }
        deepIterations_ = iterations;
    }
    autoIterations_ = automatic;
    if (!deep_)
        return {};
    DeepCentre next = *deep_;
    if (!automatic)
        next.iterations = iterations;
    return enterDeep(next, deepLocation(next), Step::Record, automatic);
}

CommandResult ExplorerModel::goTo(Location location)
{
    // The window draws its own size; a poster size only matters to posters.
    location.size.reset();
    return enterLocation(location, Step::Record);
}

CommandResult ExplorerModel::setColours(std::optional<SmoothColours> smooth)
{
    if (deep_)
        return refused(Refusal::Location, "smooth colours draw legacy views; leave deep zoom first");
    if (!view_)
        return {};
    Location next = *view_;
    next.smooth = std::move(smooth);
    if (next == *view_)
        return {};
    return enterLocation(next, Step::Record);
}

CommandResult ExplorerModel::undo()
{
    return moveInHistory(&History::undo, &History::redo);
}

CommandResult ExplorerModel::redo()
{
    return moveInHistory(&History::redo, &History::undo);
}

CommandResult ExplorerModel::moveInHistory(HistoryMove step, HistoryMove inverse)
{
    if (!view_)
        return {};
    std::optional<Location> target = (history_.*step)(*view_);
    if (!target)
        return {};
    CommandResult r = enterLocation(*target, Step::Move);
    // Only views shown here are kept, so this is not expected; stay, and
    // keep the history as it was.
    if (!r.done())
        (void)(history_.*inverse)(std::move(*target));
    return r;
}

bool ExplorerModel::orbitReady(const DeepCentre& asked, long long iterations)
{
    if (!deep_ || !sameView(asked, *deep_))
        return false;
    if (chooseCap_) {
        // The cap chosen is part of the view: its location names it.
        deep_->iterations = iterations;
        if (view_ && view_->deep)
            view_->deep->iterations = iterations;
        chooseCap_ = false;
    }
    deepIterations_ = deep_->iterations;
    return true;
}

void ExplorerModel::setState(const ExplorerState& s)
{
    state_ = s;
    view_.reset();
}

bool ExplorerModel::nearsDoubleLimit() const noexcept
{
    return !deep_ && state_.f1 >= 1e13 && state_.f1 < 1e16;
}

CommandResult ExplorerModel::enterLocation(const Location& target, Step step)
{
    if (target.deep) {
        if (const Status ok = checkDeepView(*target.deep); !ok)
            return refused(Refusal::Location, "location: " + ok.error());
        // Refused at once rather than after its orbit is computed.
        if (const Status fits = deepViewFits(*target.deep, deepMemoryLimit()); !fits)
            return refused(Refusal::Location, "location: " + fits.error());
        applyPalette(state_, target.palette);
        // A deep location keeps its own cap: the picture it names.
        return enterDeep(*target.deep, target, step, false);
    }
    Result<ExplorerState> next = legacyStateOf(target);
    if (!next)
        return refused(Refusal::Location, next.error());
    // A location fixes the picture, not where the window saves it.
    next->imeslike = state_.imeslike;
    return enterLegacy(*next, target, step);
}

CommandResult ExplorerModel::enterLegacy(const ExplorerState& next, std::optional<Location> view, Step step)
{
    state_ = next;
    deep_.reset();
    show(std::move(view), step);
    return redrawn();
}

CommandResult ExplorerModel::enterDeep(const DeepCentre& next, std::optional<Location> view, Step step, bool chooseCap)
{
    deep_ = next;
    chooseCap_ = chooseCap;
    show(std::move(view), step);
    return redrawn();
}

void ExplorerModel::show(std::optional<Location> next, Step step)
{
    // A command that shows the same view again leaves nothing to go back to.
    if (step == Step::Record && !joinStep_ && view_ && view_ != next)
        history_.record(std::move(*view_));
    view_ = std::move(next);
}

Location ExplorerModel::deepLocation(const DeepCentre& view) const
{
    return Location{paletteOf(state_), {}, view, {}};
}

long long ExplorerModel::startingCap() const noexcept
{
    return autoIterations_ ? kDefaultDeepIterations : deepIterations_;
}

} // namespace mandel
