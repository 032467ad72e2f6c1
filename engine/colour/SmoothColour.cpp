#include "SmoothColour.h"

#include "PointResult.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <mutex>
#include <string>

namespace mandel {

namespace {

double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

double srgbToLinear(double s)
{
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}

} // namespace

SmoothPoint finishSmooth(double cr, double ci, int n, int cap, double zr, double zi, double dzr, double dzi) noexcept
{
    SmoothPoint p;
    p.n = n;
    if (n >= cap)
        return p;
    p.inside = false;
    double r2 = zr * zr + zi * zi;
    int k = 0;
    while (r2 < kSmoothRadius * kSmoothRadius && k < kMaxExtraSteps) {
        const double ndr = 2.0 * (zr * dzr - zi * dzi) + 1.0;
        const double ndi = 2.0 * (zr * dzi + zi * dzr);
        const double nzi = (2.0 * zi) * zr + ci;
        zr = (zr * zr - zi * zi) + cr;
        zi = nzi;
        dzr = ndr;
        dzi = ndi;
        r2 = zr * zr + zi * zi;
        ++k;
    }
    const double log2Radius = 0.5 * std::log2(r2);
    p.nu = static_cast<double>(n) + 2.0 + static_cast<double>(k) - std::log2(log2Radius);
    const double dz = std::hypot(dzr, dzi);
    const double radius = std::sqrt(r2);
    p.distance = dz > 0 ? radius * std::log(radius) / dz : 0;
    // z / z' as a direction: z * conj(z').
    const double ur = zr * dzr + zi * dzi;
    const double ui = zi * dzr - zr * dzi;
    const double u = std::hypot(ur, ui);
    if (u > 0) {
        p.slopeRe = ur / u;
        p.slopeIm = ui / u;
    }
    return p;
}

SmoothPoint iterateSmooth(double cr, double ci) noexcept
{
    double zr = 0, zi = 0, zr2 = 0, zi2 = 0, dzr = 0, dzi = 0;
    int n = 1;
    // The legacy loop, step for step, with z' = 2 z z' + 1 taken from the
    // value before each step.
    while ((n < kMaxIterations) & (zr2 + zi2 < 4.0)) {
        const double ndr = 2.0 * (zr * dzr - zi * dzi) + 1.0;
        const double ndi = 2.0 * (zr * dzi + zi * dzr);
        dzr = ndr;
        dzi = ndi;
        zr2 = zr * zr;
        zi2 = zi * zi;
        zi = (2.0 * zi) * zr + ci;
        zr = (zr2 - zi2) + cr;
        n = n + 1;
    }
    return finishSmooth(cr, ci, n, kMaxIterations, zr, zi, dzr, dzi);
}

const std::array<double, 256>& srgbDecoded() noexcept
{
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int v = 0; v < 256; ++v) {
            t[static_cast<std::size_t>(v)] = srgbToLinear(v / 255.0);
        }
        return t;
    }();
    return table;
}

double decodeSrgb(std::uint8_t value) noexcept
{
    return srgbDecoded()[value];
}

std::uint8_t encodeSrgb(double linear) noexcept
{
    return static_cast<std::uint8_t>(srgbEncoding().count(linear));
}

Colour colourOf(const LinearRgb& c) noexcept
{
    return composeColour(encodeSrgb(c.red), encodeSrgb(c.green), encodeSrgb(c.blue));
}

GradientMap::GradientMap(const SmoothColours& colours)
    : density_(colours.density > 0 ? colours.density : 1), offset_(colours.offset), log_(colours.logDensity),
      shading_(colours.shading)
{
    const auto stops = stopsOf(colours);
    for (const GradientStop& s : stops) {
        // Linear sRGB to OKLab (Ottosson's matrices).
        const double r = decodeSrgb(s.red), g = decodeSrgb(s.green), b = decodeSrgb(s.blue);
        const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
        const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
        const double q = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
        at_.push_back(s.at);
        lab_.push_back({0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * q,
                        1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * q,
                        0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * q});
    }
    if (at_.empty()) {
        at_.push_back(0);
        lab_.push_back({0, 0, 0});
    }
    if (const BuiltInPalette* p = colours.palette.empty() ? nullptr : findPalette(colours.palette))
        interior_ = {decodeSrgb(p->interior[0]), decodeSrgb(p->interior[1]), decodeSrgb(p->interior[2])};
}

