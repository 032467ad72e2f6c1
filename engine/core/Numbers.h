#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mandel {

// The one grammar of numbers in locations and on command lines.
//
// A whole number is decimal digits only (no sign, at most 18 digits).
// A decimal is digits, optionally a point and more digits: 4, 0.25. No
// sign, no lone point, no exponent, no hexadecimal, no inf or nan: the form
// locations are written in. A decimal stands for the single-precision
// number nearest to its exact value (read in one step, never through a
// double, so no value is rounded twice).

// Whether `text` is a decimal of the form above (digits, optionally a point
// and more digits), whatever its size.
bool isUnsignedDecimal(std::string_view text);

// The whole number `text` when it lies in [lo, hi].
std::optional<long long> readWhole(std::string_view text, long long lo, long long hi);

// The single nearest to the decimal `text` when it lies in [lo, hi).
std::optional<float> readSingle(std::string_view text, float lo, float hi);

// The double nearest to the decimal `text` when it lies in [lo, hi]: a
// zoom K, whose every value must survive being written and read again.
std::optional<double> readDouble(std::string_view text, double lo, double hi);

// The shortest decimal (same grammar, no exponent) that readDouble reads
// back to `v`, for finite v >= 0: 20 for 20.0, 0.3010299956639812 for log10 2.
std::string writeDouble(double v);

// `count` decimals (singles in [lo, hi)) joined by commas.
std::optional<std::vector<float>> readSingles(std::string_view text, std::size_t count, float lo, float hi);

// `count` whole numbers in [lo, hi] joined by commas, as singles.
std::optional<std::vector<float>> readWholes(std::string_view text, std::size_t count, long long lo, long long hi);

// The parts of `text` between the separators (one part when there is none).
std::vector<std::string_view> splitAt(std::string_view text, char separator);

} // namespace mandel
