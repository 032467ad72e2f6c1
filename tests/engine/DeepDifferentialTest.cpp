// The perturbation path against the brute-force path on deep views from
// 1E+15 to 1E+1000, near small copies of the set and spiralling points:
// pixels spread over the whole picture (one in each cell of a grid, so no
// region goes unvisited) must give the same n, and near the same zi, as
// the legacy loop run in high precision. Pixels whose brute-force count
// changes with the precision are ambiguous and skipped. A second check
// computes the picture again against a reference orbit from another
// centre: glitches depend on the reference, true results do not.

#include "BlaTable.h"
#include "BruteForceDeep.h"
#include "DeepComputer.h"
#include "DeepSmooth.h"
#include "DeepView.h"
#include "DeepViews.h"
#include "ReferenceOrbit.h"
#include "SmoothColour.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace mandel {
namespace {

using testing::DeepTestView;
using testing::kDeepTestViews;

DeepCentre centreOf(const DeepTestView& v)
{
    return {std::string(v.re), std::string(v.im), v.zoom, v.iterations};
}

std::shared_ptr<const ReferenceOrbit> orbitOf(const DeepCentre& view)
{
    auto orbit = ReferenceOrbit::compute(view);
    EXPECT_TRUE(orbit.ok()) << (orbit.ok() ? "" : orbit.error());
    return std::shared_ptr<const ReferenceOrbit>(std::move(orbit.value()));
}

struct Pixel {
    int x, y;
};

// One pixel in each cell of a grid over the picture, about `count` in all.
std::vector<Pixel> spreadPixels(int count, std::mt19937& rng)
{
    const int cells = std::max(1, static_cast<int>(std::lround(std::sqrt(count))));
    const int side = 601 / cells;
    std::uniform_int_distribution<int> within(0, side - 1);
    std::vector<Pixel> out;
    for (int cx = 0; cx < cells; ++cx)
        for (int cy = 0; cy < cells; ++cy)
            out.push_back({cx * side + within(rng), cy * side + within(rng)});
    return out;
}

// zi of pixels whose count depends on the last bits is itself sensitive:
// a thousandth catches a wrong index or a lost term, not rounding.
bool closeZi(double fast, double brute)
{
    return std::fabs(fast - brute) <= 1e-3 * std::max(1.0, std::fabs(brute));
}

class DeepDifferential : public ::testing::TestWithParam<DeepTestView> {};

TEST_P(DeepDifferential, MatchesBruteForceOverThePicture)
{
    const DeepCentre view = centreOf(GetParam());
    DeepComputer fast(orbitOf(view));
    const BruteForceDeep brute(view);
    std::mt19937 rng(static_cast<unsigned>(view.zoom));
    int checked = 0;
    int ambiguous = 0;
    std::vector<std::string> wrong;
    for (const Pixel p : spreadPixels(GetParam().samples, rng)) {
        const double dx = p.x - kDeepCentrePixel;
        const double dy = p.y - kDeepCentrePixel;
        const BruteForceResult b = brute.check(dx, dy);
        if (b.ambiguous) {
            ++ambiguous;
            continue;
        }
        ++checked;
        const PointResult f = fast.computePoint(dx, dy);
        if (f.n != b.result.n || !closeZi(f.zi, b.result.zi)) {
            std::ostringstream what;
            what << "(" << p.x << "," << p.y << ") n " << f.n << " zi " << f.zi << ", brute force n " << b.result.n
                 << " zi " << b.result.zi;
            wrong.push_back(what.str());
        }
    }
    // At least 99.9 % the same: with fewer than 1000 pixels, all of them.
    EXPECT_LE(static_cast<int>(wrong.size()), checked / 1000)
        << wrong.size() << " of " << checked << " differ, first " << (wrong.empty() ? "" : wrong.front());
    EXPECT_LE(ambiguous, checked / 10) << "too many ambiguous pixels to say much";
}

TEST_P(DeepDifferential, DoesNotDependOnTheReference)
{
    const DeepCentre view = centreOf(GetParam());
    // Every fifth pixel of each row and column: 121 x 121 points.
    std::vector<double> offsets;
    for (int x = 0; x <= 600; x += 5)
        offsets.push_back(x - kDeepCentrePixel);
    const int side = static_cast<int>(offsets.size());
    std::vector<PointResult> here(offsets.size() * offsets.size());
    DeepComputer(orbitOf(view)).computeGrid(offsets.data(), side, offsets.data(), side, here.data());

    // A reference 37.5 pixels right of and 23.25 pixels above the centre.
    constexpr double kMoveX = 37.5;
    constexpr double kMoveY = -23.25;
    DeepCentre moved = moveDeepCentre(view, kMoveX, kMoveY);
    std::vector<double> dx = offsets;
    std::vector<double> dy = offsets;
    for (double& d : dx)
        d -= kMoveX;
    for (double& d : dy)
        d -= kMoveY;
    std::vector<PointResult> there(here.size());
    DeepComputer(orbitOf(moved)).computeGrid(dx.data(), side, dy.data(), side, there.data());

    int differ = 0;
    int clustered = 0;
    auto differs = [&](int c, int r) {
        const auto i = static_cast<std::size_t>(c * side + r);
        return here[i].n != there[i].n;
    };
    for (int c = 0; c < side; ++c)
        for (int r = 0; r < side; ++r) {
            if (!differs(c, r))
                continue;
            ++differ;
            // A glitch is a patch: a wrong pixel with wrong neighbours on
            // both sides.
            if (c > 0 && c + 1 < side && r > 0 && r + 1 < side && differs(c - 1, r) && differs(c + 1, r) &&
                differs(c, r - 1) && differs(c, r + 1))
                ++clustered;
        }
    EXPECT_LE(differ, static_cast<int>(here.size()) / 1000) << differ << " of " << here.size() << " differ";
    EXPECT_EQ(clustered, 0);
}

// Deltas below the double range held scaled in doubles, against the same
// pixels all in the wide-exponent float, where the view scales them (the
// deepest views drawn at 1E+300 and near the deepest scaled zoom, where
// the scale's top meets the doubles): the same counts but for a
// thousandth, zi within a thousandth where they agree (the two round
// differently).
TEST_P(DeepDifferential, ScaledDeltasAreTheWideRangesResults)
{
    std::vector<double> zooms;
    for (const double zoom : {300.0, 376.0})
        if (zoom <= GetParam().zoom && BlaTable::deltaScaleFor(pixelSpacing(zoom)))
            zooms.push_back(zoom);
    if (zooms.empty() && BlaTable::deltaScaleFor(pixelSpacing(GetParam().zoom)))
        zooms.push_back(GetParam().zoom);
    if (zooms.empty())
        GTEST_SKIP() << "no scaled deltas at this depth";
    const auto orbit = orbitOf(centreOf(GetParam()));
    std::vector<double> offsets;  // every fifth pixel of each row and column
    for (int x = 0; x <= 600; x += 5)
        offsets.push_back(x - kDeepCentrePixel);
    const int side = static_cast<int>(offsets.size());
    for (const double zoom : zooms) {
        auto gridWith = [&](bool scaled) {
            DeepComputerOptions options;
            options.scaledDeltas = scaled;
            options.zoom = zoom;
            std::vector<PointResult> out(offsets.size() * offsets.size());
            DeepComputer(orbit, options).computeGrid(offsets.data(), side, offsets.data(), side, out.data());
            return out;
        };
        const std::vector<PointResult> scaled = gridWith(true), wide = gridWith(false);
        std::size_t differ = 0;
        for (std::size_t i = 0; i < scaled.size(); ++i) {
            if (scaled[i].n != wide[i].n)
                ++differ;
            else
                EXPECT_TRUE(closeZi(scaled[i].zi, wide[i].zi))
                    << "zoom " << zoom << ", point " << i << ": " << scaled[i].zi << ", " << wide[i].zi;
        }
        EXPECT_LE(differ, scaled.size() / 1000) << "zoom " << zoom << ": " << differ << " of " << scaled.size();
    }
}

// The vector lanes against the scalar loop they stand in for, on every
// target this build has and this machine runs, with each shortcut left
// out in turn: every count and every bit of zi the same.
TEST_P(DeepDifferential, VectorLanesAreTheScalarLoopOnEveryTarget)
{
    const auto orbit = orbitOf(centreOf(GetParam()));
    // Every twelfth pixel of each row and column, and a column of
    // neighbours down the middle, where lanes hold adjacent pixels.
    std::vector<double> dx, dy;
    for (int x = 0; x <= 600; x += 12)
        dx.push_back(x - kDeepCentrePixel);
    dy = dx;
    for (int y = 290; y < 310; ++y)
        dy.push_back(y - kDeepCentrePixel + 0.5);
    const int columns = static_cast<int>(dx.size()), rows = static_cast<int>(dy.size());
    struct Shortcuts {
        const char* name;
        bool tables, settle, findInterior;
    };
    for (const Shortcuts s : {Shortcuts{"all shortcuts", true, true, true}, Shortcuts{"no tables", false, true, true},
                              Shortcuts{"no rebase watch", true, false, true},
                              Shortcuts{"no interior watch", true, true, false}}) {
        DeepComputerOptions options;
        options.tables = s.tables;
        options.settle = s.settle;
        options.findInterior = s.findInterior;
        // The results, and the last zr smooth colours go on from.
        std::vector<double> scalarZr(dx.size() * dy.size()), lanesZr(scalarZr.size());
        // And the steps each shortcut took: the lanes take table runs themselves.
        DeepShortcuts scalarDone, lanesDone;
        auto gridOf = [&](bool vector, std::vector<double>& zr, DeepShortcuts& done) {
            options.vector = vector;
            std::vector<PointResult> grid(dx.size() * dy.size());
            DeepComputer computer(orbit, options);
            computer.computeGrid(dx.data(), columns, dy.data(), rows, grid.data(), zr.data());
            done = computer.shortcuts();
            return grid;
        };
        const std::vector<PointResult> scalar = gridOf(false, scalarZr, scalarDone);
        for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
            hwy::SetSupportedTargetsForTest(target);
            const std::vector<PointResult> lanes = gridOf(true, lanesZr, lanesDone);
            hwy::SetSupportedTargetsForTest(0);
            EXPECT_EQ(lanesDone.tableSteps, scalarDone.tableSteps) << s.name << " on " << hwy::TargetName(target);
            EXPECT_EQ(lanesDone.tableLevels, scalarDone.tableLevels) << s.name << " on " << hwy::TargetName(target);
            EXPECT_EQ(lanesDone.settledSteps + lanesDone.interiorSteps,
                      scalarDone.settledSteps + scalarDone.interiorSteps)
                << s.name << " on " << hwy::TargetName(target);
            int differ = 0;
            std::string first;
            for (std::size_t i = 0; i < scalar.size(); ++i) {
                const bool escaped = scalar[i].n < orbit->view().iterations;
                if (lanes[i].n == scalar[i].n &&
                    std::bit_cast<std::uint64_t>(lanes[i].zi) == std::bit_cast<std::uint64_t>(scalar[i].zi) &&
                    (!escaped || std::bit_cast<std::uint64_t>(lanesZr[i]) == std::bit_cast<std::uint64_t>(scalarZr[i])))
                    continue;
                if (differ++ == 0)
                    first = "point " + std::to_string(i) + ": n " + std::to_string(lanes[i].n) + " against " +
                            std::to_string(scalar[i].n);
            }
            EXPECT_EQ(differ, 0) << s.name << " on " << hwy::TargetName(target) << ", first " << first;
        }
        // The default: the first columns timed both ways in turn (spread
        // across wide grids), then the faster for the rest; the same
        // results whichever it chose, every column drawn once.
        options.vector = std::nullopt;
        for (const int width : {1, 31, 32, columns}) {
            DeepComputer timed(orbit, options);
            std::vector<PointResult> grid(static_cast<std::size_t>(width) * dy.size());
            timed.computeGrid(dx.data(), width, dy.data(), rows, grid.data());
            EXPECT_TRUE(std::equal(grid.begin(), grid.end(), scalar.begin())) << s.name << ", timed, " << width;
            EXPECT_EQ(timed.lanes().has_value(), width >= 16) << s.name << ": choice after " << width << " columns";
        }
    }
}

