// The one deep set-up: an orbit the caller has is taken or extended rather
// than computed again, the cap it chooses is the computer's, and a view that
// cannot fit is refused.

#include "DeepSetup.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace mandel {
namespace {

const DeepCentre kSeahorse{"-0.7436438870371587", "0.1318259042053119", 15, 2000};

DeepSetupRequest requestFor(const DeepCentre& view)
{
    DeepSetupRequest request;
    request.view = view;
    return request;
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

} // namespace
} // namespace mandel
