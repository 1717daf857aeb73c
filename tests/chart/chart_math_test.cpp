#include "chart/chart_math.h"
#include "chart/chart_types.h"

#include <cmath>
#include <gtest/gtest.h>
#include <iomanip>
#include <limits>

using chart::MulDiv;
using chart::RoundHalfEven;

TEST(ChartMath, RoundHalfEvenTakesTheEvenNeighbourOfAHalf)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(12.5), 12);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(12.6), 13);
    EXPECT_EQ(RoundHalfEven(13.3), 13);
    EXPECT_EQ(RoundHalfEven(-7.49), -7);
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(RoundHalfEven(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(RoundHalfEven(-1e300), std::numeric_limits<int>::min());
}

// Edges of the int range, of the halves and of the signs, where a rounding without floor could
// slip by one.
TEST(ChartMath, RoundHalfEvenHoldsAtTheEdgesOfHalvesSignsAndRange)
{
    constexpr int Max = std::numeric_limits<int>::max();
    constexpr int Min = std::numeric_limits<int>::min();
    const double justBelowHalf = std::nextafter(0.5, 0.0);
    const double justAboveHalf = std::nextafter(0.5, 1.0);
    const struct
    {
        double Value;
        int Expected;
    } cases[] = {
        {-0.0, 0},
        {justBelowHalf, 0},
        {justAboveHalf, 1},
        {-justBelowHalf, 0},
        {-justAboveHalf, -1},
        {std::nextafter(2.5, 3.0), 3},
        {std::nextafter(-2.5, -3.0), -3},
        {-3.5, -4},
        {-4.5, -4},
        {1e-300, 0},
        {-1e-300, 0},
        {1000000001.5, 1000000002},
        {-1000000001.5, -1000000002},
        {2147483646.4, 2147483646},
        {2147483646.5, 2147483646},
        {2147483646.6, Max},
        {2147483647.0, Max},
        {2147483647.5, Max},
        {-2147483647.4, -2147483647},
        {-2147483647.5, Min},
        {-2147483648.0, Min},
        {-2147483648.5, Min},
        {4503599627370497.0, Max},
        {std::numeric_limits<double>::infinity(), Max},
        {-std::numeric_limits<double>::infinity(), Min},
        {-std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundHalfEven(c.Value), c.Expected) << std::setprecision(17) << c.Value;
}

TEST(ChartMath, MulDivMultipliesFirstAndRoundsTheQuotient)
{
    EXPECT_EQ(MulDiv(2, 505, 100), 10); // 10.1
    EXPECT_EQ(MulDiv(2, 321, 100), 6);  // 6.42
    EXPECT_EQ(MulDiv(1, 321, 256), 1);  // 1.25
    EXPECT_EQ(MulDiv(255, 321, 256), 320);
    EXPECT_EQ(MulDiv(1, 1, 2), 1); // halves away from zero
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(3, -128, 255), -2);
    EXPECT_EQ(MulDiv(2000000000, 3, 2), std::numeric_limits<int>::max());
    EXPECT_EQ(MulDiv(5, 7, 0), 0);
}

TEST(ChartMath, FormatFloatGroupsThousandsAndShowsAtMostThreeDecimals)
{
    SetChartFormatSettings({QChar(','), QChar('.')});
    const QString format = QStringLiteral("#,##0.###");
    EXPECT_EQ(FormatFloat(format, 0), "0");
    EXPECT_EQ(FormatFloat(format, 24), "24");
    EXPECT_EQ(FormatFloat(format, -1), "-1");
    EXPECT_EQ(FormatFloat(format, 0.1 + 0.2), "0.3");
    EXPECT_EQ(FormatFloat(format, 1234.5), "1,234.5");
    EXPECT_EQ(FormatFloat(format, -1234567.0004), "-1,234,567");
    EXPECT_EQ(FormatFloat(format, 0.12345), "0.123");
    EXPECT_EQ(FormatFloat(format, -0.0004), "0");
    EXPECT_EQ(FormatFloat(QStringLiteral("##0.## %"), 12.345), "12.35 %");
    EXPECT_EQ(FormatFloat(QStringLiteral("0.00;(0.00)"), 2), "2.00");
    SetChartFormatSettings({QChar(' '), QChar(',')});
    EXPECT_EQ(FormatFloat(format, 1000.25), "1 000,25");
    SetChartFormatSettings({QChar(','), QChar('.')});
}

TEST(ChartColor, ColoursKeepRedInTheLowByte)
{
    EXPECT_EQ(ToQColor(8454016), QColor(128, 255, 128));
    EXPECT_EQ(ToQColor(clRed), QColor(255, 0, 0));
    EXPECT_EQ(ToQColor(clBlue), QColor(0, 0, 255));
    EXPECT_EQ(ToPixel(clBlue), 0xFF0000FFu);
    EXPECT_EQ(ColorToRGB(clBtnFace), RGBColor(240, 240, 240));
    EXPECT_EQ(clDefault, 536870912);
    EXPECT_EQ(clNone, 536870911);
}
