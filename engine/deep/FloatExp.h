#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace mandel {

// Numbers past the range of a double: deep views need deltas far below
// 1E-308 and table coefficients far above 1E+308. A double mantissa carries
// the digits and a wide integer the binary exponent.

namespace floatexp_detail {

inline constexpr std::uint64_t kExponentMask = 0x7ffULL << 52;

// The biased exponent field of a double.
inline int biasedExponent(double x) noexcept
{
    return static_cast<int>((std::bit_cast<std::uint64_t>(x) & kExponentMask) >> 52);
}

// 2^k for k in -1022..1023, built from its bits (exact, no library call).
inline double powerOfTwo(int k) noexcept
{
    return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

// x * 2^k for any k: the result rounds to 0 or overflows to infinity
// like a double does.
inline double scale(double x, std::int64_t k) noexcept
{
    if (k >= -1022 && k <= 1023)
        return x * powerOfTwo(static_cast<int>(k));
    // Far out the result is 0 or infinite whatever x is (x is a mantissa,
    // below 8 in size, in every use); near the edges ldexp rounds right.
    if (k > 1100)
        return x == 0 ? x : std::copysign(HUGE_VAL, x);
    if (k < -1100)
        return x * 0.0;
    return std::ldexp(x, static_cast<int>(k));
}

} // namespace floatexp_detail

// A real number m * 2^e with m = 0 or 1 <= |m| < 2.
struct FloatExp {
    double m = 0;
    std::int64_t e = 0;

    FloatExp() = default;
    // Exactly x; x must be finite.
    explicit FloatExp(double x) noexcept { set(x, 0); }
    // x * 2^k, normalised; x must be finite.
    FloatExp(double x, std::int64_t k) noexcept { set(x, k); }

    bool isZero() const noexcept { return m == 0; }

    // The nearest double (0 or infinity outside the double range).
    double toDouble() const noexcept { return floatexp_detail::scale(m, e); }

private:
    void set(double x, std::int64_t k) noexcept
    {
        using namespace floatexp_detail;
        const int be = biasedExponent(x);
        if (x == 0) {
            m = 0;
            e = 0;
        } else if (be == 0) {  // subnormal: frexp copes
            int ex = 0;
            m = std::frexp(x, &ex) * 2;
            e = k + ex - 1;
        } else {
            m = std::bit_cast<double>((std::bit_cast<std::uint64_t>(x) & ~kExponentMask) | (1023ULL << 52));
            e = k + be - 1023;
        }
    }
};

inline FloatExp operator*(FloatExp a, FloatExp b) noexcept
{
    return FloatExp(a.m * b.m, a.e + b.e);
}

inline FloatExp operator+(FloatExp a, FloatExp b) noexcept
{
    if (a.m == 0)
        return b;
    if (b.m == 0)
        return a;
    if (a.e < b.e) {
        const FloatExp t = a;
        a = b;
        b = t;
    }
    const std::int64_t d = a.e - b.e;
    if (d > 64)
        return a;
    return FloatExp(a.m + b.m * floatexp_detail::powerOfTwo(static_cast<int>(-d)), a.e);
}

inline FloatExp operator-(FloatExp a) noexcept
{
    a.m = -a.m;
    return a;
}

inline FloatExp operator-(FloatExp a, FloatExp b) noexcept
{
    return a + (-b);
}

inline FloatExp abs(FloatExp a) noexcept
{
    a.m = std::fabs(a.m);
    return a;
}

// a < b for non-negative a and b.
inline bool lessMagnitude(FloatExp a, FloatExp b) noexcept
{
    if (a.m == 0)
        return b.m != 0;
    if (b.m == 0)
        return false;
    return a.e < b.e || (a.e == b.e && a.m < b.m);
}

// The square root of a non-negative a.
inline FloatExp sqrt(FloatExp a) noexcept
{
    if (a.m == 0)
        return a;
    // Keep the exponent even so that it halves exactly.
    const bool odd = (a.e & 1) != 0;
    return FloatExp(std::sqrt(odd ? a.m * 2 : a.m), (odd ? a.e - 1 : a.e) / 2);
}

// a / b for b != 0.
inline FloatExp operator/(FloatExp a, FloatExp b) noexcept
{
    return FloatExp(a.m / b.m, a.e - b.e);
}

// The larger of two non-negative numbers.
inline FloatExp maxMagnitude(FloatExp a, FloatExp b) noexcept
{
    return lessMagnitude(a, b) ? b : a;
}

// A complex number (re + im i) * 2^e sharing one exponent: the larger part
// has 1 <= |part| < 2 (both 0 for zero). The smaller part keeps the
// precision relative to the whole number, which is what the iteration
// needs.
struct ComplexExp {
    double re = 0, im = 0;
    std::int64_t e = 0;

