#include "ExplorerState.h"
#include "EscapeKernel.h"
#include "EveryComputer.h"
#include "FastComputer.h"
#include "SmoothColour.h"
#include "SmoothKernel.h"
#include "FieldComputer.h"
#include "RecordingSurface.h"
#include "Renderer.h"
#include "ThreadPool.h"
#include "WholeField.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>
#include <hwy/tests/hwy_gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace mandel {
namespace {

using testing::computeField;

using testing::everyComputer;

ExplorerState sized(int wid, int hei)
{
    ExplorerState s;
    s.wid = static_cast<std::int16_t>(wid);
    s.hei = static_cast<std::int16_t>(hei);
    ResetView(s);
    return s;
}

std::string nameOf(const FastComputer& c)
{
    return c.targetName() + " form " + c.variantName() + " on " + std::to_string(c.threads()) + " threads";
}

// One instance per target this machine runs, named after it; the
// computers a case makes run on that target.
class FastComputerOn : public hwy::TestWithParamTarget {};
INSTANTIATE_TEST_SUITE_P(Targets, FastComputerOn, ::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         hwy::TestParamTargetName);

bool sameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

struct KnownPoint {
    int x, y;
    int n;
    double zi;
};

TEST_P(FastComputerOn, KnownPointsOfTheFullView)
{
    // Worked by hand with the loop test one step late.
    const KnownPoint points[] = {
        {0, 0, 3, -6},      // -2+2i: z1 = -2+2i, z2 = -2-6i, seen at n = 3
        {0, 300, 3, 0},     // -2: z = -2, 2; |z1|^2 = 4 is not below 4
        {600, 300, 3, 0},   // 2: z = 2, 6
        {375, 300, 7, 0},   // 0.5: |z5| is the first above 2
        {300, 300, 200, 0}, // 0 stays 0
        {150, 300, 200, 0}, // -1: -1, 0, -1, ...; z199 = -1
        {300, 150, 200, -1},// i: i, -1+i, -i, -1+i, ...; z199 = -i
        {300, 450, 200, 1}, // -i: the mirror image, z199 = i
    };
    const ExplorerState s = sized(600, 600);
    for (auto& c : everyComputer()) {
        const auto field = computeField(s, *c);
        for (const auto& p : points) {
            const PointResult& r = field[static_cast<std::size_t>(p.x) * 601 + static_cast<std::size_t>(p.y)];
            EXPECT_EQ(r.n, p.n) << nameOf(*c) << " at " << p.x << "," << p.y;
            EXPECT_EQ(r.zi, p.zi) << nameOf(*c) << " at " << p.x << "," << p.y;
        }
    }
}

TEST_P(FastComputerOn, GroupsInsideTheSetEndEarlyWithTheResultsOfTheCap)
{
    // A tenth of the full view is inside the set, much of it on cycles that
    // doubles repeat exactly within the cap.
    const ExplorerState s = sized(600, 600);
    ReferenceComputer reference;
    const auto want = computeField(s, reference);
    for (auto& c : everyComputer()) {
        EXPECT_EQ(computeField(s, *c), want) << nameOf(*c);
        EXPECT_GT(c->interiorFound(), 2000) << nameOf(*c);
    }
    FastComputerOptions plain;
    plain.findInterior = false;
    FastComputer c(plain);
    EXPECT_EQ(computeField(s, c), want);
    EXPECT_EQ(c.interiorFound(), 0);
}

// Without the z of points at the cap, points well inside the main cardioid
// and the disc of period 2 end at once, and those on a cycle of any period
// end on it: the count is still the loop's at any cap, just inside the
// margin, just outside it and just outside the set, and only points that
// reach the cap may lose their z.
TEST_P(FastComputerOn, PointsWellInsideTheBigComponentsEndAtOnceWithTheLoopsCount)
{
    constexpr std::int32_t kCap = 100000;
    constexpr double kPi = 3.141592653589793;
    struct Ring {
        const char* name;
        bool cardioid;  // else the disc of period 2
        double radius;  // of the cycle's multiplier
        bool ends;      // by its shape
    };
    const Ring rings[] = {
        {"cardioid, half way", true, 0.5, true},      {"cardioid, inside the margin", true, 0.9993, true},
        {"cardioid, outside the margin", true, 0.9997, false}, {"cardioid, on its edge", true, 1.0, false},
        {"outside the cardioid", true, 1.001, false},  {"disc, half way", false, 0.5, true},
        {"disc, inside the margin", false, 0.9993, true}, {"disc, outside the margin", false, 0.9997, false},
        {"outside the disc", false, 1.001, false},
    };
    FastComputerOptions options;
    options.iterations = kCap;
    FastComputer c(options);
    c.setCapZNeeded(false);
    for (const Ring& ring : rings) {
        for (int k = 0; k < 48; ++k) {
            // Angles off the real axis, where z at the cap is not 0 itself.
            const double angle = 2 * kPi * (k + 0.37) / 48;
            const double mr = ring.radius * std::cos(angle), mi = ring.radius * std::sin(angle);
            // c = mu/2 - mu^2/4 on the cardioid, c = -1 + mu/4 on the disc.
            const double cr = ring.cardioid ? mr / 2 - (mr * mr - mi * mi) / 4 : -1 + mr / 4;
            const double ci = ring.cardioid ? mi / 2 - mr * mi / 2 : mi / 4;
            double wantZr = 0;
            const PointResult want = iteratePoint(cr, ci, kCap, wantZr);
            PointResult got;
            double gotZr = 0;
            c.computeGridWithZr(&cr, 1, &ci, 1, &got, &gotZr);
            ASSERT_EQ(got.n, want.n) << ring.name << ", angle " << k;
            if (ring.ends) {
                EXPECT_EQ(got.zi, 0.0) << ring.name << ", angle " << k;
                EXPECT_EQ(gotZr, 0.0) << ring.name << ", angle " << k;
            } else if (want.n < kCap) {
                EXPECT_TRUE(sameBits(got.zi, want.zi) && sameBits(gotZr, wantZr)) << ring.name << ", angle " << k;
            }
            c.computeGrid(&cr, 1, &ci, 1, &got);
            EXPECT_EQ(got.n, want.n) << ring.name << ", angle " << k << ", without zr";
        }
    }
    // Around the bulb of period 3 near -0.12+0.74i, whose cycle is no
    // divisor of the kernel's block: its points end on the cycle all the
    // same, with the loop's count, and with z read with z at the cap.
    {
        constexpr std::int32_t kBulbCap = 20000;
        // Whole columns of the bulb and its edge, so that groups of lanes
        // stay full.
        std::vector<double> cx, cy;
        for (int k = 0; k < 16; ++k)
            cx.push_back(-0.19 + 0.14 * k / 15);
        for (int k = 0; k < 160; ++k)
            cy.push_back(0.68 + 0.13 * k / 159);
        FastComputerOptions bulbOptions;
        bulbOptions.iterations = kBulbCap;
        FastComputer bulb(bulbOptions);
        std::vector<PointResult> got(cx.size() * cy.size());
        for (const bool unread : {false, true}) {
            const long long before = bulb.interiorFound();
            bulb.setCapZNeeded(!unread);
            bulb.computeGrid(cx.data(), 16, cy.data(), 160, got.data());
            int inside = 0;
            for (std::size_t x = 0; x < cx.size(); ++x) {
                for (std::size_t y = 0; y < cy.size(); ++y) {
                    const PointResult want = iteratePoint(cx[x], cy[y], kBulbCap);
                    const PointResult& g = got[x * cy.size() + y];
                    ASSERT_EQ(g.n, want.n) << "z unread " << unread << " at " << cx[x] << "," << cy[y];
                    if (want.n < kBulbCap || !unread) {
                        ASSERT_TRUE(sameBits(g.zi, want.zi)) << "z unread " << unread << " at " << cx[x] << "," << cy[y];
                    }
                    inside += want.n == kBulbCap ? 1 : 0;
                }
            }
            EXPECT_GT(bulb.interiorFound() - before, inside / 2) << "z unread " << unread;
        }
    }
    // The full view: every count the loop's, most of the interior ended by
    // its shape, every escaping point's result exact.
    const ExplorerState s = sized(600, 600);
    ReferenceComputer reference;
    const auto want = computeField(s, reference);
    FastComputer full;
    full.setCapZNeeded(false);
    const auto got = computeField(s, full);
    int byShape = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(got[i].n, want[i].n) << i;
        if (got[i].n < kMaxIterations)
            ASSERT_TRUE(sameBits(got[i].zi, want[i].zi)) << i;
        else if (got[i].zi == 0.0 && want[i].zi != 0.0)
            ++byShape;
    }
    EXPECT_GT(byShape, 20000);
}

