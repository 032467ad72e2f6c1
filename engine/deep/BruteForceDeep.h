#pragma once

#include "Location.h"
#include "PointResult.h"

namespace mandel {

class BigFloat;

// What the brute-force path says about one point.
struct BruteForceResult {
    PointResult result;  // at the working precision
    bool ambiguous = false;  // a finer precision gave another count
};

// The legacy loop with cap N on c = (a + dx h, b - dy h) of a deep view,
// every value in high precision: the straightforward reference that the
// perturbation path is tested against. Slow (a whole high-precision loop
// per point), for tests and tools.
class BruteForceDeep {
public:
    // Points of `view` (its centre, zoom and cap).
    explicit BruteForceDeep(DeepCentre view);

    // The result of the point at pixel offset (dx, dy), at `bits` of
    // precision (0: the precision reference orbits use).
    PointResult compute(double dx, double dy, long bits = 0) const;

    // compute() at the usual precision and at 64 bits more; ambiguous
    // when their counts differ.
    BruteForceResult check(double dx, double dy) const;
    // The smooth value nu of the point (z iterated on past the count, as
    // the smooth colours define it), every step in high precision;
    // negative for a point whose count reaches the cap.
    double smoothValue(double dx, double dy, long bits = 0) const;

private:
    // Sets (cr, ci) to the point at offset (dx, dy), at their precision.
    void setPoint(double dx, double dy, BigFloat& cr, BigFloat& ci) const;

    DeepCentre view_;
};

} // namespace mandel
