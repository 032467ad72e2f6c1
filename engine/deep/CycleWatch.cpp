#include "CycleWatch.h"

namespace mandel {

bool CycleWatch::see(long long i, double re, double im, std::int64_t e, Settled& out)
{
    const double size2 = re * re + im * im;
    const double near2 = size2 * kNear2;
    // Every visit kept is tested (a fixed loop without early exit, which
    // the compiler unrolls); the latest one near enough is the one learnt
    // from. Slots not yet filled hold an exponent no value has.
    unsigned near = 0;
    for (int j = 0; j < kDepth; ++j) {
        const double gr = re - re_[j];
        const double gi = im - im_[j];
        near |= static_cast<unsigned>(e_[j] == e && !(gr * gr + gi * gi > near2)) << j;
    }
    bool found = false;
    for (int back = 1; near != 0 && back <= kDepth; ++back) {
        const int j = (head_ + kDepth - back) % kDepth;
        if ((near >> j & 1U) != 0) {
            found = learn(i - at_[j], re - re_[j], im - im_[j], re, im, e, size2, out);
            break;
        }
    }
    at_[head_] = i;
    re_[head_] = re;
    im_[head_] = im;
    e_[head_] = e;
    head_ = (head_ + 1) % kDepth;
    return found;
}

bool CycleWatch::learn(long long lag, double gr, double gi, double re, double im, std::int64_t e, double size2,
                       Settled& out)
{
    const bool same = lag == lag_;
    const double last2 = lgr_ * lgr_ + lgi_ * lgi_;
    const double gap2 = gr * gr + gi * gi;
    bool found = false;
    if (same && gap2 == 0 && last2 == 0) {
        // The same value twice after the same lag: exactly periodic.
        out = {lag, re, im, e, -1100, -1100};
        found = true;
    } else if (same && last2 > 0) {
        // The multiplier: this gap over the last one.
        const double mr = (gr * lgr_ + gi * lgi_) / last2;
        const double mi = (gi * lgr_ - gr * lgi_) / last2;
        const double rate2 = mr * mr + mi * mi;
        const double dr = mr - mur_;
        const double di = mi - mui_;
        if (rates_ > 0 && rate2 < kRate2 && dr * dr + di * di <= kAgree2 * rate2 && size2 > 0) {
            // z + g m / (1 - m): the sum of the gaps still to come.
            const double er = 1 - mr;
            const double ei = -mi;
            const double e2 = er * er + ei * ei;
            const double qr = (mr * er + mi * ei) / e2;
            const double qi = (mi * er - mr * ei) / e2;
            out = {lag, re + (gr * qr - gi * qi), im + (gr * qi + gi * qr), e,
                   0.5 * std::log2(gap2 / size2), 0.5 * std::log2(rate2)};
            found = true;
        }
        mur_ = mr;
        mui_ = mi;
        rates_ = 1;
    } else {
        rates_ = 0;
    }
    lag_ = lag;
    lgr_ = gr;
    lgi_ = gi;
    return found;
}

long long periodsToSkip(const Settled& s, long long i, long long stop)
{
    const long long periods = (stop - i) / s.period;
    if (periods <= 0)
        return 0;
    const double left = s.log2Gap + s.log2Rate * static_cast<double>(periods);
    return left <= -40 ? periods : 0;
}

namespace {

// Rounding bound of one operation, with room for the few that make up a
// step.
constexpr double kUlps = 0x1p-50;
// Newton steps tried before a candidate cycle is given up.
constexpr int kNewtonSteps = 12;
// Discs tried, each half the last; smaller ones prove nothing the
// orbit's own rounding could not undo.
constexpr int kDiscs = 5;
constexpr double kSmallestDisc = 0x1p-36;

// x and F' = D along the orbit of x: one step x = x^2 + c, D = 2 x D.
struct Carried {
    double xr, xi;
    double dr = 1, di = 0;
    void step(double cr, double ci) noexcept
    {
        const double ndr = 2.0 * (xr * dr - xi * di);
        di = 2.0 * (xr * di + xi * dr);
        dr = ndr;
        const double nxr = (xr * xr - xi * xi) + cr;
        xi = 2.0 * xr * xi + ci;
        xr = nxr;
    }
};

} // namespace

// A bound on |F''| over small discs about w, as the discs' arithmetic
// sees it: 2 (|D|^2 + |x| bound) along the orbit from w. Taken apart
// from Newton's passes: most cycles tried are repelling and need none,
// and its square roots cost more than the rest of a pass.
double AttractWatch::curveBound(long long period, double wr, double wi) const
{
    Carried x{wr, wi};
    double bound = 0;
    for (long long j = 0; j < period; ++j) {
        // F'' = 2 (D^2 + x F''), then F' and x.
        const double ad = std::sqrt(x.dr * x.dr + x.di * x.di);
        const double ax = std::sqrt(x.xr * x.xr + x.xi * x.xi);
        bound = 2.0 * (ad * ad + ax * bound);
        x.step(cr_, ci_);
    }
    return bound;
}

bool AttractWatch::prove(long long period, double zr, double zi, Trap& out)
{
    double wr = zr;
    double wi = zi;
    double lr = 0, li = 0;  // F'(w)
    double fr = wr, fi = wi;  // where the last pass started
    bool converged = false;
    for (int step = 0; step < kNewtonSteps && !converged; ++step) {
        fr = wr;
        fi = wi;
        Carried x{wr, wi};
        for (long long j = 0; j < period; ++j) {
            x.step(cr_, ci_);
            if (x.xr * x.xr + x.xi * x.xi > 16.0)
                break;
        }
        const double xr = x.xr, xi = x.xi, dr = x.dr, di = x.di;
        spent_ += period;
        if (!(xr * xr + xi * xi <= 16.0))
            return false;
        lr = dr;
        li = di;
        // w - (F(w) - w) / (F'(w) - 1)
        const double gr = xr - wr;
        const double gi = xi - wi;
        const double pr = dr - 1;
        const double pi = di;
        const double p2 = pr * pr + pi * pi;
        if (!(p2 > 0))
            return false;
        const double mr = (gr * pr + gi * pi) / p2;
        const double mi = (gi * pr - gr * pi) / p2;
        wr -= mr;
        wi -= mi;
        converged = mr * mr + mi * mi <= 0x1p-100 * (1 + wr * wr + wi * wi);
    }
    const double rate = std::sqrt(lr * lr + li * li);
    if (!converged || !(rate < 1))
        return false;
    const double bound = curveBound(period, fr, fi);
    // |F(w) - w*| <= |F'| R + |F''| R^2 / 2 + ...: discs up to 2 (1 - |F'|) / |F''|
    // map into themselves; start just inside that.
    double radius = std::min(4.0, 1.75 * (1 - rate) / std::max(bound, 0x1p-100));
    for (int disc = 0; disc < kDiscs && radius >= kSmallestDisc; ++disc, radius /= 2) {
        if (mapsIntoItself(period, wr, wi, radius)) {
            out = {period, wr, wi, rate, lr, li, 0.5 * bound};
            return true;
        }
    }
    return false;
}

bool AttractWatch::mapsIntoItself(long long period, double wr, double wi, double radius)
{
    const double c = std::sqrt(cr_ * cr_ + ci_ * ci_);
    double xr = wr, xi = wi;
    double r = radius;
    spent_ += period;
    for (long long j = 0; j < period; ++j) {
        // |(x + e)^2 + c - (x^2 + c)| <= (2 |x| + |e|) |e|, plus the step's
        // rounding and c's own error.
        const double ax = std::sqrt(xr * xr + xi * xi) * (1 + kUlps);
        r = (2.0 * ax + r) * r * (1 + kUlps) + (ax * ax + c) * kUlps + cError_;
        if (!(r < 4.0))
            return false;
        const double nxr = (xr * xr - xi * xi) + cr_;
        xi = 2.0 * xr * xi + ci_;
        xr = nxr;
    }
    const double gr = xr - wr;
    const double gi = xi - wi;
    return std::sqrt(gr * gr + gi * gi) * (1 + kUlps) + r < radius;
}

} // namespace mandel
