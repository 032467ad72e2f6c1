// The fast computer against the reference on random views: click chains of
// up to 17 zooms, so far past the magnification where neighbouring pixels
// share one double and any change of rounding shows. Each reference is
// computed once and every target on 1, 2 and 3 threads is held against it,
// point by point: n and the bits of zi.

#include "ExplorerState.h"
#include "EveryComputer.h"
#include "FastComputer.h"
#include "FieldComputer.h"
#include "PointResult.h"
#include "RecordingSurface.h"
#include "Renderer.h"
#include "TestStates.h"
#include "WholeField.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace mandel {
namespace {

using testing::computeField;

using testing::everyComputer;

constexpr std::size_t kRows = 601;

struct View {
    ExplorerState s;
    std::string clicks;  // the chain that made it, for the failure message
};

// A random view: a chain of 0 to 17 clicks from the full view. Half the
// chains aim at pixels on the edge of the set (a short point iteration
// picks them), the other half click anywhere.
View randomView(std::mt19937_64& rng)
{
    View v;
    v.s.wid = v.s.hei = kSurfaceSize;
    ResetView(v.s);
    std::uniform_int_distribution<int> pixel(0, kDrawableSize - 1);
    std::uniform_int_distribution<int> quarter(0, 3);
    const int depth = std::uniform_int_distribution<int>(0, 17)(rng);
    const bool edge = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
    std::ostringstream chain;
    for (int k = 0; k < depth; ++k) {
        float X = 0, Y = 0;
        for (int tries = 0; tries < (edge ? 24 : 1); ++tries) {
            // Whole pixels and the odd fraction, all in [0, 596).
            X = static_cast<float>(pixel(rng)) + 0.25f * static_cast<float>(quarter(rng));
            Y = static_cast<float>(pixel(rng)) + 0.25f * static_cast<float>(quarter(rng));
            ExplorerState next = v.s;
            ZoomAt(next, X, Y);
            const int n = iteratePoint(planeX(next, 300), planeY(next, 300)).n;
            if (n > 12 && n < kMaxIterations)
                break;
        }
        ZoomAt(v.s, X, Y);
        chain << " (" << X << "," << Y << ")";
    }
    v.clicks = chain.str();
    return v;
}

// Where `got` first differs from `want` (n or the bits of zi), or -1.
long firstDifference(const std::vector<PointResult>& got, const std::vector<PointResult>& want)
{
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (got[i].n != want[i].n ||
            std::bit_cast<std::uint64_t>(got[i].zi) != std::bit_cast<std::uint64_t>(want[i].zi))
            return static_cast<long>(i);
    }
    return -1;
}

std::string describe(const FastComputer& c, const View& v, long at, int x0)
{
    std::ostringstream m;
    m << c.targetName() << " on " << c.threads() << " threads differs at column "
      << x0 + at / static_cast<long>(kRows) << ", row " << at % static_cast<long>(kRows)
      << "; clicks:" << (v.clicks.empty() ? " none" : v.clicks);
    return m.str();
}

class SampledViews : public ::testing::TestWithParam<int> {};

