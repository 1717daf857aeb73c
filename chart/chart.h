// The chart panel: a widget that owns five axes and a list of series and paints the whole chart
// (background gradient, title, legend, back wall, axes, series) into an off-screen image kept
// between paints. Changes only mark the image dirty and ask for one repaint; a paint with nothing
// changed just copies the image.
#pragma once

#include "chart/chart_axis.h"
#include "chart/chart_canvas.h"
#include "chart/chart_series.h"
#include "chart/chart_types.h"

#include <QImage>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class TChart;

class TChartGradient : public TChartObject
{
public:
    bool Visible() const { return FVisible; }
    void SetVisible(bool value) { Assign(FVisible, value); }
    TGradientDirection Direction() const { return FDirection; }
    void SetDirection(TGradientDirection value) { Assign(FDirection, value); }
    TColor StartColor() const { return FStartColor; }
    void SetStartColor(TColor value) { Assign(FStartColor, value); }
    TColor EndColor() const { return FEndColor; }
    void SetEndColor(TColor value) { Assign(FEndColor, value); }

private:
    bool FVisible = false;
    TGradientDirection FDirection = TGradientDirection::gdTopBottom;
    TColor FStartColor = clWhite;
    TColor FEndColor = clYellow;
};

enum class TTitleAlignment { taLeftJustify, taRightJustify, taCenter };

// The title above (or the foot below) the plot area: lines of text on an optional box.
class TChartTitle : public TChartObject
{
public:
    TChartTitle();
    const QStringList& Text() const { return FText; }
    void SetText(const QStringList& value) { Assign(FText, value); }
    // Line index of Text; index = line count appends a line, other indices raise EListError.
    void SetLine(int index, const QString& line);
    TChartFont& Font() { return FFont; }
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { Assign(FColor, value); }
    TChartBrush& Brush() { return FBrush; }
    TChartPen& Frame() { return FFrame; }
    TTitleAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TTitleAlignment value) { Assign(FAlignment, value); }
    bool AdjustFrame() const { return FAdjustFrame; }
    void SetAdjustFrame(bool value) { Assign(FAdjustFrame, value); }
    bool Visible() const { return FVisible; }
    void SetVisible(bool value) { Assign(FVisible, value); }
    QRect TitleRect() const { return FTitleRect; } // where it was last drawn

private:
    friend class TChart;
    QStringList FText;
    TChartFont FFont{QStringLiteral("Arial"), -11, clBlue};
    TColor FColor = clDefault;
    TChartBrush FBrush{clDefault, TBrushStyle::bsSolid};
    TChartPen FFrame{clBlack, 1, TPenStyle::psSolid, false};
    TTitleAlignment FAlignment = TTitleAlignment::taCenter;
    bool FAdjustFrame = true;
    bool FVisible = true;
    QRect FTitleRect;
};

enum class TLegendAlignment { laLeft, laRight, laTop, laBottom };
enum class TLegendStyle { lsAuto, lsSeries, lsValues, lsLastValues };

class TChartLegend : public TChartObject
{
public:
    bool Visible() const { return FVisible; }
    void SetVisible(bool value) { Assign(FVisible, value); }
    TLegendAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TLegendAlignment value) { Assign(FAlignment, value); }
    TLegendStyle LegendStyle() const { return FLegendStyle; }
    void SetLegendStyle(TLegendStyle value) { Assign(FLegendStyle, value); }
    bool ResizeChart() const { return FResizeChart; }
    void SetResizeChart(bool value) { Assign(FResizeChart, value); }
    int TopPos() const { return FTopPos; }
    void SetTopPos(int value) { Assign(FTopPos, value); }
    int ColorWidth() const { return FColorWidth; }
    void SetColorWidth(int value) { Assign(FColorWidth, value); }
    int MaxNumRows() const { return FMaxNumRows; }
    void SetMaxNumRows(int value) { Assign(FMaxNumRows, value); }
    int ShadowSize() const { return FShadowSize; }
    void SetShadowSize(int value) { Assign(FShadowSize, value); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { Assign(FColor, value); }
    int FirstValue() const { return FFirstValue; }
    void SetFirstValue(int value) { Assign(FFirstValue, value < 0 ? 0 : value); }
    TChartFont& Font() { return FFont; }
    TChartPen& Frame() { return FFrame; }
    QRect LegendRect() const { return FLegendRect; } // empty when nothing was drawn

private:
    friend class TChart;
    bool FVisible = true;
    TLegendAlignment FAlignment = TLegendAlignment::laRight;
    TLegendStyle FLegendStyle = TLegendStyle::lsAuto;
    bool FResizeChart = true;
    int FTopPos = 10;
    int FColorWidth = 12;
    int FMaxNumRows = 10;
    int FShadowSize = 3;
    TColor FColor = clWhite;
    int FFirstValue = 0;
    TChartFont FFont;
    TChartPen FFrame;
    QRect FLegendRect;
};

