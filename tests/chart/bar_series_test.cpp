#include "chart/bar_series.h"
#include "chart/chart.h"

#include <gtest/gtest.h>

namespace {

int BarSizeAt(int axisLength, int seriesCount = 1)
{
    TChart chart;
    std::vector<TBarSeries*> bars;
    for (int s = 0; s < seriesCount; ++s) {
        bars.push_back(chart.OwnSeries(std::make_unique<TBarSeries>()));
        for (int h = 0; h < 24; ++h)
            bars.back()->AddPoint(h, h);
    }
    chart.BottomAxis()->SetMinMax(-1, 24);
    chart.BottomAxis()->ComputeRange();
    chart.BottomAxis()->ComputePixelRange(TChartRect{0, 0, axisLength, 100});
    int left = 0;
    int right = 0;
    bars.front()->HorizontalMargins(left, right);
    EXPECT_EQ(left, seriesCount * bars.front()->BarSize());
    return bars.front()->BarSize();
}

} // namespace

TEST(BarSeries, BarSizeFollowsTheAxisLength)
{
    EXPECT_EQ(BarSizeAt(450), 14);   // 18 * 0.7 = 12.6 -> 13, odd -> 14
    EXPECT_EQ(BarSizeAt(475), 14);   // 19 -> 13.3 -> 13 -> 14
    EXPECT_EQ(BarSizeAt(500), 14);   // 20 -> 14
    EXPECT_EQ(BarSizeAt(450, 2), 6); // 13 div 2 = 6
}

TEST(BarSeries, BarSizeWithoutPointsOrWithAFixedWidth)
{
    TChart chart;
    auto* bars = chart.OwnSeries(std::make_unique<TBarSeries>());
    chart.BottomAxis()->ComputePixelRange(TChartRect{0, 0, 450, 100});
    bars->ComputeBarSize();
    EXPECT_EQ(bars->BarSize(), 0);
    bars->SetCustomBarWidth(9);
    bars->ComputeBarSize();
    EXPECT_EQ(bars->BarSize(), 9);
}

TEST(BarSeries, BarsAreCentredOnTheirXAndStandOnTheOrigin)
{
    TChart chart;
    auto* bars = chart.OwnSeries(std::make_unique<TBarSeries>());
    for (int h = 0; h < 24; ++h)
        bars->AddPoint(h, h - 5);
    chart.BottomAxis()->SetMinMax(-1, 24);
    chart.LeftAxis()->SetMinMax(-6, 20);
    for (TChartAxis* axis : chart.Axes())
        axis->ComputeRange();
    chart.BottomAxis()->ComputePixelRange(TChartRect{10, 0, 460, 100});
    chart.LeftAxis()->ComputePixelRange(TChartRect{0, 10, 100, 270});
    bars->ComputeBarSize();
    for (int h : {0, 7, 23}) {
        EXPECT_EQ(bars->XPixel(h), chart.BottomAxis()->ValueToPixel(h) - 7);
        EXPECT_EQ(bars->OriginPixel(h), chart.LeftAxis()->ValueToPixel(0));
        EXPECT_EQ(bars->YPixel(h), chart.LeftAxis()->ValueToPixel(h - 5));
    }
    bars->SetOffsetPercent(50);
    EXPECT_EQ(bars->XPixel(0), chart.BottomAxis()->ValueToPixel(0) - 7 + 7);
    bars->SetUseYOrigin(false);
    EXPECT_EQ(bars->OriginPixel(0), chart.LeftAxis()->EndPixel());
}

TEST(BarSeries, SetterErrors)
{
    TBarSeries bars;
    try {
        bars.SetBarWidthPercent(0);
        FAIL();
    } catch (const BarException& error) {
        EXPECT_STREQ(error.what(), "Bar Width Percent must be between 1 and 100");
    }
    EXPECT_THROW(bars.SetBarWidthPercent(101), BarException);
    EXPECT_EQ(bars.BarWidthPercent(), 70);
    try {
        bars.SetOffsetPercent(-101);
        FAIL();
    } catch (const BarException& error) {
        EXPECT_STREQ(error.what(), "Bar Offset Percent must be between -100% and 100%");
    }
    EXPECT_EQ(bars.OffsetPercent(), 0);
}

TEST(BarSeries, ExtremesIncludeTheOrigin)
{
    TBarSeries bars;
    bars.AddPoint(0, 5);
    bars.AddPoint(1, 7);
    EXPECT_EQ(bars.LowestY(), 0);
    EXPECT_EQ(bars.HighestY(), 7);
    bars.ClearPoints();
    bars.AddPoint(0, -3);
    EXPECT_EQ(bars.HighestY(), 0);
    EXPECT_EQ(bars.LowestY(), -3);
}

TEST(BarSeries, VisibleRangeFollowsTheBottomAxis)
{
    TChart chart;
    chart.resize(505, 321);
    auto* bars = chart.OwnSeries(std::make_unique<TBarSeries>());
    for (int h = 0; h < 24; ++h)
        bars->AddPoint(h, 1);
    chart.BottomAxis()->SetMinMax(-1, 24);
    chart.LeftAxis()->SetMinMax(0, 2);
    chart.RenderToImage();
    EXPECT_EQ(bars->FirstVisibleIndex(), 0);
    EXPECT_EQ(bars->LastVisibleIndex(), 23);
    chart.BottomAxis()->SetMinMax(5, 10);
    chart.RenderToImage();
    EXPECT_EQ(bars->FirstVisibleIndex(), 5);
    EXPECT_EQ(bars->LastVisibleIndex(), 10);
    chart.BottomAxis()->SetMinMax(30, 40);
    chart.RenderToImage();
    EXPECT_EQ(bars->FirstVisibleIndex(), -1);
}
