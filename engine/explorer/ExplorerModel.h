#pragma once

#include "ExplorerState.h"
#include "History.h"
#include "Location.h"
#include "RandomSource.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mandel {

// Why a command changed nothing.
enum class Refusal {
    None,
    PastDoubleRange,  // a tenfold zoom would carry the legacy view past a double's range
    PastDeepestZoom,  // a deep view is as deep as views go (kMaxDeepZoom)
    PastWidestZoom,   // a free view cannot zoom out past the full view's scale (zoom 0)
    DeepStaysOn,      // the free view cannot be left past kMaxLegacyZoom or between tenfold steps
    Location,         // a location that cannot be shown; CommandResult::reason says why
    CapOutOfRange,    // an iteration cap outside kMinDeepIterations..kMaxDeepIterations
    CapTooLarge,      // a cap whose orbit and tables would not fit in memory
};

// What a command did: refused (and why), or done, with a new picture to
// draw or not.
struct CommandResult {
    Refusal refusal = Refusal::None;
    bool redraw = false;       // the view changed: clear the picture and draw it
    std::string reason;        // Refusal::Location: the location's fault; CapTooLarge: what it needs, one line
    long long iterations = 0;  // Refusal::CapTooLarge: the cap asked for

    bool done() const noexcept { return refusal == Refusal::None; }
};

// What the user sees: the classic view (the start-up window, zoomed in
// tenfold steps in doubles) or the free view (any centre and zoom, moved
// by wheel, drag, keys and typed coordinates; computed in deep mode).
enum class ViewKind { Classic, Free };

// The user-facing name of a view kind, for menus and the status bar.
const char* viewKindName(ViewKind kind);

// The explorer without its window: the state, the view's location, the
// history, deep mode and its iteration cap, and the commands that move them.
// A command either changes the view (and says to draw it) or is refused with
// a reason and changes nothing. The window forwards its input here and draws
// what the model holds; the rules live here so that they can be tested
// without a display.
// Wheel notches closer than this in time make one turn of the wheel.
inline constexpr double kWheelBurstSeconds = 0.4;

class ExplorerModel {
public:
    // A model whose colours come from `rng` (kept by reference).
    explicit ExplorerModel(RandomSource& rng);

    // Start-up: the surface size, new colours, the full view.
    void start();

    // Zooms tenfold about surface pixel (X, Y), in legacy or deep mode.
    CommandResult zoomAt(float X, float Y);

    // The moves of the free view. Each one in the classic view first
    // enters the free view at its centre and scale, as one command (Undo
    // goes back to the classic view).
    //
    // Zooms by `factor` (2: twice as close, 0.5: half) keeping the point
    // under surface pixel (X, Y) where it is; refused past either end.
    CommandResult zoomBy(double factor, double X, double Y);
    // A wheel notch at `seconds` (any clock that only goes forward): zoomBy,
    // but notches that follow one another within kWheelBurstSeconds, with
    // no other command between them, are one step of the history (one Undo
    // takes the whole turn back).
    CommandResult wheelZoom(double factor, double X, double Y, double seconds);
    // Zooms out tenfold keeping the point under (X, Y) where it is.
    CommandResult zoomOut(double X, double Y);
    // Moves the picture by (dx, dy) pixels, as a drag does: the point under
    // (X, Y) ends under (X + dx, Y + dy).
    CommandResult pan(double dx, double dy);
    // Shows the rectangle between corners (x0, y0) and (x1, y1) as large as
    // the picture holds it, centred; nothing for one under 3 pixels across.
    CommandResult zoomToRectangle(double x0, double y0, double x1, double y1);
    // Goes to a centre, zoom and cap typed in (cap empty: the current
    // choice, automatic or set); refused with a reason naming the field.
    CommandResult goToCoordinates(std::string_view re, std::string_view im, std::string_view zoom,
                                  std::string_view iterations);
    // "new": new colours over the full view (deep mode stays on, its cap
    // chosen afresh).
    CommandResult newColours();
    // "back": the full view in the same colours.
    CommandResult back();
    // Deep mode on (the same view: the plane point of pixel (300, 300) and
    // the magnification) or off (up to 1E+14: back to the legacy view deep
    // mode came from, or one zoomed by clicks to the same place).
    CommandResult toggleDeep();
    // The cap of deep views: automatic, or `iterations`, refused outside its
    // range or when its orbit and tables need more than `memoryLimit` bytes
    // (0: no limit). Redraws a deep view.
    CommandResult setIterations(bool automatic, long long iterations, std::size_t memoryLimit);
    // Goes to `location` (its poster size left aside), as a command.
    CommandResult goTo(Location location);
    // Colours the legacy view in `smooth` (none: its colour mode), as a
    // command undo takes back. Refused in deep mode (Refusal::Location).
    CommandResult setColours(std::optional<SmoothColours> smooth);
    // Back to the view the last command left; nothing when there is none.
    CommandResult undo();
    // Forward again to the view the last undo left.
    CommandResult redo();

