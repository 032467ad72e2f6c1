// The reference orbit: extending one gives what computing it at once gives;
// it refuses an orbit memory cannot hold and stops when asked; it holds
// what its estimate says, reports progress now and then, keeps an escape
// once and values below the range of doubles in full. Its values are
// checked through the deep differential tests.

#include "DeepViews.h"
#include "ReferenceOrbit.h"

#include "DeepComputer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace mandel {
namespace {

TEST(ReferenceOrbit, ExtendingGivesWhatOneLongRunGives)
{
    const DeepCentre view{"-0.7436438870371587", "0.1318259042053119", 15, 1000};
    auto extended = ReferenceOrbit::compute(view);
    auto atOnce = ReferenceOrbit::compute({view.re, view.im, view.zoom, 3000});
    ASSERT_TRUE(extended.ok() && atOnce.ok());
    ASSERT_TRUE((*extended)->extend(3000).ok());
    ASSERT_TRUE((*extended)->extend(500).ok());  // a smaller cap changes nothing
    EXPECT_EQ((*extended)->view().iterations, 3000);
    ASSERT_EQ((*extended)->size(), (*atOnce)->size());
    for (long long m = 0; m < 2 * (*atOnce)->size(); ++m)
        ASSERT_EQ((*extended)->values()[m], (*atOnce)->values()[m]) << m / 2;
}

TEST(ReferenceOrbit, HoldsWhatItsEstimateSays)
{
    // Inside the main cardioid, away from 0: it runs to its cap in doubles.
    auto atOnce = ReferenceOrbit::compute({"-0.1", "0.1", 30, 5000});
    auto extended = ReferenceOrbit::compute({"-0.1", "0.1", 30, 1000});
    ASSERT_TRUE(atOnce.ok() && extended.ok());
    ASSERT_TRUE((*extended)->extend(3000).ok() && (*extended)->extend(5000).ok());
    EXPECT_EQ((*atOnce)->bytes(), ReferenceOrbit::bytesFor(5000));
    EXPECT_EQ((*extended)->bytes(), ReferenceOrbit::bytesFor(5000));
}

TEST(ReferenceOrbit, ReportsProgressEvery8192StepsAndKeepsAnEscapeOnce)
{
    int reports = 0;
    WorkControl counting;
    counting.progress = [&](double) { return ++reports > 0; };
    const auto counted = ReferenceOrbit::compute({"-0.1", "0.1", 30, 100000}, counting);
    ASSERT_TRUE(counted.ok()) << counted.error();
    EXPECT_GE(reports, 100000 / 8192);
    EXPECT_LE(reports, 100000 / 8192 + 2);

    // c = 1: 0, 1, 2, and 2 is where it escapes.
    auto escaping = ReferenceOrbit::compute({"1", "0", 30, 200});
    ASSERT_TRUE(escaping.ok());
    for (const long long cap : {300, 400}) {
        ASSERT_TRUE((*escaping)->extend(cap).ok());
        EXPECT_TRUE((*escaping)->escaped());
        EXPECT_EQ((*escaping)->size(), 3);
        EXPECT_EQ((*escaping)->view().iterations, cap);
    }
}

TEST(ReferenceOrbit, KeepsValuesBelowTheDoublesInFullOnTheRealAxis)
{
    // Z_3, Z_6, ... of the period-3 nucleus come as near 0 as the
    // precision of 1E+330 lets them, exactly on the axis.
    const DeepCentre view{std::string(testing::kAirplane), "0", 330, 3000};
    auto orbit = ReferenceOrbit::compute(view);
    ASSERT_TRUE(orbit.ok()) << orbit.error();
    const ComplexExp z3 = (*orbit)->exact(3);
    EXPECT_EQ((*orbit)->values()[6], 0.0);  // below every double
    ASSERT_NE(z3.re, 0.0);
    EXPECT_EQ(z3.im, 0.0);
    EXPECT_LT(std::log2(std::fabs(z3.re)) + static_cast<double>(z3.e), -1100);
    EXPECT_GT((*orbit)->bytes(), ReferenceOrbit::bytesFor(3000));

    // Those values count against the memory limit too.
    WorkControl tight;
    tight.memoryLimit = ReferenceOrbit::bytesFor(3000);
    EXPECT_FALSE(ReferenceOrbit::compute(view, tight).ok());
}

// Pixels all go on from Z_0 where the orbit comes back within 2^-6 sqrt(h)
// of 0, so it ends there, for every cap; elsewhere it runs to its cap.
TEST(ReferenceOrbit, EndsWhereItComesBackNearZero)
{
    struct Case {
        const char* name;
        std::string re;
        double zoom;
        long long size;  // values held for caps 3000 and 6000
    };
    const std::string airplane(testing::kAirplane);
    for (const Case& c : {
             // Z_3 within 2^-1100 of 0, h about 2^-1104.
             Case{"nucleus, deep", airplane, 330, 4},
             // Cut to 100 digits: Z_3 is about 1E-100, below 2^-6 sqrt(h) for
             // h near 1E-32 but not for h near 1E-332.
             Case{"near the nucleus", airplane.substr(0, 102), 30, 4},
             Case{"near the nucleus, deeper", airplane.substr(0, 102), 330, 3000},
             // Exact zeros rebase every pixel by themselves.
             Case{"c = 0", "0", 330, 3000},
             Case{"c = -1", "-1", 330, 3000},
         }) {
        auto orbit = ReferenceOrbit::compute({c.re, "0", c.zoom, 3000});
        ASSERT_TRUE(orbit.ok()) << c.name << ": " << orbit.error();
        EXPECT_EQ((*orbit)->size(), c.size) << c.name;
        EXPECT_EQ((*orbit)->returned(), c.size < 3000) << c.name;
        ASSERT_TRUE((*orbit)->extend(6000).ok());
        EXPECT_EQ((*orbit)->size(), c.size < 3000 ? c.size : 6000) << c.name;
        EXPECT_EQ((*orbit)->view().iterations, 6000) << c.name;
    }
}

TEST(ReferenceOrbit, RefusesWhatDoesNotFitAndStopsWhenAsked)
{
    WorkControl small;
    small.memoryLimit = 1000;
    const auto refused = ReferenceOrbit::compute({"-0.75", "0.1", 30, 100000}, small);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find("memory"), std::string::npos) << refused.error();

