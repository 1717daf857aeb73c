// The chart of the daily diagram, set up once for the window, its drawing tests and the benchmark:
// a fixed hour axis -1..24, a left axis set for every day, one bar series with a colour per bar, a
// light green gradient behind a framed plot area.
#pragma once

#include "core/day_hours.h"

class TBarSeries;
class TChart;

// The chart's place on the diagram page.
constexpr int DayChartWidth = 505;
constexpr int DayChartHeight = 321;

// Everything but the geometry; returns the chart's one bar series, which the chart owns.
TBarSeries* SetUpDayChart(TChart& chart);

// One day's bars: a blue bar per hour with a value, a red bar of 0 for an hour without, and the left
// axis from one below the smallest value to one above the largest. The hour axis stays as the user
// zoomed or panned it.
void ShowDayBars(TChart& chart, TBarSeries& series, const THourValues& values);
