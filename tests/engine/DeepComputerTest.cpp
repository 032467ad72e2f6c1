// The deep computer against the brute-force path on a few points, as grids
// on three threads (so the approximation tables are built and used):
// inside a small copy of the set, where pixels rebase and settle on a
// cycle for the whole cap; under a cap below the orbit's; and across a
// picture at 1E+101. Then the automatic cap: its rule on grids made by
// hand, and the caps it chooses for known views.

#include "AutoIterations.h"
#include "BruteForceDeep.h"
#include "CycleWatch.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "DeepViews.h"
#include "PixelOrbit.h"
#include "ReferenceOrbit.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace mandel {
namespace {

struct Points {
    const char* name;
    std::string_view view;  // one of kDeepTestViews
    long long orbitIterations, cap;
    std::vector<double> dx, dy;
    // Drawn at this zoom with the orbit of the view's own (a dive's
    // keyframes share the target's orbit); below 0: the view's zoom.
    double zoom = -1;
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
    DeepComputerOptions options{3, p.cap};
    if (p.zoom >= 0)
        options.zoom = view.zoom = p.zoom;
    DeepComputer computer(std::shared_ptr<const ReferenceOrbit>(std::move(*orbit)), options);
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
                      Points{"AcrossAPicture", "MinibrotPeriod137", 3000, 0, {-300, -123.5, 0.25, 299.75}, {-300, 0, 150.5}},
                      Points{"ShallowerOnTheSameOrbit", "MinibrotPeriod137", 3000, 0, {-600, -77.5, 0.25, 599.75},
                             {-300, 0, 150.5}, 60},
                      Points{"NearTheFullViewOnTheSameOrbit", "MinibrotPeriod137", 3000, 0, {-500, -3, 40.25, 299.75},
                             {-280, 0, 150.5}, 0.5}),
    [](const auto& p) { return std::string(p.param.name); });

DeepCentre testView(std::string_view name, long long iterations)
{
    for (const auto& v : testing::kDeepTestViews)
        if (v.name == name)
            return {std::string(v.re), std::string(v.im), v.zoom, iterations};
    return {};
}

// The shortcuts of the deep path, pinned by what they do where they must
// apply, as shares of all the steps the points' counts add up to, and held
// to the plain loop (every step one by one): the same counts but for a
// thousandth, and where the counts agree, zi within a thousandth. Without
// the interior watch alone, every count is the same.
struct ShortcutView {
    const char* name;
    DeepCentre view;
    bool axis;        // points on the centre's row only (on the real axis, real multipliers)
    bool findInterior;  // with the interior watch, which would leave the rebase watch little
    double interior;  // least share skipped on attracting cycles of the pixels' own orbits
    double settled;   // least share skipped where rebased orbits settle inside small copies
    double tables;    // least share the approximation tables saved
    int level;        // a table level at least this high is used (-1: none needed)
};

// The nucleus of the period-4 small copy near the tip of the branch at i.
constexpr std::string_view kPeriod4Island = "-0.15652016683375508";
constexpr std::string_view kPeriod4IslandIm = "1.0322471089228318";

void PrintTo(const ShortcutView& row, std::ostream* os) { *os << row.name; }

class DeepShortcutsOn : public ::testing::TestWithParam<ShortcutView> {};

