// The deep computer as a field computer: grids laid out column by column
// like legacy ones, the same on any number of threads, the legacy picture
// where doubles are enough, a lower cap on a longer orbit, and the
// shortcut through settled cycles inside small copies of the set.

#include "BruteForceDeep.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "DeepViews.h"
#include "ExplorerState.h"
#include "FieldComputer.h"
#include "Renderer.h"
#include "TestStates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace mandel {
namespace {

std::shared_ptr<const ReferenceOrbit> orbitOf(const DeepCentre& view)
{
    auto orbit = ReferenceOrbit::compute(view);
    EXPECT_TRUE(orbit.ok()) << (orbit.ok() ? "" : orbit.error());
    return std::shared_ptr<const ReferenceOrbit>(std::move(orbit.value()));
}

DeepCentre testView(std::string_view name, long long iterations = 0)
{
    for (const auto& v : testing::kDeepTestViews)
        if (v.name == name)
            return {std::string(v.re), std::string(v.im), v.zoom, iterations > 0 ? iterations : v.iterations};
    ADD_FAILURE() << name;
    return {};
}

TEST(DeepComputer, GridsAreColumnByColumnOnAnyNumberOfThreads)
{
    const auto orbit = orbitOf(testView("MinibrotPeriod137", 3000));
    const std::vector<double> dx = {-300, -123.5, 0, 0.25, 77, 299.75, 300};
    const std::vector<double> dy = {-300, -1, 0, 150.5, 300};
    std::vector<PointResult> one(dx.size() * dy.size());
    std::vector<PointResult> three(one.size());
    DeepComputerOptions single;
    single.threads = 1;
    DeepComputer(orbit, single).computeGrid(dx.data(), 7, dy.data(), 5, one.data());
    DeepComputerOptions many;
    many.threads = 3;
    DeepComputer computer(orbit, many);
    computer.computeGrid(dx.data(), 7, dy.data(), 5, three.data());
    EXPECT_EQ(computer.threads(), 3);
    for (std::size_t c = 0; c < dx.size(); ++c)
        for (std::size_t r = 0; r < dy.size(); ++r) {
            const PointResult p = computer.computePoint(dx[c], dy[r]);
            EXPECT_EQ(one[c * dy.size() + r], p) << c << "," << r;
            EXPECT_EQ(three[c * dy.size() + r], p) << c << "," << r;
        }
}

struct LegacyCase {
    const char* name;
    std::vector<Click> clicks;
};

class DeepOfLegacy : public ::testing::TestWithParam<LegacyCase> {};

TEST_P(DeepOfLegacy, DrawsTheLegacyPictureWhereDoublesSuffice)
{
    ExplorerState s = testing::fullView();
    for (const Click c : GetParam().clicks)
        ZoomAt(s, c.x, c.y);
    std::vector<PointResult> legacy(601 * 601);
    ReferenceComputer reference;
    reference.computeColumns(s, 0, 601, legacy.data());

    DeepComputer deep(orbitOf(deepViewOf(s, kMaxIterations)));
    std::vector<double> offsets(601);
    for (int x = 0; x <= 600; ++x)
        offsets[static_cast<std::size_t>(x)] = x - kDeepCentrePixel;
    std::vector<PointResult> field(legacy.size());
    deep.computeGrid(offsets.data(), 601, offsets.data(), 601, field.data());
    int differ = 0;
    int ziDiffer = 0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        differ += field[i].n != legacy[i].n;
        // Plane points differ in their last bits, which long orbits near
        // the edge of the set carry up to zi.
        ziDiffer += std::fabs(field[i].zi - legacy[i].zi) > 1e-6 * (1 + std::fabs(legacy[i].zi));
    }
    // Only where the legacy rounding tips a count or a value.
    EXPECT_LE(differ, static_cast<int>(field.size()) / 1000);
    EXPECT_LE(ziDiffer, static_cast<int>(field.size()) / 1000);
}

INSTANTIATE_TEST_SUITE_P(Views, DeepOfLegacy,
                         ::testing::Values(LegacyCase{"Full", {}},
                                           LegacyCase{"Seahorse", {{186, 255}, {310.5f, 290}, {100, 500}}},
                                           LegacyCase{"Antenna", {{10, 298}, {300, 300}, {450, 150}, {2, 590}}}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(DeepComputer, ALowerCapOnALongerOrbitIsThatCap)
{
    const DeepCentre view = testView("MinibrotPeriod44", 5000);
    DeepComputerOptions lower;
    lower.iterations = 1200;
    DeepComputer capped(orbitOf(view), lower);
    DeepCentre short1200 = view;
    short1200.iterations = 1200;
    DeepComputer fresh(orbitOf(short1200));
    for (const double d : {-300.0, -30.0, 0.0, 12.5, 200.0}) {
        const PointResult a = capped.computePoint(d, -d / 2);
        EXPECT_EQ(a, fresh.computePoint(d, -d / 2)) << d;
        EXPECT_LE(a.n, 1200);
    }
}

TEST(DeepComputer, SettledCyclesEndWhereTheLoopEnds)
{
    // Inside a copy of the set the orbit settles on a cycle; the computer
    // skips the cycles that change nothing, the brute force runs them all.
    const DeepCentre view = testView("MinibrotPeriod44", 40000);
    DeepComputer fast(orbitOf(view));
    const BruteForceDeep brute(view);
    for (const double d : {0.0, 3.0, -7.5, 11.0, 20.0}) {
        const PointResult b = brute.compute(d, d / 3);
        const PointResult f = fast.computePoint(d, d / 3);
        ASSERT_EQ(b.n, 40000) << d;
        EXPECT_EQ(f.n, b.n) << d;
        EXPECT_NEAR(f.zi, b.zi, 1e-9 * (1 + std::fabs(b.zi))) << d;
    }
}

TEST(DeepComputer, RefusesTablesThatDoNotFit)
{
    DeepComputer computer(orbitOf(testView("MinibrotPeriod44", 5000)));
    const Status s = computer.prepare(450, 1000);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.error().find("memory"), std::string::npos);
    // Without tables it still computes, step by step.
    EXPECT_GT(computer.computePoint(0, 0).n, 0);
}

} // namespace
} // namespace mandel
