// The fast computer against the reference on random views: click chains of
// up to 17 zooms, so far past the magnification where neighbouring pixels
// share one double and any change of rounding shows. Each reference is
// computed once and every target on 1, 2 and 3 threads is held against it,
// point by point: n and the bits of zi.

#include "ExplorerState.h"
#include "ColourChain.h"
#include "EveryComputer.h"
#include "FastComputer.h"
#include "FieldComputer.h"
#include "ImageSurface.h"
#include "PointResult.h"
#include "RecordingSurface.h"
#include "Renderer.h"
#include "Samples.h"
#include "TestStates.h"
#include "WholeField.h"

#include <gtest/gtest.h>
#include <hwy/tests/hwy_gtest.h>

#include <bit>
#include <limits>
#include <cstdint>
#include <memory>
#include <mutex>
#include <algorithm>
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

std::string describe(const FastComputer& c, const View& v, long at, int x0, int y0 = 0, long rows = kRows)
{
    std::ostringstream m;
    m << c.targetName() << " form " << c.variantName() << " on " << c.threads() << " threads differs at column "
      << x0 + at / rows << ", row " << y0 + at % rows
      << "; clicks:" << (v.clicks.empty() ? " none" : v.clicks);
    return m.str();
}

// Every form of the kernel, each view on one of 1, 2 and 3 threads in turn.
std::vector<FastComputer*> formsOn(const std::vector<std::unique_ptr<FastComputer>>& all, int threads)
{
    std::vector<FastComputer*> some;
    for (const auto& c : all)
        if (c->threads() == threads)
            some.push_back(c.get());
    return some;
}

// One instance per target and batch of views, named after both.
class SampledViews : public hwy::TestWithParamTargetAndT<int> {};
INSTANTIATE_TEST_SUITE_P(Targets, SampledViews,
                         ::testing::Combine(::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()), ::testing::Range(0, 6)),
                         hwy::TestParamTargetNameAndT<int>);

// Many views, each through a few random grids: runs of 1 to 40 columns, as
// the renderer's calls take them, of all rows or of a band of rows, as a
// poster's bands do. The band is asked for the last z's real part too, as
// smooth colouring asks, and that must be the loop's, bit for bit.
TEST_P(SampledViews, MatchTheReferenceInEveryPoint)
{
    std::mt19937_64 rng(0x5EED0000u + static_cast<unsigned>(GetParam()));
    const auto computers = everyComputer();
    ReferenceComputer reference;
    std::uniform_int_distribution<int> length(1, 40);
    std::uniform_int_distribution<int> height(1, 601);
    const int views = testing::samples(350);
    for (int k = 0; k < views; ++k) {
        const View v = randomView(rng);
        for (int run = 0; run < 2; ++run) {
            const int len = length(rng);
            const int x0 = std::uniform_int_distribution<int>(0, 601 - len)(rng);
            const int rows = run == 0 ? 601 : height(rng);
            const int y0 = std::uniform_int_distribution<int>(0, 601 - rows)(rng);
            std::vector<double> cx, cy;
            for (int x = x0; x < x0 + len; ++x)
                cx.push_back(planeX(v.s, x));
            for (int y = y0; y < y0 + rows; ++y)
                cy.push_back(planeY(v.s, y));
            std::vector<PointResult> want(static_cast<std::size_t>(len) * static_cast<std::size_t>(rows));
            std::vector<double> wantZr(want.size());
            reference.computeGridWithZr(cx.data(), len, cy.data(), rows, want.data(), wantZr.data());
            for (FastComputer* c : formsOn(computers, 1 + (2 * k + run) % 3)) {
                std::vector<PointResult> got(want.size());
                std::vector<double> zr(want.size(), -1.0);
                // Each form of the call on whole columns and on bands, view
                // by view in turn.
                const bool withZr = (k + run) % 2 == 1;
                if (withZr)
                    c->computeGridWithZr(cx.data(), len, cy.data(), rows, got.data(), zr.data());
                else
                    c->computeGrid(cx.data(), len, cy.data(), rows, got.data());
                const long at = firstDifference(got, want);
                ASSERT_EQ(at, -1) << describe(*c, v, at, x0, y0, rows);
                for (std::size_t i = 0; withZr && i < zr.size(); ++i)
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(zr[i]), std::bit_cast<std::uint64_t>(wantZr[i]))
                        << "zr: " << describe(*c, v, static_cast<long>(i), x0, y0, rows);
            }
        }
    }
}

