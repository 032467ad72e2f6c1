#pragma once

#include "FloatExp.h"
#include "Result.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace mandel {

class ReferenceOrbit;

// One entry of the table as the double-precision loop reads it: l steps
// from reference index m take the delta z to A z + B c, valid while
// |z|^2 < r2. B is stored times the pixel spacing h, so that B c is
// B h (dx - dy i) in doubles. An entry out of the double range has r2 = 0.
struct BlaStep {
    double ar, ai;
    double bhr, bhi;
    double r2;
};

// The same entry in full range, for deltas below the double range.
struct BlaStepExp {
    ComplexExp a, b;
    FloatExp r2;
};

// Bilinear approximation tables: level L holds, for reference indices
// 1 + k 2^L, the linear map of the next 2^L perturbation steps and the
// radius within which dropping the squares costs less than rounding.
// Built once per reference orbit and largest pixel offset.
class BlaTable {
public:
    // Relative size of the dropped square term that an entry allows.
    // Larger values skip more but let rounding-sensitive pixels near small
    // copies of the set drift: 2^-50 keeps them as exact as plain doubles.
    static constexpr double kEpsilon = 0x1p-50;

    // Builds the levels minLevel and up for the first `length` values of
    // `orbit`, for pixels at most `maxOffset` pixels from the centre.
    // Fails when the tables would not fit in `memoryLimit` bytes (0: any).
    // `epsilon` is the allowed relative size of the dropped term; `spacing`
    // the pixel spacing h of the pixels drawn (none: the orbit's view's).
    static Result<BlaTable> build(const ReferenceOrbit& orbit, long long length, double maxOffset, int minLevel,
                                  std::size_t memoryLimit = 0, double epsilon = kEpsilon,
                                  std::optional<FloatExp> spacing = std::nullopt,
                                  std::optional<int> scaledBy = std::nullopt);

    // The lowest and one past the highest level held.
    int minLevel() const noexcept { return minLevel_; }
    int endLevel() const noexcept { return minLevel_ + static_cast<int>(exact_.size()); }
    // Entries of a level held.
    long long count(int level) const noexcept
    {
        return static_cast<long long>(exact_[static_cast<std::size_t>(level - minLevel_)].size());
    }
    const BlaStep* steps(int level) const noexcept { return all_.data() + start(level); }
    // Where a level's entries begin among all entries in doubles (the runs
    // from index 1 first, then the levels upward), so that lanes at
    // different levels read one array.
    long long start(int level) const noexcept { return starts_[static_cast<std::size_t>(level - minLevel_)]; }
    const BlaStep* all() const noexcept { return all_.data(); }
    const BlaStepExp* exact(int level) const noexcept
    {
        return exact_[static_cast<std::size_t>(level - minLevel_)].data();
    }
    // The runs from reference index 1 (where every rebased orbit goes on):
    // entry k maps the delta at index 1 to the one at 1 + (k + 1) 2^minLevel.
    // Their radii never grow with k.
    long long prefixCount() const noexcept { return static_cast<long long>(prefixExact_.size()); }
    const BlaStep* prefix() const noexcept { return all_.data(); }
    const BlaStepExp* prefixExact() const noexcept { return prefixExact_.data(); }
    // Every entry for deltas held times 2^S (built with scaledBy = S), laid
    // out as all(): B h and r2 times 2^S and 2^2S; r2 = 0 where a value
    // leaves the double range. Empty unless built so.
    const BlaStep* stepsScaled(int level) const noexcept { return allScaled_.data() + start(level); }
    const BlaStep* prefixScaled() const noexcept { return allScaled_.data(); }

    // The largest squared radius of any entry in doubles: a delta at least
    // this large is held by none (pixels far from a short reference).
    double widest2() const noexcept { return widest2_; }

    // The largest pixel offset the radii allow for.
    double maxOffset() const noexcept { return maxOffset_; }
    // The number of reference values covered.
    long long length() const noexcept { return length_; }

    // The scale S deltas below the double range are held at for pixels of
    // spacing h, as doubles times 2^S: where such deltas are common, S puts
    // h at 2^-360, so that the doubles hold deltas from 2^-140 h up to
    // 2^-400, squares included. None: shallower views, and deeper ones,
    // where deltas between 2^860 h and 2^-400 would still pass through the
    // wide range, and the coefficients of long runs leave the doubles.
    static std::optional<int> deltaScaleFor(const FloatExp& h) noexcept
    {
        return h.e <= -500 && h.e >= -1260 ? std::optional<int>(static_cast<int>(-h.e - 360)) : std::nullopt;
    }

    // Bytes the tables for `length` values from `minLevel` up hold (with
    // the entries for scaled deltas when `scaled`).
    static std::size_t bytesFor(long long length, int minLevel, bool scaled = false) noexcept;
    // Bytes these tables hold.
    std::size_t bytes() const noexcept;

private:
    BlaTable() = default;
    std::vector<BlaStep> all_;
    std::vector<BlaStep> allScaled_;
    std::vector<long long> starts_;
    std::vector<std::vector<BlaStepExp>> exact_;
    std::vector<BlaStepExp> prefixExact_;
    int minLevel_ = 0;
    double widest2_ = 0;
    double maxOffset_ = 0;
    long long length_ = 0;
};

} // namespace mandel
