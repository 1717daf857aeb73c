#include "chart/bar_series.h"
#include "chart/chart.h"

#include <gtest/gtest.h>

TEST(ChartValueList, EmptyListReportsZeroStatistics)
{
    TChartSeries series;
    TChartValueList* y = series.YValues();
    EXPECT_EQ(y->MaxOfValues(), 0);
    EXPECT_EQ(y->MinOfValues(), 0);
    EXPECT_EQ(y->SumOfValues(), 0);
    EXPECT_EQ(y->SumOfAbsValues(), 0);
}

TEST(ChartValueList, StatisticsFollowChangesAndTheMultiplier)
{
    TChartSeries series;
    TChartValueList* y = series.YValues();
    for (double v : {3.0, -4.0, 7.5})
        y->AddOrdered(v);
    EXPECT_EQ(y->MaxOfValues(), 7.5);
    EXPECT_EQ(y->MinOfValues(), -4.0);
    EXPECT_EQ(y->SumOfValues(), 6.5);
    EXPECT_EQ(y->SumOfAbsValues(), 14.5);
    y->SetValueAt(1, 10);
    EXPECT_EQ(y->MaxOfValues(), 10);
    y->SetMultiplier(2);
    EXPECT_EQ(y->ValueAt(0), 6);
    EXPECT_EQ(y->StoredValue(0), 3);
    EXPECT_EQ(y->MaxOfValues(), 20);
    EXPECT_EQ(y->SumOfValues(), 41);
    y->RemoveAll();
    EXPECT_EQ(y->ItemCount(), 0);
    EXPECT_EQ(y->Capacity(), 0u);
    EXPECT_EQ(y->MaxOfValues(), 0);
}

TEST(ChartValueList, OrderedInsertsPlaceEqualValuesAfterTheirPeers)
{
    TChartSeries series;
    TChartValueList* x = series.XValues();
    EXPECT_EQ(x->Name(), "X");
    EXPECT_EQ(x->Order(), TChartListOrder::loAscending);
    x->SetOrder(TChartListOrder::loDescending);
    EXPECT_EQ(x->AddOrdered(3), 0);
    EXPECT_EQ(x->AddOrdered(5), 0);
    EXPECT_EQ(x->AddOrdered(3), 2);
    EXPECT_EQ(x->AddOrdered(1), 3);
    EXPECT_EQ(x->ValueAt(0), 5);
    EXPECT_EQ(x->ValueAt(3), 1);
}

TEST(ChartValueList, IndexOutsideTheListRaisesTheListError)
{
    TChartSeries series;
    series.AddPoint(0, 1);
    try {
        series.YValues()->ValueAt(5);
        FAIL();
    } catch (const EListError& error) {
        EXPECT_STREQ(error.what(), "List index out of bounds (5)");
    }
    EXPECT_THROW(series.YValues()->SetValueAt(-1, 0), EListError);
    EXPECT_THROW(series.YValues()->RemoveAt(1), EListError);
    EXPECT_THROW(series.SetPointColor(1, clRed), EListError);
    EXPECT_EQ(series.YValue(0), 1);
}

TEST(ChartSeries, AddPointKeepsYColourAndLabelWithTheirX)
{
    TChartSeries series;
    EXPECT_EQ(series.AddPoint(5, 50, "five", clRed), 0);
    EXPECT_EQ(series.AddPoint(3, 30, "", clBlue), 0);
    EXPECT_EQ(series.AddPoint(5, 51, "five again", clNone), 2);
    EXPECT_EQ(series.AddPoint(1, 10, "one", clDefault), 0);
    ASSERT_EQ(series.PointCount(), 4);
    const double xs[] = {1, 3, 5, 5};
    const double ys[] = {10, 30, 50, 51};
    const TColor colors[] = {clDefault, clBlue, clRed, clNone};
    const char* labels[] = {"one", "", "five", "five again"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(series.XValue(i), xs[i]);
        EXPECT_EQ(series.YValue(i), ys[i]);
        EXPECT_EQ(series.StoredColors()[static_cast<std::size_t>(i)], colors[i]);
        EXPECT_EQ(series.PointLabel(i), labels[i]);
    }
    EXPECT_FALSE(series.HasLabel(1)); // an empty label is stored as none
    EXPECT_EQ(series.PointLabel(99), "");
}

