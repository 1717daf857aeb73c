#include "chart/chart.h"
#include "tests/support/diagram_chart.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

// An axis with a fixed range laid over a plot area of the given length.
void Lay(TChartAxis* axis, double minimum, double maximum, int length)
{
    axis->SetMinMax(minimum, maximum);
    axis->ComputeRange();
    if (axis->IsHorizontal())
        axis->ComputePixelRange(TChartRect{10, 0, 10 + length, 100});
    else
        axis->ComputePixelRange(TChartRect{0, 5, 100, 5 + length});
}

} // namespace

TEST(ChartAxis, RangeSettersRefuseCrossedEndsAndKeepTheOldValue)
{
    TChart chart;
    TChartAxis* axis = chart.LeftAxis();
    axis->SetMaximum(1);
    try {
        axis->SetMinimum(5);
        FAIL();
    } catch (const AxisException& error) {
        EXPECT_STREQ(error.what(), "Axis Minimum Value must be <= Maximum");
    }
    EXPECT_EQ(axis->Minimum(), 0);
    try {
        axis->SetMaximum(-1);
        FAIL();
    } catch (const AxisException& error) {
        EXPECT_STREQ(error.what(), "Axis Maximum Value must be >= Minimum");
    }
    EXPECT_EQ(axis->Maximum(), 1);
    axis->SetMaximum(10);
    axis->SetMinimum(5);
    EXPECT_EQ(axis->Minimum(), 5);

    EXPECT_THROW(axis->SetIncrement(-1), AxisException);
    try {
        axis->SetLabelsSeparation(-1);
        FAIL();
    } catch (const AxisException& error) {
        EXPECT_STREQ(error.what(), "Labels Separation % must be greater than 0");
    }
    EXPECT_EQ(axis->LabelsSeparation(), 10);

    chart.SetLoading(true); // the stored layout may name the ends in any order
    axis->SetMinimum(20);
    EXPECT_EQ(axis->Minimum(), 20);
}

TEST(ChartAxis, SetMinMaxOrdersTheEndsAndKeepsARange)
{
    TChart chart;
    TChartAxis* axis = chart.BottomAxis();
    axis->SetMinMax(24, -1);
    EXPECT_EQ(axis->Minimum(), -1);
    EXPECT_EQ(axis->Maximum(), 24);
    EXPECT_FALSE(axis->Automatic());
    axis->SetMinMax(3, 3);
    EXPECT_EQ(axis->Maximum(), 3 + 1e-10);
}

TEST(ChartAxis, ValueToPixelAndBack)
{
    TChart chart;
    TChartAxis* bottom = chart.BottomAxis();
    Lay(bottom, -1, 24, 450);
    EXPECT_EQ(bottom->StartPixel(), 10);
    EXPECT_EQ(bottom->EndPixel(), 460);
    EXPECT_EQ(bottom->ValueToPixel(-1), 10);
    EXPECT_EQ(bottom->ValueToPixel(0), 28);
    EXPECT_EQ(bottom->ValueToPixel(24), 460);
    EXPECT_EQ(bottom->ValueToPixel(30), 568); // nothing is clamped
    EXPECT_DOUBLE_EQ(bottom->PixelToValue(28), 0);
    EXPECT_DOUBLE_EQ(bottom->PixelToValue(60), 50 * 25.0 / 450 - 1);

    TChartAxis* left = chart.LeftAxis();
    Lay(left, 0, 100, 250);
    EXPECT_EQ(left->ValueToPixel(0), 255);
    EXPECT_EQ(left->ValueToPixel(100), 5);
    EXPECT_EQ(left->ValueToPixel(1), 253); // 2.5 rounds to 2
    EXPECT_DOUBLE_EQ(left->PixelToValue(5), 100);
    left->SetInverted(true);
    EXPECT_EQ(left->ValueToPixel(100), 255);

    Lay(left, 7, 7, 250); // a zero range maps everything to the centre
    EXPECT_EQ(left->ValueToPixel(-50), 130);
    EXPECT_EQ(left->ValueToPixel(1e308), 130);
}

TEST(ChartAxis, NextNiceStepClimbsOneTwoFive)
{
    const std::pair<double, double> steps[] = {{1, 2}, {2, 5}, {5, 10}, {10, 20}, {0.3, 0.5}, {3, 5}, {20, 50}, {0, 1}};
    for (const auto& [from, to] : steps)
        EXPECT_DOUBLE_EQ(TChartAxis::NextNiceStep(from), to) << from;
}

TEST(ChartAxis, LabelStepOfTheHourAxis)
{
    TDiagramChart diagram;
    TChartAxis* axis = diagram.Chart.BottomAxis();
    Lay(axis, -1, 24, 450);
    EXPECT_EQ(axis->LabelStepForSize(15), 2); // 25 labels > 21, 12 fit
    EXPECT_EQ(axis->DrawnLabelValues(2), (std::vector<double>{22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0}));
    EXPECT_EQ(axis->LabelValues(2).front(), 24); // produced, but on the axis end
    Lay(axis, -1, 24, 600);
    EXPECT_EQ(axis->LabelStepForSize(15), 1);
    const std::vector<double> values = axis->DrawnLabelValues(1);
    ASSERT_EQ(values.size(), 24u);
    EXPECT_EQ(values.front(), 23);
    EXPECT_EQ(values.back(), 0);
}

