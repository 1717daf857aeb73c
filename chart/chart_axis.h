// An axis of the chart: its range, the pixels it spans, the value-to-pixel mapping, the label step
// and label texts, and the drawing of its title, labels, line, ticks and grid.
#pragma once

#include "chart/chart_types.h"

#include <QRect>
#include <QString>
#include <QStringList>
#include <vector>

class TChart;
class TChartParent;
class TChartSeries;

enum class TAxisLabelStyle { talAuto, talNone, talValue, talMark, talText };

class TChartAxisTitle : public TChartObject
{
public:
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value) { Assign(FCaption, value); }
    int Angle() const { return FAngle; }
    void SetAngle(int value) { Assign(FAngle, value); }
    TChartFont& Font() { return FFont; }

private:
    QString FCaption;
    int FAngle = 0;
    TChartFont FFont;
};

class TChartAxis
{
public:
    static constexpr int MaxTickPositions = 2000;

    TChartAxis(TChartParent* chart, bool horizontal, bool otherSide, bool depth = false);
    TChartAxis(const TChartAxis&) = delete;
    TChartAxis& operator=(const TChartAxis&) = delete;

    TChart* ParentChart() const;
    bool IsHorizontal() const { return FHorizontal; }
    bool IsOtherSide() const { return FOtherSide; }
    bool IsDepthAxis() const { return FDepth; }

    // Range. The setters refuse a minimum above the maximum and the reverse (AxisException),
    // except while the chart is loading its layout.
    bool Automatic() const { return FAutomatic; }
    void SetAutomatic(bool value) { Store(FAutomatic, value); }
    bool AutomaticMaximum() const { return FAutomaticMaximum; }
    void SetAutomaticMaximum(bool value) { Store(FAutomaticMaximum, value); }
    bool AutomaticMinimum() const { return FAutomaticMinimum; }
    void SetAutomaticMinimum(bool value) { Store(FAutomaticMinimum, value); }
    double Maximum() const { return FMaximum; }
    void SetMaximum(double value);
    double Minimum() const { return FMinimum; }
    void SetMinimum(double value);
    // Both ends at once, in any order, with no range error; switches the automatic ends off.
    void SetMinMax(double a, double b);
    // Moves both ends by the offset (the wheel's scroll); switches the automatic ends off.
    void Scroll(double offset);
    double Increment() const { return FIncrement; }
    void SetIncrement(double value);

    // Labels.
    bool Labels() const { return FLabels; }
    void SetLabels(bool value) { Store(FLabels, value); }
    TChartFont& LabelsFont() { return FLabelsFont; }
    int LabelsAngle() const { return FLabelsAngle; }
    void SetLabelsAngle(int value) { Store(FLabelsAngle, value); }
    bool LabelsOnAxis() const { return FLabelsOnAxis; }
    void SetLabelsOnAxis(bool value) { Store(FLabelsOnAxis, value); }
    int LabelsSeparation() const { return FLabelsSeparation; }
    void SetLabelsSeparation(int value);
    int LabelsSize() const { return FLabelsSize; }
    void SetLabelsSize(int value) { Store(FLabelsSize, value); }
    TAxisLabelStyle LabelStyle() const { return FLabelStyle; }
    void SetLabelStyle(TAxisLabelStyle value) { Store(FLabelStyle, value); }
    bool LabelsMultiLine() const { return FLabelsMultiLine; }
    void SetLabelsMultiLine(bool value) { Store(FLabelsMultiLine, value); }
    QString AxisValuesFormat() const { return FAxisValuesFormat; }
    void SetAxisValuesFormat(const QString& value) { Store(FAxisValuesFormat, value); }
    QString DateTimeFormat() const { return FDateTimeFormat; }
    void SetDateTimeFormat(const QString& value) { Store(FDateTimeFormat, value); }
    bool ExactDateTime() const { return FExactDateTime; }
    void SetExactDateTime(bool value) { Store(FExactDateTime, value); }
    bool RoundFirstLabel() const { return FRoundFirstLabel; }
    void SetRoundFirstLabel(bool value) { Store(FRoundFirstLabel, value); }
    bool Logarithmic() const { return FLogarithmic; }
    void SetLogarithmic(bool value) { Store(FLogarithmic, value); }
    int LogarithmicBase() const { return FLogarithmicBase; }
    void SetLogarithmicBase(int value) { Store(FLogarithmicBase, value); }
    bool Inverted() const { return FInverted; }
    void SetInverted(bool value) { Store(FInverted, value); }