TEST_P(FastComputerOn, AnyCapGivesTheLoopWithThatCapBitForBit)
{
    // On the edge of the set, where counts spread over the whole cap; caps
    // on and off the kernel's block ends, below its least (point by point),
    // with and without the cycle check; and the last z's real part, where
    // the caller asks for it, from the same loop.
    ExplorerState s = sized(150, 150);
    ZoomAt(s, 31, 75);
    std::vector<double> cx, cy;
    for (int x = 0; x <= s.wid; ++x)
        cx.push_back(planeX(s, x));
    for (int y = 0; y <= s.hei; ++y)
        cy.push_back(planeY(s, y));
    const struct {
        const char* name;
        std::int32_t cap;
    } caps[] = {{"below the kernel's least", 20}, {"the kernel's least", kMinKernelCap}, {"one before 200", 199},
                {"the legacy cap", 200}, {"one past 200", 201}, {"a block end past 200", 215},
                {"a free view's default", 1000}, {"a prime", 4099}};
    for (const auto& cap : caps) {
        std::vector<PointResult> want;
        std::vector<double> wantZr;
        for (int x = 0; x <= s.wid; ++x)
            for (int y = 0; y <= s.hei; ++y) {
                want.push_back(iteratePoint(planeX(s, x), planeY(s, y), cap.cap));
                double zr = 0;
                iteratePoint(planeX(s, x), planeY(s, y), cap.cap, zr);
                wantZr.push_back(zr);
            }
        for (int variant = 0; variant < FastComputer::variantCount(); ++variant)
            for (const bool interior : {true, false}) {
                FastComputerOptions options{2, false, variant, interior};
                options.iterations = cap.cap;
                FastComputer c(options);
                const auto got = computeField(s, c);
                ASSERT_EQ(got.size(), want.size());
                for (std::size_t i = 0; i < got.size(); ++i) {
                    ASSERT_EQ(got[i].n, want[i].n) << cap.name << ", " << nameOf(c) << ", point " << i;
                    ASSERT_TRUE(sameBits(got[i].zi, want[i].zi)) << cap.name << ", " << nameOf(c) << ", point " << i;
                }
                std::vector<PointResult> withZr(want.size());
                std::vector<double> zr(want.size(), -1.0);
                c.computeGridWithZr(cx.data(), static_cast<int>(cx.size()), cy.data(), static_cast<int>(cy.size()),
                                    withZr.data(), zr.data());
                ASSERT_EQ(withZr, got) << cap.name << ", " << nameOf(c);
                for (std::size_t i = 0; i < zr.size(); ++i)
                    ASSERT_TRUE(sameBits(zr[i], wantZr[i])) << cap.name << ", " << nameOf(c) << ", zr of point " << i;
            }
    }
}