TEST_P(DeepShortcutsOn, SkipWhatTheyMustAndChangeNoCount)
{
    const ShortcutView& t = GetParam();
    std::vector<double> dx;  // every tenth pixel of each row and column
    for (int x = 0; x <= 600; x += 10)
        dx.push_back(x - kDeepCentrePixel);
    const std::vector<double> dy = t.axis ? std::vector<double>{0.0} : dx;
    const int columns = static_cast<int>(dx.size()), rows = static_cast<int>(dy.size());
    auto computed = ReferenceOrbit::compute(t.view);
    ASSERT_TRUE(computed.ok()) << computed.error();
    const std::shared_ptr<const ReferenceOrbit> orbit(std::move(*computed));
    auto gridWith = [&](const DeepComputerOptions& options, DeepShortcuts* done) {
        DeepComputer computer(orbit, options);
        std::vector<PointResult> grid(dx.size() * dy.size());
        computer.computeGrid(dx.data(), columns, dy.data(), rows, grid.data());
        if (done)
            *done = computer.shortcuts();
        return grid;
    };
    DeepShortcuts done;
    DeepComputerOptions options;
    options.findInterior = t.findInterior;
    const std::vector<PointResult> got = gridWith(options, &done);
    double steps = 0;
    for (const PointResult& p : got)
        steps += p.n;
    EXPECT_GE(static_cast<double>(done.interiorSteps), t.interior * steps);
    EXPECT_GE(static_cast<double>(done.settledSteps), t.settled * steps);
    EXPECT_GE(static_cast<double>(done.tableSteps), t.tables * steps);
    if (t.level >= 0) {
        EXPECT_GE(std::bit_width(done.tableLevels), t.level + 1) << std::hex << done.tableLevels;
    }

    // The vector lanes on every target against the scalar loop: the
    // interior watch's proofs and the rebase watch's skips fall on the
    // same steps, every bit the same.
    DeepComputerOptions scalar = options, vector = options;
    scalar.vector = false;
    vector.vector = true;
    const std::vector<PointResult> reference = gridWith(scalar, nullptr);
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        const std::vector<PointResult> lanes = gridWith(vector, nullptr);
        hwy::SetSupportedTargetsForTest(0);
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_TRUE(lanes[i].n == reference[i].n &&
                        std::bit_cast<std::uint64_t>(lanes[i].zi) == std::bit_cast<std::uint64_t>(reference[i].zi))
                << "point " << i << " on " << hwy::TargetName(target) << ": n " << lanes[i].n << " zi " << lanes[i].zi
                << ", scalar n " << reference[i].n << " zi " << reference[i].zi;
    }

    DeepComputerOptions noInterior;
    noInterior.findInterior = false;
    const std::vector<PointResult> watched = gridWith(noInterior, nullptr);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i].n, watched[i].n) << "point " << i;
    DeepComputerOptions plain{0, 0, false, false, false};
    const std::vector<PointResult> want = gridWith(plain, nullptr);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i].n != want[i].n) {
            ++differ;
            continue;
        }
        // As in the differential tests: escapes near the cap are sensitive.
        EXPECT_NEAR(got[i].zi, want[i].zi, 1e-3 * std::max(1.0, std::fabs(want[i].zi))) << "point " << i;
    }
    EXPECT_LE(differ, got.size() / 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Views, DeepShortcutsOn,
    ::testing::Values(
        // Inside the main cardioid, near its edge, and in a bulb; the rebase
        // watch sees little of it, the reference escaping early. Almost
        // every step of a point inside is the proof's to skip or run in
        // plain doubles, even where multipliers come near 1.
        ShortcutView{"CardioidEdgeAt1E2", {"-0.75", "0.1", 2, 20000}, false, true, 0.9, 0, 0, -1},
        ShortcutView{"FullView", {"0", "0", 0, 20000}, false, true, 0.93, 0, 0, -1},
        ShortcutView{"BulbAt1E2", {"0.3", "0.5", 2, 20000}, false, true, 0.97, 0, 0, -1},
        // Inside and around small copies near the top, on the pixels' own
        // watch: complex multipliers (the period-4 copy) and real ones (the
        // period-3 copy's whole body on the axis).
        ShortcutView{"SmallCopyComplexMultiplierOwnWatch",
                     {std::string(kPeriod4Island), std::string(kPeriod4IslandIm), 2.5, 20000}, false, true, 0.94, 0, 0, -1},
        ShortcutView{"SmallCopyRealMultiplierOwnWatch", {std::string(testing::kAirplane), "0", 2, 20000}, true, true, 0.45, 0.1, 0, -1},
        // Inside and around small copies on the rebase watch: multipliers
        // complex and real (the
        ShortcutView{"SmallCopyComplexMultiplier", testView("MinibrotPeriod44", 5000), false, true, 0, 0.15, 0.5, -1},
        ShortcutView{"SmallCopyRealMultiplier", {std::string(testing::kAirplane), "0", 2, 2000}, true, false, 0, 0.5, 0, -1},
        ShortcutView{"SmallCopyNucleus", {std::string(testing::kAirplane), "0", 30, 2000}, true, false, 0, 0.9, 0, -1},
        ShortcutView{"SmallCopyNucleusAt1E330", {std::string(testing::kAirplane), "0", 330, 2000}, true, true, 0, 0.9, 0, -1},
        // Around a copy at 1E+101 most steps are the tables': from its
        // centre, whose orbit ends after one period, in runs from index 1;
        // from a reference beside it, in long runs of the levels too.
        ShortcutView{"TablesAt1E101", testView("MinibrotPeriod137", 3000), false, true, 0, 0, 0.85, -1},
        ShortcutView{"TablesAt1E101BesideTheCentre", moveDeepCentre(testView("MinibrotPeriod137", 3000), 37.5, -23.25),
                     false, true, 0, 0, 0.85, 6}),
    [](const auto& p) { return std::string(p.param.name); });

