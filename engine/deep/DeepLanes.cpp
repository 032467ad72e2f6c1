// The deep per-pixel loop in vectors, lanes over the pixels of a column,
// compiled for every Highway target this build has. Each lane keeps its
// own delta, reference index and step count; a vector step takes the
// plain perturbation step (2 Z + d) d + dc in every lane where the scalar
// loop would take it, with the same operations in the same order (no
// fused multiply-add), and hands any lane whose next step is anything
// else (an escape, a rebase, a table run, the interior watch's turn, the
// wide range, the stop) to that loop for one step (PixelOrbit::step), then
// takes it back. A lane whose pixel is done takes the column's next.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "DeepLanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "DeepLanes.h"
#include "PixelOrbit.h"

#include <algorithm>
#include <cstdint>
#include <optional>

HWY_BEFORE_NAMESPACE();
namespace mandel::deep {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// AVX-512 holds 8 doubles; room for wider vectors (wider still: the scalar
// loop).
constexpr std::size_t kMaxLanes = 16;

void IterateColumn(const Kernel& k, double dx, const double* dy, int rows, PointResult* out, DeepShortcuts& done,
                   double* lastZr)
{
    const hn::ScalableTag<double> df;
    const hn::RebindToSigned<decltype(df)> di;
    using VF = hn::Vec<decltype(df)>;
    using VI = hn::Vec<decltype(di)>;
    const std::size_t lanes = hn::Lanes(df);
    if (lanes > kMaxLanes) {
        for (int r = 0; r < rows; ++r)
            out[r] = iterate(k, dx, dy[r], done, lastZr ? lastZr + r : nullptr);
        return;
    }
    auto asF = [&](auto m) { return hn::RebindMask(df, m); };

    // Each lane's state, as the vectors hold it between hand-overs.
    HWY_ALIGN std::int64_t li[kMaxLanes], lm[kMaxLanes], lfrom[kMaxLanes], luntil[kMaxLanes], levent[kMaxLanes],
        lactive[kMaxLanes], ldue[kMaxLanes];
    HWY_ALIGN double lre[kMaxLanes], lim[kMaxLanes], lcr[kMaxLanes], lci[kMaxLanes], lsr[kMaxLanes], lsi[kMaxLanes];
    int row[kMaxLanes] = {};
    std::optional<PixelOrbit> lane[kMaxLanes];

    auto keep = [&](std::size_t l) {
        const PixelOrbit& p = *lane[l];
        li[l] = p.index();
        lm[l] = p.reference();
        lre[l] = p.small().re;
        lim[l] = p.small().im;
        lcr[l] = p.dcr();
        lci[l] = p.dci();
        const AttractWatch& a = p.attract();
        lsr[l] = a.zsRe();
        lsi[l] = a.zsIm();
        // The interior watch acts at index i only when i >= at + window (it
        // renews z_s), or when z is near z_s with i > at, i >= next and
        // spent + kProofSteps (i - at) <= i / 4 + kFreeSteps, which needs
        // (kProofSteps - 1/4) i <= kFreeSteps + kProofSteps at - spent.
        const long long stop = k.cap - 1;
        levent[l] = k.findInterior ? std::min(a.zsAt() + a.window(), stop) : stop;
        lfrom[l] = std::max(a.zsAt() + 1, a.nextProof());
        const long long room = AttractWatch::kFreeSteps + AttractWatch::kProofSteps * a.zsAt() - a.spent();
        luntil[l] = room >= 0 ? 4 * room / (4 * AttractWatch::kProofSteps - 1) : -1;
        lactive[l] = -1;
    };
    int next = 0;
    // Lane l takes the next pixel still to do whose delta is in doubles
    // (the others are done in the wide range first, or whole).
    auto refill = [&](std::size_t l) {
        while (next < rows) {
            const int r = next++;
            lane[l].emplace(k, dx, dy[r], done);
            if (const std::optional<PointResult> result = lane[l]->toDoubles()) {
                out[r] = *result;
                if (lastZr)
                    lastZr[r] = lane[l]->lastZr();
                continue;
            }
            row[l] = r;
            keep(l);
            return;
        }
        lane[l].reset();
        li[l] = lm[l] = lfrom[l] = luntil[l] = levent[l] = lactive[l] = 0;
        lre[l] = lim[l] = lcr[l] = lci[l] = lsr[l] = lsi[l] = 0;
    };
    for (std::size_t l = 0; l < lanes; ++l)
        refill(l);

    const BlaTable& t = *k.table;
    const bool tables = t.endLevel() > t.minLevel();
    const int low = t.minLevel();
    static_assert(sizeof(BlaStep) == 5 * sizeof(double), "entries are read as 5 doubles");
    // r2 of the lowest level's entries, 5 doubles apart.
    const double* r2Low = tables ? &t.steps(low)[0].r2 : nullptr;
    const VI countLow = hn::Set(di, tables ? t.count(low) : 0);
    const VI alignMask = hn::Set(di, (std::int64_t{1} << low) - 1);
    const VF widest2 = hn::Set(df, t.widest2());
    const VF prefix2 = hn::Set(df, t.prefixCount() > 0 ? t.prefix()[0].r2 : 0.0);
    const VF four = hn::Set(df, 4.0);
    const VF two = hn::Set(df, 2.0);
    const VF floor2 = hn::Set(df, kDoubleFloor2);
    const VF near2 = hn::Set(df, AttractWatch::kNear2);
    const VF approach2 = hn::Set(df, kApproach2);
    const VI last = hn::Set(di, k.last);
    const VI zero = hn::Zero(di);
    const VI one = hn::Set(di, 1);
    // Whether the lowest level has an entry starting at reference index
    // m, and the squared radius of that entry.
    auto heldAt = [&](VI at) {
        const VI k1 = hn::Sub(at, one);
        const auto aligned = hn::And(hn::Gt(at, zero), hn::Eq(hn::And(k1, alignMask), zero));
        return hn::And(aligned, hn::Lt(hn::ShiftRightSame(k1, low), countLow));
    };
    auto lowestR2 = [&](VI at) {
        if (!tables)
            return hn::Zero(df);
        const VI first = hn::ShiftRightSame(hn::Sub(at, one), low);
        const auto held = heldAt(at);
        const VI entry = hn::IfThenElseZero(held, hn::Add(hn::ShiftLeft<2>(first), first));
        // 0 where no entry starts: no delta is held there.
        return hn::IfThenElseZero(asF(held), hn::GatherIndex(df, r2Low, entry));
    };
    // Z_1, where rebased lanes go on.
    const VF z1r = hn::Set(df, k.last >= 1 ? k.z[2] : 0.0);
    const VF z1i = hn::Set(df, k.last >= 1 ? k.z[3] : 0.0);
    const VF r2AtOne = lowestR2(one);

    for (;;) {
        // Done when every lane is idle (pixels done in the wide range
        // leave lanes idle from the start).
        bool busy = false;
        for (std::size_t l = 0; l < lanes; ++l)
            busy = busy || lactive[l] != 0;
        if (!busy)
            return;
        VI i = hn::Load(di, li);
        VI m = hn::Load(di, lm);
        VF dr = hn::Load(df, lre);
        VF dm = hn::Load(df, lim);
        const VF cr = hn::Load(df, lcr);
        const VF ci = hn::Load(df, lci);
        const VF sr = hn::Load(df, lsr);
        const VF si = hn::Load(df, lsi);
        const VI proofFrom = hn::Load(di, lfrom);
        const VI proofUntil = hn::Load(di, luntil);
        const VI event = hn::Load(di, levent);
        const auto active = asF(hn::MaskFromVec(hn::Load(di, lactive)));
        const std::size_t busyLanes = hn::CountTrue(df, active);
        VF zmr = hn::GatherIndex(df, k.z, hn::Add(m, m));
        VF zmi = hn::GatherIndex(df, k.z + 1, hn::Add(m, m));
        VF r2First = lowestR2(m);
        for (;;) {
            // The reference values of the next step, read while this one is
            // computed (a lane that takes the plain step goes on at m + 1,
            // or at 1 after a rebase; one that waits stays at m).
            const VI ahead = hn::IfThenElse(hn::Lt(m, last), hn::Add(m, one), m);
            const VF zmrAhead = hn::GatherIndex(df, k.z, hn::Add(ahead, ahead));
            const VF zmiAhead = hn::GatherIndex(df, k.z + 1, hn::Add(ahead, ahead));
            const VF r2Ahead = lowestR2(ahead);
            // The tests of the scalar loop's step, in its order; any lane
            // that passes one is due for the scalar step.
            const VF zr = hn::Add(zmr, dr);
            const VF zi = hn::Add(zmi, dm);
            const VF r2 = hn::Add(hn::Mul(zr, zr), hn::Mul(zi, zi));
            // (An escape at the stop, or past it, is the stop's.)
            auto due = hn::Or(hn::Ge(r2, four), asF(hn::Not(hn::Lt(i, event))));
            if (k.findInterior) {
                const VF gr = hn::Sub(zr, sr);
                const VF gi = hn::Sub(zi, si);
                const auto proof = hn::And(hn::Not(hn::Lt(i, proofFrom)), hn::Not(hn::Gt(i, proofUntil)));
                due = hn::Or(due, hn::And(hn::Lt(hn::Add(hn::Mul(gr, gr), hn::Mul(gi, gi)), near2), asF(proof)));
            }
            const VF zm2 = hn::Add(hn::Mul(zmr, zmr), hn::Mul(zmi, zmi));
            VF d2 = hn::Add(hn::Mul(dr, dr), hn::Mul(dm, dm));
            const auto rebase = hn::Or(hn::Lt(r2, d2), hn::Or(asF(hn::Eq(m, last)), hn::And(asF(hn::Gt(m, zero)),
                                                                                            hn::Lt(zm2, d2))));
            // A rebase is taken here unless the delta leaves doubles or
            // the rebase watch is to see it.
            if (k.settle && !k.findInterior) {
                due = hn::Or(due, rebase);
            } else {
                auto watched = hn::Lt(r2, floor2);
                if (k.settle)
                    watched = hn::Or(watched, hn::Or(hn::Lt(r2, approach2), asF(hn::Eq(m, last))));
                due = hn::Or(due, hn::And(rebase, watched));
            }
            // The step goes on from the rebased delta: d = z against Z_0 = 0.
            const VF br = hn::IfThenElse(rebase, zr, dr);
            const VF bm = hn::IfThenElse(rebase, zi, dm);
            const VF zr0 = hn::IfThenZeroElse(rebase, zmr);
            const VF zi0 = hn::IfThenZeroElse(rebase, zmi);
            d2 = hn::IfThenElse(rebase, r2, d2);
            const VI m0 = hn::IfThenElseZero(hn::RebindMask(di, hn::Not(rebase)), m);
            if (tables) {
                // A run may start here: the lowest level's entry (or the
                // first run from index 1) holds the delta.
                // (r2First is 0 where no entry starts; rebased lanes are at 0.)
                const auto fits = hn::Or(hn::Lt(d2, r2First), hn::And(asF(hn::Eq(m, one)), hn::Lt(d2, prefix2)));
                due = hn::Or(due, hn::AndNot(rebase, hn::And(hn::Lt(d2, widest2), fits)));
            }
            // (2 Z + d) d + dc
            const VF tr = hn::Add(hn::Mul(two, zr0), br);
            const VF ti = hn::Add(hn::Mul(two, zi0), bm);
            const VF nr = hn::Add(hn::Sub(hn::Mul(tr, br), hn::Mul(ti, bm)), cr);
            const VF ni = hn::Add(hn::Add(hn::Mul(tr, bm), hn::Mul(ti, br)), ci);
            due = hn::And(active, hn::Or(due, hn::Lt(hn::Add(hn::Mul(nr, nr), hn::Mul(ni, ni)), floor2)));
            const auto plain = hn::AndNot(due, active);
            const auto plainI = hn::RebindMask(di, plain);
            dr = hn::IfThenElse(plain, nr, dr);
            dm = hn::IfThenElse(plain, ni, dm);
            i = hn::Add(i, hn::IfThenElseZero(plainI, one));
            m = hn::IfThenElse(plainI, hn::Add(m0, one), m);
            const auto onward = hn::AndNot(rebase, plain);
            const auto restart = hn::And(rebase, plain);
            zmr = hn::IfThenElse(onward, zmrAhead, hn::IfThenElse(restart, z1r, zmr));
            zmi = hn::IfThenElse(onward, zmiAhead, hn::IfThenElse(restart, z1i, zmi));
            r2First = hn::IfThenElse(onward, r2Ahead, hn::IfThenElse(restart, r2AtOne, r2First));
            // Lanes due for the scalar step wait (their state unchanged)
            // until half the busy ones are: the hand-over costs more than
            // the steps the waiting lanes miss.
            if (2 * hn::CountTrue(df, due) < busyLanes)
                continue;
            hn::Store(i, di, li);
            hn::Store(m, di, lm);
            hn::Store(dr, df, lre);
            hn::Store(dm, df, lim);
            hn::Store(hn::VecFromMask(di, hn::RebindMask(di, due)), di, ldue);
            break;
        }
        for (std::size_t l = 0; l < lanes; ++l) {
            if (ldue[l] != 0) {
                PixelOrbit& p = *lane[l];
                p.resume(li[l], lm[l], lre[l], lim[l]);
                if (const std::optional<PointResult> result = p.step()) {
                    out[row[l]] = *result;
                    if (lastZr)
                        lastZr[row[l]] = p.lastZr();
                    refill(l);
                } else {
                    keep(l);
                }
            }
        }
    }
}

} // namespace HWY_NAMESPACE
} // namespace mandel::deep
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace mandel::deep {

HWY_EXPORT(IterateColumn);

void iterateColumn(const Kernel& k, double dx, const double* dy, int rows, PointResult* out, DeepShortcuts& done,
                   double* zr)
{
    HWY_DYNAMIC_DISPATCH(IterateColumn)(k, dx, dy, rows, out, done, zr);
}

} // namespace mandel::deep
#endif
