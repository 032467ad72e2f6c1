// The reference orbit: its values against iterating in doubles where
// doubles suffice and against MPFR where they do not, where it ends,
// extending it, and what it refuses.

#include "BigFloat.h"
#include "DeepViews.h"
#include "ReferenceOrbit.h"

#include <gtest/gtest.h>

#include <complex>
#include <string>

namespace mandel {
namespace {

std::unique_ptr<ReferenceOrbit> orbitOf(const DeepCentre& view, const WorkControl& control = {})
{
    auto orbit = ReferenceOrbit::compute(view, control);
    EXPECT_TRUE(orbit.ok()) << (orbit.ok() ? "" : orbit.error());
    return std::move(orbit.value());
}

struct EndCase {
    const char* name;
    const char* re;
    const char* im;
    long long iterations;
    long long size;  // values stored
    bool escaped;
};

class ReferenceOrbitEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(ReferenceOrbitEnd, StopsAtTheCapOrWhereItLeavesTheDisc)
{
    const EndCase& c = GetParam();
    const auto orbit = orbitOf({c.re, c.im, 3, c.iterations});
    EXPECT_EQ(orbit->size(), c.size);
    EXPECT_EQ(orbit->escaped(), c.escaped);
    // Short orbits in doubles: the same values, step for step.
    std::complex<double> z = 0;
    const std::complex<double> centre(std::stod(c.re), std::stod(c.im));
    for (long long m = 0; m < std::min<long long>(orbit->size(), 40); ++m) {
        EXPECT_NEAR(orbit->values()[2 * m], z.real(), 1e-12 * (1 + std::abs(z))) << m;
        EXPECT_NEAR(orbit->values()[2 * m + 1], z.imag(), 1e-12 * (1 + std::abs(z))) << m;
        z = z * z + centre;
    }
}

INSTANTIATE_TEST_SUITE_P(Centres, ReferenceOrbitEnd,
                         ::testing::Values(EndCase{"Origin", "0", "0", 500, 500, false},
                                           EndCase{"TipOfTheNeedle", "-2", "0", 500, 2, true},
                                           EndCase{"Outside", "0.5", "0.5", 500, 6, true},
                                           EndCase{"Cardioid", "-0.1", "0.2", 300, 300, false},
                                           EndCase{"MisiurewiczPoint", "0", "1", 200, 200, false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ReferenceOrbit, ExtendingGivesWhatOneLongRunGives)
{
    const DeepCentre view{"-0.7436438870371587", "0.1318259042053119", 15, 1000};
    const auto shortOne = orbitOf(view);
    ASSERT_TRUE(shortOne->extend(3000).ok());
    EXPECT_EQ(shortOne->view().iterations, 3000);
    DeepCentre longer = view;
    longer.iterations = 3000;
    const auto longOne = orbitOf(longer);
    ASSERT_EQ(shortOne->size(), longOne->size());
    for (long long m = 0; m < longOne->size(); ++m)
        ASSERT_EQ(shortOne->values()[2 * m], longOne->values()[2 * m]) << m;
    // A smaller cap changes nothing.
    ASSERT_TRUE(shortOne->extend(500).ok());
    EXPECT_EQ(shortOne->view().iterations, 3000);
}

TEST(ReferenceOrbit, KeepsValuesBelowTheDoubleRangeInFull)
{
    // A nucleus at 1E+998, given to 30 digits past the view: once a period
    // (1333) its orbit comes back to far less than 2^-1000 from 0.
    const auto& v = testing::kDeepTestViews[8];
    ASSERT_EQ(v.name, "MinibrotPeriod1333");
    const DeepCentre view{std::string(v.re), std::string(v.im), v.zoom, 3000};
    const auto orbit = orbitOf(view);
    // The same steps at the same precision give the same values.
    const long bits = orbit->precision();
    BigFloat zr(bits), zi(bits), cr(bits), ci(bits), a(bits), b(bits);
    cr.setDecimal(view.re);
    ci.setDecimal(view.im);
    int tiny = 0;
    for (long long m = 0; m < orbit->size(); ++m) {
        const ComplexExp z = orbit->exact(m);
        if (m > 0 && z.e < -1000) {
            ++tiny;
            // Same value as MPFR's, to double precision.
            long ez = 0;
            const double mz = mpfr_get_d_2exp(&ez, std::fabs(z.re) >= std::fabs(z.im) ? zr.get() : zi.get(),
                                              MPFR_RNDN);
            const double part = std::fabs(z.re) >= std::fabs(z.im) ? z.re : z.im;
            EXPECT_NEAR(part, std::ldexp(mz, static_cast<int>(ez - z.e)), 1e-12) << m;
            EXPECT_EQ(orbit->values()[2 * m] == 0 || std::fabs(orbit->values()[2 * m]) < 0x1p-900, true);
        }
        mpfr_sqr(a.get(), zr.get(), MPFR_RNDN);
        mpfr_sqr(b.get(), zi.get(), MPFR_RNDN);
        mpfr_mul(zi.get(), zi.get(), zr.get(), MPFR_RNDN);
        mpfr_mul_2ui(zi.get(), zi.get(), 1, MPFR_RNDN);
        mpfr_add(zi.get(), zi.get(), ci.get(), MPFR_RNDN);
        mpfr_sub(zr.get(), a.get(), b.get(), MPFR_RNDN);
        mpfr_add(zr.get(), zr.get(), cr.get(), MPFR_RNDN);
    }
    EXPECT_GE(tiny, 2);
}

TEST(ReferenceOrbit, RefusesWhatDoesNotFitAndStopsWhenAsked)
{
    const DeepCentre view{"-0.75", "0.1", 30, 100000};
    WorkControl small;
    small.memoryLimit = 1000;
    const auto refused = ReferenceOrbit::compute(view, small);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find("memory"), std::string::npos) << refused.error();

    int reports = 0;
    WorkControl stopping;
    stopping.progress = [&](double done) {
        EXPECT_GE(done, 0.0);
        EXPECT_LE(done, 1.0);
        return ++reports < 3;
    };
    const auto stopped = ReferenceOrbit::compute({"0", "0", 30, 100000}, stopping);
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.error(), "stopped");

    const auto bad = ReferenceOrbit::compute({"0.5x", "0", 30, 1000});
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().rfind("centre", 0), 0u);
}

} // namespace
} // namespace mandel
