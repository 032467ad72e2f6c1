#include "ExplorerState.h"
#include "PointResult.h"
#include "RandomSource.h"

#include "TestStates.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mandel {
namespace {

// The start-up view; the colours are whatever a test sets.
ExplorerState startState() { return testing::startupState(0); }

TEST(ExplorerState, ResetGivesTheFullView)
{
    ExplorerState s = startState();
    s.fn1 = 1.25f;
    s.b = 7;
    s.imeslike = "M1";
    ZoomAt(s, 10, 20);
    ResetView(s);
    EXPECT_EQ(s.di, 0.0);
    EXPECT_EQ(s.dj, 0.0);
    EXPECT_EQ(s.zoomx1, 150.0);
    EXPECT_EQ(s.zoomy1, 150.0);
    EXPECT_EQ(s.zoomx2, 2.0);
    EXPECT_EQ(s.zoomy2, 2.0);
    EXPECT_EQ(s.f, 10);
    EXPECT_EQ(s.f1, 1.0);
    // Colours and the saved name survive a reset.
    EXPECT_EQ(s.fn1, 1.25f);
    EXPECT_EQ(s.b, 7.0f);
    EXPECT_EQ(s.imeslike, "M1");
}

struct MappingCase {
    int pixel;
    double x, y;
};

TEST(ExplorerState, FullViewMapsEdgesAndCentre)
{
    const ExplorerState s = startState();
    const MappingCase cases[] = {{0, -2.0, 2.0}, {150, -1.0, 1.0}, {300, 0.0, 0.0}, {450, 1.0, -1.0}, {600, 2.0, -2.0}};
    for (const auto& c : cases) {
        EXPECT_EQ(planeX(s, c.pixel), c.x) << c.pixel;
        EXPECT_EQ(planeY(s, c.pixel), c.y) << c.pixel;
    }
}

TEST(ExplorerState, ZoomAtCentreKeepsTheCentre)
{
    ExplorerState s = startState();
    ZoomAt(s, 300, 300);
    EXPECT_EQ(s.zoomx1, 1500.0);
    EXPECT_EQ(s.zoomy1, 1500.0);
    EXPECT_EQ(s.zoomx2, 0.2);
    EXPECT_EQ(s.zoomy2, 0.2);
    EXPECT_EQ(s.di, 0.0);
    EXPECT_EQ(s.dj, 0.0);
    EXPECT_EQ(s.f1, 10.0);
    EXPECT_EQ(planeX(s, 300), 0.0);
    EXPECT_EQ(planeY(s, 300), 0.0);
    ZoomAt(s, 300, 300);
    EXPECT_EQ(s.zoomx1, 15000.0);
    EXPECT_EQ(s.di, 0.0);
    // 300 / 15000 - 0.2 * 0.1 leaves a rounding residue of 2^-58, no more.
    EXPECT_EQ(planeX(s, 300), 0.02 - 0.2 * 0.1);
    EXPECT_LT(std::fabs(planeX(s, 300)), 1e-17);
}

TEST(ExplorerState, ZoomOffCentreMovesThePointToTheCentre)
{
    ExplorerState s = startState();
    ZoomAt(s, 450, 150);
    EXPECT_EQ(s.di, 1500.0);
    EXPECT_EQ(s.dj, -1500.0);
    // (300 + 1500) / 1500 - 0.2 is 1 - 2^-54 before rounding: a tie that goes to 1.
    EXPECT_EQ(planeX(s, 300), 1.0);
    EXPECT_EQ(planeY(s, 300), 1.0);
}

TEST(ExplorerState, ZoomTakesThePointerAsASingle)
{
    ExplorerState a = startState(), b = startState();
    ZoomAt(a, 300.1f, 299.7f);
    b.di = (0.0 + static_cast<double>(300.1f) - 300.0) * 10.0;
    b.dj = (0.0 + static_cast<double>(299.7f) - 300.0) * 10.0;
    EXPECT_EQ(a.di, b.di);
    EXPECT_EQ(a.dj, b.dj);
    EXPECT_NE(a.di, (300.1 - 300.0) * 10.0);
}

TEST(ExplorerState, MagnificationIsExactUpTo1e22)
{
    const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    ExplorerState s = startState();
    for (int k = 0; k <= 22; ++k) {
        EXPECT_EQ(s.f1, powers[k]) << "after " << k << " zooms";
        ZoomAt(s, 300, 300);
    }
}

// Whether every number of `s`, and the mapping at its far corners, is finite.
bool inRange(const ExplorerState& s)
{
    for (const double v : {s.f1, s.di, s.dj, s.zoomx1, s.zoomx2, s.zoomy1, s.zoomy2, planeX(s, 0), planeX(s, s.wid),
                           planeY(s, 0), planeY(s, s.hei)})
        if (!std::isfinite(v))
            return false;
    return true;
}

TEST(ExplorerState, ZoomPastTheRangeOfADoubleIsRefused)
{
    // Each row leaves the doubles through a different value first: the
    // offsets grow faster than the scales when a click is off centre, and a
    // surface that is not square makes one scale outgrow the other.
    const struct {
        const char* name;
        std::int16_t wid, hei;
        float X, Y;
        int zooms;  // accepted before the first refusal
    } rows[] = {
        {"centre: the scales", 600, 600, 300, 300, 306},
        {"right edge: di", 600, 600, 595, 300, 305},
        {"left edge: di below", 600, 600, 0, 300, 305},
        {"bottom edge: dj", 600, 600, 300, 595, 305},
        {"corner: di and dj", 600, 600, 595, 595, 305},
        {"wide surface: zoomx1", 600, 60, 300, 30, 306},
        {"tall surface: zoomy1", 60, 600, 30, 300, 306},
    };
    for (const auto& row : rows) {
        ExplorerState s = startState();
        s.wid = row.wid;
        s.hei = row.hei;
        ResetView(s);
        int zooms = 0;
        for (;; ++zooms) {
            ExplorerState plain = s;
            ZoomAt(plain, row.X, row.Y);
            const ExplorerState before = s;
            const bool zoomed = tryZoomAt(s, row.X, row.Y);
            ASSERT_EQ(zoomed, inRange(plain)) << row.name << ", zoom " << zooms + 1;
            if (!zoomed) {
                EXPECT_EQ(s, before) << row.name;
                break;
            }
            ASSERT_EQ(s, plain) << row.name;
        }
        EXPECT_EQ(zooms, row.zooms) << row.name;
    }

    ExplorerState fresh = startState();
    EXPECT_FALSE(tryZoomAt(fresh, NAN, 3));
    EXPECT_FALSE(tryZoomAt(fresh, 3, INFINITY));
    EXPECT_TRUE(tryZoomAt(fresh, 3, 3));
}

TEST(ExplorerState, ColourParametersCoverTheirRanges)
{
    ExplorerState s = startState();
    RandomSource rng(7);
    bool seenMode[10] = {};
    float lowM = 1000, highM = 0;
    for (int i = 0; i < 20000; ++i) {
        DrawColourParameters(s, rng);
        for (const float fn : {s.fn1, s.fn2, s.fn3}) {
            ASSERT_GE(fn, 0.0f);
            ASSERT_LT(fn, 10.0f);
        }
        ASSERT_GE(s.b, 1.0f);
        ASSERT_LE(s.b, 9.0f);
        ASSERT_EQ(s.b, std::floor(s.b));
        seenMode[static_cast<int>(s.b)] = true;
        for (const float m : {s.m1, s.m2, s.m3}) {
            ASSERT_EQ(m, std::floor(m));
            lowM = std::min(lowM, m);
            highM = std::max(highM, m);
        }
    }
    for (int b = 1; b <= 9; ++b)
        EXPECT_TRUE(seenMode[b]) << b;
    EXPECT_EQ(lowM, 150.0f);
    EXPECT_EQ(highM, 304.0f);
}

TEST(ExplorerState, ColourParametersUseSevenDrawsInOrder)
{
    ExplorerState s = startState();
    RandomSource rng(99), copy(99);
    DrawColourParameters(s, rng);
    float r[7];
    for (float& v : r)
        v = copy.next();
    EXPECT_EQ(s.fn1, r[0] * 10.0f);
    EXPECT_EQ(s.fn2, r[1] * 10.0f);
    EXPECT_EQ(s.fn3, r[2] * 10.0f);
    EXPECT_EQ(s.b, std::floor(static_cast<double>(r[3]) * 9.0 + 1));
    EXPECT_EQ(s.m1, std::floor(static_cast<double>(r[4]) * 155.0 + 150));
    EXPECT_EQ(s.m3, std::floor(static_cast<double>(r[6]) * 155.0 + 150));
    EXPECT_EQ(rng.next(), copy.next()) << "exactly seven draws";
}

struct IterationCase {
    const char* name;
    double cr, ci;
    int n;
    double zi;
};

TEST(Iteration, EscapeIsSeenOneStepLate)
{
    const IterationCase cases[] = {
        // z: 0, -2+2i, -2-6i; the test sees |z|^2 = 8 only before the third step.
        {"corner -2+2i", -2, 2, 3, -6},
        // z: 0, -2, 2: |z|^2 = 4 is not below 4.
        {"tip -2", -2, 0, 3, 0},
        // z: 0, 1, 2, 5.
        {"one", 1, 0, 4, 0},
        {"origin", 0, 0, 200, 0},
        // z: 0, i, -1+i, -i, -1+i, ... never escapes.
        {"i", 0, 1, 200, -1},
        {"cusp 0.25", 0.25, 0, 200, 0},
    };
    for (const auto& c : cases) {
        const PointResult r = iteratePoint(c.cr, c.ci);
        EXPECT_EQ(r.n, c.n) << c.name;
        EXPECT_EQ(r.zi, c.zi) << c.name;
    }
}

} // namespace
} // namespace mandel