struct ColumnRun {
    int x0, x1;
};

TEST_P(FastComputerOn, AnyRunOfColumnsIsWrittenFromItsFirstColumnOn)
{
    ExplorerState s = sized(600, 600);
    ZoomAt(s, 186, 300);  // on the edge of the set: short and long runs mixed
    ReferenceComputer reference;
    const auto expected = computeField(s, reference);
    // Single columns, runs of fewer segments than threads, the last
    // column, and the whole picture in one call.
    const ColumnRun runs[] = {{0, 1}, {17, 18}, {299, 302}, {590, 601}, {600, 601}, {100, 137}, {0, 601}};
    for (auto& c : everyComputer()) {
        for (const ColumnRun& run : runs) {
            const auto rows = std::size_t{601};
            std::vector<PointResult> out(static_cast<std::size_t>(run.x1 - run.x0) * rows + 1);
            const PointResult guard{12345.0, -7};
            out.back() = guard;
            c->computeColumns(s, run.x0, run.x1, out.data());
            EXPECT_EQ(out.back(), guard) << nameOf(*c) << " wrote past columns " << run.x0 << ".." << run.x1;
            for (std::size_t i = 0; i + 1 < out.size(); ++i) {
                const PointResult& want = expected[static_cast<std::size_t>(run.x0) * rows + i];
                ASSERT_EQ(out[i].n, want.n) << nameOf(*c) << ", run " << run.x0 << ".." << run.x1 << ", point " << i;
                ASSERT_TRUE(sameBits(out[i].zi, want.zi)) << nameOf(*c) << ", run " << run.x0 << ".." << run.x1 << ", point " << i;
            }
        }
    }
}