// The pixel's own watch alone, on points whose fate is known: inside, it
// proves an attracting cycle within a few hundred steps, and the orbit
// indeed stays bounded; outside, however slowly the point escapes (next to
// a cusp, in the neck between two components), it proves nothing.
struct WatchCase {
    const char* name;
    double cr, ci;
    bool inside;
    long long within;  // inside: the step by which it is proven
};

void PrintTo(const WatchCase& row, std::ostream* os) { *os << row.name; }

class AttractWatchOn : public ::testing::TestWithParam<WatchCase> {};

TEST_P(AttractWatchOn, ProvesInteriorOnlyInside)
{
    const WatchCase& w = GetParam();
    AttractWatch watch(w.cr, w.ci, 0x1p-50);
    double zr = w.cr, zi = w.ci;
    long long proven = 0;
    long long escaped = 0;
    for (long long i = 1; i < 1000000 && escaped == 0; ++i) {
        Trap trap;
        if (proven == 0 && watch.see(i, zr, zi, trap)) {
            proven = i;
            EXPECT_LT(trap.rate, 1);
        }
        const double nr = (zr * zr - zi * zi) + w.cr;
        zi = (2.0 * zi) * zr + w.ci;
        zr = nr;
        if (zr * zr + zi * zi >= 4)
            escaped = i;
    }
    if (w.inside) {
        EXPECT_GT(proven, 0);
        EXPECT_LE(proven, w.within);
        EXPECT_EQ(escaped, 0);
    } else {
        EXPECT_GT(escaped, 300) << "not slow enough to say much";
        EXPECT_EQ(proven, 0) << "escapes at " << escaped;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, AttractWatchOn,
    ::testing::Values(WatchCase{"CardioidCentre", 0, 0, true, 8},
                      WatchCase{"CardioidNearTheNeck", -0.74, 0.05, true, 300},
                      WatchCase{"PeriodTwoBulb", -1, 0.1, true, 20},
                      WatchCase{"Period4IslandNucleus", -0.15652016683375508, 1.0322471089228318, true, 20},
                      WatchCase{"Period4IslandOffCentre", -0.1563, 1.0325, true, 40},
                      WatchCase{"Period3IslandOnTheAxis", -1.7548776662466927, 0, true, 20},
                      WatchCase{"OutsideTheCusp", 0.2501, 0, false, 0},
                      WatchCase{"OutsideTheNeck", -0.75, 0.001, false, 0},
                      WatchCase{"OutsideThePeriodTwoBulb", -1.2, 0.1501, false, 0}),
    [](const auto& p) { return std::string(p.param.name); });

// What the memory checks go by: each estimate is what the built object holds.
TEST(DeepMemory, TablesAndComputersHoldWhatTheirEstimatesSay)
{
    // Inside the main cardioid, away from 0: the orbit is as long as its cap.
    auto computed = ReferenceOrbit::compute({"-0.1", "0.1", 30, 5000});
    ASSERT_TRUE(computed.ok());
    const std::shared_ptr<const ReferenceOrbit> orbit(std::move(*computed));
    struct Shape {
        long long length;
        int minLevel;
    };
    for (const Shape t : {Shape{5000, 0}, Shape{5000, 3}, Shape{4097, 2}, Shape{3, 0}, Shape{2, 0}})
        EXPECT_EQ(BlaTable::build(*orbit, t.length, 300, t.minLevel).value().bytes(),
                  BlaTable::bytesFor(t.length, t.minLevel))
            << t.length << " values from level " << t.minLevel;
    DeepComputer computer(orbit);
    ASSERT_TRUE(computer.prepare(kDeepCentrePixel * std::sqrt(2.0)).ok());
    EXPECT_EQ(computer.bytes(), DeepComputer::bytesFor(5000, 30));
}

// The count of runs from index 1 that hold a delta, searched from where
// the last search ended, against a bisection over all of them: on random
// radii that never grow (with repeats and zeros, as merged entries have),
// every size of delta and every hint, in range or not.
TEST(TableRuns, FromIndexOneFoundFromAHintAreTheBisectionsCount)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 2000; ++trial) {
        const auto count = std::uniform_int_distribution<long long>(1, 70)(rng);
        std::vector<BlaStepExp> runs(static_cast<std::size_t>(count));
        std::int64_t e = std::uniform_int_distribution<std::int64_t>(-1200, -700)(rng);
        for (BlaStepExp& s : runs) {
            e -= std::uniform_int_distribution<std::int64_t>(0, 2)(rng);
            s.r2 = rng() % 16 == 0 ? FloatExp() : FloatExp(1.5, e);
            if (&s != runs.data() && lessMagnitude((&s - 1)->r2, s.r2))
                s.r2 = (&s - 1)->r2;
        }
        // A delta held by the first entry (the search's precondition).
        if (runs[0].r2.isZero())
            continue;
        const std::int64_t below = std::uniform_int_distribution<std::int64_t>(-3, 160)(rng);
        const FloatExp d2 = rng() % 4 == 0 ? FloatExp() : FloatExp(1.25, e + below - 160);
        if (!lessMagnitude(d2, runs[0].r2))
            continue;
        const auto hi = std::uniform_int_distribution<long long>(1, count)(rng);
        auto holds = [&](long long k) { return lessMagnitude(d2, runs[static_cast<std::size_t>(k)].r2); };
        long long expected = 0;
        for (long long end = hi; expected < end;) {
            const long long mid = expected + (end - expected) / 2;
            if (holds(mid))
                expected = mid + 1;
            else
                end = mid;
        }
        long long hint = std::uniform_int_distribution<long long>(-5, 80)(rng);
        const long long from = hint;
        EXPECT_EQ(deep::runsHolding(runs.data(), hi, d2, hint), expected)
            << "trial " << trial << ": " << hi << " runs, hint " << from;
        EXPECT_EQ(hint, expected - 1);
    }
}

