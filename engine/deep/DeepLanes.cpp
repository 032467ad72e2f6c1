// The deep per-pixel loop in vectors, lanes over the pixels of a column,
// compiled for every Highway target this build has. Each lane keeps its
// own delta, reference index and step count; a vector step takes, in
// every lane, the step the scalar loop would take when it is the plain
// perturbation step (2 Z + d) d + dc or a table run (each lane's level
// found as findRun finds it), with the same operations in the same order
// (no fused multiply-add), renews the interior watch's z_s as the watch
// does, and hands any lane whose next step is anything else (an escape, a
// rebase the rebase watch sees, a proof the interior watch may try, the
// wide range, the stop) to that loop (PixelOrbit::step), which takes it on
// to where plain steps follow one another again. A lane whose pixel is
// done takes the column's next, run by that loop up to the same point.
// While no lane waits, the lanes try a few plain steps at once without the
// general step's masks and blends, kept when every one of them was plain:
// the way out of the reference's reach is mostly such steps.

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
// Plain steps a block takes at once, and the steps after one could not be
// kept before the next is tried.
constexpr int kBlock = 4;
constexpr int kCalmSteps = 4;

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
    HWY_ALIGN std::int64_t li[kMaxLanes], lm[kMaxLanes], lat[kMaxLanes], lwin[kMaxLanes], lnext[kMaxLanes],
        lspent[kMaxLanes], lactive[kMaxLanes], ldue[kMaxLanes];
    HWY_ALIGN double lre[kMaxLanes], lim[kMaxLanes], lcr[kMaxLanes], lci[kMaxLanes], lsr[kMaxLanes], lsi[kMaxLanes],
        ldy[kMaxLanes];
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
        lat[l] = a.zsAt();
        lwin[l] = a.window();
        lnext[l] = a.nextProof();
        lspent[l] = a.spent();
        lactive[l] = -1;
    };
    int next = 0;
    // Lane l takes the next pixel still to do whose delta is in doubles
    // (the others are done in the wide range first, or whole).
    auto refill = [&](std::size_t l) {
        while (next < rows) {
            const int r = next++;
            lane[l].emplace(k, dx, dy[r], done);
            if (const std::optional<PointResult> result = lane[l]->toPlain()) {
                out[r] = *result;
                if (lastZr)
                    lastZr[r] = lane[l]->lastZr();
                continue;
            }
            row[l] = r;
            ldy[l] = dy[r];
            keep(l);
            return;
        }
        lane[l].reset();
        li[l] = lm[l] = lat[l] = lwin[l] = lnext[l] = lspent[l] = lactive[l] = 0;
        lre[l] = lim[l] = lcr[l] = lci[l] = lsr[l] = lsi[l] = ldy[l] = 0;
    };
    for (std::size_t l = 0; l < lanes; ++l)
        refill(l);

    const BlaTable& t = *k.table;
    const bool tables = t.endLevel() > t.minLevel();
    const int low = t.minLevel();
    static_assert(sizeof(BlaStep) == 5 * sizeof(double), "entries are read as 5 doubles");
    // Every entry in doubles, 5 doubles apart, and r2 of the lowest level's.
    const double* entries = tables ? &t.all()[0].ar : nullptr;
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
    const VI stopAt = hn::Set(di, k.cap - 1);
    // The interior watch acts at index i only when i >= at + window (it
    // renews z_s), or when z is near z_s with i > at, i >= next and
    // spent + kProofSteps (i - at) <= i / 4 + kFreeSteps, which needs
    // (kProofSteps - 1/4) i <= kFreeSteps + kProofSteps at - spent: the
    // indices from which and up to which a proof may be due. (The room is
    // below 2^40, where its quotient in doubles rounds down as in integers.)
    static_assert(AttractWatch::kProofSteps == 16, "kProofSteps at is taken as a shift");
    const VI freeSteps = hn::Set(di, AttractWatch::kFreeSteps);
    const VI none = hn::Set(di, -1);
    auto turns = [&](VI at, VI win, VI nextProof, VI spent, VI& event, VI& from, VI& until) {
        event = k.findInterior ? hn::Min(hn::Add(at, win), stopAt) : stopAt;
        from = hn::Max(hn::Add(at, one), nextProof);
        const VI room = hn::Sub(hn::Add(freeSteps, hn::ShiftLeft<4>(at)), spent);
        const VI quotient = hn::ConvertTo(di, hn::Div(hn::Mul(hn::ConvertTo(df, room), hn::Set(df, 4.0)),
                                                      hn::Set(df, 4.0 * AttractWatch::kProofSteps - 1)));
        until = hn::IfThenElse(hn::Lt(room, zero), none, quotient);
    };
    const VF dxs = hn::Set(df, dx);
    const long long prefixCount = tables ? t.prefixCount() : 0;
    const VI prefixCountV = hn::Set(di, prefixCount);
    int prefixRounds = 1;
    while ((1LL << prefixRounds) <= prefixCount)
        ++prefixRounds;
    // Field `offset` (0 ar, 1 ai, 2 bhr, 3 bhi, 4 r2) of each lane's entry.
    auto field = [&](VI at, int offset) {
        return hn::GatherIndex(df, entries, hn::Add(hn::Add(hn::ShiftLeft<2>(at), at), hn::Set(di, offset)));
    };
    // The table steps the lanes took: what findRun's callers count.
    VI tableSteps = zero;
    VI tableLevels = zero;

    // The run findRun finds for the lanes `want` (each at reference index
    // m with a delta of squared size d2, which the lowest entry at m or
    // the first run from index 1 holds): its entry among all entries and
    // its length, 0 where none fits the room left.
    using MI = hn::Mask<decltype(di)>;
    auto findRuns = [&](hn::Mask<decltype(df)> want, VI i, VI m, VF d2, VI& entry, VI& steps, MI& fromOne) {
        const auto wantI = hn::RebindMask(di, want);
        const VI room = hn::Sub(stopAt, i);
        steps = zero;
        entry = zero;
        // From index 1: the longest of the runs that start there and fit
        // the room, found by bisection (their radii never grow).
        VI hi = hn::Min(prefixCountV, hn::ShiftRightSame(room, low));
        fromOne = hn::And(wantI, hn::And(hn::Eq(m, one), hn::Gt(hi, zero)));
        fromOne = hn::And(fromOne, hn::RebindMask(di, hn::Lt(d2, prefix2)));
        if (!hn::AllFalse(di, fromOne)) {
            VI lo = zero;
            for (int round = 0; round < prefixRounds; ++round) {
                const auto open = hn::And(fromOne, hn::Lt(lo, hi));
                if (hn::AllFalse(di, open))
                    break;
                const VI mid = hn::Add(lo, hn::ShiftRight<1>(hn::Sub(hi, lo)));
                const VF r2 = field(hn::IfThenElseZero(open, mid), 4);
                const auto holds = hn::And(open, hn::RebindMask(di, hn::Lt(d2, r2)));
                lo = hn::IfThenElse(holds, hn::Add(mid, one), lo);
                hi = hn::IfThenElse(hn::AndNot(holds, open), mid, hi);
            }
            entry = hn::IfThenElseZero(fromOne, hn::Sub(lo, one));
            steps = hn::IfThenElseZero(fromOne, hn::ShiftLeftSame(lo, low));
        }
        // Else the aligned entries of each level, the longest that fits
        // the room and holds the delta, once the lowest holds it.
        auto aligned = hn::AndNot(fromOne, hn::And(wantI, hn::RebindMask(di, hn::Lt(d2, lowestR2(m)))));
        const VI k1 = hn::Sub(m, one);
        for (int level = low; level < t.endLevel() && !hn::AllFalse(di, aligned); ++level) {
            const VI at = hn::ShiftRightSame(k1, level);
            aligned = hn::And(aligned, hn::Eq(hn::And(k1, hn::Set(di, (std::int64_t{1} << level) - 1)), zero));
            aligned = hn::AndNot(hn::Gt(hn::Set(di, std::int64_t{1} << level), room), aligned);
            aligned = hn::And(aligned, hn::Lt(at, hn::Set(di, t.count(level))));
            const VI index = hn::Add(at, hn::Set(di, t.start(level)));
            const VF r2 = field(hn::IfThenElseZero(aligned, index), 4);
            const auto holds = hn::And(aligned, hn::RebindMask(di, hn::Lt(d2, r2)));
            entry = hn::IfThenElse(holds, index, entry);
            steps = hn::IfThenElse(holds, hn::Set(di, std::int64_t{1} << level), steps);
        }
    };

    // kBlock plain steps in every busy lane at once, kept only when each of
    // them is the plain step the loop below would take (no lane escapes,
    // rebases, stops, nears the interior watch's turns or the end of the
    // reference, leaves doubles or comes within a table entry's reach):
    // without the loop's masks and blends, in the same operations. False,
    // with the state as it was, when one is not.
    auto blockSteps = [&](hn::Mask<decltype(df)> active, VI& i, VI& m, VF& dr, VF& dm, VF& dd2, VF& zmr, VF& zmi,
                          VF cr, VF ci, VI event, VI proofFrom, VI proofUntil) {
        const auto activeI = hn::RebindMask(di, active);
        const VI stepI = hn::IfThenElseZero(activeI, one);
        // The indices the block's steps start at, i .. i + kBlock - 1, and
        // m likewise: none may be the interior watch's turn, the stop, a
        // proof's stretch or the reference's end, and m is not 0.
        const VI lastI = hn::Add(i, hn::Set(di, kBlock - 1));
        const auto turn = hn::Or(hn::Not(hn::Lt(lastI, hn::Min(event, stopAt))),
                                 hn::And(hn::Not(hn::Lt(lastI, proofFrom)), hn::Not(hn::Gt(i, proofUntil))));
        const auto ends = hn::Or(hn::Not(hn::Lt(hn::Add(m, hn::Set(di, kBlock - 1)), last)), hn::Eq(m, zero));
        if (!hn::AllFalse(di, hn::And(activeI, hn::Or(turn, ends))))
            return false;
        VI bi = i, bm = m;
        VF br = dr, bmi = dm, b2 = dd2, zr0 = zmr, zi0 = zmi;
        auto fail = hn::FirstN(df, 0);
        for (int step = 0; step < kBlock; ++step) {
            if (step > 0) {
                zr0 = hn::GatherIndex(df, k.z, hn::Add(bm, bm));
                zi0 = hn::GatherIndex(df, k.z + 1, hn::Add(bm, bm));
            }
            const VF zr = hn::Add(zr0, br);
            const VF zi = hn::Add(zi0, bmi);
            const VF r2 = hn::Add(hn::Mul(zr, zr), hn::Mul(zi, zi));
            const VF zm2 = hn::Add(hn::Mul(zr0, zr0), hn::Mul(zi0, zi0));
            fail = hn::Or(fail, hn::Or(hn::Or(hn::Ge(r2, four), hn::Lt(r2, b2)),
                                       hn::Or(hn::Lt(zm2, b2), hn::Lt(b2, widest2))));
            // (2 Z + d) d + dc
            const VF tr = hn::Add(hn::Mul(two, zr0), br);
            const VF ti = hn::Add(hn::Mul(two, zi0), bmi);
            const VF nr = hn::Add(hn::Sub(hn::Mul(tr, br), hn::Mul(ti, bmi)), cr);
            const VF ni = hn::Add(hn::Add(hn::Mul(tr, bmi), hn::Mul(ti, br)), ci);
            b2 = hn::Add(hn::Mul(nr, nr), hn::Mul(ni, ni));
            fail = hn::Or(fail, hn::Lt(b2, floor2));
            br = nr;
            bmi = ni;
            bi = hn::Add(bi, stepI);
            bm = hn::Add(bm, stepI);
        }
        if (!hn::AllFalse(df, hn::And(active, fail)))
            return false;
        // (m + kBlock is at most the reference's end.)
        zmr = hn::GatherIndex(df, k.z, hn::Add(bm, bm));
        zmi = hn::GatherIndex(df, k.z + 1, hn::Add(bm, bm));
        i = bi;
        m = bm;
        dr = hn::IfThenElse(active, br, dr);
        dm = hn::IfThenElse(active, bmi, dm);
        dd2 = hn::IfThenElse(active, b2, dd2);
        return true;
    };

    for (;;) {
        // Done when every lane is idle (pixels done in the wide range
        // leave lanes idle from the start).
        bool busy = false;
        for (std::size_t l = 0; l < lanes; ++l)
            busy = busy || lactive[l] != 0;
        if (!busy) {
            HWY_ALIGN std::int64_t counted[kMaxLanes], levels[kMaxLanes];
            hn::Store(tableSteps, di, counted);
            hn::Store(tableLevels, di, levels);
            for (std::size_t l = 0; l < lanes; ++l) {
                done.tableSteps += counted[l];
                done.tableLevels |= static_cast<std::uint64_t>(levels[l]);
            }
            return;
        }
        VI i = hn::Load(di, li);
        VI m = hn::Load(di, lm);
        VF dr = hn::Load(df, lre);
        VF dm = hn::Load(df, lim);
        const VF cr = hn::Load(df, lcr);
        const VF ci = hn::Load(df, lci);
        VF sr = hn::Load(df, lsr);
        VF si = hn::Load(df, lsi);
        VI at = hn::Load(di, lat);
        VI win = hn::Load(di, lwin);
        const VI nextProof = hn::Load(di, lnext);
        const VI spent = hn::Load(di, lspent);
        VI event, proofFrom, proofUntil;
        turns(at, win, nextProof, spent, event, proofFrom, proofUntil);
        const auto active = asF(hn::MaskFromVec(hn::Load(di, lactive)));
        const std::size_t busyLanes = hn::CountTrue(df, active);
        VF zmr = hn::GatherIndex(df, k.z, hn::Add(m, m));
        VF zmi = hn::GatherIndex(df, k.z + 1, hn::Add(m, m));
        VF r2First = lowestR2(m);
        // |d|^2 of each lane's delta, carried from the step that made it.
        VF dd2 = hn::Add(hn::Mul(dr, dr), hn::Mul(dm, dm));
        // Steps of a block are tried while no lane waits, and again a
        // while after a block that could not be kept.
        int calm = 0;
        for (;;) {
            if (calm == 0 && blockSteps(active, i, m, dr, dm, dd2, zmr, zmi, cr, ci, event, proofFrom, proofUntil)) {
                r2First = hn::AllFalse(df, hn::And(active, hn::Lt(dd2, widest2))) ? hn::Zero(df) : lowestR2(m);
                continue;
            }
            if (calm == 0)
                calm = kCalmSteps;
            // The reference values of the next step, read while this one is
            // computed (a lane that takes the plain step goes on at m + 1,
            // or at 1 after a rebase; one that waits stays at m).
            const VI ahead = hn::IfThenElse(hn::Lt(m, last), hn::Add(m, one), m);
            const VF zmrAhead = hn::GatherIndex(df, k.z, hn::Add(ahead, ahead));
            const VF zmiAhead = hn::GatherIndex(df, k.z + 1, hn::Add(ahead, ahead));
            // The tests of the scalar loop's step, in its order; any lane
            // that passes one is due for the scalar step.
            const VF zr = hn::Add(zmr, dr);
            const VF zi = hn::Add(zmi, dm);
            const VF r2 = hn::Add(hn::Mul(zr, zr), hn::Mul(zi, zi));
            // (An escape at the stop, or past it, is the stop's.)
            auto due = hn::Or(hn::Ge(r2, four), asF(hn::Not(hn::Lt(i, stopAt))));
            if (k.findInterior) {
                // (Proofs may be due in a short stretch after each renewal.)
                const auto proof = asF(hn::And(hn::Not(hn::Lt(i, proofFrom)), hn::Not(hn::Gt(i, proofUntil))));
                if (!hn::AllFalse(df, proof)) {
                    const VF gr = hn::Sub(zr, sr);
                    const VF gi = hn::Sub(zi, si);
                    due = hn::Or(due, hn::And(hn::Lt(hn::Add(hn::Mul(gr, gr), hn::Mul(gi, gi)), near2), proof));
                }
                // The watch renews z_s where no proof is due (the lanes'
                // proof test holds wherever its own does); its look at the
                // same index, should the lane be handed over after all,
                // then changes nothing.
                const auto renew = hn::AndNot(due, hn::And(active, asF(hn::Not(hn::Lt(i, event)))));
                if (!hn::AllFalse(df, renew)) {
                    const auto renewI = hn::RebindMask(di, renew);
                    at = hn::IfThenElse(renewI, i, at);
                    win = hn::IfThenElse(renewI, hn::Add(win, win), win);
                    sr = hn::IfThenElse(renew, zr, sr);
                    si = hn::IfThenElse(renew, zi, si);
                    turns(at, win, nextProof, spent, event, proofFrom, proofUntil);
                }
            }
            const VF zm2 = hn::Add(hn::Mul(zmr, zmr), hn::Mul(zmi, zmi));
            VF d2 = dd2;
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
            // (2 Z + d) d + dc
            const VF tr = hn::Add(hn::Mul(two, zr0), br);
            const VF ti = hn::Add(hn::Mul(two, zi0), bm);
            const VF nr = hn::Add(hn::Sub(hn::Mul(tr, br), hn::Mul(ti, bm)), cr);
            const VF ni = hn::Add(hn::Add(hn::Mul(tr, bm), hn::Mul(ti, br)), ci);
            const VF n2 = hn::Add(hn::Mul(nr, nr), hn::Mul(ni, ni));
            const auto below = hn::Lt(n2, floor2);
            // A run may start here where the lowest level's entry (or the
            // first run from index 1) holds the delta. (r2First is 0 where
            // no entry starts; rebased lanes are at 0.)
            auto run = hn::FirstN(df, 0);
            if (tables) {
                const auto fits = hn::Or(hn::Lt(d2, r2First), hn::And(asF(hn::Eq(m, one)), hn::Lt(d2, prefix2)));
                const auto want =
                    hn::AndNot(due, hn::And(active, hn::AndNot(rebase, hn::And(hn::Lt(d2, widest2), fits))));
                if (!hn::AllFalse(df, want)) {
                    VI entry, steps;
                    MI fromOne;
                    findRuns(want, i, m, d2, entry, steps, fromOne);
                    const VF ar = field(entry, 0);
                    const VF ai = field(entry, 1);
                    const VF bhr = field(entry, 2);
                    const VF bhi = field(entry, 3);
                    const VF dys = hn::Load(df, ldy);
                    const VF rr = hn::Add(hn::Sub(hn::Mul(ar, dr), hn::Mul(ai, dm)),
                                          hn::Add(hn::Mul(bhr, dxs), hn::Mul(bhi, dys)));
                    const VF ri = hn::Add(hn::Add(hn::Mul(ar, dm), hn::Mul(ai, dr)),
                                          hn::Sub(hn::Mul(bhi, dxs), hn::Mul(bhr, dys)));
                    const auto found = hn::And(want, asF(hn::Gt(steps, zero)));
                    // A run whose delta leaves doubles is the scalar loop's.
                    const VF r2Run = hn::Add(hn::Mul(rr, rr), hn::Mul(ri, ri));
                    const auto leaves = hn::Lt(r2Run, floor2);
                    due = hn::Or(due, hn::And(found, leaves));
                    run = hn::AndNot(leaves, found);
                    const auto runI = hn::RebindMask(di, run);
                    const VI taken = hn::IfThenElseZero(runI, steps);
                    dr = hn::IfThenElse(run, rr, dr);
                    dm = hn::IfThenElse(run, ri, dm);
                    dd2 = hn::IfThenElse(run, r2Run, dd2);
                    i = hn::Add(i, taken);
                    m = hn::Add(m, taken);
                    tableSteps = hn::Add(tableSteps, hn::IfThenElseZero(runI, hn::Sub(steps, one)));
                    tableLevels = hn::Or(tableLevels, hn::IfThenElseZero(hn::AndNot(fromOne, runI), steps));
                }
            }
            due = hn::And(active, hn::Or(due, hn::AndNot(run, below)));
            const auto plain = hn::AndNot(run, hn::AndNot(due, active));
            const auto plainI = hn::RebindMask(di, plain);
            dr = hn::IfThenElse(plain, nr, dr);
            dm = hn::IfThenElse(plain, ni, dm);
            dd2 = hn::IfThenElse(plain, n2, dd2);
            i = hn::Add(i, hn::IfThenElseZero(plainI, one));
            m = hn::IfThenElse(plainI, hn::Add(m0, one), m);
            const auto onward = hn::AndNot(rebase, plain);
            const auto restart = hn::And(rebase, plain);
            zmr = hn::IfThenElse(onward, zmrAhead, hn::IfThenElse(restart, z1r, zmr));
            zmi = hn::IfThenElse(onward, zmiAhead, hn::IfThenElse(restart, z1i, zmi));
            if (!hn::AllFalse(df, run)) {
                // Lanes that ran go on far along the reference.
                zmr = hn::IfThenElse(run, hn::GatherIndex(df, k.z, hn::Add(m, m)), zmr);
                zmi = hn::IfThenElse(run, hn::GatherIndex(df, k.z + 1, hn::Add(m, m)), zmi);
            }
            // The lowest level's radius where each lane now is, read only
            // when some lane's delta is small enough for any entry: on the
            // way out of the reference's reach (where plain steps pile up)
            // none is.
            r2First = hn::AllFalse(df, hn::And(active, hn::Lt(dd2, widest2))) ? hn::Zero(df) : lowestR2(m);
            // Lanes due for the scalar step wait (their state unchanged)
            // until half the busy ones are: the hand-over costs more than
            // the steps the waiting lanes miss.
            if (hn::AllFalse(df, due)) {
                calm = calm > 0 ? calm - 1 : 0;
                continue;
            }
            calm = kCalmSteps;
            if (2 * hn::CountTrue(df, due) < busyLanes)
                continue;
            hn::Store(i, di, li);
            hn::Store(m, di, lm);
            hn::Store(dr, df, lre);
            hn::Store(dm, df, lim);
            hn::Store(sr, df, lsr);
            hn::Store(si, df, lsi);
            hn::Store(at, di, lat);
            hn::Store(win, di, lwin);
            hn::Store(hn::VecFromMask(di, hn::RebindMask(di, due)), di, ldue);
            break;
        }
        for (std::size_t l = 0; l < lanes; ++l) {
            if (ldue[l] != 0) {
                PixelOrbit& p = *lane[l];
                p.resume(li[l], lm[l], lre[l], lim[l]);
                p.attract().renewed(lat[l], lwin[l], lsr[l], lsi[l]);
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