TEST_P(FastComputerOn, SurfacesOfAnySizeMatchTheReference)
{
    // Heights around the kernel's groups of rows and segments of 160 rows.
    const int sizes[][2] = {{1, 1}, {7, 7}, {600, 0}, {4, 159}, {4, 160}, {5, 161}, {3, 319}, {3, 320}, {40, 1000}};
    ReferenceComputer reference;
    for (const auto& size : sizes) {
        ExplorerState s = sized(size[0], size[1]);
        if (s.zoomx1 == 0)
            s.zoomx1 = 1;
        if (s.zoomy1 == 0)
            s.zoomy1 = 1;
        const auto expected = computeField(s, reference);
        for (auto& c : everyComputer()) {
            const auto got = computeField(s, *c);
            ASSERT_EQ(got.size(), expected.size());
            for (std::size_t i = 0; i < got.size(); ++i) {
                ASSERT_EQ(got[i].n, expected[i].n) << nameOf(*c) << ", " << size[0] << "x" << size[1] << ", point " << i;
                ASSERT_TRUE(sameBits(got[i].zi, expected[i].zi)) << nameOf(*c) << ", " << size[0] << "x" << size[1];
            }
        }
    }
}

TEST_P(FastComputerOn, OptionsChooseTheFormAndRefuseOnesItDoesNotHave)
{
    for (int v = 0; v < FastComputer::variantCount(); ++v) {
        const FastComputer c({2, false, v});
        EXPECT_EQ(c.target(), GetParam());
        EXPECT_EQ(c.variant(), v);
    }
    // The measured choice is one of the forms, and stays for the next
    // computer on as many threads.
    const int measured = FastComputer({2}).variant();
    EXPECT_TRUE(measured >= 0 && measured < FastComputer::variantCount()) << measured;
    EXPECT_EQ(FastComputer({2}).variant(), measured);
    for (const int v : {-2, FastComputer::variantCount(), 1000})
        EXPECT_THROW(FastComputer({1, false, v}), std::invalid_argument) << v;
}