// A grid written row by row, as it looks, stored column by column as
// computers fill grids.
struct HandGrid {
    HandGrid(std::initializer_list<std::initializer_list<int>> counts)
        : rows(static_cast<int>(counts.size())), columns(static_cast<int>(counts.begin()->size()))
    {
        points.resize(static_cast<std::size_t>(rows * columns));
        int r = 0;
        for (const auto& row : counts) {
            int c = 0;
            for (const int n : row)
                points[static_cast<std::size_t>(c++ * rows + r)].n = n;
            ++r;
        }
    }
    int rows, columns;
    std::vector<PointResult> points;
};

struct ShareCase {
    const char* name;
    HandGrid grid;
    double share;  // of its boundary pixels at cap 100
};

void PrintTo(const ShareCase& row, std::ostream* os) { *os << row.name; }

class CappedBoundary : public ::testing::TestWithParam<ShareCase> {};

TEST_P(CappedBoundary, ShareOfTheGridsEdges)
{
    const ShareCase& t = GetParam();
    EXPECT_DOUBLE_EQ(cappedBoundaryShare(t.grid.points.data(), t.grid.columns, t.grid.rows, 100), t.share);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, CappedBoundary,
    ::testing::Values(ShareCase{"EveryPixelCapped", {{100, 100}, {100, 100}}, 1},
                      ShareCase{"NoBoundary", {{5, 5}, {5, 5}}, 0},
                      // The capped centre and its four neighbours differ; the corners do not.
                      ShareCase{"OnlyFourNeighboursCount", {{5, 5, 5}, {5, 100, 5}, {5, 5, 5}}, 0.2},
                      // Read at the cap, 150 and 400 are one count: not an edge.
                      ShareCase{"CountsPastTheCapAreTheCap", {{150, 400}, {100, 7}}, 2.0 / 3},
                      ShareCase{"TallGrid", {{100, 9}, {100, 9}, {100, 100}}, 3.0 / 5}),
    [](const auto& p) { return std::string(p.param.name); });