class WholeViews : public hwy::TestWithParamTargetAndT<int> {};
INSTANTIATE_TEST_SUITE_P(Targets, WholeViews,
                         ::testing::Combine(::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()), ::testing::Range(0, 2)),
                         hwy::TestParamTargetNameAndT<int>);

// Fewer views, every point of each, in the renderer's chunks.
TEST_P(WholeViews, MatchTheReferenceInEveryPoint)
{
    std::mt19937_64 rng(0xF1E1D000u + static_cast<unsigned>(GetParam()));
    const auto computers = everyComputer();
    ReferenceComputer reference;
    for (int k = 0; k < 8; ++k) {
        const View v = randomView(rng);
        const auto want = computeField(v.s, reference);
        for (FastComputer* c : formsOn(computers, 1 + k % 3)) {
            const long at = firstDifference(computeField(v.s, *c), want);
            ASSERT_EQ(at, -1) << describe(*c, v, at, 0);
        }
    }
}

// Whole pictures in all nine colour modes with random palettes: the fast
// pipeline (SIMD field, colour tables on the pool) draws every pixel, the
// dropped rows included, as the reference does: the scalar loop's field
// coloured by ColourChain in drawing order, and once per view the whole
// reference pipeline.
TEST(FastPictures, EveryColourModeMatchesTheReferencePicture)
{
    std::mt19937_64 rng(0xC0105u);
    std::uniform_real_distribution<float> multiplier(0.0f, 10.0f);
    std::uniform_int_distribution<int> modulus(150, 304);
    ReferenceComputer scalar;
    Renderer reference;
    Renderer fast(makeFastComputer());
    for (int k = 0; k < 4; ++k) {
        // The full view first: its interior ends early by its shape where
        // no colour reads z at the cap.
        View v = randomView(rng);
        if (k == 0) {
            v.clicks = " none";
            ResetView(v.s);
        }
        const auto field = computeField(v.s, scalar);
        for (int mode = 1; mode <= 9; ++mode) {
            v.s.b = static_cast<float>(mode);
            v.s.fn1 = multiplier(rng);
            v.s.fn2 = multiplier(rng);
            v.s.fn3 = multiplier(rng);
            v.s.m1 = static_cast<float>(modulus(rng));
            v.s.m2 = static_cast<float>(modulus(rng));
            v.s.m3 = static_cast<float>(modulus(rng));
            std::vector<Colour> want;
            ColourChain chain(v.s);
            for (const PointResult& p : field)
                want.push_back(chain.next(p.n, p.zi));
            testing::RecordingSurface got;
            fast.DrawFractal(v.s, got);
            ASSERT_EQ(got.calls.size(), want.size());
            for (std::size_t i = 0; i < want.size(); ++i)
                ASSERT_EQ(got.calls[i].c, want[i]) << "mode " << mode << ", pixel " << i << "; clicks:" << v.clicks;
            // An image is drawn in pieces straight into its rows.
            ImageSurface image;
            fast.DrawFractal(v.s, image);
            for (int x = 0; x < kDrawableSize; ++x)
                for (int y = 0; y < kDrawableSize; ++y)
                    ASSERT_EQ(image.pixel(x, y), want[static_cast<std::size_t>(x) * kRows + static_cast<std::size_t>(y)])
                        << "image, mode " << mode << ", pixel " << x << "," << y << "; clicks:" << v.clicks;
            if (mode != 1 + 2 * k)
                continue;
            testing::RecordingSurface whole;
            reference.DrawFractal(v.s, whole);
            for (std::size_t i = 0; i < want.size(); ++i)
                ASSERT_EQ(whole.calls[i].c, want[i]) << "reference pipeline, mode " << mode << ", pixel " << i;
        }
    }
}

