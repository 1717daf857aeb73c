#include "chart/bar_series.h"
#include "chart/chart.h"

#include <gtest/gtest.h>

namespace {

// Each bar drawn in turn by DrawPoint, without gathering the bars of a pixel column.
template <class Bars>
class TInTurn : public Bars
{
public:
    void DrawAllPoints() override { TChartSeries::DrawAllPoints(); }
};

// Bars that float from a few units below their value to it, so that a pixel column holds bars
// with rows apart.
class TFloatingBars : public TBarSeries
{
public:
    int BarEndPixel(int index) const override { return GetVertAxis()->ValueToPixel(YValue(index) - 3 - index % 4); }
};

struct TDenseCase
{
    const char* Name;
    int Bars;
    int Series;
    TMultiBar Multi;
    bool Pen;
    bool Floating;
    bool Inverted;
};

// The chart of a case with its bars of one class: a mix of values below, at and above the origin,
// of colours that change within a pixel column, and of points left out.
template <class Bars, class Floating>
QImage DenseChart(const TDenseCase& c)
{
    TChart chart;
    chart.resize(505, 321);
    chart.SetView3D(false);
    chart.BottomAxis()->SetMinMax(-1, c.Bars);
    chart.BottomAxis()->SetInverted(c.Inverted);
    chart.LeftAxis()->SetMinMax(-20, c.Multi == TMultiBar::mbSide || c.Multi == TMultiBar::mbNone ? 20 : 40);
    if (c.Multi == TMultiBar::mbStacked100)
        chart.LeftAxis()->SetMinMax(-100, 100);
    for (int s = 0; s < c.Series; ++s) {
        TBarSeries* bars = c.Floating ? static_cast<TBarSeries*>(chart.OwnSeries(std::make_unique<Floating>()))
                                      : chart.OwnSeries(std::make_unique<Bars>());
        bars->SetColorEachPoint(true);
        bars->Marks().SetVisible(false);
        bars->SetMultiBar(c.Multi);
        bars->BarPen().SetVisible(c.Pen);
        for (int i = 0; i < c.Bars; ++i) {
            const TColor color = i % 11 == 3 ? clNone : (i % 7 == 0 ? clRed : (s == 0 ? clBlue : clGreen));
            bars->AddPoint(i, (i * 37 + s * 5) % 23 - 8, QString(), color);
        }
    }
    return chart.RenderToImage().copy();
}

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

// Bars that fall on the same pixel columns are filled once a column; the picture stays the one
// that drawing every bar in turn gives.
TEST(BarSeries, DenseBarsShowWhatDrawingEachBarInTurnShows)
{
    const TDenseCase cases[] = {
        {"24,000 bars with outlines", 24000, 1, TMultiBar::mbSide, true, false, false},
        {"24,000 bars without outlines", 24000, 1, TMultiBar::mbSide, false, false, false},
        {"240 bars two pixels wide", 240, 1, TMultiBar::mbSide, true, false, false},
        {"240 bars two pixels wide without outlines", 240, 1, TMultiBar::mbSide, false, false, false},
        {"2,400 bars of two series side by side", 2400, 2, TMultiBar::mbSide, false, false, false},
        {"2,400 bars of two series stacked", 2400, 2, TMultiBar::mbStacked, false, false, false},
        {"2,400 bars of two series stacked to 100 %", 2400, 2, TMultiBar::mbStacked100, true, false, false},
        {"3,000 floating bars", 3000, 1, TMultiBar::mbNone, false, true, false},
        {"3,000 floating bars on an inverted axis", 3000, 1, TMultiBar::mbNone, true, true, true},
        {"2,400 bars on an inverted axis", 2400, 1, TMultiBar::mbSide, false, false, true},
    };
    for (const TDenseCase& c : cases) {
        const QImage gathered = DenseChart<TBarSeries, TFloatingBars>(c);
        const QImage inTurn = DenseChart<TInTurn<TBarSeries>, TInTurn<TFloatingBars>>(c);
        ASSERT_EQ(gathered.size(), inTurn.size());
        int differing = 0;
        int blue = 0;
        for (int y = 0; y < gathered.height(); ++y) {
            for (int x = 0; x < gathered.width(); ++x) {
                differing += gathered.pixel(x, y) != inTurn.pixel(x, y) ? 1 : 0;
                blue += gathered.pixel(x, y) == qRgb(0, 0, 255) ? 1 : 0;
            }
        }
        EXPECT_EQ(differing, 0) << c.Name;
        EXPECT_GT(blue, 1000) << c.Name << ": not two empty plots";
    }
}