TEST(ChartAxis, LabelStepOfAPressureAxis)
{
    TDiagramChart diagram;
    TChartAxis* axis = diagram.Chart.LeftAxis();
    Lay(axis, 744, 761, 250);
    EXPECT_EQ(axis->LabelStepForSize(16), 2);
    EXPECT_EQ(axis->DrawnLabelValues(2), (std::vector<double>{760, 758, 756, 754, 752, 750, 748, 746, 744}));
}

TEST(ChartAxis, ZeroRangeGivesOneLabelAtTheCentre)
{
    TDiagramChart diagram;
    TChartAxis* axis = diagram.Chart.LeftAxis();
    axis->SetMaximum(0);
    axis->SetMinimum(0);
    axis->ComputeRange();
    axis->ComputePixelRange(TChartRect{0, 5, 100, 255});
    const double step = axis->LabelStepForSize(16);
    EXPECT_EQ(step, 1e-12);
    EXPECT_EQ(axis->DrawnLabelValues(step), std::vector<double>{0});
    EXPECT_EQ(axis->LabelText(0), "0");
}

TEST(ChartAxis, TooManyLabelsDrawNone)
{
    TDiagramChart diagram;
    TChartAxis* axis = diagram.Chart.LeftAxis();
    Lay(axis, 0, 20000, 250);
    EXPECT_TRUE(axis->LabelValues(1).empty());
    EXPECT_EQ(axis->LabelValues(4).size(), 5001u);
}

TEST(ChartAxis, MultiLineLabelsSplitAtSpaces)
{
    TDiagramChart diagram;
    SetChartFormatSettings({QChar(' '), QChar('.')});
    EXPECT_EQ(diagram.Chart.BottomAxis()->LabelText(1500), QStringLiteral("1\r500"));
    EXPECT_EQ(diagram.Chart.LeftAxis()->LabelText(1500), QStringLiteral("1 500"));
    SetChartFormatSettings({QChar(','), QChar('.')});
}

TEST(ChartAxis, OnlyAxesOfActiveSeriesAreShown)
{
    TDiagramChart diagram;
    TChart& chart = diagram.Chart;
    EXPECT_TRUE(chart.AxisShown(chart.BottomAxis()));
    EXPECT_TRUE(chart.AxisShown(chart.LeftAxis()));
    EXPECT_FALSE(chart.AxisShown(chart.TopAxis()));
    EXPECT_FALSE(chart.AxisShown(chart.RightAxis()));
    EXPECT_FALSE(chart.AxisShown(chart.DepthAxis()));
    diagram.Series->SetActive(false);
    EXPECT_FALSE(chart.AxisShown(chart.BottomAxis()));
}

TEST(ChartAxis, LabelEventOnlyForValuesThatGetALabel)
{
    TDiagramChart diagram;
    TChart& chart = diagram.Chart;
    std::vector<double> asked;
    chart.OnGetAxisLabel = [&](TChartAxis* axis, TChartSeries*, int, QString& text) {
        if (axis == chart.BottomAxis())
            asked.push_back(text.toDouble());
    };
    chart.RenderToImage();
    // 24 is asked for once, by the label step's measure; as a label it lies on the axis end.
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 24.0), 1);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 0.0), 1);
}

TEST(ChartAxis, LabelsReachBothEndsOfNegativePositiveAndZeroCrossingRanges)
{
    // With LabelsOnAxis, a label that falls on an axis end is drawn, whatever the sign of the end
    // and however the multiples of a fractional step round.
    struct Case
    {
        double Minimum, Maximum, Step;
        std::size_t Count;
        double Top, Bottom;
    };
    const Case cases[] = {
        {-6, 6, 2, 7, 6, -6},
        {-7, 5, 1, 13, 5, -7}, // an outdoor temperature day
        {-10.5, -0.5, 0.5, 21, -0.5, -10.5},
        {-20, -2, 2, 10, -2, -20},
        {6, 14, 2, 5, 14, 6},
        {0, 1.7, 0.1, 18, 1.7, 0},   // 17 × 0.1 lies just above 1.7
        {-1.7, 0, 0.1, 18, 0, -1.7}, // and 17 steps down from 0 just below −1.7
        {-3.4, -1.7, 0.1, 18, -1.7, -3.4},
    };
    TDiagramChart diagram;
    TChartAxis* axis = diagram.Chart.LeftAxis();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Minimum << ".." << c.Maximum);
        Lay(axis, c.Minimum, c.Maximum, 250);
        const std::vector<double> drawn = axis->DrawnLabelValues(c.Step);
        EXPECT_EQ(drawn.size(), c.Count);
        if (drawn.empty())
            continue;
        EXPECT_NEAR(drawn.front(), c.Top, 1e-9);
        EXPECT_NEAR(drawn.back(), c.Bottom, 1e-9);
        // The end labels sit on the axis ends.
        EXPECT_EQ(axis->ValueToPixel(drawn.front()), axis->StartPixel());
        EXPECT_EQ(axis->ValueToPixel(drawn.back()), axis->EndPixel());
    }
}
