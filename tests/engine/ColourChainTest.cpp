#include "ColourChain.h"
#include "ExplorerState.h"
#include "TestStates.h"

#include <gtest/gtest.h>

namespace mandel {
namespace {

using testing::palette;

struct PixelCase {
    const char* name;
    ExplorerState s;
    int n;
    double zi;
    int red, green, blue;
};

TEST(ColourChain, FirstPixelOfEachMode)
{
    // n = 5 and fn = 0.1f: the single product 5 * 0.1f is exactly 0.5 (P = 0),
    // the double product 0.50000000745... (P = 1). That tells the precisions apart.
    const float t = 0.1f;
    const PixelCase cases[] = {
        {"mode 1", palette(1, 1.5f, 2.5f, 3.5f), 3, 0, 4, 8, 10},
        {"mode 1 single product", palette(1, t, t, t), 5, 0, 0, 0, 0},
        {"mode 2 uses fn1 thrice", palette(2, 1.5f, 9, 9, 200, 150, 151), 101, 0, 152, 2, 1},
        {"mode 3", palette(3, 2, 3, 4, 150, 160, 170), 100, 0, 50, 140, 60},
        {"mode 4 double with |zi|", palette(4, t, t, t), 5, -0.0, 1, 0, 0},
        {"mode 4 adds |zi|", palette(4, 2, 1, 1), 3, -6, 18, 3, 3},
        {"mode 5", palette(5, 1, 2, 1), 3, 1.25, 3, 8, 3},
        {"mode 6", palette(6, 1, 1, t), 5, 0, 5, 5, 1},
        {"mode 7 first pixel is single", palette(7, t, 1, 1), 5, 0, 0, 5, 5},
        {"mode 8 first pixel is single", palette(8, 1, t, 1), 5, 0, 5, 0, 5},
        {"mode 9 adds this pixel's red", palette(9, 2, 1, 1.5f), 10, 0, 20, 10, 45},
        {"mode 0 falls back to mode 1", palette(0, 1.5f, 2.5f, 3.5f), 3, 0, 4, 8, 10},
        {"mode 4.5 falls back to mode 1", palette(4.5f, t, t, t), 5, 9, 0, 0, 0},
    };
    for (const auto& c : cases) {
        ColourChain chain(c.s);
        chain.next(c.n, c.zi);
        EXPECT_EQ(chain.red(), c.red) << c.name;
        EXPECT_EQ(chain.green(), c.green) << c.name;
        EXPECT_EQ(chain.blue(), c.blue) << c.name;
    }
}

TEST(ColourChain, ModesSevenAndEightCarryThePreviousPixel)
{
    ColourChain seven(palette(7, 1.5f, 2, 1));
    seven.next(3, 0);  // red P(4.5) = 4, green 6, blue 3
    EXPECT_EQ(seven.red(), 4);
    EXPECT_EQ(seven.green(), 6);
    seven.next(4, 0);  // red P((4 + 6) * 1.5) = 15
    EXPECT_EQ(seven.red(), 15);
    EXPECT_EQ(seven.green(), 8);
    seven.next(200, 0);  // red P((200 + 8) * 1.5) = 312 mod 255 = 57
    EXPECT_EQ(seven.red(), 57);

    ColourChain eight(palette(8, 1, 2.5f, 3));
    eight.next(3, 0);  // green P(7.5) = 8, blue 9
    EXPECT_EQ(eight.green(), 8);
    eight.next(3, 0);  // green P((3 + 9) * 2.5) = 30
    EXPECT_EQ(eight.green(), 30);

    // After the first pixel, mode 7's product is a double one: 0.1f * 5 = 0.5000000075.
    ColourChain later(palette(7, 0.1f, 0, 0));
    later.next(3, 0);  // green 0
    later.next(5, 0);
    EXPECT_EQ(later.red(), 1);
}

TEST(ColourChain, ModesTwoAndThreeReach303AndComposeAs255)
{
    // 200 * 1.515f rounds to 303 in single precision.
    ColourChain two(palette(2, 1.515f, 0, 0, 304, 304, 304));
    const Colour c2 = two.next(200, 0);
    EXPECT_EQ(two.red(), 303);
    EXPECT_EQ(two.green(), 303);
    EXPECT_EQ(c2, 0xFFFFFFu);

    ColourChain three(palette(3, 1.515f, 1.515f, 1, 304, 300, 304));
    const Colour c3 = three.next(200, 0);
    EXPECT_EQ(three.red(), 303);
    EXPECT_EQ(three.green(), 3);
    EXPECT_EQ(three.blue(), 200);
    EXPECT_EQ(c3, composeColour(255, 3, 200));
}

TEST(ColourChain, ZeroMultipliersDrawBlack)
{
    for (int b = 1; b <= 9; ++b) {
        ColourChain chain(palette(static_cast<float>(b), 0, 0, 0));
        for (const int n : {3, 17, 200})
            EXPECT_EQ(chain.next(n, 1.5), 0u) << "mode " << b;
    }
}

} // namespace
} // namespace mandel