class TChartWall : public TChartObject
{
public:
    explicit TChartWall(TColor color = clDefault) : FColor(color) {}
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { Assign(FColor, value); }
    TChartBrush& Brush() { return FBrush; }
    TChartPen& Pen() { return FPen; }
    int Size() const { return FSize; }
    void SetSize(int value) { Assign(FSize, value); }

private:
    TColor FColor;
    TChartBrush FBrush{clWhite, TBrushStyle::bsSolid};
    TChartPen FPen;
    int FSize = 0;
};

enum class TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };

class TChart : public QWidget
{
    Q_OBJECT

public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    // Axes, in the order of every loop over them.
    TChartAxis* BottomAxis() const { return AxisList[0].get(); }
    TChartAxis* TopAxis() const { return AxisList[1].get(); }
    TChartAxis* LeftAxis() const { return AxisList[2].get(); }
    TChartAxis* RightAxis() const { return AxisList[3].get(); }
    TChartAxis* DepthAxis() const { return AxisList[4].get(); }
    std::vector<TChartAxis*> Axes() const;
    bool AxisShown(const TChartAxis* axis) const;

    // Series. A series joins through AddSeries (or its SetParentChart); OwnSeries also hands it over.
    const std::vector<TChartSeries*>& SeriesList() const { return FSeriesList; }
    void AddSeries(TChartSeries* series);
    void RemoveSeries(TChartSeries* series);
    template <class T>
    T* OwnSeries(std::unique_ptr<T> series)
    {
        T* raw = series.get();
        OwnedSeries.push_back(std::move(series));
        AddSeries(raw);
        return raw;
    }
    int ActiveSeriesCount() const;

    // Layout properties (margins are percent of the panel's size).
    int MarginLeft() const { return FMargins[0]; }
    int MarginTop() const { return FMargins[1]; }
    int MarginRight() const { return FMargins[2]; }
    int MarginBottom() const { return FMargins[3]; }
    void SetMarginLeft(int value) { Store(FMargins[0], value); }
    void SetMarginTop(int value) { Store(FMargins[1], value); }
    void SetMarginRight(int value) { Store(FMargins[2], value); }
    void SetMarginBottom(int value) { Store(FMargins[3], value); }

    TChartGradient& Gradient() { return FGradient; }
    TChartTitle& Title() { return FTitle; }
    TChartTitle& Foot() { return FFoot; }
    TChartLegend& Legend() { return FLegend; }
    TChartWall& BackWall() { return FBackWall; }
    TChartWall& LeftWall() { return FLeftWall; }
    TChartWall& BottomWall() { return FBottomWall; }