    // The reference orbit of `asked` is ready, with cap `iterations` (the one
    // chosen, when a choice was due). Returns whether `asked` is still the
    // deep view shown (else the orbit is stale).
    bool orbitReady(const DeepCentre& asked, long long iterations);

    // Replaces the state without a command (for tests and tools); the view
    // then has no location until a command sets one.
    void setState(const ExplorerState& s);
    // The name of the last saved picture.
    void setImageName(std::string name) { state_.imeslike = std::move(name); }

    const ExplorerState& state() const noexcept { return state_; }
    // The free view as it is, or as the classic view would become one.
    DeepCentre freeView() const;
    ViewKind viewKind() const noexcept { return deep_ ? ViewKind::Free : ViewKind::Classic; }
    // The deep view shown in deep mode; nothing in legacy mode.
    const std::optional<DeepCentre>& deepView() const noexcept { return deep_; }
    // Whether deep views get their cap chosen from the picture.
    bool automaticIterations() const noexcept { return autoIterations_; }
    // Whether the deep view's cap is still to be chosen from its picture.
    bool choosingCap() const noexcept { return chooseCap_; }
    // The location of the view shown, or nothing after setState.
    const std::optional<Location>& location() const noexcept { return view_; }
    // The smooth colours of the legacy picture shown; null: its colour mode.
    const SmoothColours* smoothColours() const noexcept
    {
        return view_ && view_->smooth && !deep_ ? &*view_->smooth : nullptr;
    }
    const History& history() const noexcept { return history_; }
    // Whether a legacy dive nears the end of doubles (1E+13 to 1E+15), where
    // deep mode is worth a word.
    bool nearsDoubleLimit() const noexcept;

private:
    // The last wheel notch: when, and the view it left; a notch that
    // follows it soon, with that view still shown, joins its step.
    struct WheelTurn {
        double seconds = 0;
        std::optional<Location> view;
    };
    std::optional<WheelTurn> wheel_;
    bool joinStep_ = false;  // the command under way joins the last step

    enum class Step { Record, Move };  // a new command, or a move in the history
    using HistoryMove = std::optional<Location> (History::*)(Location);

    CommandResult fullView();
    // Zooms `view` to `zoom` keeping the point under (X, Y), the new pixel
    // `shrink` old ones wide.
    CommandResult zoomAbout(const DeepCentre& view, double zoom, double shrink, double X, double Y);
    // Enters the free view `view` moved to pixel offset (dx, dy) at `zoom`.
    CommandResult reframe(const DeepCentre& view, double dx, double dy, double zoom);
    CommandResult enterLegacy(const ExplorerState& next, std::optional<Location> view, Step step);
    CommandResult enterDeep(const DeepCentre& next, std::optional<Location> view, Step step, bool chooseCap);
    CommandResult enterLocation(const Location& target, Step step);
    CommandResult moveInHistory(HistoryMove step, HistoryMove inverse);
    void show(std::optional<Location> next, Step step);
    Location deepLocation(const DeepCentre& view) const;
    long long startingCap() const noexcept;

    RandomSource& rng_;
    ExplorerState state_;
    std::optional<Location> view_;  // the location of the picture shown
    History history_;

    std::optional<DeepCentre> deep_;
    bool autoIterations_ = true;
    long long deepIterations_;  // the cap the next deep view starts from
    bool chooseCap_ = false;    // deep_'s cap is still to be chosen from its picture
    // The legacy view deep mode was turned on from, and the deep view it
    // became: turning deep mode off there goes back to it exactly.
    struct LegacyOrigin {
        ExplorerState state;
        std::optional<Location> view;
        DeepCentre deep;
    };
    std::optional<LegacyOrigin> origin_;
};

} // namespace mandel
