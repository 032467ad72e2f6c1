// The deep computer against the brute-force path on a few points, as grids
// on three threads (so the approximation tables are built and used):
// inside a small copy of the set, where pixels rebase and settle on a
// cycle for the whole cap; under a cap below the orbit's; and across a
// picture at 1E+101.

#include "BruteForceDeep.h"
#include "DeepComputer.h"
#include "DeepViews.h"
#include "ReferenceOrbit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace mandel {
namespace {

struct Points {
    const char* name;
    std::string_view view;  // one of kDeepTestViews
    long long orbitIterations, cap;
    std::vector<double> dx, dy;
};

void PrintTo(const Points& row, std::ostream* os) { *os << row.name; }

class DeepComputerPoints : public ::testing::TestWithParam<Points> {};

TEST_P(DeepComputerPoints, MatchTheBruteForce)
{
    const Points& p = GetParam();
    DeepCentre view;
    for (const auto& v : testing::kDeepTestViews)
        if (v.name == p.view)
            view = {std::string(v.re), std::string(v.im), v.zoom, p.orbitIterations};
    auto orbit = ReferenceOrbit::compute(view);
    ASSERT_TRUE(orbit.ok()) << orbit.error();
    DeepComputer computer(std::shared_ptr<const ReferenceOrbit>(std::move(*orbit)), {3, p.cap});
    const int columns = static_cast<int>(p.dx.size()), rows = static_cast<int>(p.dy.size());
    std::vector<PointResult> grid(p.dx.size() * p.dy.size());
    computer.computeGrid(p.dx.data(), columns, p.dy.data(), rows, grid.data());

    view.iterations = p.cap > 0 ? p.cap : view.iterations;
    const BruteForceDeep brute(view);
    int checked = 0;
    for (std::size_t c = 0; c < p.dx.size(); ++c)
        for (std::size_t r = 0; r < p.dy.size(); ++r) {
            const BruteForceResult b = brute.check(p.dx[c], p.dy[r]);
            if (b.ambiguous)
                continue;
            ++checked;
            const PointResult f = grid[c * p.dy.size() + r];
            EXPECT_EQ(f.n, b.result.n) << p.dx[c] << "," << p.dy[r];
            EXPECT_NEAR(f.zi, b.result.zi, 1e-9 * (1 + std::fabs(b.result.zi))) << p.dx[c] << "," << p.dy[r];
        }
    EXPECT_GE(checked, columns * rows - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Views, DeepComputerPoints,
    ::testing::Values(Points{"SettledCycles", "MinibrotPeriod44", 40000, 0, {0, 3, -7.5}, {0, 11, 20}},
                      Points{"LowerCapThanTheOrbits", "MinibrotPeriod44", 5000, 1200, {-300, 12.5, 200}, {-30, 150}},
                      Points{"AcrossAPicture", "MinibrotPeriod137", 3000, 0, {-300, -123.5, 0.25, 299.75}, {-300, 0, 150.5}}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace mandel
