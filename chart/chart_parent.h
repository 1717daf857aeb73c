// What an axis and a series need of the chart they belong to: its axes and series, its plot area,
// canvas and colour, its repaint and state, and its axis label event. TChart implements it; the
// parts know their chart only through it, so chart.h, which holds the parts, and the parts' code
// do not include each other.
#pragma once

#include "chart/chart_types.h"

#include <QRect>
#include <QString>
#include <vector>

class TChart;
class TChartAxis;
class TChartCanvas;
class TChartSeries;

class TChartParent
{
public:
    // The chart itself, as the parts' ParentChart names it.
    virtual TChart* AsChart() = 0;

    virtual TChartAxis* BottomAxis() const = 0;
    virtual TChartAxis* TopAxis() const = 0;
    virtual TChartAxis* LeftAxis() const = 0;
    virtual TChartAxis* RightAxis() const = 0;
    virtual bool AxisShown(const TChartAxis* axis) const = 0;
    // Where a value falls on one of the chart's axes, the value a pixel stands for there, and
    // whether the axis runs the other way: a series reaches its axes through its chart, as the
    // axes read the series.
    virtual int AxisPixel(const TChartAxis* axis, double value) const = 0;
    virtual double AxisValue(const TChartAxis* axis, int pixel) const = 0;
    virtual bool AxisInverted(const TChartAxis* axis) const = 0;

    virtual const std::vector<TChartSeries*>& SeriesList() const = 0;
    virtual void AddSeries(TChartSeries* series) = 0;
    virtual void RemoveSeries(TChartSeries* series) = 0;

    virtual int PlotLeft() const = 0;
    virtual int PlotTop() const = 0;
    virtual int PlotRight() const = 0;
    virtual int PlotBottom() const = 0;
    virtual QRect PlotRect() const = 0;
    virtual bool ClipPoints() const = 0;
    virtual TColor Color() const = 0;
    virtual TChartCanvas& Canvas() = 0;

    virtual void Invalidate() = 0;
    virtual bool Loading() const = 0;
    virtual bool Destroying() const = 0;
    virtual bool Printing() const = 0;

    // The chart's OnGetAxisLabel, when it has one, on a label's text.
    virtual void GetAxisLabel(TChartAxis* axis, TChartSeries* series, int index, QString& text) = 0;

protected:
    ~TChartParent() = default;
};
