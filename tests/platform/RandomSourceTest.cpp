#include "RandomSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <optional>
#include <set>

namespace mandel {
namespace {

TEST(RandomSource, DrawsStayInUnitIntervalOnTheSingleGrid)
{
    RandomSource rng(12345);
    float lo = 1.0f, hi = 0.0f;
    for (int i = 0; i < 2'000'000; ++i) {
        const float v = rng.next();
        ASSERT_GE(v, 0.0f);
        ASSERT_LT(v, 1.0f);
        // A multiple of 2^-24: exact as a single, so v * 10 rounds the same everywhere.
        const double scaled = static_cast<double>(v) * 16777216.0;
        ASSERT_EQ(scaled, std::floor(scaled));
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_LT(lo, 0.001f);
    EXPECT_GT(hi, 0.999f);
}

TEST(RandomSource, OneSeedOneSequence)
{
    RandomSource a(42), b(42), c(43);
    bool differs = false;
    for (int i = 0; i < 100; ++i) {
        const float va = a.next();
        EXPECT_EQ(va, b.next());
        differs = differs || va != c.next();
    }
    EXPECT_TRUE(differs);

    a.reseed(42);
    RandomSource fresh(42);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(a.next(), fresh.next());
    EXPECT_EQ(a.seed(), 42u);
}

TEST(RandomSource, FixedAlgorithmGivesTheSameFirstDrawsEverywhere)
{
    // SplitMix64 from seed 0 starts 0xE220A8397B1DCDAF; its top 24 bits / 2^24.
    RandomSource rng(0);
    EXPECT_EQ(rng.next(), static_cast<float>(0xE220A8u) * 0x1p-24f);
}

TEST(RandomSource, MidnightSeedIsTheTimeOfDay)
{
    auto secondsOfDay = [] {
        const std::time_t raw = std::time(nullptr);
        std::tm local{};
        localtime_r(&raw, &local);
        return static_cast<std::uint64_t>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
    };
    const std::uint64_t before = secondsOfDay();
    const std::uint64_t seed = secondsSinceMidnightSeed();
    const std::uint64_t after = secondsOfDay();
    EXPECT_LT(seed, 86400u);
    // Read between two readings of the clock; past midnight the second is smaller.
    EXPECT_TRUE(before <= after ? (seed >= before && seed <= after) : (seed >= before || seed <= after))
        << seed << " is not the time of day, " << before;
}

TEST(RandomSource, SeedsAreDecimalDigitsWithin64Bits)
{
    const struct {
        const char* text;
        std::optional<std::uint64_t> seed;
    } cases[] = {
        {"0", 0u}, {"42", 42u}, {"007", 7u}, {"18446744073709551615", 18446744073709551615u},
        {"18446744073709551616", std::nullopt}, {"", std::nullopt}, {"-1", std::nullopt},
        {"+1", std::nullopt}, {"1e3", std::nullopt}, {" 1", std::nullopt}, {"0x10", std::nullopt},
    };
    for (const auto& c : cases) {
        const Result<std::uint64_t> seed = parseSeed(c.text);
        ASSERT_EQ(seed.ok(), c.seed.has_value()) << '"' << c.text << '"';
        if (seed) {
            EXPECT_EQ(*seed, *c.seed) << '"' << c.text << '"';
            continue;
        }
        std::string quoted = "got '";
        quoted.append(c.text).append("'");
        EXPECT_TRUE(seed.error().ends_with(quoted)) << seed.error();
    }
}

} // namespace
} // namespace mandel
