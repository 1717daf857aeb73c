#include "station/range_bar_series.h"

#include "chart/chart_axis.h"

#include <algorithm>

TRangeBarSeries::TRangeBarSeries()
{
    // Each bar stands at its own X; two range series of a chart overlap rather than stand side by side.
    SetMultiBar(TMultiBar::mbNone);
    SetUseYOrigin(false);
}

int TRangeBarSeries::AddRange(double x, double low, double high, TColor color)
{
    FLows.push_back(low);
    const int index = AddPoint(x, high, QString(), color);
    if (index < 0)
        FLows.pop_back();
    return index;
}

double TRangeBarSeries::LowValue(int index) const
{
    return index >= 0 && index < static_cast<int>(FLows.size()) ? FLows[static_cast<std::size_t>(index)]
                                                                : YValue(index);
}

void TRangeBarSeries::ClearPoints()
{
    FLows.clear();
    TBarSeries::ClearPoints();
}

int TRangeBarSeries::BarEndPixel(int index) const
{
    TChartAxis* axis = GetVertAxis();
    return axis != nullptr ? axis->ValueToPixel(LowValue(index)) : 0;
}

double TRangeBarSeries::LowestY() const
{
    if (FLows.empty())
        return TBarSeries::LowestY();
    return *std::min_element(FLows.begin(), FLows.end());
}
