#include "RandomSource.h"

#include "OneLine.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace mandel {

void RandomSource::reseed(std::uint64_t seed) noexcept
{
    seed_ = seed;
    state_ = seed;
}

float RandomSource::next() noexcept
{
    state_ += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    // 24 bits fill a single's mantissa exactly, so the value is exact and the
    // largest one is 1 - 2^-24: a draw of 1 cannot happen.
    const auto top = static_cast<std::uint32_t>(z >> 40);
    return static_cast<float>(top) * 0x1p-24f;
}

Result<std::uint64_t> parseSeed(const std::string& text)
{
    const Failure notASeed = fail("a whole number 0 to 18446744073709551615, got " + inQuotes(text));
    if (text.empty() || text.size() > 20)
        return notASeed;
    for (const char c : text)
        if (c < '0' || c > '9')
            return notASeed;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE)
        return notASeed;
    return static_cast<std::uint64_t>(v);
}

std::uint64_t secondsSinceMidnightSeed()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<std::uint64_t>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
}

} // namespace mandel
