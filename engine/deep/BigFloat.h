#pragma once

#include <mpfr.h>

#include <string>
#include <string_view>

namespace mandel {

// An MPFR number that frees itself: the high-precision arithmetic of deep
// views (reference orbits, the brute-force check, centres).
class BigFloat {
public:
    // Zero with `bits` bits of precision.
    explicit BigFloat(long bits);
    ~BigFloat();
    BigFloat(const BigFloat&) = delete;
    BigFloat& operator=(const BigFloat&) = delete;
    BigFloat(BigFloat&& other) noexcept;
    BigFloat& operator=(BigFloat&&) = delete;

    mpfr_ptr get() noexcept { return value_; }
    mpfr_srcptr get() const noexcept { return value_; }

    // Sets the number from a plain decimal (sign, digits, point, digits),
    // rounded to the nearest; false when `text` is not one.
    bool setDecimal(std::string_view text);

    // The number as a plain decimal with `digits` significant digits
    // (no exponent; "0" for zero).
    std::string toDecimal(long digits) const;

private:
    mpfr_t value_;
    bool owned_ = true;
};

} // namespace mandel
