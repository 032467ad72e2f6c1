// The ceiling loop, compiled for every Highway target like the kernel.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "CeilingLoop.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "CeilingLoop.h"

HWY_BEFORE_NAMESPACE();
namespace mandel::bench {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

// 2 as the compiler cannot see it, as in the kernel.
volatile double gTwo = 2.0;

template <int kStreams>
std::int64_t Run(std::int64_t steps, double* sink)
{
    using D = hn::ScalableTag<double>;
    using V = hn::Vec<D>;
    const D d;
    const V two = hn::Set(d, gTwo);
    const V four = hn::Set(d, 4.0);
    constexpr auto kCount = static_cast<std::size_t>(kStreams);
    V zr[kCount], zi[kCount], cr[kCount], ci[kCount];
    for (int j = 0; j < kStreams; ++j) {
        // Points of the main cardioid: they settle on a fixed point, never
        // escape and never go subnormal.
        cr[j] = hn::Add(hn::Set(d, -0.5), hn::Mul(hn::Iota(d, 0.0), hn::Set(d, 0.001 * (j + 1))));
        ci[j] = hn::Set(d, 0.1 + 0.01 * j);
        zr[j] = hn::Zero(d);
        zi[j] = hn::Zero(d);
    }
    std::int64_t taken = 0;
    for (; taken < steps; ++taken) {
        V largest = hn::Zero(d);
        for (int j = 0; j < kStreams; ++j) {
            const V zr2 = hn::Mul(zr[j], zr[j]);
            const V zi2 = hn::Mul(zi[j], zi[j]);
            zi[j] = hn::Add(hn::Mul(hn::Mul(two, zi[j]), zr[j]), ci[j]);
            zr[j] = hn::Add(hn::Sub(zr2, zi2), cr[j]);
            largest = hn::Max(largest, hn::Add(zr2, zi2));
        }
        if (HWY_UNLIKELY(!hn::AllTrue(d, hn::Lt(largest, four))))
            break;
    }
    V sum = hn::Zero(d);
    for (int j = 0; j < kStreams; ++j)
        sum = hn::Add(sum, hn::Add(zr[j], zi[j]));
    *sink += hn::GetLane(sum);
    return taken * kStreams * static_cast<std::int64_t>(hn::Lanes(d));
}

} // namespace

std::int64_t CeilingLaneSteps(int streams, std::int64_t steps, double* sink)
{
    switch (streams) {
    case 1: return Run<1>(steps, sink);
    case 2: return Run<2>(steps, sink);
    case 3: return Run<3>(steps, sink);
    case 4: return Run<4>(steps, sink);
    case 5: return Run<5>(steps, sink);
    case 6: return Run<6>(steps, sink);
    case 7: return Run<7>(steps, sink);
    default: return Run<8>(steps, sink);
    }
}

std::int64_t CeilingTarget()
{
    return HWY_TARGET;
}

} // namespace HWY_NAMESPACE
} // namespace mandel::bench
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace mandel::bench {

HWY_EXPORT(CeilingLaneSteps);
HWY_EXPORT(CeilingTarget);

std::int64_t ceilingLaneSteps(int streams, std::int64_t steps, double* sink)
{
    return HWY_DYNAMIC_DISPATCH(CeilingLaneSteps)(streams, steps, sink);
}

std::int64_t ceilingTarget()
{
    return HWY_DYNAMIC_DISPATCH(CeilingTarget)();
}

} // namespace mandel::bench
#endif
