// The daily diagram's chart as the window sets it up, for the drawing tests and the benchmark.
#pragma once

#include "chart/bar_series.h"
#include "chart/chart.h"
#include "station/day_chart.h"

#include <QStringList>
#include <algorithm>
#include <array>

struct TDiagramChart
{
    TChart Chart;
    TBarSeries* Series = nullptr;

    TDiagramChart()
    {
        Chart.resize(DayChartWidth, DayChartHeight);
        Series = SetUpDayChart(Chart);
    }

    // What the diagram does for one day: 255 marks a missing hour (a red bar of 0).
    void ShowDay(const QString& title, const std::array<int, DayHours>& values)
    {
        Chart.Title().SetLine(0, title);
        THourValues hours;
        std::transform(values.begin(), values.end(), hours.begin(), [](int v) { return static_cast<std::int16_t>(v); });
        ShowDayBars(Chart, *Series, hours);
    }
};