    bool View3D() const { return FView3D; }
    void SetView3D(bool value) { Store(FView3D, value); }
    int Chart3DPercent() const { return FChart3DPercent; }
    void SetChart3DPercent(int value);
    bool AxisVisible() const { return FAxisVisible; }
    void SetAxisVisible(bool value) { Store(FAxisVisible, value); }
    bool ClipPoints() const { return FClipPoints; }
    void SetClipPoints(bool value) { Store(FClipPoints, value); }
    bool View3DWalls() const { return FView3DWalls; }
    void SetView3DWalls(bool value) { Store(FView3DWalls, value); }
    int MaxPointsPerPage() const { return FMaxPointsPerPage; }
    void SetMaxPointsPerPage(int value) { Store(FMaxPointsPerPage, value < 0 ? 0 : value); }
    int Page() const { return FPage; }
    void SetPage(int value) { Store(FPage, value < 1 ? 1 : value); }
    bool ScaleLastPage() const { return FScaleLastPage; }
    void SetScaleLastPage(bool value) { Store(FScaleLastPage, value); }
    TPanelBevel BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TPanelBevel value) { Store(FBevelOuter, value); }
    TPanelBevel BevelInner() const { return FBevelInner; }
    void SetBevelInner(TPanelBevel value) { Store(FBevelInner, value); }
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int value) { Store(FBevelWidth, value < 0 ? 0 : value); }
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value) { Store(FBorderWidth, value < 0 ? 0 : value); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { Store(FColor, value); }

    // While the window layout is being loaded, axis ends are stored without their range checks.
    bool Loading() const { return FLoading; }
    void SetLoading(bool value) { FLoading = value; }
    bool Destroying() const { return FDestroying; }
    bool Printing() const { return false; }

    // Events.
    std::function<void(TChart*)> OnBeforeDrawAxes;
    std::function<void(TChart*)> OnBeforeDrawSeries;
    std::function<void(TChart*)> OnAfterDraw;
    std::function<void(TChartAxis*, TChartSeries*, int, QString&)> OnGetAxisLabel;

    // Marks the image dirty and asks the window system for a repaint (several calls, one paint).
    void Invalidate();
    bool Dirty() const { return FDirty; }
    bool RepaintEnabled() const { return FRepaintEnabled; }

    // The kept image: RenderToImage draws it now, as a dirty paint does; Image is the last result.
    const QImage& RenderToImage();
    const QImage& Image() const { return Buffer; }
    // What a paint does on any surface: draw when dirty, then copy the image at (0, 0).
    void PaintInto(QPainter& target);
    int DrawCount() const { return FDrawCount; }
    int PaintCount() const { return FPaintCount; }

    // Layout of the last draw.
    QRect PanelBounds() const { return FPanelBounds; }
    // Plot area as left, top, right, bottom edges (QRect's right() is the edge, not edge - 1).
    int PlotLeft() const { return Plot.Left; }
    int PlotTop() const { return Plot.Top; }
    int PlotRight() const { return Plot.Right; }
    int PlotBottom() const { return Plot.Bottom; }
    int PlotWidth() const { return Plot.Width; }
    int PlotHeight() const { return Plot.Height; }
    // As a QRect holding the same edges: x = left, y = top, width, height.
    QRect PlotRect() const { return QRect(Plot.Left, Plot.Top, Plot.Width, Plot.Height); }

    TChartCanvas& Canvas() { return FCanvas; }
    // Brush for a fill in a colour and style over a background (pattern brushes never vanish
    // into a background of their own colour).
    void SetBrushForFill(TColor color, TBrushStyle style, TColor background);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct TPlotArea
    {
        int Left = 0, Top = 0, Right = 0, Bottom = 0, Width = 0, Height = 0, CenterX = 0, CenterY = 0;
    };
    template <class T>
    void Store(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        Invalidate();
    }
    void Draw();
    void FixPlotSize();
    void InternalDraw(const QRect& bounds);
    void PaintBackground(const QRect& bounds);
    void FillPanelBackground(const QRect& bounds);
    void DrawBevel(TChartRect& rect, TPanelBevel bevel);
    void LayoutTitlesAndLegend();
    void DrawTitle(TChartTitle& title, bool atTop);
    void DrawLegend();
    int LegendItemCount(TChartSeries*& valueSeries) const;
    void LayoutAxes();
    void ApplySeriesMargins();
    void DrawBackWall();
    void WireChange(TChartObject& object);

    std::array<std::unique_ptr<TChartAxis>, 5> AxisList;
    std::vector<TChartSeries*> FSeriesList;
    std::vector<std::unique_ptr<TChartSeries>> OwnedSeries;

    std::array<int, 4> FMargins{3, 4, 3, 4};
    TChartGradient FGradient;
    TChartTitle FTitle;
    TChartTitle FFoot;
    TChartLegend FLegend;
    TChartWall FBackWall;
    TChartWall FLeftWall{RGBColor(255, 255, 128)};
    TChartWall FBottomWall{clWhite};
    bool FView3D = true;
    int FChart3DPercent = 15;
    bool FAxisVisible = true;
    bool FClipPoints = true;
    bool FView3DWalls = true;
    int FMaxPointsPerPage = 0;
    int FPage = 1;
    bool FScaleLastPage = true;
    TPanelBevel FBevelOuter = TPanelBevel::bvRaised;
    TPanelBevel FBevelInner = TPanelBevel::bvNone;
    int FBevelWidth = 1;
    int FBorderWidth = 0;
    TColor FColor = clBtnFace;

    bool FLoading = false;
    bool FDestroying = false;
    bool FRepaintEnabled = false;
    bool FDirty = true;
    int FDrawCount = 0;
    int FPaintCount = 0;

    QImage Buffer;
    TChartCanvas FCanvas;
    QRect FPanelBounds;
    TPlotArea Plot;
};
