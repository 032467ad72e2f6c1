// The one deep set-up: an orbit the caller has is taken or extended rather
// than computed again, the cap it chooses is the computer's, and a view that
// cannot fit is refused. Free views shallow enough for doubles are drawn
// in them, with the counts perturbation gives.

#include "DeepComputer.h"
#include "DeepSetup.h"
#include "PictureComputer.h"
#include "SmoothRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace mandel {
namespace {

const DeepCentre kSeahorse{"-0.7436438870371587", "0.1318259042053119", 15, 2000};

DeepSetupRequest requestFor(const DeepCentre& view)
{
    DeepSetupRequest request;
    request.view = view;
    return request;
}

// Every step-th pixel across the window's picture, and the square grid of
// them that `pixels` computes.
std::vector<double> everyNthPixel(int step)
{
    std::vector<double> at;
    for (int x = 0; x < 596; x += step)
        at.push_back(x);
    return at;
}

std::vector<PointResult> squareGrid(PictureComputer& pixels, const std::vector<double>& at)
{
    const auto side = static_cast<int>(at.size());
    std::vector<PointResult> grid(at.size() * at.size());
    pixels.computePixels(at.data(), side, at.data(), side, grid.data());
    return grid;
}

std::shared_ptr<ReferenceOrbit> orbitOf(DeepCentre view)
{
    auto orbit = ReferenceOrbit::compute(view);
    EXPECT_TRUE(orbit.ok());
    return std::shared_ptr<ReferenceOrbit>(std::move(*orbit));
}

TEST(DeepSetup, ASharedOrbitIsTakenWhenItsCapReachesTheView)
{
    DeepCentre longer = kSeahorse;
    longer.iterations = 4000;
    auto shared = orbitOf(longer);
    DeepSetupRequest request = requestFor(kSeahorse);
    request.shared = shared;
    auto setup = setUpDeep(request);
    ASSERT_TRUE(setup.ok()) << setup.error();
    EXPECT_EQ(setup->orbit, shared);
    EXPECT_EQ(setup->ownOrbit, nullptr);  // nobody may extend what others read
    EXPECT_EQ(setup->computer->iterations(), 2000);

    request.view.iterations = 8000;  // past its cap: computed afresh
    auto fresh = setUpDeep(request);
    ASSERT_TRUE(fresh.ok()) << fresh.error();
    EXPECT_NE(fresh->orbit, shared);
    EXPECT_EQ(fresh->orbit->view().iterations, 8000);
}

TEST(DeepSetup, AnOrbitHandedOverIsExtendedInPlaceUnlessOthersReadIt)
{
    auto own = orbitOf(kSeahorse);
    const ReferenceOrbit* const earlier = own.get();
    DeepCentre more = kSeahorse;
    more.iterations = 6000;
    DeepSetupRequest request = requestFor(more);
    request.extend = std::move(own);
    request.orbitOnly = true;
    auto setup = setUpDeep(std::move(request));
    ASSERT_TRUE(setup.ok()) << setup.error();
    EXPECT_EQ(setup->ownOrbit.get(), earlier);
    EXPECT_EQ(earlier->view().iterations, 6000);
    EXPECT_EQ(setup->computer, nullptr);

    // Read elsewhere (an export, say): left as it is, computed afresh.
    const std::shared_ptr<ReferenceOrbit> reader = setup->ownOrbit;
    more.iterations = 8000;
    request = requestFor(more);
    request.extend = setup->ownOrbit;
    auto other = setUpDeep(std::move(request));
    ASSERT_TRUE(other.ok()) << other.error();
    EXPECT_NE(other->ownOrbit, reader);
    EXPECT_EQ(reader->view().iterations, 6000);
    EXPECT_EQ(other->orbit->view().iterations, 8000);
}

TEST(DeepSetup, AChosenCapIsTheComputersAndAViewThatCannotFitIsRefused)
{
    DeepCentre start = kSeahorse;
    start.iterations = 1000;
    DeepSetupRequest request = requestFor(start);
    request.chooseCap = true;
    auto chosen = setUpDeep(request);
    ASSERT_TRUE(chosen.ok()) << chosen.error();
    EXPECT_GE(chosen->iterations, 1000);
    EXPECT_EQ(chosen->computer->iterations(), chosen->iterations);
    EXPECT_GE(chosen->orbit->view().iterations, chosen->iterations);

    DeepCentre huge = kSeahorse;
    huge.iterations = 100000000;
    request = requestFor(huge);
    request.memoryLimit = 1 << 20;
    EXPECT_FALSE(setUpDeep(request).ok());
    DeepCentre malformed = kSeahorse;
    malformed.re = "-0.74.3";
    EXPECT_FALSE(setUpDeep(requestFor(malformed)).ok());
}

TEST(FreeView, TheNumberTypeFollowsTheDepthAtTheCentre)
{
    // Doubles while the pixel spacing h = 1 / (150 * 10^K) is at least 2^24
    // spacings of doubles at the centre's larger coordinate (a quarter at
    // least).
    const struct {
        const char* name;
        DeepCentre view;
        bool doubles;
    } rows[] = {
        {"the full view", {"0", "0", 0, 1000}, true},
        {"1E+2 in the seahorse valley", {"-0.745", "0.1", 2, 200}, true},
        {"1E+6.5 near -0.75 (h 2.1E-9, 2^24 spacings 1.9E-9)", {"-0.7436", "0.1318", 6.5, 1000}, true},
        {"1E+7 near -0.75 (h 6.7E-10)", {"-0.7436", "0.1318", 7, 1000}, false},
        {"1E+6.5 near -1.9: the larger coordinate's spacing", {"-1.9", "0.001", 6.5, 1000}, false},
        {"1E+6 near -1.9", {"-1.9", "0.001", 6, 1000}, true},
        {"1E+6.5 near the origin: a quarter's spacing counts", {"0.0001", "0", 6.5, 1000}, true},
        {"1E+7 near the origin", {"0.0001", "0", 7, 1000}, false},
        {"1E+15 at the seahorse", kSeahorse, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(doublesFrameOf(row.view).has_value(), row.doubles) << row.name;
        auto setup = setUpFreeView(requestFor(row.view));
        ASSERT_TRUE(setup.ok()) << row.name << ": " << setup.error();
        EXPECT_EQ(setup->pixels->inDoubles(), row.doubles) << row.name;
        EXPECT_EQ(setup->orbit == nullptr, row.doubles) << row.name << ": an orbit only for perturbation";
        EXPECT_EQ(setup->pixels->iterations(), row.view.iterations) << row.name;
    }
}

// Whether the count of c in doubles is decided below their precision: a c
// one unit in the last place away in either coordinate gives another count,
// or `count`. There the two arithmetics may legitimately part.
bool decidedByRounding(double cr, double ci, long long cap, std::int32_t count)
{
    const std::int32_t own = iteratePoint(cr, ci, static_cast<std::int32_t>(cap)).n;
    for (const double r : {std::nextafter(cr, -HUGE_VAL), cr, std::nextafter(cr, HUGE_VAL)})
        for (const double i : {std::nextafter(ci, -HUGE_VAL), ci, std::nextafter(ci, HUGE_VAL)}) {
            const std::int32_t n = iteratePoint(r, i, static_cast<std::int32_t>(cap)).n;
            if (n == count || n != own)
                return true;
        }
    return false;
}

TEST(FreeView, DoublesGiveThePerturbationCountsOnShallowViews)
{
    // Every 4th pixel of the window's picture, in doubles and by
    // perturbation. A pixel may differ only where doubles cannot decide its
    // count: moving c by one unit in its last place changes it, or gives
    // perturbation's. Such pixels are rare but for long chaotic orbits near
    // the set at high caps: each row has the least share of equal counts.
    const struct {
        const char* name;
        DeepCentre view;
        int equalPerMille;
    } rows[] = {
        {"the full view, cap 1000", {"0", "0", 0, 1000}, 999},
        {"the seahorse valley at 1E+2, cap 200", {"-0.745", "0.1", 2, 200}, 999},
        {"the seahorse valley at 1E+2, cap 10^4", {"-0.745", "0.1", 2, 10000}, 995},
        {"a spiral at 1E+4.3, cap 3000", {"-0.7436", "0.1318", 4.3, 3000}, 995},
        {"near the depth doubles end, 1E+6.5, cap 3000", {"-0.7436438870371587", "0.1318259042053119", 6.5, 3000}, 990},
    };
    const std::vector<double> picture = everyNthPixel(4);
    const auto side = static_cast<int>(picture.size());
    for (const auto& row : rows) {
        const auto frame = doublesFrameOf(row.view);
        ASSERT_TRUE(frame) << row.name;
        FreeViewPixels doubles(row.view, *frame);
        const std::vector<PointResult> fast = squareGrid(doubles, picture);

        auto deep = setUpDeep(requestFor(row.view));
        ASSERT_TRUE(deep.ok()) << row.name << ": " << deep.error();
        FreeViewPixels perturbation(deep->computer);
        const std::vector<PointResult> slow = squareGrid(perturbation, picture);

        std::size_t differ = 0;
        for (int c = 0; c < side; ++c)
            for (int r = 0; r < side; ++r) {
                const std::size_t i = static_cast<std::size_t>(c) * picture.size() + static_cast<std::size_t>(r);
                if (fast[i].n == slow[i].n)
                    continue;
                ++differ;
                const double cr = frame->re + (picture[static_cast<std::size_t>(c)] - 300) * frame->step;
                const double ci = frame->im - (picture[static_cast<std::size_t>(r)] - 300) * frame->step;
                EXPECT_TRUE(decidedByRounding(cr, ci, row.view.iterations, slow[i].n))
                    << row.name << ": pixel " << picture[static_cast<std::size_t>(c)] << ","
                    << picture[static_cast<std::size_t>(r)] << " counts " << fast[i].n << " in doubles, "
                    << slow[i].n << " by perturbation";
            }
        EXPECT_LE(differ * 1000, fast.size() * static_cast<std::size_t>(1000 - row.equalPerMille)) << row.name << ": " << differ << " of " << fast.size() << " differ";
    }
}

// A picture's bytes, row after row.
struct Bytes final : BandSink {
    std::vector<int> rgb;
    int width = 120;
    Status writeRows(const std::uint8_t* bytes, int rows) override
    {
        rgb.insert(rgb.end(), bytes, bytes + static_cast<std::ptrdiff_t>(rows) * width * 3);
        return {};
    }
};

// Smooth colours in doubles (the vector kernel's counts and last z) and by
// perturbation: the same picture but where rounding tips a pixel, with each
// shading (the derivative is the plane's in one, the pixels' in the other).
TEST(FreeView, SmoothColoursInDoublesAreThePerturbationColours)
{
    const struct {
        const char* name;
        DeepCentre view;
        Shading shading;
    } rows[] = {
        {"the full view, cap 1000", {"0", "0", 0, 1000}, Shading::None},
        {"the seahorse valley at 1E+2, cap 10^4, slopes", {"-0.745", "0.1", 2, 10000}, Shading::Slopes},
        {"a spiral at 1E+4.3, cap 3000, distance", {"-0.7436", "0.1318", 4.3, 3000}, Shading::Distance},
    };
    const PictureSize size{120, 90};
    for (const auto& row : rows) {
        SmoothColours colours;
        colours.palette = "copper";
        colours.shading = row.shading;
        const auto frame = doublesFrameOf(row.view);
        ASSERT_TRUE(frame) << row.name;
        FreeViewPixels doubles(row.view, *frame);
        auto deep = setUpDeep(requestFor(row.view));
        ASSERT_TRUE(deep.ok()) << row.name << ": " << deep.error();
        FreeViewPixels perturbation(deep->computer);
        Bytes fast, slow;
        ASSERT_TRUE(SmoothRenderer(doubles).render(colours, size, fast)) << row.name;
        ASSERT_TRUE(SmoothRenderer(perturbation).render(colours, size, slow)) << row.name;
        ASSERT_EQ(fast.rgb.size(), slow.rgb.size());
        std::size_t apart = 0;
        for (std::size_t i = 0; i < fast.rgb.size(); ++i)
            apart += std::abs(fast.rgb[i] - slow.rgb[i]) > 2 ? 1u : 0u;
        EXPECT_LE(apart * 100, fast.rgb.size()) << row.name << ": " << apart << " of " << fast.rgb.size()
                                                << " components apart";
    }
}

// The orbit of one view serves the views a pan or a zoom out reaches: the
// new centre's offset from its own in the new view's pixels, while it holds
// the cap, its precision the zoom's, and the centre lies within reach.
TEST(FreeView, AnOrbitServesPansAndZoomsOutWithinItsReach)
{
    const DeepCentre held{"-0.00000000000000005080655206364047861695457499256407823361646978964504433388298",
                          "1.000000000000000632720065388414143680992769992608350212556972", 31, 3000};
    const auto orbit = orbitOf(held);
    const struct {
        const char* name;
        DeepCentre view;
        std::optional<PixelOffset> offset;
    } rows[] = {
        {"the same view", held, PixelOffset{0, 0}},
        {"panned 100 right and 40 up", moveDeepCentre(held, 100, -40), PixelOffset{100, -40}},
        {"a smaller cap", {held.re, held.im, 31, 500}, PixelOffset{0, 0}},
        {"zoomed out twice about a point", reframeDeep(held, 50, 50, 31 - std::log10(2.0)), PixelOffset{25, 25}},
        {"panned past two pictures' width", moveDeepCentre(held, 1000, 900), std::nullopt},
        {"a cap past the orbit's", {held.re, held.im, 31, 3001}, std::nullopt},
        {"zoomed in: finer than the orbit's precision", reframeDeep(held, 0, 0, 32), std::nullopt},
    };
    for (const auto& row : rows) {
        const std::optional<PixelOffset> got = orbitServes(*orbit, row.view);
        ASSERT_EQ(got.has_value(), row.offset.has_value()) << row.name;
        if (got) {
            // The new centre is written to its zoom's digits: within 1e-9 pixels.
            EXPECT_NEAR(got->dx, row.offset->dx, 1e-9) << row.name;
            EXPECT_NEAR(got->dy, row.offset->dy, 1e-9) << row.name;
        }
    }
}

// A pan drawn against the orbit of the view before gives the counts of the
// panned view's own orbit, but where rounding tips a pixel.
TEST(FreeView, APanDrawnAgainstTheHeldOrbitGivesTheCountsOfItsOwn)
{
    const DeepCentre held{"-0.00000000000000005080655206364047861695457499256407823361646978964504433388298",
                          "1.000000000000000632720065388414143680992769992608350212556972", 31, 3000};
    const DeepCentre panned = moveDeepCentre(held, -170, 120);
    const auto offset = orbitServes(*orbitOf(held), panned);
    ASSERT_TRUE(offset);
    DeepComputerOptions options;
    options.zoom = panned.zoom;
    FreeViewPixels against(std::make_shared<DeepComputer>(orbitOf(held), options), panned, *offset);
    FreeViewPixels own(std::make_shared<DeepComputer>(orbitOf(panned)));
    const std::vector<double> picture = everyNthPixel(5);
    const std::vector<PointResult> a = squareGrid(against, picture), b = squareGrid(own, picture);
    std::size_t same = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        same += a[i].n == b[i].n ? 1u : 0u;
    EXPECT_GE(same * 1000, a.size() * 999) << same << " of " << a.size();
    EXPECT_EQ(against.view(), panned);
}

TEST(FreeView, ACapChosenInDoublesNeedsNoOrbit)
{
    DeepSetupRequest request = requestFor({"-0.745", "0.1", 2, 200});
    request.chooseCap = true;
    auto chosen = setUpFreeView(request);
    ASSERT_TRUE(chosen.ok()) << chosen.error();
    EXPECT_EQ(chosen->orbit, nullptr);
    EXPECT_GT(chosen->iterations, 200) << "the valley's edge runs into a cap of 200";
    EXPECT_EQ(chosen->pixels->iterations(), chosen->iterations);
    // Chosen again from there, the cap stays, as with an orbit.
    request.view.iterations = chosen->iterations;
    EXPECT_EQ(setUpFreeView(request)->iterations, chosen->iterations);
    bool asked = false;
    request.progress = [&asked](double) { return asked = true, false; };
    EXPECT_EQ(setUpFreeView(request).error(), "stopped");
    EXPECT_TRUE(asked);
}

} // namespace
} // namespace mandel
