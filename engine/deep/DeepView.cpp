#include "DeepView.h"

#include "BigFloat.h"
#include "ExplorerState.h"

#include <algorithm>
#include <cmath>

namespace mandel {

namespace {

constexpr double kLog2Of10 = 3.321928094887362;

// Plane coordinate of pixel offset `offset` from `centre` at zoom K, with
// `sign` +1 for columns and -1 for rows, at `bits` of precision.
BigFloat offsetPoint(const std::string& centre, double offset, int sign, double zoom, long bits)
{
    BigFloat point(bits);
    point.setDecimal(centre);
    BigFloat step(bits);
    // h * offset = offset / (150 * 10^K), exactly rounded once per step.
    setPixelsPerUnit(step, zoom);
    BigFloat d(bits);
    mpfr_set_d(d.get(), offset * sign, MPFR_RNDN);
    mpfr_div(d.get(), d.get(), step.get(), MPFR_RNDN);
    mpfr_add(point.get(), point.get(), d.get(), MPFR_RNDN);
    return point;
}

// The exact value of a double as a decimal with `digits` significant digits.
std::string decimalOfDouble(double v, long digits)
{
    BigFloat x(64);
    mpfr_set_d(x.get(), v, MPFR_RNDN);
    return x.toDecimal(digits);
}

} // namespace

void setPixelsPerUnit(BigFloat& out, double zoom)
{
    BigFloat k(64);
    mpfr_set_d(k.get(), zoom, MPFR_RNDN);
    mpfr_exp10(out.get(), k.get(), MPFR_RNDN);
    mpfr_mul_ui(out.get(), out.get(), 150, MPFR_RNDN);
}

Status checkDeepView(const DeepCentre& view)
{
    if (!isPlainDecimal(view.re) || !isPlainDecimal(view.im))
        return fail("centre: RE,IM, two plain decimals such as -0.75,0.1");
    if (!(view.zoom >= 0 && view.zoom <= static_cast<double>(kMaxDeepZoom)))
        return fail("zoom: a decimal 0 to " + std::to_string(kMaxDeepZoom));
    if (view.iterations < kMinDeepIterations || view.iterations > kMaxDeepIterations)
        return fail("iterations: a whole number " + std::to_string(kMinDeepIterations) + " to " +
                    std::to_string(kMaxDeepIterations));
    return {};
}

long precisionFor(double zoom)
{
    // Bits of h, and 96 more: rounding in the orbit then stays far below
    // a pixel however far the iteration carries it.
    return static_cast<long>(std::ceil(zoom * kLog2Of10)) + 8 + 96;
}

FloatExp pixelSpacing(double zoom)
{
    BigFloat h(128);
    setPixelsPerUnit(h, zoom);
    mpfr_ui_div(h.get(), 1, h.get(), MPFR_RNDN);
    long exponent = 0;
    const double mantissa = mpfr_get_d_2exp(&exponent, h.get(), MPFR_RNDN);
    return FloatExp(mantissa, exponent);
}

std::optional<DoublesFrame> doublesFrameOf(const DeepCentre& view)
{
    const double step = pixelSpacing(view.zoom).toDouble();
    BigFloat exact(53);  // read once, rounded once: the double nearest the decimal
    DoublesFrame frame;
    if (!exact.setDecimal(view.re))
        return std::nullopt;
    frame.re = mpfr_get_d(exact.get(), MPFR_RNDN);
    if (!exact.setDecimal(view.im))
        return std::nullopt;
    frame.im = mpfr_get_d(exact.get(), MPFR_RNDN);
    frame.step = step;
    const double largest = std::max({std::abs(frame.re), std::abs(frame.im), 0.25});
    const double rounding = std::nextafter(largest, HUGE_VAL) - largest;
    if (!(step >= std::ldexp(rounding, kDoublesMarginBits)))
        return std::nullopt;
    return frame;
}

long centreDigitsFor(double zoom)
{
    return static_cast<long>(std::ceil(zoom)) + 20;
}

namespace {

DeepCentre movedTo(const DeepCentre& view, double dx, double dy, double zoom)
{
    DeepCentre next = view;
    next.zoom = zoom;
    const long bits = precisionFor(zoom) + 64;
    const long digits = centreDigitsFor(zoom);
    next.re = offsetPoint(view.re, dx, 1, view.zoom, bits).toDecimal(digits);
    next.im = offsetPoint(view.im, dy, -1, view.zoom, bits).toDecimal(digits);
    return next;
}

} // namespace

DeepCentre moveDeepCentre(const DeepCentre& view, double dx, double dy)
{
    return movedTo(view, dx, dy, view.zoom);
}

DeepCentre reframeDeep(const DeepCentre& view, double dx, double dy, double zoom)
{
    return movedTo(view, dx, dy, zoom);
}

DeepCentre zoomDeepAt(const DeepCentre& view, double dx, double dy)
{
    return movedTo(view, dx, dy, view.zoom + 1);
}

std::optional<PixelOffset> centreOffset(const DeepCentre& from, const DeepCentre& view)
{
    const long bits = precisionFor(std::max(from.zoom, view.zoom)) + 64;
    BigFloat ppu(bits), a(bits);
    setPixelsPerUnit(ppu, view.zoom);
    // Columns grow with re, rows against im.
    auto pixels = [&](const std::string& to, const std::string& at, BigFloat& d) {
        if (!d.setDecimal(to) || !a.setDecimal(at))
            return false;
        mpfr_sub(d.get(), d.get(), a.get(), MPFR_RNDN);
        mpfr_mul(d.get(), d.get(), ppu.get(), MPFR_RNDN);
        return true;
    };
    BigFloat dx(bits), dy(bits);
    if (!pixels(view.re, from.re, dx) || !pixels(from.im, view.im, dy))
        return std::nullopt;
    return PixelOffset{mpfr_get_d(dx.get(), MPFR_RNDN), mpfr_get_d(dy.get(), MPFR_RNDN)};
}

long long zoomOf(const ExplorerState& s)
{
    if (!(s.f1 >= 1))
        return 0;
    return std::llround(std::log10(s.f1));
}

DeepCentre deepViewOf(const ExplorerState& s, long long iterations)
{
    DeepCentre view;
    view.zoom = static_cast<double>(zoomOf(s));
    view.iterations = iterations;
    const long digits = centreDigitsFor(view.zoom);
    view.re = decimalOfDouble(planeX(s, kDeepCentrePixel), digits);
    view.im = decimalOfDouble(planeY(s, kDeepCentrePixel), digits);
    return view;
}

std::vector<Click> clicksToward(const DeepCentre& view)
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    ResetView(s);
    BigFloat re(128);
    BigFloat im(128);
    re.setDecimal(view.re);
    im.setDecimal(view.im);
    const double a = mpfr_get_d(re.get(), MPFR_RNDN);
    const double b = mpfr_get_d(im.get(), MPFR_RNDN);
    std::vector<Click> clicks;
    const long long zooms = std::min(static_cast<long long>(view.zoom), kMaxLegacyZoom);
    for (long long k = 0; k < zooms; ++k) {
        // The pixel under the target in the view as it is, kept on the
        // picture; the next, finer zoom takes up what this one misses.
        const double x = kDeepCentrePixel + (a - planeX(s, kDeepCentrePixel)) * s.zoomx1;
        const double y = kDeepCentrePixel + (planeY(s, kDeepCentrePixel) - b) * s.zoomy1;
        constexpr double kLast = 595.0;
        const Click c{static_cast<float>(std::clamp(x, 0.0, kLast)), static_cast<float>(std::clamp(y, 0.0, kLast))};
        clicks.push_back(c);
        ZoomAt(s, c.x, c.y);
    }
    return clicks;
}

} // namespace mandel