    ComplexExp() = default;
    // (re + im i) * 2^k, normalised; parts must be finite.
    ComplexExp(double r, double i, std::int64_t k = 0) noexcept { set(r, i, k); }
    ComplexExp(FloatExp r, FloatExp i) noexcept
    {
        const std::int64_t k = r.m == 0 ? i.e : (i.m == 0 ? r.e : (r.e > i.e ? r.e : i.e));
        set(floatexp_detail::scale(r.m, r.e - k), floatexp_detail::scale(i.m, i.e - k), k);
    }

    bool isZero() const noexcept { return re == 0 && im == 0; }

    double reDouble() const noexcept { return floatexp_detail::scale(re, e); }
    double imDouble() const noexcept { return floatexp_detail::scale(im, e); }
    FloatExp real() const noexcept { return FloatExp(re, e); }
    FloatExp imag() const noexcept { return FloatExp(im, e); }

    // |z|^2.
    FloatExp norm() const noexcept { return FloatExp(re * re + im * im, 2 * e); }

private:
    void set(double r, double i, std::int64_t k) noexcept
    {
        using namespace floatexp_detail;
        const int be = std::max(biasedExponent(r), biasedExponent(i));
        if (be == 0) {  // zero or subnormal: rare, take the slow road
            if (r == 0 && i == 0) {
                re = im = 0;
                e = 0;
                return;
            }
            int ex = 0;
            std::frexp(std::fabs(r) > std::fabs(i) ? r : i, &ex);
            re = std::ldexp(r, 1 - ex);
            im = std::ldexp(i, 1 - ex);
            e = k + ex - 1;
            return;
        }
        // Scale by 2^(1023 - be) in two exact steps so that neither
        // factor leaves the double range.
        const int shift = 1023 - be;
        const double half = powerOfTwo(shift / 2);
        const double rest = powerOfTwo(shift - shift / 2);
        re = (r * half) * rest;
        im = (i * half) * rest;
        e = k + be - 1023;
    }
};

inline ComplexExp operator*(const ComplexExp& a, const ComplexExp& b) noexcept
{
    return ComplexExp(a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re, a.e + b.e);
}

// a times the double complex (zr + zi i); |z| must lie within 2^-1000..2^1000.
inline ComplexExp mulDouble(const ComplexExp& a, double zr, double zi) noexcept
{
    return ComplexExp(a.re * zr - a.im * zi, a.re * zi + a.im * zr, a.e);
}

inline ComplexExp square(const ComplexExp& a) noexcept
{
    return ComplexExp((a.re - a.im) * (a.re + a.im), 2 * a.re * a.im, 2 * a.e);
}

inline ComplexExp operator+(const ComplexExp& a, const ComplexExp& b) noexcept
{
    if (b.isZero())
        return a;
    if (a.isZero())
        return b;
    const ComplexExp& big = a.e >= b.e ? a : b;
    const ComplexExp& small = a.e >= b.e ? b : a;
    const std::int64_t d = big.e - small.e;
    if (d > 64)
        return big;
    const double s = floatexp_detail::powerOfTwo(static_cast<int>(-d));
    return ComplexExp(big.re + small.re * s, big.im + small.im * s, big.e);
}

inline ComplexExp operator-(const ComplexExp& a) noexcept
{
    ComplexExp r = a;
    r.re = -r.re;
    r.im = -r.im;
    return r;
}

// a times a real number.
inline ComplexExp operator*(const ComplexExp& a, FloatExp s) noexcept
{
    return ComplexExp(a.re * s.m, a.im * s.m, a.e + s.e);
}

// |a| as a real number, without overflow.
inline FloatExp magnitude(const ComplexExp& a) noexcept
{
    return FloatExp(std::hypot(a.re, a.im), a.e);
}

} // namespace mandel
