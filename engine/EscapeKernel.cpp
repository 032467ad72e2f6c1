// The escape-time kernel for every Highway target this build compiles,
// and the choice among them at run time. The vector steps are in
// EscapeKernel-inl.h; what is compiled once is below, under HWY_ONCE.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "EscapeKernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "EscapeKernel-inl.h"

HWY_BEFORE_NAMESPACE();
namespace mandel {
namespace HWY_NAMESPACE {

// The forms compiled for this target, as (vectors in the long runs, in the
// dense groups). The steps of one vector form a chain of dependent
// multiplies and adds; several chains fill the pipelines, until their state
// no longer fits the registers and spills to memory. Where that point lies
// depends on the core, so the likely candidates are all compiled and the
// pool measures them (FastComputer); the first is the usual best.
#if HWY_TARGET == HWY_AVX3
// 32 registers: four of state per long-run vector.
#define MANDEL_ESCAPE_FORMS {"6/5", &IterateSegments<6, 5>}, {"4/4", &IterateSegments<4, 4>}, {"7/6", &IterateSegments<7, 6>}
#elif HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_SSE4
// 16 registers: three vectors fit, four spill their c to memory operands.
#define MANDEL_ESCAPE_FORMS {"3/3", &IterateSegments<3, 3>}, {"4/4", &IterateSegments<4, 4>}, {"6/6", &IterateSegments<6, 6>}
#else
#define MANDEL_ESCAPE_FORMS {"4/4", &IterateSegments<4, 4>}
#endif

const EscapeKernels* KernelsOfTarget()
{
    static const EscapeVariant forms[] = {MANDEL_ESCAPE_FORMS};
    static const EscapeKernels kernels{HWY_TARGET, forms, static_cast<int>(sizeof forms / sizeof forms[0])};
    return &kernels;
}
#undef MANDEL_ESCAPE_FORMS

} // namespace HWY_NAMESPACE
} // namespace mandel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace mandel {

HWY_EXPORT(KernelsOfTarget);

const EscapeKernels& escapeKernels()
{
    return *HWY_DYNAMIC_DISPATCH(KernelsOfTarget)();
}

EscapeScratch::EscapeScratch(int index)
    : self(index), zr(kSegmentRows + kRowPadding), zi(kSegmentRows + kRowPadding),
      ci(kSegmentRows + kRowPadding), row(kSegmentRows + kRowPadding), steps(kSegmentRows + kRowPadding)
{
}

} // namespace mandel
#endif // HWY_ONCE
