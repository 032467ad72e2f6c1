// The extended-exponent numbers against MPFR, on values far outside the
// double range, near its edges and inside it: each result within 2^-50 of
// the exact one (of the larger part for complex numbers, whose parts share
// one exponent).

#include "BigFloat.h"
#include "FloatExp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace mandel {
namespace {

using Op = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);

BigFloat big(double m, std::int64_t e)
{
    BigFloat b(512);
    mpfr_set_d(b.get(), m, MPFR_RNDN);
    mpfr_mul_2si(b.get(), b.get(), static_cast<long>(e), MPFR_RNDN);
    return b;
}

BigFloat apply(Op op, const BigFloat& a, const BigFloat& b)
{
    BigFloat r(512);
    op(r.get(), a.get(), b.get(), MPFR_RNDN);
    return r;
}

::testing::AssertionResult near(double m, std::int64_t e, const BigFloat& want, const BigFloat& scale)
{
    BigFloat bound = big(1, -50);
    mpfr_mul(bound.get(), bound.get(), scale.get(), MPFR_RNDN);
    if (mpfr_cmpabs(apply(mpfr_sub, big(m, e), want).get(), bound.get()) <= 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << m << " * 2^" << e;
}
::testing::AssertionResult near(FloatExp x, const BigFloat& want) { return near(x.m, x.e, want, want); }
::testing::AssertionResult near(const ComplexExp& z, const BigFloat& re, const BigFloat& im)
{
    const BigFloat& scale = mpfr_cmpabs(re.get(), im.get()) > 0 ? re : im;
    if (auto ok = near(z.re, z.e, re, scale); !ok)
        return ok << " (real part)";
    return near(z.im, z.e, im, scale) << " (imaginary part)";
}

// a = (ar + ai i) 2^ae and b = (br + bi i) 2^be; the real numbers are ar 2^ae and br 2^be.
struct Pair {
    const char* name;
    double ar, ai;
    long ae;
    double br, bi;
    long be;
};

class ExtendedRange : public ::testing::TestWithParam<Pair> {};

TEST_P(ExtendedRange, AgreesWithHighPrecision)
{
    const Pair& p = GetParam();
    const FloatExp a(p.ar, p.ae), b(p.br, p.be);
    const BigFloat ar = big(p.ar, p.ae), ai = big(p.ai, p.ae), br = big(p.br, p.be), bi = big(p.bi, p.be);
    EXPECT_TRUE(near(a * b, apply(mpfr_mul, ar, br))) << "product";
    EXPECT_TRUE(near(a + b, apply(mpfr_add, ar, br))) << "sum";
    EXPECT_TRUE(near(a - b, apply(mpfr_sub, ar, br))) << "difference";
    EXPECT_TRUE(near(a / b, apply(mpfr_div, ar, br))) << "quotient";
    BigFloat root(512);
    mpfr_abs(root.get(), ar.get(), MPFR_RNDN);
    mpfr_sqrt(root.get(), root.get(), MPFR_RNDN);
    EXPECT_TRUE(near(sqrt(abs(a)), root)) << "square root";
    EXPECT_EQ(lessMagnitude(a, b), mpfr_cmpabs(ar.get(), br.get()) < 0) << "order";
    EXPECT_EQ(a.toDouble(), mpfr_get_d(ar.get(), MPFR_RNDN)) << "as a double";

    const ComplexExp za(p.ar, p.ai, p.ae), zb(p.br, p.bi, p.be);
    EXPECT_TRUE(near(za + zb, apply(mpfr_add, ar, br), apply(mpfr_add, ai, bi))) << "complex sum";
    EXPECT_TRUE(near(za * zb, apply(mpfr_sub, apply(mpfr_mul, ar, br), apply(mpfr_mul, ai, bi)),
                     apply(mpfr_add, apply(mpfr_mul, ar, bi), apply(mpfr_mul, ai, br))))
        << "complex product";
    EXPECT_TRUE(near(square(za), apply(mpfr_sub, apply(mpfr_mul, ar, ar), apply(mpfr_mul, ai, ai)),
                     apply(mpfr_mul, apply(mpfr_add, ar, ar), ai)))
        << "square";
    EXPECT_TRUE(near(za.norm(), apply(mpfr_add, apply(mpfr_mul, ar, ar), apply(mpfr_mul, ai, ai)))) << "norm";
}

INSTANTIATE_TEST_SUITE_P(
    Values, ExtendedRange,
    ::testing::Values(Pair{"Ordinary", 1.5, -1.5, 3, -1.25, 0.25, -2},
                      Pair{"FarBelowDoubles", 1.75, 0.5, -3300, 1.125, -1.5, -3290},
                      Pair{"FarAboveDoubles", -1.5, 1.0, 4000, 1.9, 0.0, 3999},
                      Pair{"AcrossTheRange", 1.5, -1.0, -5000, 1.5, 0.5, 5000},
                      Pair{"NearlyCancelling", 1.0000000001, 0.0, -700, -1.0, 0.0, -700},
                      Pair{"UnevenParts", 1.0, 0x1p-60, -900, 0x1p-70, 1.0, -905},
                      Pair{"SubnormalInput", 0x1p-1070, 0.0, 0, 1.5, 0.0, 0},
                      Pair{"ZeroAndTiny", 0.0, 0.0, 0, 1.25, -1.0, -2000},
                      Pair{"OneNegligible", 1.5, 1.0, 0, 1.5, 1.0, -80},
                      Pair{"RoundsToEvenAtTheBottom", 1.5, 0.0, -1074, 1.0, 0.0, 0},
                      Pair{"BelowTheSmallestDouble", 1.5, 0.0, -1080, 1.0, 0.0, 0},
                      Pair{"AboveTheLargestDouble", -1.5, 0.0, 2000, 1.0, 0.0, 0},
                      Pair{"InTheLargestBinade", 1.5, 0.0, 1023, 1.0, 0.0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace mandel