// Without anyone looking between columns, the picture is one run whose
// columns every thread of the pool writes into the image, in stretches of
// whole blocks: the same image as the reference's, however they are cut.
TEST(FastPictures, AnImageWrittenByEveryThreadIsTheReferenceImage)
{
    ExplorerState s = testing::palette(7, 1.5f, 2.5f, 3.5f, 200);
    s.wid = s.hei = kSurfaceSize;
    ResetView(s);
    ZoomAt(s, 186, 300);
    Renderer reference;
    ImageSurface want;
    reference.DrawFractal(s, want);
    for (const int threads : {2, 3, 7}) {
        Renderer fast(std::make_unique<FastComputer>(FastComputerOptions{threads}));
        ImageSurface got;
        fast.DrawFractal(s, got);
        EXPECT_TRUE(got == want) << threads << " threads";
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
        // Drawn in pieces, the image finds out and is drawn again in order.
        ImageSurface wantImage, gotImage;
        reference.DrawFractal(s, wantImage);
        fast.DrawFractal(s, gotImage);
        EXPECT_TRUE(gotImage == wantImage) << c.name;
    }
}

class PiecesOfViews : public hwy::TestWithParamTargetAndT<int> {};
INSTANTIATE_TEST_SUITE_P(Targets, PiecesOfViews,
                         ::testing::Combine(::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()), ::testing::Range(0, 1)),
                         hwy::TestParamTargetNameAndT<int>);

// Every form on 1, 2 and 3 threads hands each piece of columns over once,
// with the reference's results, whatever the piece's width (the last one
// ragged or not); and pictures drawn in pieces straight into an image are
// the reference's, for views of the window's size and of other sizes.
TEST_P(PiecesOfViews, AreTheReferenceInEveryPointAndEveryPixel)
{
    std::mt19937_64 rng(0x91ECE5u);
    const auto computers = everyComputer();
    ReferenceComputer reference;
    Renderer referencePictures;
    struct Size {
        const char* name;
        int wid, hei;
    };
    // Sizes other than the window's keep the view's scale and corner.
    const Size sizes[] = {{"window", kSurfaceSize, kSurfaceSize}, {"narrow", 40, 700}, {"wide and low", 650, 20}};
    for (int k = 0; k < 3; ++k) {
        View v = randomView(rng);
        const auto want = computeField(v.s, reference);
        std::vector<double> cx, cy;
        for (int x = 0; x <= v.s.wid; ++x)
            cx.push_back(planeX(v.s, x));
        for (int y = 0; y <= v.s.hei; ++y)
            cy.push_back(planeY(v.s, y));
        for (FastComputer* c : formsOn(computers, 1 + k % 3)) {
            for (const int width : {16, 7, 601}) {
                std::vector<PointResult> got(want.size());
                std::vector<int> handed(cx.size(), 0);
                std::mutex taking;
                c->computePieces(cx.data(), static_cast<int>(cx.size()), cy.data(), static_cast<int>(cy.size()), width,
                                 [&](int first, int columns, const PointResult* results) {
                                     const std::scoped_lock lock(taking);
                                     EXPECT_EQ(first % width, 0);
                                     EXPECT_EQ(columns, std::min(width, static_cast<int>(cx.size()) - first));
                                     for (int i = 0; i < columns; ++i)
                                         ++handed[static_cast<std::size_t>(first + i)];
                                     std::copy(results, results + static_cast<std::size_t>(columns) * kRows,
                                               got.data() + static_cast<std::size_t>(first) * kRows);
                                 });
                EXPECT_EQ(std::count(handed.begin(), handed.end(), 1), static_cast<long>(cx.size()))
                    << "pieces of " << width;
                const long at = firstDifference(got, want);
                ASSERT_EQ(at, -1) << "pieces of " << width << ": " << describe(*c, v, at, 0);
            }
        }
        // Pictures, in a colour mode that reads the pixel before.
        v.s.b = static_cast<float>(7 + k % 2);
        Renderer fast(std::make_unique<FastComputer>(FastComputerOptions{1 + k % 3}));
        for (const Size& size : sizes) {
            ExplorerState s = v.s;
            s.wid = static_cast<std::int16_t>(size.wid);
            s.hei = static_cast<std::int16_t>(size.hei);
            ImageSurface wantImage, gotImage;
            referencePictures.DrawFractal(s, wantImage);
            fast.DrawFractal(s, gotImage);
            EXPECT_TRUE(gotImage == wantImage) << size.name << "; clicks:" << v.clicks;
        }
    }
}

} // namespace
} // namespace mandel
