#include "ExplorerState.h"
#include "StatusLine.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mandel {
namespace {

struct NumberCase {
    double v;
    int digits;
    const char* text;
};

TEST(StatusLine, NumbersPrintWithSignPlaceAndTrailingSpace)
{
    const NumberCase cases[] = {
        {1, 15, " 1 "},
        {3, 7, " 3 "},
        {10, 15, " 10 "},
        {100, 15, " 100 "},
        {1e10, 15, " 10000000000 "},
        {1e14, 15, " 100000000000000 "},
        {1e15, 15, " 1E+15 "},
        {1e16, 15, " 1E+16 "},
        {1e22, 15, " 1E+22 "},
        {1e100, 15, " 1E+100 "},
        {-5, 15, "-5 "},
        {0, 15, " 0 "},
        {2.5, 15, " 2.5 "},
        {1234567, 7, " 1234567 "},
        {12345678, 7, " 1.234568E+07 "},
        {0.5, 15, " .5 "},  // fractions without a leading zero
        {-0.25, 15, "-.25 "},
        {1.0 / 3.0, 7, " .3333333 "},
        {2.0 / 3.0, 15, " .666666666666667 "},
        {0.05, 15, " 5E-02 "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatNumber(c.v, c.digits), c.text) << c.v;
}

TEST(StatusLine, MagnificationsBeyondExactDoublesStillPrintAsPowersOfTen)
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    ResetView(s);
    for (int k = 1; k <= 60; ++k) {
        ZoomAt(s, 300, 300);
        const std::string expected = k < 15 ? " 1" + std::string(static_cast<std::size_t>(k), '0') + " "
                                            : " 1E+" + std::to_string(k) + " ";
        EXPECT_EQ(formatNumber(s.f1, 15), expected) << k << " zooms";
    }
}

TEST(StatusLine, DeepPicturesPrintTheLegacyLineAndGoOnPastDoubles)
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    ResetView(s);
    s.b = 4;
    for (long long k = 0; k <= 300; ++k) {
        EXPECT_EQ(deepStatusLine(4, static_cast<double>(k)), statusLine(s)) << k << " zooms";
        ZoomAt(s, 300, 300);
    }
    EXPECT_EQ(magnificationText(1000), " 1E+1000 ");
}

TEST(StatusLine, FractionalZoomsPrintMantissaAndExponent)
{
    const struct {
        const char* name;
        double zoom;
        const char* text;
    } rows[] = {
        {"two hundred", std::log10(200.0), " 2E+2 "},
        {"one wheel notch", std::log10(2.0), " 2E+0 "},
        {"half a decade", 5.5, " 3.16E+5 "},
        {"rounds up into the next decade", 3.99999, " 1E+4 "},
        {"deep", 1000.25, " 1.78E+1000 "},
    };
    for (const auto& r : rows)
        EXPECT_EQ(magnificationText(r.zoom), r.text) << r.name;
}

TEST(StatusLine, TheWholeLine)
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    ResetView(s);
    s.b = 3;
    ZoomAt(s, 1, 2);
    const std::string expected = std::string("Select interesting area and CLICK") + std::string(45, ' ') +
                                 "mode =  3" + std::string(20, ' ') + "magnification  10  times";
    EXPECT_EQ(statusLine(s), expected);

    ResetView(s);
    s.b = 9;
    EXPECT_EQ(statusLine(s).substr(78), "mode =  9                    magnification  1  times");
}

} // namespace
} // namespace mandel
