// The extended-exponent numbers against MPFR: products, sums and squares
// of values far outside the double range, near its edges and inside it.

#include "BigFloat.h"
#include "FloatExp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace mandel {
namespace {

// x as an MPFR number.
BigFloat big(FloatExp x)
{
    BigFloat b(128);
    mpfr_set_d(b.get(), x.m, MPFR_RNDN);
    mpfr_mul_2si(b.get(), b.get(), static_cast<long>(x.e), MPFR_RNDN);
    return b;
}

// |x - expected| <= 2^-50 |expected| (or both zero).
::testing::AssertionResult near(FloatExp x, mpfr_srcptr expected)
{
    BigFloat diff(128);
    mpfr_sub(diff.get(), big(x).get(), expected, MPFR_RNDN);
    if (mpfr_zero_p(diff.get()))
        return ::testing::AssertionSuccess();
    BigFloat bound(128);
    mpfr_abs(bound.get(), expected, MPFR_RNDN);
    mpfr_mul_2si(bound.get(), bound.get(), -50, MPFR_RNDN);
    mpfr_abs(diff.get(), diff.get(), MPFR_RNDN);
    if (mpfr_cmp(diff.get(), bound.get()) <= 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << x.m << " * 2^" << x.e;
}

struct Pair {
    const char* name;
    double am;
    long ae;
    double bm;
    long be;
};

class FloatExpArithmetic : public ::testing::TestWithParam<Pair> {};

TEST_P(FloatExpArithmetic, AgreesWithHighPrecision)
{
    const Pair& p = GetParam();
    const FloatExp a(p.am, p.ae);
    const FloatExp b(p.bm, p.be);
    BigFloat want(128);
    mpfr_mul(want.get(), big(a).get(), big(b).get(), MPFR_RNDN);
    EXPECT_TRUE(near(a * b, want.get())) << "product";
    mpfr_add(want.get(), big(a).get(), big(b).get(), MPFR_RNDN);
    EXPECT_TRUE(near(a + b, want.get())) << "sum";
    mpfr_sub(want.get(), big(a).get(), big(b).get(), MPFR_RNDN);
    EXPECT_TRUE(near(a - b, want.get())) << "difference";
    if (!b.isZero()) {
        mpfr_div(want.get(), big(a).get(), big(b).get(), MPFR_RNDN);
        EXPECT_TRUE(near(a / b, want.get())) << "quotient";
    }
    mpfr_abs(want.get(), big(a).get(), MPFR_RNDN);
    mpfr_sqrt(want.get(), want.get(), MPFR_RNDN);
    EXPECT_TRUE(near(sqrt(abs(a)), want.get())) << "square root";
    // The order of magnitudes, as the tables compare radii.
    EXPECT_EQ(lessMagnitude(abs(a), abs(b)), mpfr_cmpabs(big(a).get(), big(b).get()) < 0);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FloatExpArithmetic,
    ::testing::Values(Pair{"Ordinary", 1.5, 3, -1.25, -2}, Pair{"FarBelowDoubles", 1.75, -3000, 1.125, -2990},
                      Pair{"FarAboveDoubles", -1.5, 4000, 1.9, 3999}, Pair{"AcrossTheRange", 1.5, -5000, 1.5, 5000},
                      Pair{"NearlyCancelling", 1.0000000001, -700, -1.0, -700},
                      Pair{"SubnormalInput", 0x1p-1070, 0, 1.5, 0}, Pair{"ZeroAndTiny", 0.0, 0, 1.25, -2000},
                      Pair{"OneNegligible", 1.5, 0, 1.5, -80}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FloatExp, ConvertsToTheNearestDoubleOrItsLimits)
{
    EXPECT_EQ(FloatExp(0.3).toDouble(), 0.3);
    EXPECT_EQ(FloatExp(1.5, -1074).toDouble(), 0x1p-1073);  // rounds to even at the bottom
    EXPECT_EQ(FloatExp(1.5, -1080).toDouble(), 0.0);
    EXPECT_EQ(FloatExp(-1.5, 2000).toDouble(), -HUGE_VAL);
    EXPECT_EQ(FloatExp(1.5, 1023).toDouble(), 0x1.8p1023);
}

struct ComplexCase {
    const char* name;
    double ar, ai;
    long ae;
    double br, bi;
    long be;
};

// (re + im i) 2^e in MPFR.
void bigComplex(double re, double im, long e, BigFloat& r, BigFloat& i)
{
    mpfr_set_d(r.get(), re, MPFR_RNDN);
    mpfr_mul_2si(r.get(), r.get(), e, MPFR_RNDN);
    mpfr_set_d(i.get(), im, MPFR_RNDN);
    mpfr_mul_2si(i.get(), i.get(), e, MPFR_RNDN);
}

// Each part within 2^-50 of the larger part's size: shared exponents keep
// the precision relative to the whole number.
::testing::AssertionResult nearComplex(const ComplexExp& z, mpfr_srcptr re, mpfr_srcptr im)
{
    BigFloat scale(128);
    mpfr_set(scale.get(), mpfr_cmpabs(re, im) > 0 ? re : im, MPFR_RNDN);
    mpfr_abs(scale.get(), scale.get(), MPFR_RNDN);
    mpfr_mul_2si(scale.get(), scale.get(), -50, MPFR_RNDN);
    for (int part = 0; part < 2; ++part) {
        BigFloat got(128);
        mpfr_set_d(got.get(), part == 0 ? z.re : z.im, MPFR_RNDN);
        mpfr_mul_2si(got.get(), got.get(), static_cast<long>(z.e), MPFR_RNDN);
        mpfr_sub(got.get(), got.get(), part == 0 ? re : im, MPFR_RNDN);
        mpfr_abs(got.get(), got.get(), MPFR_RNDN);
        if (mpfr_cmp(got.get(), scale.get()) > 0)
            return ::testing::AssertionFailure() << (part == 0 ? "real" : "imaginary") << " part off";
    }
    return ::testing::AssertionSuccess();
}

class ComplexExpArithmetic : public ::testing::TestWithParam<ComplexCase> {};

TEST_P(ComplexExpArithmetic, AgreesWithHighPrecision)
{
    const ComplexCase& c = GetParam();
    const ComplexExp a(c.ar, c.ai, c.ae);
    const ComplexExp b(c.br, c.bi, c.be);
    BigFloat ar(256), ai(256), br(256), bi(256), r(256), i(256), t(256);
    bigComplex(c.ar, c.ai, c.ae, ar, ai);
    bigComplex(c.br, c.bi, c.be, br, bi);
    // product
    mpfr_mul(r.get(), ar.get(), br.get(), MPFR_RNDN);
    mpfr_mul(t.get(), ai.get(), bi.get(), MPFR_RNDN);
    mpfr_sub(r.get(), r.get(), t.get(), MPFR_RNDN);
    mpfr_mul(i.get(), ar.get(), bi.get(), MPFR_RNDN);
    mpfr_mul(t.get(), ai.get(), br.get(), MPFR_RNDN);
    mpfr_add(i.get(), i.get(), t.get(), MPFR_RNDN);
    EXPECT_TRUE(nearComplex(a * b, r.get(), i.get())) << "product";
    // sum
    mpfr_add(r.get(), ar.get(), br.get(), MPFR_RNDN);
    mpfr_add(i.get(), ai.get(), bi.get(), MPFR_RNDN);
    EXPECT_TRUE(nearComplex(a + b, r.get(), i.get())) << "sum";
    // square
    mpfr_sqr(r.get(), ar.get(), MPFR_RNDN);
    mpfr_sqr(t.get(), ai.get(), MPFR_RNDN);
    mpfr_sub(r.get(), r.get(), t.get(), MPFR_RNDN);
    mpfr_mul(i.get(), ar.get(), ai.get(), MPFR_RNDN);
    mpfr_mul_2ui(i.get(), i.get(), 1, MPFR_RNDN);
    EXPECT_TRUE(nearComplex(square(a), r.get(), i.get())) << "square";
    // |a|^2 and the parts as doubles
    mpfr_sqr(r.get(), ar.get(), MPFR_RNDN);
    mpfr_sqr(t.get(), ai.get(), MPFR_RNDN);
    mpfr_add(r.get(), r.get(), t.get(), MPFR_RNDN);
    EXPECT_TRUE(near(a.norm(), r.get())) << "norm";
    EXPECT_EQ(a.reDouble(), mpfr_get_d(ar.get(), MPFR_RNDN));
    EXPECT_EQ(a.imDouble(), mpfr_get_d(ai.get(), MPFR_RNDN));
}

INSTANTIATE_TEST_SUITE_P(
    Values, ComplexExpArithmetic,
    ::testing::Values(ComplexCase{"Ordinary", 0.75, -1.5, 0, 2.0, 0.25, 1},
                      ComplexCase{"DeepDeltas", 1.25, 0.5, -3300, -0.75, 1.5, -3310},
                      ComplexCase{"HugeTimesTiny", 1.5, -1.0, 3000, 0.5, 0.5, -3100},
                      ComplexCase{"UnevenParts", 1.0, 0x1p-60, -900, 0x1p-70, 1.0, -905},
                      ComplexCase{"OneNegligible", 1.0, 1.0, 0, 1.0, 1.0, -200},
                      ComplexCase{"Zero", 0.0, 0.0, 0, 1.0, -1.0, -2000}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace mandel
