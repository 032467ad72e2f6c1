#pragma once

#include "BlaTable.h"
#include "ReferenceOrbit.h"

#include <cstdint>

namespace mandel {

// What smooth colouring needs of an escaped deep pixel: the loop's last
// value z_(n-1) and beside it dz/dx, the derivative with respect to the
// pixel's offset measured in pixels (c = a + dx h + i (b - dy h)), which
// stays of moderate size at any depth where dz/dc would not.
struct DeepFinal {
    double zr = 0, zi = 0;
    double dzr = 0, dzi = 0;
};

// A second pass over pixels whose counts the deep computer found: the
// pixel iterated again by perturbation against the same reference orbit,
// step by step to z_(n-1), with the orbit's rebasing (to Z_0 whenever the
// pixel comes closer to 0 than to the reference, or the reference ends)
// and the delta and the derivative in doubles while pixels are at least
// 2^-400 apart, in the wide-exponent float past that. With approximation
// tables, runs of steps are skipped as the deep computer skips them: a
// run maps the delta to A d + B dc, and so dz/dx to A dz/dx + B h.
class DeepSmooth {
public:
    // Pixels `spacing` apart (a dive draws many zooms on one orbit); with
    // `tables` (built for this orbit, spacing and the pixels' reach, as the
    // deep computer's are), which must outlive it.
    DeepSmooth(const ReferenceOrbit& orbit, FloatExp spacing, const BlaTable* tables = nullptr);

    // z_(n-1) and dz/dx of the pixel at offset (dx, dy) whose count is n
    // (3 <= n < the cap).
    DeepFinal finalValue(double dx, double dy, std::int32_t n) const;

    // The pixel's c rounded to doubles, for the steps past the escape.
    double planeRe(double dx) const noexcept;
    double planeIm(double dy) const noexcept;
    // h rounded to a double (0 below its range): what each later step adds
    // to dz/dx.
    double spacing() const noexcept { return spacing_; }

private:
    DeepFinal finalInDoubles(double dx, double dy, std::int32_t n) const;

    const ReferenceOrbit& orbit_;
    const BlaTable* tables_;
    FloatExp spacingExp_;
    double spacing_;
};

} // namespace mandel