// Calibration times, seconds[form][round], and the form each must pick.
TEST(FastComputer, CalibrationPicksTheFormWhoseBestRoundIsQuickest)
{
    const struct {
        const char* name;
        std::vector<std::vector<double>> seconds;
        int picked;
    } rows[] = {
        {"quickest in every round", {{3, 3, 3}, {2, 2, 2}, {4, 4, 4}}, 1},
        {"best round, not the mean", {{1, 1, 1}, {3, 0.5, 3}}, 1},
        {"a slow first round is forgiven", {{9, 1, 1}, {2, 2, 2}}, 0},
        {"a slow last round is forgiven", {{1, 1, 9}, {2, 2, 2}}, 0},
        {"the last form can win", {{2, 2}, {2, 2}, {1, 3}}, 2},
        {"equals keep the first", {{2, 1}, {1, 2}}, 0},
        {"one form", {{5}}, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(fastestForm(row.seconds), row.picked) << row.name;
}

TEST(FastComputer, TheDefaultRunsTheBestTargetOnTheSharedPool)
{
    const auto targets = hwy::SupportedAndGeneratedTargets();
    ASSERT_FALSE(targets.empty());
    FastComputer best;
    EXPECT_EQ(best.target(), targets.front()) << "the default runs the best target";
    const unsigned hardware = std::thread::hardware_concurrency();
    EXPECT_EQ(best.threads(), hardware > 0 ? static_cast<int>(hardware) : 1);
    EXPECT_EQ(best.pool(), &ThreadPool::shared());
    EXPECT_GE(best.preferredColumns(), 8);
    EXPECT_LE(best.preferredColumns(), 40);
}

TEST_P(FastComputerOn, RendererWithItYieldsBeforeEachColumnAndDrawsTheReferencePicture)
{
    ExplorerState s = sized(600, 600);
    s.b = 7;  // chains colours across chunk boundaries
    s.fn1 = 1.25f;
    s.fn2 = 0.75f;
    s.fn3 = 2;
    ZoomAt(s, 186, 300);
    testing::RecordingSurface fast, slow;
    std::vector<std::size_t> yieldsAt;
    Renderer withFast(makeFastComputer());
    Renderer withReference;
    DrawHooks hooks;
    hooks.yield = [&] { yieldsAt.push_back(fast.calls.size()); return true; };
    ASSERT_TRUE(withFast.DrawFractal(s, fast, hooks));
    ASSERT_TRUE(withReference.DrawFractal(s, slow));
    ASSERT_EQ(yieldsAt.size(), 601u);
    for (std::size_t x = 0; x < 601; ++x)
        ASSERT_EQ(yieldsAt[x], x * 601);
    ASSERT_EQ(fast.calls.size(), slow.calls.size());
    for (std::size_t i = 0; i < fast.calls.size(); ++i) {
        ASSERT_EQ(fast.calls[i].x, slow.calls[i].x);
        ASSERT_EQ(fast.calls[i].y, slow.calls[i].y);
        ASSERT_EQ(fast.calls[i].c, slow.calls[i].c) << "pixel " << fast.calls[i].x << "," << fast.calls[i].y;
    }
}

// The smooth steps on every target's lanes, bit for bit the scalar loop,
// for counts of every length side by side (so lanes stop at different steps).
TEST_P(FastComputerOn, SmoothStepsEqualTheScalarLoop)
{
    std::vector<double> cr, ci;
    std::vector<std::int32_t> n;
    for (int k = 0; k < 1001; ++k) {
        cr.push_back(-2.1 + 2.7 * ((k * 37) % 1001) / 1001.0);
        ci.push_back(-1.2 + 2.4 * ((k * 91) % 1001) / 1001.0);
        n.push_back(iteratePoint(cr.back(), ci.back()).n);
    }
    const auto count = cr.size();
    std::vector<double> lanes[4], scalar[4];
    for (auto* set : {&lanes, &scalar})
        for (auto& v : *set)
            v.assign(count, -1.0);
    auto task = [&](std::vector<double>(&out)[4]) {
        return SmoothSteps{cr.data(), ci.data(), n.data(), static_cast<int>(count), out[0].data(), out[1].data(),
                           out[2].data(), out[3].data()};
    };
    runSmoothSteps(task(lanes));
    runSmoothStepsScalar(task(scalar));
    for (std::size_t k = 0; k < count; ++k) {
        for (int part = 0; part < 4; ++part)
            ASSERT_TRUE(sameBits(lanes[part][k], scalar[part][k])) << "point " << k << " part " << part;
        // n - 1 steps end where the count's own loop ended: colouring may
        // start from the z the computer hands out.
        double zr = 0;
        const PointResult loop = iteratePoint(cr[k], ci[k], kMaxIterations, zr);
        ASSERT_TRUE(sameBits(scalar[0][k], zr) && sameBits(scalar[1][k], loop.zi)) << "point " << k;
    }
}

// The lanes' logarithm finds mantissa and exponent on the bits: bit for bit
// the scalar form's at the mantissa's turning point sqrt(2) (a few ulps
// either side, in every binade), at powers of two, and over the range of
// the values colouring takes, up to the largest double and infinity.
TEST_P(FastComputerOn, LanesLog2IsTheSeriesBitForBit)
{
    std::vector<double> x;
    for (int e = 0; e < 1024; e += 7) {
        const double scale = std::ldexp(1.0, e);
        for (double m : {1.0, 1.4142135623730951, 2.0})
            for (int ulps = -3; ulps <= 3; ++ulps) {
                const auto bits = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(m * scale)) + ulps;
                x.push_back(std::max(1.0, std::bit_cast<double>(static_cast<std::uint64_t>(bits))));
            }
    }
    for (int k = 0; k < 4000; ++k)
        x.push_back(1.0 + 40.0 * k / 3999.0 + 1e-3 * ((k * 7919) % 1000));
    x.push_back(std::numeric_limits<double>::max());
    x.push_back(std::numeric_limits<double>::infinity());
    std::vector<double> lanes(x.size());
    seriesLog2Lanes(x.data(), lanes.data(), static_cast<int>(x.size()));
    for (std::size_t i = 0; i < x.size(); ++i)
        ASSERT_TRUE(sameBits(lanes[i], seriesLog2(x[i]))) << x[i] << ": " << lanes[i] << " beside " << seriesLog2(x[i]);
}

// The colouring of escaped samples on every target's lanes, byte for byte
// the scalar form, in each shading, written through a reversed order.
TEST_P(FastComputerOn, ColouredSamplesEqualTheScalarForm)
{
    std::vector<double> cr, ci;
    std::vector<std::int32_t> n;
    for (int k = 0; k < 3001; ++k) {
        const double x = -2.1 + 2.7 * ((k * 37) % 3001) / 3001.0, y = -1.2 + 2.4 * ((k * 91) % 3001) / 3001.0;
        const std::int32_t count = iteratePoint(x, y).n;
        if (count >= kMaxIterations)
            continue;
        cr.push_back(x);
        ci.push_back(y);
        n.push_back(count);
    }
    std::vector<std::size_t> at(cr.size());
    for (std::size_t k = 0; k < at.size(); ++k)
        at[k] = at.size() - 1 - k;
    for (const Shading shading : {Shading::None, Shading::Distance, Shading::Slopes}) {
        SmoothColours colours;
        colours.palette = "sunset";
        colours.density = 5;
        colours.shading = shading;
        const SampleColouring colouring(colours, 2.7 / 3001);
        std::vector<std::uint32_t> lanes(cr.size() + 1, 7), scalar(cr.size() + 1, 7);
        colourEscaped(colouring, {cr.data(), ci.data(), n.data(), static_cast<int>(cr.size()), lanes.data(), at.data()});
        colourEscapedScalar(colouring,
                            {cr.data(), ci.data(), n.data(), static_cast<int>(cr.size()), scalar.data(), at.data()});
        ASSERT_EQ(lanes, scalar) << shadingName(shading);
        EXPECT_EQ(lanes.back(), 7u);  // nothing past the samples
    }
}

// Without shading, colouring columns from the loop's last z (on lanes and
// scalar) gives the bytes of taking every escaped sample's steps again,
// and the interior colour inside; columns of every length, so that rows
// fall on lanes and in the tail at every offset.
TEST_P(FastComputerOn, KnownColumnsColourAsTakingTheStepsAgain)
{
    for (const bool logDensity : {false, true}) {
        SmoothColours colours;
        colours.palette = "ice";
        colours.density = 3;
        colours.logDensity = logDensity;
        const SampleColouring colouring(colours, 0.01);
        for (int rows = 1; rows < 90; rows += 7) {
            for (int x = 0; x < 24; ++x) {
                const double cr = -2.1 + 2.7 * x / 23.0;
                std::vector<double> ci, zr(static_cast<std::size_t>(rows)), escapedCi;
                std::vector<PointResult> results;
                std::vector<std::int32_t> escapedN;
                std::vector<std::size_t> at;
                for (int r = 0; r < rows; ++r) {
                    ci.push_back(-1.2 + 2.4 * r / rows);
                    results.push_back(iteratePoint(cr, ci.back(), kMaxIterations, zr[static_cast<std::size_t>(r)]));
                    if (results.back().n < kMaxIterations) {
                        escapedCi.push_back(ci.back());
                        escapedN.push_back(results.back().n);
                        at.push_back(static_cast<std::size_t>(r));
                    }
                }
                std::vector<std::uint32_t> want(static_cast<std::size_t>(rows) + 1, colouring.interior);
                want.back() = 7;
                const std::vector<double> crs(escapedN.size(), cr);
                colourEscapedScalar(colouring, {crs.data(), escapedCi.data(), escapedN.data(),
                                                static_cast<int>(escapedN.size()), want.data(), at.data()});
                std::vector<std::uint32_t> lanes(want.size(), 7), scalar(want.size(), 7);
                const KnownColumn column{cr, ci.data(), results.data(), zr.data(), rows, kMaxIterations, lanes.data()};
                colourKnownColumn(colouring, column);
                KnownColumn scalarColumn = column;
                scalarColumn.out = scalar.data();
                colourKnownColumnScalar(colouring, scalarColumn);
                ASSERT_EQ(lanes, want) << rows << " rows, column " << x << (logDensity ? ", log density" : "");
                ASSERT_EQ(scalar, want) << rows << " rows, column " << x << (logDensity ? ", log density" : "");
            }
        }
    }
}

} // namespace
} // namespace mandel
