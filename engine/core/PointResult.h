#pragma once

#include <cstdint>

namespace mandel {

// The iteration cap: n stops at 200, so at most 199 steps per point.
inline constexpr int kMaxIterations = 200;

// What colouring needs of one point: the final count n (3..200, or 1 where
// the loop never ran) and the final imaginary part zi.
struct PointResult {
    double zi = 0;
    std::int32_t n = 0;

    friend bool operator==(const PointResult&, const PointResult&) = default;
};

// The escape-time iteration of one point c = cr + ci*i, step by step as the
// program has always done it; the reference every faster path must match.
inline PointResult iteratePoint(double cr, double ci) noexcept
{
    double zr = 0, zi = 0, zr2 = 0, zi2 = 0;
    int n = 1;
    // The test reads the squares taken at the start of the previous step, so
    // an escape is seen one step late; both conditions are evaluated.
    while ((n < kMaxIterations) & (zr2 + zi2 < 4.0)) {
        zr2 = zr * zr;
        zi2 = zi * zi;
        zi = (2.0 * zi) * zr + ci;
        zr = (zr2 - zi2) + cr;
        n = n + 1;
    }
    return {zi, n};
}

// The same loop with the cap N in place of 200, the real part of the last z
// it leaves put in `zrOut` (where smooth colouring goes on from).
inline PointResult iteratePoint(double cr, double ci, std::int32_t cap, double& zrOut) noexcept
{
    double zr = 0, zi = 0, zr2 = 0, zi2 = 0;
    std::int32_t n = 1;
    while ((n < cap) & (zr2 + zi2 < 4.0)) {
        zr2 = zr * zr;
        zi2 = zi * zi;
        zi = (2.0 * zi) * zr + ci;
        zr = (zr2 - zi2) + cr;
        n = n + 1;
    }
    zrOut = zr;
    return {zi, n};
}

// The same with its last zr dropped: what free views drawn in doubles
// compute, the reference of the vector kernel at any cap.
inline PointResult iteratePoint(double cr, double ci, std::int32_t cap) noexcept
{
    double zr = 0;
    return iteratePoint(cr, ci, cap, zr);
}

} // namespace mandel