struct RaiseCase {
    const char* name;
    HandGrid low;   // at cap 100
    HandGrid high;  // the same points at cap 400
    double freed;
    bool kept;
};

void PrintTo(const RaiseCase& row, std::ostream* os) { *os << row.name; }

class CapRaise : public ::testing::TestWithParam<RaiseCase> {};

TEST_P(CapRaise, IsKeptWhenItFreesAQuarterOfTheCappedEdges)
{
    const RaiseCase& t = GetParam();
    const PointResult* low = t.low.points.data();
    const PointResult* high = t.high.points.data();
    EXPECT_DOUBLE_EQ(freedShare(low, high, t.low.columns, t.low.rows, 100, 400), t.freed);
    EXPECT_EQ(raiseKept(low, high, t.low.columns, t.low.rows, 100, 400), t.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, CapRaise,
    ::testing::Values(
        // Two capped edge pixels, one freed; the capped pixels inside do not count.
        RaiseCase{"HalfFreed", {{100, 100, 5}, {100, 100, 100}}, {{200, 300, 5}, {200, 200, 400}}, 0.5, true},
        RaiseCase{"NoneFreed", {{100, 100, 5}, {100, 100, 100}}, {{200, 400, 5}, {200, 200, 400}}, 0, false},
        // Four capped edge pixels: one freed is a quarter, enough.
        RaiseCase{"AQuarterFreed", {{5, 100, 5}, {100, 5, 100}, {5, 100, 5}}, {{5, 399, 5}, {400, 5, 400}, {5, 400, 5}},
                  0.25, true},
        RaiseCase{"AFifthFreed",
                  {{5, 100, 5, 100, 5}, {100, 5, 100, 5, 100}},
                  {{5, 150, 5, 400, 5}, {400, 5, 400, 5, 400}},
                  0.2, false},
        // A picture that shows nothing yet: any pixel that escapes will do.
        RaiseCase{"NothingShownThenOnePixel", {{100, 100}, {100, 100}}, {{400, 400}, {400, 399}}, 0, true},
        RaiseCase{"NothingShownStill", {{100, 100}, {100, 100}}, {{400, 400}, {400, 400}}, 0, false}),
    [](const auto& p) { return std::string(p.param.name); });

struct ChosenCap {
    const char* name;
    DeepCentre view;  // from the default cap
    long long cap;
};

void PrintTo(const ChosenCap& row, std::ostream* os) { *os << row.name; }

class AutomaticCap : public ::testing::TestWithParam<ChosenCap> {};

TEST_P(AutomaticCap, IsChosenOnceAndChoosingAgainKeepsIt)
{
    const ChosenCap& t = GetParam();
    auto chosen = orbitWithAutoIterations(t.view);
    ASSERT_TRUE(chosen.ok()) << chosen.error();
    EXPECT_EQ(chosen->view.iterations, t.cap);
    EXPECT_EQ(chosen->view.re, t.view.re);
    // Again from the cap chosen, on the orbit the choice extended (as the
    // window's "new", "back", undo and redo find it), and from the start.
    EXPECT_EQ(chooseIterations(*chosen->orbit, t.cap).value(), t.cap);
    EXPECT_EQ(chooseIterations(*chosen->orbit, t.view.iterations).value(), t.cap);
}

INSTANTIATE_TEST_SUITE_P(
    Views, AutomaticCap,
    ::testing::Values(
        // The set's interior is all that reaches the cap: no raise frees it.
        ChosenCap{"FullView", {"0", "0", 0, kDefaultDeepIterations}, kDefaultDeepIterations},
        ChosenCap{"InteriorAt1E2", {"-0.75", "0.1", 2, kDefaultDeepIterations}, 4000},
        ChosenCap{"SmallCopyAt1E31", testView("MinibrotPeriod44", kDefaultDeepIterations), 4000},
        // Every pixel capped at 1000 and 4000: raised until pixels escape.
        ChosenCap{"NothingShownAt1E15", testView("Seahorse", kDefaultDeepIterations), 16000}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace mandel