LinearRgb GradientMap::gradientAt(double t) const noexcept
{
    // The stop at or before t, and the one after it (the first again, a
    // cycle on, past the last).
    const auto after = std::upper_bound(at_.begin(), at_.end(), t) - at_.begin();
    const std::size_t count = at_.size();
    const std::size_t hi = static_cast<std::size_t>(after) % count;
    const std::size_t lo = (static_cast<std::size_t>(after) + count - 1) % count;
    double from = at_[lo], to = at_[hi];
    double x = t;
    if (after == 0)
        from -= 1;
    if (static_cast<std::size_t>(after) == count)
        to += 1;
    const double w = to > from ? (x - from) / (to - from) : 0;
    const Lab& a = lab_[lo];
    const Lab& b = lab_[hi];
    const double L = a.l + (b.l - a.l) * w, A = a.a + (b.a - a.a) * w, B = a.b + (b.b - a.b) * w;
    const double l = L + 0.3963377774 * A + 0.2158037573 * B;
    const double m = L - 0.1055613458 * A - 0.0638541728 * B;
    const double q = L - 0.0894841775 * A - 1.2914855480 * B;
    const double l3 = l * l * l, m3 = m * m * m, q3 = q * q * q;
    return {clamp01(4.0767416621 * l3 - 3.3077115913 * m3 + 0.2309699292 * q3),
            clamp01(-1.2684380046 * l3 + 2.6097574011 * m3 - 0.3413193965 * q3),
            clamp01(-0.0041960863 * l3 - 0.7034186147 * m3 + 1.7076147010 * q3)};
}

double GradientMap::positionOf(double nu) const noexcept
{
    const double cycles = (log_ ? std::log2(std::max(nu, 1.0)) : nu) / density_ + offset_;
    const double t = cycles - std::floor(cycles);
    return t < 1 ? t : 0;
}

LinearRgb GradientMap::colourOf(const SmoothPoint& p, double pixel) const noexcept
{
    if (p.inside)
        return interior_;
    LinearRgb c = gradientAt(positionOf(p.nu));
    double light = 1;
    if (shading_ == Shading::Distance) {
        // Within a pixel of the boundary darkens, so filaments show as
        // thin lines at any zoom.
        light = pixel > 0 ? clamp01(p.distance / pixel) : 1;
    } else if (shading_ == Shading::Slopes) {
        const double facing = (p.slopeRe * kLightRe + p.slopeIm * kLightIm + kLightHeight) / (1 + kLightHeight);
        light = 1 - kSlopeStrength + kSlopeStrength * clamp01(facing);
    }
    c.red *= light;
    c.green *= light;
    c.blue *= light;
    return c;
}

double seriesLog2(double x) noexcept
{
    // x = m 2^e with m in [sqrt(1/2), sqrt(2)); log2 m = 2/ln 2 atanh(s),
    // s = (m - 1) / (m + 1), |s| < 0.172, whose series to s^9 leaves < 1.1e-9.
    const auto bits = std::bit_cast<std::uint64_t>(x);
    std::int64_t e = static_cast<std::int64_t>(bits >> 52) - 1023;
    double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    if (m > 1.4142135623730951) {
        m = m * 0.5;
        e = e + 1;
    }
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double p = kLog2Series[kLog2Terms - 1];
    for (int i = kLog2Terms - 2; i >= 0; --i)
        p = p * s2 + kLog2Series[i];
    return static_cast<double>(e) + s * p;
}

StepLookup::StepLookup(std::vector<double> rising, int cells, double last)
    : thresholds(std::move(rising)), scale(static_cast<double>(cells)), top(last)
{
    base.resize(static_cast<std::size_t>(cells) + 1);
    for (int c = 0; c <= cells; ++c) {
        const double lo = c / scale, hi = (c + 1) / scale;
        const auto below = std::upper_bound(thresholds.begin(), thresholds.end(), lo);
        base[static_cast<std::size_t>(c)] = below - thresholds.begin();
        checks = std::max(checks, static_cast<int>(std::upper_bound(below, thresholds.end(), hi) - below));
    }
    thresholds.push_back(std::numeric_limits<double>::infinity());
}

std::size_t StepLookup::count(double x) const noexcept
{
    const double y = x > 0 ? std::min(x, top) : 0;
    auto a = base[static_cast<std::size_t>(static_cast<std::int64_t>(std::floor(y * scale)))];
    for (int j = 0; j < checks; ++j)
        a += y >= thresholds[static_cast<std::size_t>(a)] ? 1 : 0;
    return static_cast<std::size_t>(a);
}

const StepLookup& srgbEncoding() noexcept
{
    static const StepLookup encoding = [] {
        std::vector<double> halfway;
        for (int v = 1; v <= 255; ++v)
            halfway.push_back(srgbToLinear((static_cast<double>(v) - 0.5) / 255.0));
        return StepLookup(std::move(halfway), kEncodeCells, 1.0);
    }();
    return encoding;
}