    // Pens and ticks.
    TChartPen& Axis() { return FAxis; }
    TChartPen& Grid() { return FGrid; }
    bool GridCentered() const { return FGridCentered; }
    void SetGridCentered(bool value) { Store(FGridCentered, value); }
    TChartPen& Ticks() { return FTicks; }
    int TickLength() const { return FTickLength; }
    void SetTickLength(int value) { Store(FTickLength, value); }
    TChartPen& TicksInner() { return FTicksInner; }
    int TickInnerLength() const { return FTickInnerLength; }
    void SetTickInnerLength(int value) { Store(FTickInnerLength, value); }
    bool TickOnLabelsOnly() const { return FTickOnLabelsOnly; }
    void SetTickOnLabelsOnly(bool value) { Store(FTickOnLabelsOnly, value); }
    TChartPen& MinorTicks() { return FMinorTicks; }
    int MinorTickCount() const { return FMinorTickCount; }
    void SetMinorTickCount(int value) { Store(FMinorTickCount, value < 0 ? 0 : value); }
    int MinorTickLength() const { return FMinorTickLength; }
    void SetMinorTickLength(int value) { Store(FMinorTickLength, value); }
    TChartPen& MinorGrid() { return FMinorGrid; }

    TChartAxisTitle& Title() { return FTitle; }
    int TitleSize() const { return FTitleSize; }
    void SetTitleSize(int value) { Store(FTitleSize, value); }
    bool Visible() const { return FVisible; }
    void SetVisible(bool value) { Store(FVisible, value); }
    double StartPosition() const { return FStartPosition; }
    void SetStartPosition(double value) { Store(FStartPosition, value); }
    double EndPosition() const { return FEndPosition; }
    void SetEndPosition(double value) { Store(FEndPosition, value); }
    double PositionPercent() const { return FPositionPercent; }
    void SetPositionPercent(double value) { Store(FPositionPercent, value); }

    // Layout state of the last paint.
    double EffectiveMinimum() const { return FEffectiveMinimum; }
    double EffectiveMaximum() const { return FEffectiveMaximum; }
    double EffectiveRange() const { return FEffectiveRange; }
    int StartPixel() const { return FStartPixel; }
    int EndPixel() const { return FEndPixel; }
    int AxisLength() const { return FAxisLength; }
    int CenterPixel() const { return FCenterPixel; }
    int AxisLinePos() const { return FAxisLinePos; }
    int LabelsPos() const { return FLabelsPos; }
    int TitlePos() const { return FTitlePos; }
    const std::vector<int>& TickPositions() const { return FTickPositions; }

