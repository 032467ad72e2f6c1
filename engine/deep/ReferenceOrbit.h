#pragma once

#include "FloatExp.h"
#include "Location.h"
#include "Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace mandel {

class BigFloat;

// How long work tells its caller how far it got, and lets it stop.
struct WorkControl {
    // Called now and then with the share done, 0 to 1; returning false
    // stops the work (which then fails with "stopped"). Empty: never.
    std::function<bool(double)> progress;
    // Bytes the work may hold at most; 0: no limit.
    std::size_t memoryLimit = 0;
};

// The orbit Z_0 = 0, Z_{j+1} = Z_j^2 + C of the centre C of a deep view,
// iterated in high precision and kept as doubles: what every pixel's
// perturbation is measured against. It ends at the cap N - 1, where
// |Z|^2 >= 4, or where it comes back within 2^-6 sqrt(h) of 0 (pixel
// spacing h): every pixel goes on from Z_0 at its end. Values below the
// double range are kept in full as well.
class ReferenceOrbit {
public:
    // Iterates the centre of `view` at precisionFor(view.zoom) bits.
    // Fails when the view is malformed, when the orbit would not fit in
    // memory, or when stopped.
    static Result<std::unique_ptr<ReferenceOrbit>> compute(const DeepCentre& view, const WorkControl& control = {});
    // The orbit of `view`: `earlier` extended to its cap when it is an orbit
    // of the same centre and zoom that nothing else holds, or else one
    // computed afresh. An orbit that is shared (an export may be reading it
    // on another thread) is never changed under its readers.
    static Result<std::shared_ptr<ReferenceOrbit>> reuseOrCompute(const DeepCentre& view,
                                                                  std::shared_ptr<ReferenceOrbit> earlier,
                                                                  const WorkControl& control = {});
    ~ReferenceOrbit();
    ReferenceOrbit(const ReferenceOrbit&) = delete;
    ReferenceOrbit& operator=(const ReferenceOrbit&) = delete;

    // Continues to a larger cap (same centre and zoom); a smaller or equal
    // cap changes nothing. On failure the cap stays as it was.
    Status extend(long long iterations, const WorkControl& control = {});

    // The view whose centre this is the orbit of (its cap: the largest
    // asked for so far).
    const DeepCentre& view() const noexcept { return view_; }
    // Values Z_0 .. Z_{size()-1}.
    long long size() const noexcept { return static_cast<long long>(values_.size() / 2); }
    // Whether the last value left the disc of radius 2.
    bool escaped() const noexcept { return escaped_; }
    // Whether it ended coming back near 0 (a small copy's centre does so
    // after one period): no cap needs more values.
    bool returned() const noexcept { return returned_; }
    // Z_m rounded to doubles, interleaved: re at [2m], im at [2m + 1].
    const double* values() const noexcept { return values_.data(); }
    // Z_m in full range (values below 2^-900 are rounded to doubles above).
    ComplexExp exact(long long m) const noexcept;
    // The centre rounded to doubles.
    double centreRe() const noexcept { return centreRe_; }
    double centreIm() const noexcept { return centreIm_; }
    // Pixel spacing h of the view.
    FloatExp spacing() const noexcept { return spacing_; }
    // Bits of precision used.
    long precision() const noexcept { return precision_; }

    // Bytes an orbit with `iterations` values holds, none of them below the
    // range of doubles (each of those takes kTinyBytes more).
    static std::size_t bytesFor(long long iterations) noexcept;
    static constexpr std::size_t kTinyBytes = sizeof(std::pair<long long, ComplexExp>);
    // Bytes this orbit holds.
    std::size_t bytes() const noexcept;

private:
    ReferenceOrbit() = default;
    Status iterateTo(long long iterations, const WorkControl& control);

    struct State;
    DeepCentre view_;
    std::unique_ptr<State> state_;  // the high-precision Z where iteration stopped
    std::vector<double> values_;
    std::vector<std::pair<long long, ComplexExp>> tiny_;  // by index, ascending
    bool escaped_ = false;
    bool returned_ = false;
    double centreRe_ = 0, centreIm_ = 0;
    FloatExp spacing_;
    long precision_ = 0;
};

// The orbits of the last few deep views left, so that coming back to one
// (back, undo, redo, deep mode off and on again) extends or takes it
// instead of computing it again. Orbits are matched by centre and zoom;
// taking one hands it over, so the shelf never holds an orbit its taker
// extends.
class OrbitShelf {
public:
    static constexpr std::size_t kDefaultCount = 4;
    explicit OrbitShelf(std::size_t count = kDefaultCount) : count_(count) {}

    // Keeps `orbit`, in place of one of the same centre and zoom; the
    // oldest go while more than `count` are kept or they hold more than
    // `budget` bytes together (0: no limit).
    void keep(std::shared_ptr<ReferenceOrbit> orbit, std::size_t budget = 0);
    // The kept orbit of `view`'s centre and zoom, taken off the shelf; null
    // when there is none.
    std::shared_ptr<ReferenceOrbit> take(const DeepCentre& view);
    void clear() noexcept { kept_.clear(); }
    std::size_t size() const noexcept { return kept_.size(); }
    // Bytes the kept orbits hold.
    std::size_t bytes() const noexcept;

private:
    std::size_t count_;
    std::vector<std::shared_ptr<ReferenceOrbit>> kept_;  // oldest first
};

} // namespace mandel