// The smooth value of escaped pixels from the second perturbation pass
// (DeepSmooth, skipping runs of steps with the tables) against the whole
// loop in high precision, on the pixels whose counts agree: every one
// within a hundredth (a 24-value cycle moves by 1/2400), and nearly all
// within 1e-4; the rest are orbits thousands of steps long near the set,
// whose last bits in doubles grow with them. And the derivative, which
// the distance shading reads, as the pass without tables finds it.
TEST_P(DeepDifferential, SmoothValueMatchesBruteForce)
{
    const DeepCentre view = centreOf(GetParam());
    const auto orbit = orbitOf(view);
    DeepComputer fast(orbit);
    ASSERT_TRUE(fast.prepare(kDeepCentrePixel * std::sqrt(2.0)).ok());
    const DeepSmooth smooth(*orbit, orbit->spacing(), fast.tables());
    const DeepSmooth stepByStep(*orbit, orbit->spacing());
    const BruteForceDeep brute(view);
    std::mt19937 rng(static_cast<unsigned>(view.zoom) + 7);
    int checked = 0, close = 0;
    for (const Pixel& p : spreadPixels(GetParam().samples, rng)) {
        const double dx = p.x - kDeepCentrePixel, dy = p.y - kDeepCentrePixel;
        const PointResult r = fast.computePoint(dx, dy);
        if (r.n >= fast.iterations() || brute.compute(dx, dy).n != r.n)
            continue;
        const DeepFinal f = smooth.finalValue(dx, dy, r.n);
        const DeepFinal g = stepByStep.finalValue(dx, dy, r.n);
        EXPECT_NEAR(std::hypot(f.dzr, f.dzi) / std::hypot(g.dzr, g.dzi), 1.0, 1e-3)
            << GetParam().name << " pixel " << p.x << "," << p.y;
        const double nu = finishSmooth(smooth.planeRe(dx), smooth.planeIm(dy), r.n, static_cast<int>(fast.iterations()),
                                       f.zr, f.zi, f.dzr, f.dzi)
                              .nu;
        const double expected = brute.smoothValue(dx, dy);
        ++checked;
        close += std::fabs(nu - expected) <= 1e-4 ? 1 : 0;
        EXPECT_NEAR(nu, expected, 1e-2) << GetParam().name << " pixel " << p.x << "," << p.y;
    }
    EXPECT_GE(close * 100, checked * 95) << close << " of " << checked;
}

INSTANTIATE_TEST_SUITE_P(Views, DeepDifferential, ::testing::ValuesIn(kDeepTestViews),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace mandel
