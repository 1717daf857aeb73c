#include "station/day_chart.h"

#include "chart/bar_series.h"
#include "chart/chart.h"

#include <memory>

namespace {

// An axis whose ends the program sets, with the diagram's labels and short ticks.
void SetFixed(TChartAxis* axis)
{
    axis->SetAutomatic(false);
    axis->SetAutomaticMaximum(false);
    axis->SetAutomaticMinimum(false);
    axis->SetExactDateTime(false);
    axis->LabelsFont().SetName(QStringLiteral("Arial"));
    axis->LabelsFont().SetHeight(-13);
    axis->LabelsFont().SetBold(true);
    axis->LabelsFont().SetColor(clBlack);
    axis->SetMinorTickCount(0);
    axis->SetMinorTickLength(0);
    axis->SetTickLength(2);
}

// Both ends of a fixed axis, in the order that keeps the minimum at or below the maximum after
// each single step, whatever range a zoom, pan or wheel scroll left behind.
void SetAxisRange(TChartAxis* axis, int minimum, int maximum)
{
    if (minimum > axis->Maximum()) {
        axis->SetMaximum(maximum);
        axis->SetMinimum(minimum);
    } else {
        axis->SetMinimum(minimum);
        axis->SetMaximum(maximum);
    }
}

} // namespace

TBarSeries* SetUpDayChart(TChart& chart)
{
    chart.SetMarginLeft(2);
    chart.SetMarginTop(2);
    chart.SetMarginRight(2);
    chart.SetMarginBottom(2);
    chart.Gradient().SetVisible(true);
    chart.Gradient().SetEndColor(8454016);
    chart.Title().SetColor(8454016);
    chart.Title().Font().SetName(QStringLiteral("Arial"));
    chart.Title().Font().SetHeight(-16);
    chart.Title().Font().SetColor(clBlue);
    chart.Title().SetText(QStringList{QString()});
    chart.Legend().SetAlignment(TLegendAlignment::laLeft);
    chart.BackWall().Brush().SetColor(clWhite);
    chart.SetView3D(false);
    chart.SetBevelWidth(0);

    for (TChartAxis* axis : {chart.BottomAxis(), chart.TopAxis()}) {
        SetFixed(axis);
        axis->SetIncrement(1);
        axis->SetMaximum(24);
        axis->SetMinimum(-1);
        axis->SetLabelsOnAxis(false);
        axis->SetLabelsSeparation(40);
    }
    chart.BottomAxis()->SetLabelsMultiLine(true);
    SetFixed(chart.LeftAxis());
    chart.LeftAxis()->SetMaximum(1);
    chart.RightAxis()->SetMinorTickCount(0);
    chart.RightAxis()->SetMinorTickLength(0);
    chart.RightAxis()->SetTickLength(2);
    chart.DepthAxis()->SetTickLength(2);

    TBarSeries* series = chart.OwnSeries(std::make_unique<TBarSeries>());
    series->SetColorEachPoint(true);
    series->SetSeriesColor(clRed);
    series->SetShowInLegend(false);
    series->Marks().SetVisible(false);
    series->Marks().SetArrowLength(8);
    series->Marks().SetStyle(TSeriesMarksStyle::smsValue);
    series->Marks().Font().SetName(QStringLiteral("Arial Black"));
    series->Marks().Font().SetBold(true);
    return series;
}

void ShowDayBars(TChart& chart, TBarSeries& series, const THourValues& values)
{
    series.ClearPoints();
    const TDayRange range = DayRange(values);
    SetAxisRange(chart.LeftAxis(), range.Minimum, range.Maximum);
    int hour = 0;
    for (const std::int16_t value : values) {
        const bool missing = value == HourMissing;
        series.AddPoint(hour++, missing ? 0 : value, QString(), missing ? clRed : clBlue);
    }
}
