// The steps of smooth colouring for every Highway target this build
// compiles, and the choice among them at run time.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "SmoothKernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "SmoothKernel.h"

#include <algorithm>

HWY_BEFORE_NAMESPACE();
namespace mandel {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Neighbouring points side by side, one a lane; each stops at its own count
// (its lane then keeps its values) and the vector runs to the longest.
void RunSmoothSteps(const SmoothSteps& task)
{
    const hn::ScalableTag<double> d;
    const auto lanes = static_cast<int>(hn::Lanes(d));
    const auto one = hn::Set(d, 1.0);
    const auto two = hn::Set(d, 2.0);
    int i = 0;
    for (; i + lanes <= task.count; i += lanes) {
        const auto cr = hn::LoadU(d, task.cr + i);
        const auto ci = hn::LoadU(d, task.ci + i);
        std::int32_t longest = 0;
        HWY_ALIGN double steps[hn::MaxLanes(d)];
        for (int k = 0; k < lanes; ++k) {
            steps[k] = static_cast<double>(task.n[i + k] - 1);
            longest = std::max(longest, task.n[i + k] - 1);
        }
        const auto limit = hn::Load(d, steps);
        auto zr = hn::Zero(d), zi = hn::Zero(d), dzr = hn::Zero(d), dzi = hn::Zero(d);
        auto done = hn::Zero(d);
        for (std::int32_t s = 0; s < longest; ++s) {
            const auto active = hn::Lt(done, limit);
            const auto ndr = hn::Add(hn::Mul(two, hn::Sub(hn::Mul(zr, dzr), hn::Mul(zi, dzi))), one);
            const auto ndi = hn::Mul(two, hn::Add(hn::Mul(zr, dzi), hn::Mul(zi, dzr)));
            const auto zr2 = hn::Mul(zr, zr);
            const auto zi2 = hn::Mul(zi, zi);
            const auto nzi = hn::Add(hn::Mul(hn::Mul(two, zi), zr), ci);
            const auto nzr = hn::Add(hn::Sub(zr2, zi2), cr);
            dzr = hn::IfThenElse(active, ndr, dzr);
            dzi = hn::IfThenElse(active, ndi, dzi);
            zr = hn::IfThenElse(active, nzr, zr);
            zi = hn::IfThenElse(active, nzi, zi);
            done = hn::Add(done, one);
        }
        hn::StoreU(zr, d, task.zr + i);
        hn::StoreU(zi, d, task.zi + i);
        hn::StoreU(dzr, d, task.dzr + i);
        hn::StoreU(dzi, d, task.dzi + i);
    }
    if (i < task.count) {
        SmoothSteps rest = task;
        rest.cr += i;
        rest.ci += i;
        rest.n += i;
        rest.count -= i;
        rest.zr += i;
        rest.zi += i;
        rest.dzr += i;
        rest.dzi += i;
        runSmoothStepsScalar(rest);
    }
}

} // namespace HWY_NAMESPACE
} // namespace mandel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace mandel {

HWY_EXPORT(RunSmoothSteps);

void runSmoothSteps(const SmoothSteps& task)
{
    HWY_DYNAMIC_DISPATCH(RunSmoothSteps)(task);
}

void runSmoothStepsScalar(const SmoothSteps& task)
{
    for (int i = 0; i < task.count; ++i) {
        const double cr = task.cr[i], ci = task.ci[i];
        double zr = 0, zi = 0, dzr = 0, dzi = 0;
        for (std::int32_t s = 1; s < task.n[i]; ++s) {
            const double ndr = 2.0 * (zr * dzr - zi * dzi) + 1.0;
            const double ndi = 2.0 * (zr * dzi + zi * dzr);
            dzr = ndr;
            dzi = ndi;
            const double zr2 = zr * zr;
            const double zi2 = zi * zi;
            zi = (2.0 * zi) * zr + ci;
            zr = (zr2 - zi2) + cr;
        }
        task.zr[i] = zr;
        task.zi[i] = zi;
        task.dzr[i] = dzr;
        task.dzi[i] = dzi;
    }
}

} // namespace mandel
#endif // HWY_ONCE
