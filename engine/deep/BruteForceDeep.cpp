#include "BruteForceDeep.h"

#include "BigFloat.h"
#include "DeepView.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace mandel {

BruteForceDeep::BruteForceDeep(DeepCentre view) : view_(std::move(view)) {}

void BruteForceDeep::setPoint(double dx, double dy, BigFloat& cr, BigFloat& ci) const
{
    // c = (a + dx h, b - dy h), h = 1 / (150 * 10^K), at cr's precision.
    const long bits = static_cast<long>(mpfr_get_prec(cr.get()));
    BigFloat step(bits), t(bits);
    cr.setDecimal(view_.re);
    ci.setDecimal(view_.im);
    setPixelsPerUnit(step, view_.zoom);
    mpfr_set_d(t.get(), dx, MPFR_RNDN);
    mpfr_div(t.get(), t.get(), step.get(), MPFR_RNDN);
    mpfr_add(cr.get(), cr.get(), t.get(), MPFR_RNDN);
    mpfr_set_d(t.get(), dy, MPFR_RNDN);
    mpfr_div(t.get(), t.get(), step.get(), MPFR_RNDN);
    mpfr_sub(ci.get(), ci.get(), t.get(), MPFR_RNDN);
}

PointResult BruteForceDeep::compute(double dx, double dy, long bits) const
{
    if (bits <= 0)
        bits = precisionFor(view_.zoom);
    BigFloat cr(bits), ci(bits), t(bits);
    setPoint(dx, dy, cr, ci);

    // The legacy loop, statement by statement: the test reads the squares
    // taken at the start of the previous step.
    BigFloat zr(bits), zi(bits), zr2(bits), zi2(bits), sum(bits);
    const long long cap = view_.iterations;
    long long n = 1;
    for (;;) {
        mpfr_add(sum.get(), zr2.get(), zi2.get(), MPFR_RNDN);
        if (n >= cap || mpfr_cmp_ui(sum.get(), 4) >= 0)
            break;
        mpfr_sqr(zr2.get(), zr.get(), MPFR_RNDN);
        mpfr_sqr(zi2.get(), zi.get(), MPFR_RNDN);
        mpfr_mul(t.get(), zi.get(), zr.get(), MPFR_RNDN);
        mpfr_mul_2ui(t.get(), t.get(), 1, MPFR_RNDN);
        mpfr_add(zi.get(), t.get(), ci.get(), MPFR_RNDN);
        mpfr_sub(zr.get(), zr2.get(), zi2.get(), MPFR_RNDN);
        mpfr_add(zr.get(), zr.get(), cr.get(), MPFR_RNDN);
        ++n;
    }
    return {mpfr_get_d(zi.get(), MPFR_RNDN), static_cast<std::int32_t>(n)};
}

double BruteForceDeep::smoothValue(double dx, double dy, long bits) const
{
    if (bits <= 0)
        bits = precisionFor(view_.zoom);
    BigFloat cr(bits), ci(bits), t(bits);
    setPoint(dx, dy, cr, ci);
    // z_i until |z_i| >= 2 (the count n is then i + 2) or the cap, then on
    // to |z| >= 65536: nu = n + 2 + k - log2(log2 |z_(n-1+k)|).
    BigFloat zr(bits), zi(bits), zr2(bits), zi2(bits), sum(bits);
    const long long cap = view_.iterations;
    long long i = 0;
    long long escapedAt = -1;
    for (int k = 0; k <= 64; ++i) {
        mpfr_sqr(zr2.get(), zr.get(), MPFR_RNDN);
        mpfr_sqr(zi2.get(), zi.get(), MPFR_RNDN);
        mpfr_add(sum.get(), zr2.get(), zi2.get(), MPFR_RNDN);
        if (escapedAt < 0 && mpfr_cmp_ui(sum.get(), 4) >= 0) {
            if (i + 2 >= cap)
                return -1;
            escapedAt = i;
        }
        if (escapedAt < 0 && i + 2 >= cap)
            return -1;
        // Past z_(n-1) = z_(i+1), the extra steps.
        if (escapedAt >= 0 && i >= escapedAt + 1) {
            if (mpfr_cmp_d(sum.get(), 65536.0 * 65536.0) >= 0 || k == 64) {
                const double log2Radius = 0.5 * std::log2(mpfr_get_d(sum.get(), MPFR_RNDN));
                return static_cast<double>(escapedAt + 2) + 2.0 + static_cast<double>(k) - std::log2(log2Radius);
            }
            ++k;
        }
        mpfr_mul(t.get(), zi.get(), zr.get(), MPFR_RNDN);
        mpfr_mul_2ui(t.get(), t.get(), 1, MPFR_RNDN);
        mpfr_add(zi.get(), t.get(), ci.get(), MPFR_RNDN);
        mpfr_sub(zr.get(), zr2.get(), zi2.get(), MPFR_RNDN);
        mpfr_add(zr.get(), zr.get(), cr.get(), MPFR_RNDN);
    }
    return -1;
}

BruteForceResult BruteForceDeep::check(double dx, double dy) const
{
    const long bits = precisionFor(view_.zoom);
    BruteForceResult out;
    out.result = compute(dx, dy, bits);
    out.ambiguous = compute(dx, dy, bits + 64).n != out.result.n;
    return out;
}

} // namespace mandel
