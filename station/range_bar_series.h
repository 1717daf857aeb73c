// Floating bars: each point's bar runs from a low value of its own to its Y value, as a day's
// minimum to its maximum. A point whose low equals its Y shows as a line across the bar's width,
// as a day's mean.
#pragma once

#include "chart/bar_series.h"

#include <vector>

class TRangeBarSeries : public TBarSeries
{
public:
    TRangeBarSeries();

    int AddRange(double x, double low, double high, TColor color = clDefault);
    double LowValue(int index) const;
    void ClearPoints() override;
    int BarEndPixel(int index) const override;
    double LowestY() const override;

private:
    std::vector<double> FLows;
};
