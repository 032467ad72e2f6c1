#pragma once

#include "Result.h"

#include <cstdint>
#include <string>

namespace mandel {

// The program's one random source: a fixed algorithm (SplitMix64), so a seed
// gives the same draws with every compiler and standard library.
class RandomSource {
public:
    // Seeds with `seed`; the same seed always yields the same sequence.
    explicit RandomSource(std::uint64_t seed = 0) noexcept { reseed(seed); }

    // Restarts the sequence from `seed`.
    void reseed(std::uint64_t seed) noexcept;

    // The next single, uniform in [0, 1) on a grid of 2^-24; never 1.
    float next() noexcept;

    // The seed the sequence was last started from.
    std::uint64_t seed() const noexcept { return seed_; }

private:
    std::uint64_t seed_ = 0;
    std::uint64_t state_ = 0;
};

// A seed written as decimal digits (0 to 2^64 - 1); for any other text the
// failure says what a seed is, "a whole number 0 to ..., got 'text'".
Result<std::uint64_t> parseSeed(const std::string& text);

// Seconds since local midnight (0 to 86399): the default seed at start-up.
std::uint64_t secondsSinceMidnightSeed();

} // namespace mandel
