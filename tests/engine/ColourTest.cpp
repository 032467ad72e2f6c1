#include "Colour.h"

#include <gtest/gtest.h>

#include <limits>

namespace mandel {
namespace {

struct RoundCase {
    double v;
    int d;
    int expected;
};

TEST(RoundMod, HalvesGoToEvenThenTheRemainder)
{
    const RoundCase cases[] = {
        {2.5, 255, 2}, {3.5, 255, 4}, {0.5, 255, 0}, {1.5, 255, 2}, {4.4999, 255, 4},
        {254.4, 255, 254}, {254.5, 255, 254}, {254.6, 255, 0}, {255.5, 255, 1},
        {509.5, 255, 255 % 255}, {510.5, 255, 0}, {303.0, 304, 303}, {304.0, 304, 0},
        {1999.5, 255, 2000 % 255},
    };
    for (const auto& c : cases) {
        int out = -1;
        ASSERT_TRUE(roundMod(c.v, c.d, out)) << c.v;
        EXPECT_EQ(out, c.expected) << c.v << " mod " << c.d;
    }
}

TEST(RoundMod, StaysBelowTheModulusAndRefusesWhatItCannotForm)
{
    for (double v = 0; v < 4600; v += 0.25) {
        int out = -1;
        ASSERT_TRUE(roundMod(v, 255, out));
        ASSERT_LE(out, 254);
        ASSERT_GE(out, 0);
    }
    int keep = 17;
    EXPECT_FALSE(roundMod(std::numeric_limits<double>::quiet_NaN(), 255, keep));
    EXPECT_FALSE(roundMod(1e300, 255, keep));
    EXPECT_FALSE(roundMod(-1.0, 255, keep));
    EXPECT_EQ(keep, 17);
}

TEST(ComposeColour, ClampsComponentsAbove255)
{
    EXPECT_EQ(composeColour(1, 2, 3), 1u + 256u * 2u + 65536u * 3u);
    EXPECT_EQ(composeColour(303, 0, 256), 255u + 65536u * 255u);
    EXPECT_EQ(composeColour(255, 255, 255), 0xFFFFFFu);
}

} // namespace
} // namespace mandel