    int reports = 0;
    WorkControl stopping;
    stopping.progress = [&](double done) {
        EXPECT_TRUE(done >= 0.0 && done <= 1.0) << done;
        return ++reports < 3;
    };
    const auto stopped = ReferenceOrbit::compute({"-0.1", "0.1", 30, 100000}, stopping);
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.error(), "stopped");
    EXPECT_EQ(reports, 3);
}

// An export draws from the window's orbit on its own thread while the window
// raises the cap of the same centre: the orbit it reads is left as it was
// and the raised cap gets one of its own. Held by nobody else, an orbit is
// extended instead. (The sanitizer build sees memory freed under the reader.)
TEST(ReferenceOrbit, AnOrbitReadOnAnotherThreadIsNotExtendedUnderIt)
{
    const DeepCentre view{"-0.7436438870371587", "0.1318259042053119", 15, 3000};
    auto computed = ReferenceOrbit::compute(view);
    ASSERT_TRUE(computed.ok());
    std::shared_ptr<ReferenceOrbit> windows = std::move(computed).value();
    const std::shared_ptr<const ReferenceOrbit> exports = windows;
    DeepComputer reader(exports, {1});
    std::vector<double> dx(24), dy(24);
    for (std::size_t i = 0; i < dx.size(); ++i)
        dx[i] = dy[i] = 25.0 * static_cast<double>(i) - 300;
    std::vector<PointResult> first(dx.size() * dy.size()), again(first.size());
    reader.computeGrid(dx.data(), 24, dy.data(), 24, first.data());
    std::atomic<int> grids{0};
    std::atomic<bool> raised{false};
    std::thread exporting([&] {
        do {
            reader.computeGrid(dx.data(), 24, dy.data(), 24, again.data());
            EXPECT_EQ(again, first);
            ++grids;
        } while (!raised);
    });
    while (grids == 0)  // raised while the reader is in its next grid
        std::this_thread::yield();
    auto higher = ReferenceOrbit::reuseOrCompute({view.re, view.im, view.zoom, 100000}, std::move(windows));
    raised = true;
    exporting.join();
    ASSERT_TRUE(higher.ok()) << higher.error();
    EXPECT_NE(higher->get(), exports.get()) << "extended under the export";
    EXPECT_EQ(exports->view().iterations, 3000);
    EXPECT_EQ((*higher)->view().iterations, 100000);

    const ReferenceOrbit* alone = higher->get();
    auto extended = ReferenceOrbit::reuseOrCompute({view.re, view.im, view.zoom, 120000}, std::move(*higher));
    ASSERT_TRUE(extended.ok());
    EXPECT_EQ(extended->get(), alone);
    EXPECT_EQ((*extended)->view().iterations, 120000);
}

// Going back to a view left lately finds its orbit on the shelf, matched by
// centre and zoom and handed over; the oldest go when the shelf is full or
// its orbits hold more than the budget.
TEST(OrbitShelf, GivesBackTheOrbitsOfViewsLeftLately)
{
    auto orbitAt = [](std::string re, double zoom, long long cap) {
        auto computed = ReferenceOrbit::compute({std::move(re), "0.1", zoom, cap});
        EXPECT_TRUE(computed.ok());
        return std::shared_ptr<ReferenceOrbit>(std::move(computed).value());
    };
    OrbitShelf shelf(2);
    const auto first = orbitAt("-0.75", 20, 400);
    const auto second = orbitAt("-0.76", 20, 400);
    shelf.keep(first);
    shelf.keep(second);
    EXPECT_EQ(shelf.take({"-0.75", "0.1", 21, 400}), nullptr) << "another zoom";
    EXPECT_EQ(shelf.take({"-0.75", "0.1", 20, 9000}), first) << "any cap: it is extended";
    EXPECT_EQ(shelf.take({"-0.75", "0.1", 20, 400}), nullptr) << "taken once";
    shelf.keep(first);
    shelf.keep(orbitAt("-0.77", 20, 400));
    EXPECT_EQ(shelf.size(), 2u);
    EXPECT_EQ(shelf.take(second->view()), nullptr) << "the oldest went";
    shelf.keep(orbitAt("-0.75", 20, 400));
    EXPECT_EQ(shelf.size(), 2u) << "one of the same centre replaced";
    shelf.keep(second, second->bytes());
    EXPECT_EQ(shelf.size(), 1u) << "held to the budget";
    EXPECT_EQ(shelf.take(second->view()), second);
}

} // namespace
} // namespace mandel
