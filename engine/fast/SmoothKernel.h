#pragma once

#include "PointResult.h"

#include <cstddef>
#include <cstdint>

namespace mandel {

// Points whose counts are known, iterated again with the derivative beside
// them: what smooth colouring and distance shading need of escaped points.
struct SmoothSteps {
    const double* cr = nullptr;
    const double* ci = nullptr;
    const std::int32_t* n = nullptr;  // each point's count: it takes n - 1 steps
    int count = 0;
    // The point's last value and derivative after its steps, as the loop of
    // iterateSmooth leaves them (z' = 2 z z' + 1 from the value before each step).
    double* zr = nullptr;
    double* zi = nullptr;
    double* dzr = nullptr;
    double* dzi = nullptr;
};

// On SIMD lanes of the best target this CPU runs: the same roundings, step
// for step, as the scalar loop, so the results equal it bit for bit.
void runSmoothSteps(const SmoothSteps& task);

// The scalar form, the reference the lanes are held to.
void runSmoothStepsScalar(const SmoothSteps& task);

struct SampleColouring;

// seriesLog2 of each x[i] >= 1 on SIMD lanes of the best target, bit for
// bit the scalar form: the logarithm every lane colouring takes.
void seriesLog2Lanes(const double* x, double* out, int count);

// Escaped samples with known counts, coloured in one pass: their steps again
// (with z' only where the shading needs it), then SampleColouring's extra
// steps, nu, gradient, shading and 8-bit encoding, all on the lanes.
struct EscapedSamples {
    const double* cr = nullptr;
    const double* ci = nullptr;
    const std::int32_t* n = nullptr;
    int count = 0;
    // Sample k's colour (SampleColouring::colourEscaped) goes to out[at[k]].
    std::uint32_t* out = nullptr;
    const std::size_t* at = nullptr;
};

// On SIMD lanes of the best target: the same bytes as the scalar form.
void colourEscaped(const SampleColouring& colouring, const EscapedSamples& task);

// The scalar form: each sample's steps, then SampleColouring::colourEscaped.
void colourEscapedScalar(const SampleColouring& colouring, const EscapedSamples& task);

// A column of samples whose loops the computer ran to their end and whose
// last z it handed out (FieldComputer::computeGridWithZr, or
// DeepComputer::computeGrid with zr), coloured without
// shading: no step is taken again and no list of escaped samples is made;
// rows run side by side on the lanes, the interior's masked.
struct KnownColumn {
    double cr = 0;
    const double* ci = nullptr;            // c's imaginary part, row by row
    const PointResult* results = nullptr;  // n and zi of the loop's end
    const double* zr = nullptr;            // and zr
    int rows = 0;
    std::int32_t cap = kMaxIterations;     // n at the cap: the interior
    std::uint32_t* out = nullptr;          // out[r], as colourEscaped writes
    // Or, where `bytes` is given, the same as four bytes (red, green, blue,
    // and a fourth that the next sample's may overwrite) at bytes + r * stride.
    std::uint8_t* bytes = nullptr;
    std::size_t stride = 0;
};

// On SIMD lanes of the best target: the same bytes as the scalar form, and
// as colourEscaped's of the escaped samples (whose steps end at that z).
void colourKnownColumn(const SampleColouring& colouring, const KnownColumn& column);

// The scalar form: SampleColouring::colourEscaped from each escaped
// sample's last z, or the interior colour.
void colourKnownColumnScalar(const SampleColouring& colouring, const KnownColumn& column);

} // namespace mandel
