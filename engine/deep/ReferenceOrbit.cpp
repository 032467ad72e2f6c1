#include "ReferenceOrbit.h"

#include "BigFloat.h"
#include "DeepView.h"

#include <algorithm>
#include <new>

namespace mandel {

namespace {

// Values of smaller magnitude than 2^kTinyExponent are kept in full: the
// doubles lose them, and the few iterations that meet them need them.
constexpr long kTinyExponent = -900;

// Iterations between two progress reports.
constexpr long long kReportEvery = 8192;

ComplexExp fullRange(mpfr_srcptr re, mpfr_srcptr im)
{
    long er = 0;
    long ei = 0;
    const double mr = mpfr_get_d_2exp(&er, re, MPFR_RNDN);
    const double mi = mpfr_get_d_2exp(&ei, im, MPFR_RNDN);
    return ComplexExp(FloatExp(mr, er), FloatExp(mi, ei));
}

// Whether a nonzero part of (re, im) lies at or above 2^kTinyExponent.
bool inDoubleRange(mpfr_srcptr re, mpfr_srcptr im)
{
    const bool reBig = !mpfr_zero_p(re) && mpfr_get_exp(re) > kTinyExponent;
    const bool imBig = !mpfr_zero_p(im) && mpfr_get_exp(im) > kTinyExponent;
    return reBig || imBig || (mpfr_zero_p(re) && mpfr_zero_p(im));
}

} // namespace

struct ReferenceOrbit::State {
    explicit State(long bits)
        : zr(bits), zi(bits), cr(bits), ci(bits), zr2(bits), zi2(bits), cross(bits)
    {
    }
    BigFloat zr, zi;        // Z_j, the next value to store
    BigFloat cr, ci;        // C
    BigFloat zr2, zi2, cross;  // scratch
};

ReferenceOrbit::~ReferenceOrbit() = default;

std::size_t ReferenceOrbit::bytesFor(long long iterations) noexcept
{
    return static_cast<std::size_t>(std::max(iterations, 1LL)) * 2 * sizeof(double);
}

std::size_t ReferenceOrbit::bytes() const noexcept
{
    return values_.capacity() * sizeof(double) + tiny_.capacity() * kTinyBytes;
}

Result<std::unique_ptr<ReferenceOrbit>> ReferenceOrbit::compute(const DeepCentre& view, const WorkControl& control)
{
    if (Status ok = checkDeepView(view); !ok)
        return ok.failure();
    std::unique_ptr<ReferenceOrbit> orbit(new ReferenceOrbit);
    orbit->view_ = view;
    orbit->view_.iterations = 0;
    orbit->precision_ = precisionFor(view.zoom);
    orbit->spacing_ = pixelSpacing(view.zoom);
    orbit->state_ = std::make_unique<State>(orbit->precision_);
    State& st = *orbit->state_;
    st.cr.setDecimal(view.re);
    st.ci.setDecimal(view.im);
    orbit->centreRe_ = mpfr_get_d(st.cr.get(), MPFR_RNDN);
    orbit->centreIm_ = mpfr_get_d(st.ci.get(), MPFR_RNDN);
    if (Status ok = orbit->extend(view.iterations, control); !ok)
        return ok.failure();
    return orbit;
}

Result<std::shared_ptr<ReferenceOrbit>> ReferenceOrbit::reuseOrCompute(const DeepCentre& view,
                                                                       std::shared_ptr<ReferenceOrbit> earlier,
                                                                       const WorkControl& control)
{
    const bool reusable = earlier && earlier.use_count() == 1 && earlier->view_.re == view.re &&
                          earlier->view_.im == view.im && earlier->view_.zoom == view.zoom;
    if (!reusable) {
        auto computed = compute(view, control);
        if (!computed)
            return computed.failure();
        return std::shared_ptr<ReferenceOrbit>(std::move(computed).value());
    }
    if (Status ok = earlier->extend(view.iterations, control); !ok)
        return ok.failure();
    return earlier;
}

Status ReferenceOrbit::extend(long long iterations, const WorkControl& control)
{
    if (iterations <= view_.iterations)
        return {};
    if (control.memoryLimit != 0 && bytesFor(iterations) > control.memoryLimit)
        return fail("the reference orbit of " + std::to_string(iterations) +
                    " iterations does not fit in the memory available");
    // A stopped call keeps the values it stored (they are right, and the
    // next call goes on after them) but not the cap it was asked for.
    if (Status ok = iterateTo(iterations, control); !ok)
        return ok;
    view_.iterations = iterations;
    return {};
}

Status ReferenceOrbit::iterateTo(long long iterations, const WorkControl& control)
{
    if (escaped_ || returned_)
        return {};
    State& st = *state_;
    // The high-precision Z is always the value after the last one stored.
    long long j = size();
    try {
        values_.reserve(static_cast<std::size_t>(iterations) * 2);
    } catch (const std::bad_alloc&) {
        return fail("the reference orbit of " + std::to_string(iterations) +
                    " iterations does not fit in the memory available");
    }
    if (j == 0) {
        mpfr_set_zero(st.zr.get(), 1);
        mpfr_set_zero(st.zi.get(), 1);
    }
    for (; j < iterations; ++j) {
        if (j % kReportEvery == 0 && control.progress &&
            !control.progress(static_cast<double>(j) / static_cast<double>(iterations)))
            return fail("stopped");
        const double re = mpfr_get_d(st.zr.get(), MPFR_RNDN);
        const double im = mpfr_get_d(st.zi.get(), MPFR_RNDN);
        const bool tiny = !inDoubleRange(st.zr.get(), st.zi.get());
        if (tiny) {
            tiny_.emplace_back(j, fullRange(st.zr.get(), st.zi.get()));
            // Rare, except on centres that stay this near 0: the estimate
            // leaves them out, so they are held to the limit here.
            if (control.memoryLimit != 0 && bytes() > control.memoryLimit)
                return fail("the reference orbit of " + std::to_string(iterations) +
                            " iterations does not fit in the memory available");
        }
        values_.push_back(re);
        values_.push_back(im);
        if (re * re + im * im >= 4) {
            escaped_ = true;
            break;
        }
        // Back so near 0 that every pixel may go on from Z_0 here (as at
        // the orbit's end): a pixel that would not rebase by itself has
        // |z| <= 2 |Z_j|, so its rebased delta z = Z_j + d is rounded by
        // at most 2^-52 |Z_j|, which the next step (times 2 z) makes
        // 2^-50 |Z_j|^2 < 2^-62 h, far below a pixel. Past this the orbit
        // would serve only pixels that all leave it here; at a small
        // copy's centre that is all but its first period. (Values exactly
        // 0, as those of c = 0 or -1, rebase every pixel by themselves.)
        const FloatExp size2 = tiny ? tiny_.back().second.norm() : ComplexExp(re, im).norm();
        if (!size2.isZero() && lessMagnitude(size2, FloatExp(1.0, -12) * spacing_)) {
            returned_ = true;
            break;
        }
        // Z <- Z^2 + C: two squares and one product.
        mpfr_sqr(st.zr2.get(), st.zr.get(), MPFR_RNDN);
        mpfr_sqr(st.zi2.get(), st.zi.get(), MPFR_RNDN);
        mpfr_mul(st.cross.get(), st.zr.get(), st.zi.get(), MPFR_RNDN);
        mpfr_sub(st.zr.get(), st.zr2.get(), st.zi2.get(), MPFR_RNDN);
        mpfr_add(st.zr.get(), st.zr.get(), st.cr.get(), MPFR_RNDN);
        mpfr_mul_2ui(st.cross.get(), st.cross.get(), 1, MPFR_RNDN);
        mpfr_add(st.zi.get(), st.cross.get(), st.ci.get(), MPFR_RNDN);
    }
    if (control.progress)
        control.progress(1.0);
    return {};
}

ComplexExp ReferenceOrbit::exact(long long m) const noexcept
{
    const double re = values_[static_cast<std::size_t>(2 * m)];
    const double im = values_[static_cast<std::size_t>(2 * m + 1)];
    if (std::fabs(re) + std::fabs(im) >= 0x1p-899 || tiny_.empty())
        return ComplexExp(re, im);
    const auto at = std::lower_bound(tiny_.begin(), tiny_.end(), m,
                                     [](const auto& entry, long long key) { return entry.first < key; });
    if (at != tiny_.end() && at->first == m)
        return at->second;
    return ComplexExp(re, im);
}

namespace {

bool sameCentreAndZoom(const DeepCentre& a, const DeepCentre& b)
{
    return a.re == b.re && a.im == b.im && a.zoom == b.zoom;
}

} // namespace

void OrbitShelf::keep(std::shared_ptr<ReferenceOrbit> orbit, std::size_t budget)
{
    if (!orbit)
        return;
    std::erase_if(kept_, [&](const auto& k) { return sameCentreAndZoom(k->view(), orbit->view()); });
    kept_.push_back(std::move(orbit));
    while (!kept_.empty() && (kept_.size() > count_ || (budget != 0 && bytes() > budget)))
        kept_.erase(kept_.begin());
}

std::shared_ptr<ReferenceOrbit> OrbitShelf::take(const DeepCentre& view)
{
    for (auto k = kept_.begin(); k != kept_.end(); ++k) {
        if (sameCentreAndZoom((*k)->view(), view)) {
            std::shared_ptr<ReferenceOrbit> orbit = std::move(*k);
            kept_.erase(k);
            return orbit;
        }
    }
    return nullptr;
}

std::size_t OrbitShelf::bytes() const noexcept
{
    std::size_t sum = 0;
    for (const auto& k : kept_)
        sum += k->bytes();
    return sum;
}

} // namespace mandel
