#include "BigFloat.h"

#include "Location.h"

#include <memory>

namespace mandel {

BigFloat::BigFloat(long bits)
{
    mpfr_init2(value_, static_cast<mpfr_prec_t>(bits < MPFR_PREC_MIN ? MPFR_PREC_MIN : bits));
    mpfr_set_zero(value_, 1);
}

BigFloat::~BigFloat()
{
    if (owned_)
        mpfr_clear(value_);
}

BigFloat::BigFloat(BigFloat&& other) noexcept
{
    // mpfr_t is an array of one struct: a bitwise copy takes the limbs over.
    value_[0] = other.value_[0];
    other.owned_ = false;
}

bool BigFloat::setDecimal(std::string_view text)
{
    if (!isPlainDecimal(text))
        return false;
    const std::string copy(text);
    return mpfr_set_str(value_, copy.c_str(), 10, MPFR_RNDN) == 0;
}

std::string BigFloat::toDecimal(long digits) const
{
    if (mpfr_zero_p(value_))
        return "0";
    if (digits < 1)
        digits = 1;
    mpfr_exp_t exponent = 0;
    std::unique_ptr<char, void (*)(char*)> raw(
        mpfr_get_str(nullptr, &exponent, 10, static_cast<std::size_t>(digits), value_, MPFR_RNDN), mpfr_free_str);
    std::string_view all(raw.get());
    std::string out;
    if (!all.empty() && all.front() == '-') {
        out = "-";
        all.remove_prefix(1);
    }
    // The digits are 0.d1d2... times 10^exponent.
    const auto count = static_cast<long>(all.size());
    if (exponent <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent), '0');
        out += all;
    } else if (exponent >= count) {
        out += all;
        out.append(static_cast<std::size_t>(exponent - count), '0');
    } else {
        out += all.substr(0, static_cast<std::size_t>(exponent));
        out += '.';
        out += all.substr(static_cast<std::size_t>(exponent));
    }
    return out;
}

} // namespace mandel
