// Bars: one per point, centred on the point's X, from the origin value to the point's Y, filled
// with the point's colour; the width follows the axis length at every paint.
#pragma once

#include "chart/chart_series.h"

#include <utility>
#include <vector>

enum class TBarStyle { bsRectangle, bsPyramid, bsInvPyramid, bsCilinder, bsEllipse, bsArrow, bsRectGradient };
enum class TMultiBar { mbNone, mbSide, mbStacked, mbStacked100 };

class TCustomBarSeries : public TChartSeries
{
public:
    TCustomBarSeries();

    bool AutoBarSize() const { return FAutoBarSize; }
    void SetAutoBarSize(bool value) { Store(FAutoBarSize, value); }
    bool AutoMarkPosition() const { return FAutoMarkPosition; }
    void SetAutoMarkPosition(bool value) { Store(FAutoMarkPosition, value); }
    TChartBrush& BarBrush() { return FBarBrush; }
    TChartPen& BarPen() { return FBarPen; }
    TBarStyle BarStyle() const { return FBarStyle; }
    void SetBarStyle(TBarStyle value) { Store(FBarStyle, value); }
    int BarWidthPercent() const { return FBarWidthPercent; }
    void SetBarWidthPercent(int value); // 1..100, else BarException
    bool Dark3D() const { return FDark3D; }
    void SetDark3D(bool value) { Store(FDark3D, value); }
    TMultiBar MultiBar() const { return FMultiBar; }
    void SetMultiBar(TMultiBar value) { Store(FMultiBar, value); }
    int OffsetPercent() const { return FOffsetPercent; }
    void SetOffsetPercent(int value); // -100..100, else BarException
    bool SideMargins() const { return FSideMargins; }
    void SetSideMargins(bool value) { Store(FSideMargins, value); }
    bool UseYOrigin() const { return FUseYOrigin; }
    void SetUseYOrigin(bool value) { Store(FUseYOrigin, value); }
    double YOrigin() const { return FYOrigin; }
    void SetYOrigin(double value) { Store(FYOrigin, value); }

    // May change the style of one point.
    std::function<void(TCustomBarSeries*, int, TBarStyle&)> OnGetBarStyle;

    double BaseValue(int index) const override;

protected:
    int FBarSize = 0;
    TChartRect FBarRect;
    TColor FCurrentBarColor = clDefault;

private:
    bool FAutoBarSize = false;
    bool FAutoMarkPosition = true;
    TChartBrush FBarBrush{clDefault, TBrushStyle::bsSolid};
    TChartPen FBarPen;
    TBarStyle FBarStyle = TBarStyle::bsRectangle;
    int FBarWidthPercent = 70;
    bool FDark3D = true;
    TMultiBar FMultiBar = TMultiBar::mbSide;
    int FOffsetPercent = 0;
    bool FSideMargins = true;
    bool FUseYOrigin = true;
    double FYOrigin = 0.0;
};

class TBarSeries : public TCustomBarSeries
{
public:
    TBarSeries();

    int CustomBarWidth() const { return FCustomBarWidth; }
    void SetCustomBarWidth(int value) { Store(FCustomBarWidth, value); }

    int BarSize() const { return FBarSize; }
    TChartRect BarRect() const { return FBarRect; }
    TColor CurrentBarColor() const { return FCurrentBarColor; }

    void ComputeBarSize();
    int XPixel(int index) const override;
    int YPixel(int index) const override;
    int OriginPixel(int index) const;
    // The pixel where a point's bar ends opposite its value: the origin, unless a kind of bar has
    // an end of its own.
    virtual int BarEndPixel(int index) const { return OriginPixel(index); }
    void DrawAllPoints() override;
    void DrawPoint(int index) override;
    virtual void DrawBar(int index, int top, int bottom);
    void DrawBarRectangle(TColor color, int left, int top, int right, int bottom);
    double HighestY() const override;
    double LowestY() const override;
    bool DrawForward() const override;
    void HorizontalMargins(int& left, int& right) override;
    void VerticalMargins(int& top, int& bottom) override;
    void DrawMark(int index) override;
    int Clicked(int x, int y) const override;
    // The rectangle of a point's bar in the last layout (left, top, right, bottom; right and bottom exclusive).
    TChartRect PointBarRect(int index) const;

    // Active series of exactly this class in the chart, and this one's place among them (from 1).
    int SameClassBarCount() const;
    int BarOrderPosition() const;

private:
    void PrepareBarCanvas(TColor color);
    // FBarRect of a point whose bar's left edge is known.
    void PlaceBar(int index, int left);
    // A bar without width or height is a line in its own colour, whatever the pen.
    void UseLinePen();
    // From a point's X pixel to the left edge of its bar.
    int BarOffset() const;
    // True when the bars are plain rectangles: no other shape, a solid brush, a pen at most a pixel
    // wide that draws lines solid. Such a bar without an outline is just a fill of its colour.
    bool PlainBars();
    // Fills the bars gathered in FColumn, which share the pixel columns left..right - 1.
    void FillColumn(int left, int right);
    // Calls visit for each active series of exactly this class in the chart, in the chart's order.
    template <class Visit>
    void ForEachSameClass(Visit visit) const;
    // The same point's values of the active series of this class, all or those before this one.
    double SameClassSum(int index, bool onlyBefore) const;
    double StackedBelow(int index) const;
    double ColumnTotal(int index) const;
    double StackedTop(int index) const;

    int FCustomBarWidth = 0;

    // The rows of one bar in a pixel column (bottom exclusive), kept between paints to save
    // allocations, and the rows later bars already cover.
    struct TColumnBar
    {
        int Top;
        int Bottom;
        TColor Color;
    };
    std::vector<TColumnBar> FColumn;
    std::vector<std::pair<int, int>> FCovered;
};
