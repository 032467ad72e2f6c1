#pragma once

#include "FloatExp.h"
#include "Location.h"
#include "Result.h"

#include <optional>
#include <string>
#include <vector>

namespace mandel {

struct ExplorerState;
class BigFloat;

// A deep view is a DeepCentre: centre (a, b) as decimal text, zoom K and
// iteration cap N. Pixel offset (dx, dy) from the centre pixel shows
// c = (a + dx h, b - dy h) with h = 1 / (150 * 10^K); a window picture has
// dx = x - 300, dy = y - 300.

// The centre pixel of a picture: offsets are taken from it.
inline constexpr int kDeepCentrePixel = 300;

// Whether `view` is a deep view this program can draw; the reason names
// the field at fault.
Status checkDeepView(const DeepCentre& view);

// Sets `out` to 150 * 10^zoom, the pixels in a unit of the plane, rounded
// at its precision. 10^K is rounded once, so a whole K gives exactly the
// value of the power of ten, whichever MPFR routine would compute it.
void setPixelsPerUnit(BigFloat& out, double zoom);

// Bits of precision that tell the points of pixels at zoom K apart with
// a wide margin; what reference orbits use.
long precisionFor(double zoom);

// The pixel spacing h = 1 / (150 * 10^zoom), to double precision.
FloatExp pixelSpacing(double zoom);

// A free view drawn in doubles: its centre rounded to doubles and the pixel
// spacing h, so pixel offset (dx, dy) shows (re + dx step, im - dy step).
struct DoublesFrame {
    double re = 0;
    double im = 0;
    double step = 0;
};

// How far above the rounding of doubles at the centre the pixel spacing must
// stay for a view to be drawn in doubles, in bits: rounding c then moves a
// point by a 16-millionth of a pixel. Counts then agree with perturbation's
// but on pixels whose count in doubles changes when c moves by one unit in
// its last place (orbits long and chaotic enough that doubles cannot decide
// them; a fraction of a percent of a picture near the set at caps of 10^4).
inline constexpr int kDoublesMarginBits = 24;

// The frame in doubles of `view` when its pixel spacing is at least
// 2^kDoublesMarginBits times the spacing of doubles at the centre's larger
// coordinate (at least a quarter: orbits near the set pass through values
// of that size whatever the centre); nothing when the view needs
// perturbation.
std::optional<DoublesFrame> doublesFrameOf(const DeepCentre& view);

// Significant digits a centre at zoom K is written with: whole digits of
// the magnification and 20 more.
long centreDigitsFor(double zoom);

// The same view moved so that the point at pixel offset (dx, dy) is its
// centre, with centreDigitsFor(K) significant digits.
DeepCentre moveDeepCentre(const DeepCentre& view, double dx, double dy);

// The view tenfold closer about the point at pixel offset (dx, dy): that
// point, with centreDigitsFor(K + 1) significant digits, becomes the
// centre; same iteration cap.
DeepCentre zoomDeepAt(const DeepCentre& view, double dx, double dy);

// The view with the point at pixel offset (dx, dy) as its centre and zoom
// `zoom`, centreDigitsFor(zoom) significant digits: every move of a free
// view (wheel, drag, rectangle) is one of these.
DeepCentre reframeDeep(const DeepCentre& view, double dx, double dy, double zoom);

// A point of a view as a pixel offset from its centre: right and down in
// the view's pixels.
struct PixelOffset {
    double dx = 0;
    double dy = 0;
};

// Where the centre of `view` lies from the centre of `from`, in pixels of
// `view`'s zoom; nothing when either centre is not a decimal.
std::optional<PixelOffset> centreOffset(const DeepCentre& from, const DeepCentre& view);

// The deep view that shows what the legacy view `s` shows: its centre is
// the plane point of pixel (300, 300) and K the number of zooms.
DeepCentre deepViewOf(const ExplorerState& s, long long iterations);

// The number of tenfold zooms behind the magnification of `s`.
long long zoomOf(const ExplorerState& s);

// The deepest zoom a legacy view can show: past it, doubles run out.
inline constexpr long long kMaxLegacyZoom = 14;

// Clicks from the full view that bring a legacy view to the centre and
// zoom of `view` (zoom at most kMaxLegacyZoom), each point as near the
// centre as a click can take it.
std::vector<Click> clicksToward(const DeepCentre& view);

} // namespace mandel
