#include "DeepSmooth.h"

#include "PixelOrbit.h"

namespace mandel {

DeepSmooth::DeepSmooth(const ReferenceOrbit& orbit, FloatExp spacing, const BlaTable* tables)
    : orbit_(orbit), tables_(tables && tables->endLevel() > tables->minLevel() ? tables : nullptr),
      spacingExp_(spacing), spacing_(spacing.toDouble())
{
}

double DeepSmooth::planeRe(double dx) const noexcept
{
    return orbit_.centreRe() + dx * spacing_;
}

double DeepSmooth::planeIm(double dy) const noexcept
{
    return orbit_.centreIm() - dy * spacing_;
}

DeepFinal DeepSmooth::finalValue(double dx, double dy, std::int32_t n) const
{
    if (spacing_ >= 0x1p-400)
        return finalInDoubles(dx, dy, n);
    const FloatExp h = spacingExp_;
    const ComplexExp dc(FloatExp(dx) * h, FloatExp(-dy) * h);
    const ComplexExp step(h, FloatExp());
    // The orbit's last index: past it, the pixel goes on from Z_0.
    const long long last = orbit_.size() - 1;
    // z_1 = c: the delta starts as dc at index 1, and dz/dx as h.
    ComplexExp delta = dc;
    ComplexExp derivative = step;
    long long m = 1;
    ComplexExp z = orbit_.exact(m) + delta;
    const ComplexExp two(2, 0);
    long long hint = 0;
    for (long long i = 1; i < n - 1;) {
        FloatExp d2 = delta.norm();
        if (lessMagnitude(z.norm(), d2) || m == last || (m > 0 && lessMagnitude(orbit_.exact(m).norm(), d2))) {
            delta = z;
            d2 = delta.norm();
            m = 0;
        }
        deep::TableRun run;
        if (tables_ && m > 0 && deep::findRun<deep::InWideRange>(*tables_, m, n - 1 - i, d2, run, hint)) {
            const BlaStepExp& s = deep::entryOf<deep::InWideRange>(*tables_, run);
            delta = s.a * delta + s.b * dc;
            derivative = s.a * derivative + s.b * step;
            m += run.steps;
            i += run.steps;
        } else {
            // dz/dx: 2 z z' + h; the delta: (2 Z + d) d + dc.
            derivative = two * z * derivative + step;
            delta = (two * orbit_.exact(m) + delta) * delta + dc;
            ++m;
            ++i;
        }
        z = orbit_.exact(m) + delta;
    }
    return {z.reDouble(), z.imDouble(), derivative.reDouble(), derivative.imDouble()};
}

DeepFinal DeepSmooth::finalInDoubles(double dx, double dy, std::int32_t n) const
{
    // The same steps as below in doubles: with pixels this far apart
    // neither the delta nor dz/dx comes near the bottom of their range.
    const double* Z = orbit_.values();
    const long long last = orbit_.size() - 1;
    const double dcr = dx * spacing_, dci = -dy * spacing_;
    double dr = dcr, di = dci;
    double vr = spacing_, vi = 0;
    long long m = 1;
    long long hint = 0;
    for (long long i = 1; i < n - 1; ++i) {
        double Zr = Z[2 * m], Zi = Z[2 * m + 1];
        const double zr = Zr + dr, zi = Zi + di;
        double d2 = dr * dr + di * di;
        if (zr * zr + zi * zi < d2 || m == last || (m > 0 && Zr * Zr + Zi * Zi < d2)) {
            dr = zr;
            di = zi;
            d2 = dr * dr + di * di;
            m = 0;
            Zr = Zi = 0;
        }
        deep::TableRun run;
        if (tables_ && m > 0 && deep::findRun<deep::InDoubles>(*tables_, m, n - 1 - i, d2, run, hint)) {
            // The run's steps at once; the loop's own step is the last of
            // them.
            const BlaStep& s = deep::entryOf<deep::InDoubles>(*tables_, run);
            const double nr = (s.ar * dr - s.ai * di) + (s.bhr * dx + s.bhi * dy);
            di = (s.ar * di + s.ai * dr) + (s.bhi * dx - s.bhr * dy);
            dr = nr;
            const double nvr = (s.ar * vr - s.ai * vi) + s.bhr;
            vi = (s.ar * vi + s.ai * vr) + s.bhi;
            vr = nvr;
            m += run.steps;
            i += run.steps - 1;
            continue;
        }
        const double nvr = 2.0 * (zr * vr - zi * vi) + spacing_;
        vi = 2.0 * (zr * vi + zi * vr);
        vr = nvr;
        const double tr = 2.0 * Zr + dr, ti = 2.0 * Zi + di;
        const double nr = (tr * dr - ti * di) + dcr;
        di = (tr * di + ti * dr) + dci;
        dr = nr;
        ++m;
    }
    return {Z[2 * m] + dr, Z[2 * m + 1] + di, vr, vi};
}

} // namespace mandel
