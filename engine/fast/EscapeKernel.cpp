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

// The forms compiled for this target, named "long/dense" after the vectors
// in flight in the long runs and in the dense groups, with "e" where each
// vector is tested on its own and c is read from memory (EscapeKernel-inl.h).
// The steps of one vector form a chain of dependent multiplies and adds;
// several chains fill the pipelines, until their state no longer fits the
// registers and spills to memory. Where that point lies depends on the
// core, so the likely candidates are all compiled and the pool measures
// them (FastComputer); the first is the best on the cores measured so far.
#define MANDEL_FORM(name, streams, first, each) \
    {name, &IterateSegments<streams, first, each, false>, &IterateSegments<streams, first, each, true>}
#if HWY_TARGET == HWY_AVX3
// 32 registers: c and z of six vectors fit.
#define MANDEL_ESCAPE_FORMS MANDEL_FORM("6/5", 6, 5, false), MANDEL_FORM("4/4", 4, 4, false), MANDEL_FORM("6/5e", 6, 5, true)
#elif HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_SSE4
// 16 registers: z of four or five vectors, with c from memory, or six with
// some of their state spilled.
#define MANDEL_ESCAPE_FORMS MANDEL_FORM("4/4e", 4, 4, true), MANDEL_FORM("6/6", 6, 6, false), MANDEL_FORM("5/5e", 5, 5, true)
#else
#define MANDEL_ESCAPE_FORMS MANDEL_FORM("4/4", 4, 4, false)
#endif

const EscapeKernels* KernelsOfTarget()
{
    static const EscapeVariant forms[] = {MANDEL_ESCAPE_FORMS};
    static const EscapeKernels kernels{HWY_TARGET, forms, static_cast<int>(sizeof forms / sizeof forms[0])};
    return &kernels;
}
#undef MANDEL_ESCAPE_FORMS
#undef MANDEL_FORM

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