namespace {

GradientCells makeCells(const SmoothColours& colours)
{
    GradientCells cells;
    cells.encode = srgbEncoding();
    const GradientMap map(colours);
    const Colour inside = mandel::colourOf(map.colourOf(SmoothPoint{}, 0));
    cells.interior = static_cast<std::uint32_t>(redOf(inside) | greenOf(inside) << 8 | blueOf(inside) << 16);
    cells.colours.push_back(cells.interior);
    for (int c = 0; c < kGradientCells; ++c) {
        const LinearRgb at = map.gradientAt((c + 0.5) / kGradientCells);
        cells.red.push_back(at.red);
        cells.green.push_back(at.green);
        cells.blue.push_back(at.blue);
        cells.packed.push_back(static_cast<std::int64_t>(cells.encode.count(at.red) | cells.encode.count(at.green) << 8 |
                                                         cells.encode.count(at.blue) << 16));
        cells.colours.push_back(static_cast<std::uint32_t>(cells.packed.back()));
    }
    return cells;
}

} // namespace

std::shared_ptr<const GradientCells> gradientCellsOf(const SmoothColours& colours)
{
    // The window redraws, a dive draws frame after frame, in the same
    // colours: a few hundred microseconds each time, kept instead.
    struct Kept {
        std::vector<GradientStop> stops;
        std::string palette;
        std::shared_ptr<const GradientCells> cells;
    };
    constexpr std::size_t kKept = 8;
    static std::mutex mutex;
    static std::vector<Kept> kept;
    static std::size_t oldest = 0;
    const auto stops = stopsOf(colours);
    const std::string palette = colours.palette.empty() || !findPalette(colours.palette) ? "" : colours.palette;
    const std::scoped_lock lock(mutex);
    for (const Kept& k : kept)
        if (k.palette == palette && std::equal(stops.begin(), stops.end(), k.stops.begin(), k.stops.end()))
            return k.cells;
    Kept made{{stops.begin(), stops.end()}, palette, std::make_shared<const GradientCells>(makeCells(colours))};
    auto cells = made.cells;
    if (kept.size() < kKept) {
        kept.push_back(std::move(made));
    } else {
        kept[oldest] = std::move(made);
        oldest = (oldest + 1) % kKept;
    }
    return cells;
}

SampleColouring::SampleColouring(const SmoothColours& colours, double pixelWidth)
    : cells(gradientCellsOf(colours)), interior(cells->interior), shading(colours.shading),
      needsDerivative(colours.shading != Shading::None), logDensity(colours.logDensity),
      density(colours.density > 0 ? colours.density : 1), offset(colours.offset), pixel(pixelWidth)
{
}

std::uint32_t SampleColouring::colourEscaped(double cr, double ci, int n, double zr, double zi, double dzr,
                                             double dzi) const noexcept
{
    double r2 = zr * zr + zi * zi;
    int k = 0;
    while (r2 < kSmoothRadius * kSmoothRadius && k < kMaxExtraSteps) {
        if (needsDerivative) {
            const double ndr = 2.0 * (zr * dzr - zi * dzi) + derivativeStep;
            const double ndi = 2.0 * (zr * dzi + zi * dzr);
            dzr = ndr;
            dzi = ndi;
        }
        const double nzi = (2.0 * zi) * zr + ci;
        zr = (zr * zr - zi * zi) + cr;
        zi = nzi;
        r2 = zr * zr + zi * zi;
        ++k;
    }
    const double log2Radius = 0.5 * seriesLog2(r2);
    const double nu = static_cast<double>(n) + 2.0 + static_cast<double>(k) - seriesLog2(log2Radius);
    const double cycles = (logDensity ? seriesLog2(std::max(nu, 1.0)) : nu) / density + offset;
    double t = cycles - std::floor(cycles);
    t = t < 1 ? t : 0;
    const auto cell = static_cast<std::size_t>(static_cast<std::int64_t>(std::floor(t * kGradientCells)));
    if (shading == Shading::None)
        return static_cast<std::uint32_t>(cells->packed[cell]);
    double light = 1;
    if (shading == Shading::Distance) {
        const double dz = std::sqrt(dzr * dzr + dzi * dzi);
        const double distance = dz > 0 ? std::sqrt(r2) * (log2Radius * kLn2) / dz : 0;
        light = pixel > 0 ? clamp01(distance / pixel) : 1;
    } else {
        const double ur = zr * dzr + zi * dzi;
        const double ui = zi * dzr - zr * dzi;
        const double u = std::sqrt(ur * ur + ui * ui);
        const double sr = u > 0 ? ur / u : 0;
        const double si = u > 0 ? ui / u : 0;
        const double facing = (sr * kLightRe + si * kLightIm + kLightHeight) / (1 + kLightHeight);
        light = 1 - kSlopeStrength + kSlopeStrength * clamp01(facing);
    }
    const GradientCells& g = *cells;
    return static_cast<std::uint32_t>(g.encode.count(g.red[cell] * light) | g.encode.count(g.green[cell] * light) << 8 |
                                      g.encode.count(g.blue[cell] * light) << 16);
}

} // namespace mandel