// Many views, each through a few random runs of columns: the runs start
// anywhere and take 1 to 40 columns, as the renderer's calls do.
TEST_P(SampledViews, MatchTheReferenceInEveryPoint)
{
    std::mt19937_64 rng(0x5EED0000u + static_cast<unsigned>(GetParam()));
    auto computers = everyComputer();
    ReferenceComputer reference;
    std::uniform_int_distribution<int> length(1, 40);
    for (int k = 0; k < 350; ++k) {
        const View v = randomView(rng);
        for (int run = 0; run < 2; ++run) {
            const int len = length(rng);
            const int x0 = std::uniform_int_distribution<int>(0, 601 - len)(rng);
            std::vector<PointResult> want(static_cast<std::size_t>(len) * kRows);
            reference.computeColumns(v.s, x0, x0 + len, want.data());
            for (auto& c : computers) {
                std::vector<PointResult> got(want.size());
                c->computeColumns(v.s, x0, x0 + len, got.data());
                const long at = firstDifference(got, want);
                ASSERT_EQ(at, -1) << describe(*c, v, at, x0);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Batches, SampledViews, ::testing::Range(0, 6));

class WholeViews : public ::testing::TestWithParam<int> {};

// Fewer views, every point of each, in the renderer's chunks.
TEST_P(WholeViews, MatchTheReferenceInEveryPoint)
{
    std::mt19937_64 rng(0xF1E1D000u + static_cast<unsigned>(GetParam()));
    auto computers = everyComputer();
    ReferenceComputer reference;
    for (int k = 0; k < 8; ++k) {
        const View v = randomView(rng);
        const auto want = computeField(v.s, reference);
        for (auto& c : computers) {
            const long at = firstDifference(computeField(v.s, *c), want);
            ASSERT_EQ(at, -1) << describe(*c, v, at, 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Batches, WholeViews, ::testing::Range(0, 2));

// Whole pictures in all nine colour modes with random palettes: the fast
// pipeline (SIMD field, colour tables on the pool) draws every pixel, the
// dropped rows included, as the reference pipeline (the scalar loop and
// ColourChain in drawing order) does.
TEST(FastPictures, EveryColourModeMatchesTheReferencePicture)
{
    std::mt19937_64 rng(0xC0105u);
    std::uniform_real_distribution<float> multiplier(0.0f, 10.0f);
    std::uniform_int_distribution<int> modulus(150, 304);
    Renderer reference;
    Renderer fast(makeFastComputer());
    for (int k = 0; k < 4; ++k) {
        View v = randomView(rng);
        for (int mode = 1; mode <= 9; ++mode) {
            v.s.b = static_cast<float>(mode);
            v.s.fn1 = multiplier(rng);
            v.s.fn2 = multiplier(rng);
            v.s.fn3 = multiplier(rng);
            v.s.m1 = static_cast<float>(modulus(rng));
            v.s.m2 = static_cast<float>(modulus(rng));
            v.s.m3 = static_cast<float>(modulus(rng));
            testing::RecordingSurface want, got;
            reference.DrawFractal(v.s, want);
            fast.DrawFractal(v.s, got);
            ASSERT_EQ(got.calls.size(), want.calls.size());
            for (std::size_t i = 0; i < want.calls.size(); ++i)
                ASSERT_EQ(got.calls[i].c, want.calls[i].c) << "mode " << mode << ", pixel " << i << "; clicks:" << v.clicks;
        }
    }
}

// Palettes the program never draws, whose values do not always form: the
// fast pipeline falls back to drawing order and still draws the reference.
TEST(FastPictures, PalettesWhoseValuesDoNotFormMatchTheReferencePicture)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        float b, fn1, fn2, fn3, m1;
    };
    const Case cases[] = {
        {"mode 7, green multiplier NaN", 7, 1.5f, nan, 2, 200},
        {"mode 8, blue multiplier NaN", 8, 1.5f, 2, nan, 200},
        {"mode 9, red multiplier NaN", 9, nan, 2, 3, 200},
        {"mode 3, red modulus 0", 3, 1.5f, 2, 3, 0},
        {"mode 4, red multiplier 1e9", 4, 1e9f, 2, 3, 200},
    };
    Renderer reference;
    Renderer fast(makeFastComputer());
    for (const Case& c : cases) {
        ExplorerState s = testing::palette(c.b, c.fn1, c.fn2, c.fn3, c.m1);
        s.wid = s.hei = kSurfaceSize;
        ResetView(s);
        ZoomAt(s, 186, 300);
        testing::RecordingSurface want, got;
        reference.DrawFractal(s, want);
        fast.DrawFractal(s, got);
        ASSERT_EQ(got.calls.size(), want.calls.size()) << c.name;
        for (std::size_t i = 0; i < want.calls.size(); ++i)
            ASSERT_EQ(got.calls[i].c, want.calls[i].c) << c.name << ", pixel " << i;
    }
}

} // namespace
} // namespace mandel