TEST(ChartSeries, ColourRules)
{
    TChartSeries series;
    series.SetSeriesColor(clRed);
    for (int i = 0; i < 18; ++i)
        series.AddPoint(i, i);
    EXPECT_EQ(series.PointColor(17), clRed);
    series.SetColorEachPoint(true);
    EXPECT_EQ(series.PointColor(17), clGreen);
    EXPECT_EQ(series.PointColor(3), clBlue);
    EXPECT_EQ(series.PointColor(18), clRed); // past the stored colours: the series colour

    series.SetPointColor(4, 255);
    series.SetPointColor(5, 16711680);
    series.SetPointColor(6, clNone);
    EXPECT_EQ(series.PointColor(4), clRed);
    EXPECT_EQ(series.PointColor(5), clBlue);
    EXPECT_EQ(series.PointColor(6), clNone);
    EXPECT_EQ(series.PointCount(), 18);

    series.SetColorEachPoint(false); // discards the points' own colours
    EXPECT_EQ(series.PointColor(5), clRed);
    EXPECT_EQ(series.PointColor(6), clRed);

    series.ClearPoints();
    EXPECT_EQ(series.PointCount(), 0);
    EXPECT_EQ(series.YValues()->ItemCount(), 0);
    EXPECT_EQ(series.PointColor(0), clRed);
}

TEST(ChartSeries, EventsMayRefuseAndObserveAdditions)
{
    TChartSeries series;
    int added = -1;
    int cleared = 0;
    series.OnBeforeAdd = [](TChartSeries* s) { return s->XValues()->PendingValue >= 0; };
    series.OnAfterAdd = [&](TChartSeries*, int index) { added = index; };
    series.OnClearValues = [&](TChartSeries*) { ++cleared; };
    EXPECT_EQ(series.AddPoint(-1, 5), -1);
    EXPECT_EQ(series.PointCount(), 0);
    EXPECT_EQ(added, -1);
    EXPECT_EQ(series.AddPoint(2, 5), 0);
    EXPECT_EQ(added, 0);
    series.ClearPoints();
    EXPECT_EQ(cleared, 1);
}

TEST(ChartSeries, DependentSeriesFollowTheirSource)
{
    TChartSeries source;
    TChartSeries copy;
    source.AddPoint(1, 10, "a", clRed);
    copy.SetDataSource(&source);
    ASSERT_EQ(copy.PointCount(), 1);
    source.AddPoint(2, 20);
    ASSERT_EQ(copy.PointCount(), 2);
    EXPECT_EQ(copy.YValue(1), 20);
    source.YValues()->SetValueAt(0, 11);
    EXPECT_EQ(copy.YValue(0), 11);
    source.DeletePoint(0);
    EXPECT_EQ(copy.PointCount(), 1);
    source.ClearPoints();
    EXPECT_EQ(copy.PointCount(), 0);
}

TEST(ChartSeries, BarSeriesConstruction)
{
    TBarSeries bars;
    EXPECT_EQ(bars.YValues()->Name(), "Bar");
    EXPECT_EQ(bars.YValues()->Order(), TChartListOrder::loNone);
    EXPECT_EQ(bars.XValues()->Order(), TChartListOrder::loAscending);
    EXPECT_TRUE(bars.Marks().Visible());
    EXPECT_EQ(bars.Marks().ArrowLength(), 20);
    EXPECT_EQ(bars.BarWidthPercent(), 70);
    EXPECT_EQ(bars.ValueFormat(), "#,##0.###");
}