    // Layout and drawing steps, run by the chart's paint.
    void ComputeRange();
    void ReserveAxisSpace(TChartRect& rect);
    void ComputePixelRange(const TChartRect& plotRect);
    void ApplyMargins(int startMargin, int endMargin);
    int ValueToPixel(double value) const;
    double PixelToValue(int pixel) const;
    double LabelStep();
    // The step for labels of the given size in pixels (the second half of LabelStep).
    double LabelStepForSize(int labelSize) const;
    double StepForLabelCount(int count) const;
    static double NextNiceStep(double step);
    QString LabelText(double value) const;
    // The label values from the top of the range down (before the on-axis test).
    std::vector<double> LabelValues(double step) const;
    // The label values that get a label and tick: strictly inside the axis unless LabelsOnAxis.
    std::vector<double> DrawnLabelValues(double step) const;
    TAxisLabelStyle EffectiveLabelStyle() const;
    int WidestLabel();
    int TickSpace() const;
    void DrawAxis(bool recomputePosition);
    // Whether the point lies on the axis as last drawn: its line, ticks and labels band along
    // StartPixel..EndPixel (the title is not part of it). Never for an axis that is not shown.
    bool Clicked(int x, int y) const;

private:
    template <class T>
    void Store(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        InvalidateChart();
    }
    void InvalidateChart();
    bool Loading() const;
    void AutomaticExtremes(double& minimum, double& maximum) const;
    int LabelSizeForStep(const QString& a, const QString& b);
    QStringList LabelLines(const QString& text) const;
    // A label value at this pixel gets a label and tick: strictly inside unless LabelsOnAxis.
    bool LabelFits(int pixel) const;
    // The tick of a label at the pixel; true when its text is to be drawn there.
    bool TakeLabelPosition(int pixel);
    void DrawLabel(int pixel, const QString& text);
    void DrawTitle();
    void DrawLineTicksGrid();
    // A tick of the given length at p, outward (away from the plot area) or inward.
    void DrawTick(int p, int length, bool outward);
    void DrawGridLine(int p);
    // Between the ticks and beyond the outer ones at their gaps, inside the axis only; needs two ticks.
    std::vector<int> MinorTickPositions() const;
    int PositionShift(const TChartRect& rect) const;
    // The space the title and the labels take across the axis, and taking it from the plot rect's
    // outer side (the bottom or left, or top or right on the other side), whose new edge it then is.
    int TitleSpace();
    int LabelsSpace();
    void ShrinkFromOutside(TChartRect& rect, int n) const;
    int OuterEdge(const TChartRect& rect) const;
    bool SuppressLabelEvent = false;

    TChartParent* Chart;
    bool FHorizontal;
    bool FOtherSide;
    bool FDepth;

    bool FAutomatic = true;
    bool FAutomaticMaximum = true;
    bool FAutomaticMinimum = true;
    double FMaximum = 0.0;
    double FMinimum = 0.0;
    double FIncrement = 0.0;
    bool FLabels = true;
    TChartFont FLabelsFont;
    int FLabelsAngle = 0;
    bool FLabelsOnAxis = true;
    int FLabelsSeparation = 10;
    int FLabelsSize = 0;
    TAxisLabelStyle FLabelStyle = TAxisLabelStyle::talAuto;
    bool FLabelsMultiLine = false;
    QString FAxisValuesFormat = QStringLiteral("#,##0.###");
    QString FDateTimeFormat;
    bool FExactDateTime = true;
    bool FRoundFirstLabel = true;
    bool FLogarithmic = false;
    int FLogarithmicBase = 10;
    bool FInverted = false;
    TChartPen FAxis{clBlack, 2};
    TChartPen FGrid{clGray, 1, TPenStyle::psDot};
    bool FGridCentered = false;
    TChartPen FTicks{clGray};
    int FTickLength = 4;
    TChartPen FTicksInner{clGray};
    int FTickInnerLength = 0;
    bool FTickOnLabelsOnly = true;
    TChartPen FMinorTicks{clGray};
    int FMinorTickCount = 3;
    int FMinorTickLength = 2;
    TChartPen FMinorGrid{clGray, 1, TPenStyle::psSolid, false};
    TChartAxisTitle FTitle;
    int FTitleSize = 0;
    bool FVisible = true;
    double FStartPosition = 0.0;
    double FEndPosition = 100.0;
    double FPositionPercent = 0.0;

    double FEffectiveMinimum = 0.0;
    double FEffectiveMaximum = 0.0;
    double FEffectiveRange = 0.0;
    int FStartPixel = 0;
    int FEndPixel = 0;
    int FAxisLength = 0;
    int FCenterPixel = 0;
    int FAxisLinePos = 0;
    int FLabelsPos = 0;
    int FTitlePos = 0;
    int FLabelsSpace = 0; // label space reserved by the last layout
    bool FDateTimeAxis = false;
    std::vector<int> FTickPositions;
};
