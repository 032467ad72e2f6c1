#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace mandel {

// What the rebase watch learned: the orbit has settled on an attracting
// cycle of this period; `re`, `im` (times 2^e) is the cycle's point where
// the orbit was last rebased, extrapolated from the last three visits.
struct Settled {
    long long period = 0;
    double re = 0, im = 0;
    std::int64_t e = 0;
    double log2Gap = 0;   // log2 of |last step| / |value|, the distance still to go
    double log2Rate = 0;  // log2 |multiplier|: what each period takes off it
};

// Watches the values a pixel's orbit is rebased at (its closest
// approaches to 0). Inside a small copy of the set they come back once a
// cycle, each time nearer an attracting cycle, the gaps shrinking by the
// cycle's multiplier. When two successive ratios of gaps agree, the
// orbit has settled: it never escapes, and where it converges to follows
// from a geometric series, so the rest of the cycles need not be run.
class CycleWatch {
public:
    // Records the rebase at index i with value (re + im i) 2^e; true with
    // `out` filled once settled. Values are compared at equal exponents
    // only (doubles have e = 0).
    bool see(long long i, double re, double im, std::int64_t e, Settled& out);

private:
    bool learn(long long lag, double gr, double gi, double re, double im, std::int64_t e, double size2, Settled& out);

    // Visits within 2^-20 of each other count as the same point of a
    // cycle; two multiplier estimates within 10^-3 of each other, below
    // 0.95 in size, as one attracting cycle.
    static constexpr double kNear2 = 0x1p-40;
    static constexpr double kAgree2 = 1e-6;
    static constexpr double kRate2 = 0.95 * 0.95;
    static constexpr int kDepth = 8;
    static constexpr std::int64_t kNone = INT64_MIN;
    // The visits, the latest at head_ - 1 (slots apart: they are all
    // compared at once).
    long long at_[kDepth]{};
    double re_[kDepth]{};
    double im_[kDepth]{};
    std::int64_t e_[kDepth] = {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone};
    static_assert(kDepth == 8, "e_ starts with a kNone for every slot");
    int head_ = 0;
    long long lag_ = 0;
    double lgr_ = 0, lgi_ = 0;  // the last gap
    double mur_ = 0, mui_ = 0;  // the last multiplier estimate
    int rates_ = 0;
};

// After settling: the number of whole periods that can be skipped so that
// the rest still ends at `stop`, when by then the orbit is within 2^-40 of
// the cycle; 0 otherwise.
long long periodsToSkip(const Settled& s, long long i, long long stop);

// A proven attracting cycle of a pixel's own orbit: (re, im) is one of its
// points, found by Newton's method, where F, the period-th iterate, has
// the given multiplier.
struct Trap {
    long long period = 0;
    double re = 0, im = 0;
    double rate = 1;        // |multiplier|
    double mr = 1, mi = 0;  // the multiplier
    double curve = 0;       // a bound on |F''| / 2 near the point
};

// Watches the pixel's own orbit z_{i+1} = z_i^2 + c (c in doubles, within
// `cError` of the pixel's exact c) for an attracting cycle. Brent's way, a
// value z_s is kept and renewed after 1, 2, 4, ... steps; when the orbit
// comes back near z_s after P steps, Newton's method on F(w) = w, F the
// P-th iterate, finds the cycle's point w* and its multiplier F'(w*). With
// |F'(w*)| < 1, discs about w* are carried through the P steps in ball
// arithmetic (each radius grown by the rounding of the step and c's error
// as well): when the image lies inside the disc, F has an attracting fixed
// point in it for every c within cError, so the point is inside the set
// and its orbit from 0 never escapes, whatever rounding did to the values
// seen. Near the set's boundary that comes long before the orbit itself
// comes near the cycle: waiting for it to repeat to the last bits takes
// tens of times longer.
class AttractWatch {
public:
    AttractWatch(double cr, double ci, double cError) : cr_(cr), ci_(ci), cError_(cError) {}

    // Sees z_i (before its step); true when the point is proven inside the
    // set, with its cycle in `out`.
    bool see(long long i, double zr, double zi, Trap& out)
    {
        const double gr = zr - sr_;
        const double gi = zi - si_;
        // Proofs take at most a quarter of the steps, and a few hundred.
        if (gr * gr + gi * gi < kNear2 && i > at_ && i >= next_ &&
            spent_ + kProofSteps * (i - at_) <= i / 4 + kFreeSteps) {
            next_ = i + i / 8 + kProofSteps * (i - at_);
            if (prove(i - at_, zr, zi, out))
                return true;
        }
        if (i - at_ >= window_) {
            sr_ = zr;
            si_ = zi;
            at_ = i;
            window_ *= 2;
        }
        return false;
    }

    // Steps spent on proofs so far.
    long long spent() const noexcept { return spent_; }
    // What see() reads, for a copy of its test that runs over many
    // pixels at once: see() changes nothing unless
    //   |z - z_s|^2 < kNear2, i > at, i >= next and
    //   spent + kProofSteps (i - at) <= i / 4 + kFreeSteps,
    // or i - at >= window.
    double zsRe() const noexcept { return sr_; }
    double zsIm() const noexcept { return si_; }
    long long zsAt() const noexcept { return at_; }
    long long window() const noexcept { return window_; }
    long long nextProof() const noexcept { return next_; }
    // What see() leaves after renewing z_s at index `at` (the copy's own
    // renewals, handed back).
    void renewed(long long at, long long window, double zr, double zi) noexcept
    {
        at_ = at;
        window_ = window;
        sr_ = zr;
        si_ = zi;
    }

    // A return this close to z_s (squared) is worth a proof.
    static constexpr double kNear2 = 0x1p-12;
    // Steps a proof takes at most, in periods.
    static constexpr long long kProofSteps = 16;
    static constexpr long long kFreeSteps = 256;

private:
    // Newton's method from z on the cycle of `period` steps, then discs
    // about its point; fills `out` when one is proven.
    bool prove(long long period, double zr, double zi, Trap& out);
    double curveBound(long long period, double wr, double wi) const;
    // Whether the disc of radius r about (wr, wi) is mapped into itself.
    bool mapsIntoItself(long long period, double wr, double wi, double r);

    double cr_, ci_, cError_;
    double sr_ = 0, si_ = 0;  // z_s
    long long at_ = 0;        // its index
    long long window_ = 1;
    long long next_ = 0;      // no proof is tried before this index
    long long spent_ = 0;
};

} // namespace mandel
