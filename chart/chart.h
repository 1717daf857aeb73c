// The chart panel: a widget that owns five axes and a list of series and paints the whole chart
// (background gradient, title, legend, back wall, axes, series) into an off-screen image kept
// between paints. Changes only mark the image dirty and ask for one repaint; a paint with nothing
// changed just copies the image.
#pragma once

#include "chart/chart_axis.h"
#include "chart/chart_canvas.h"
#include "chart/chart_parent.h"
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
    QRect LegendRect() const { return FLegendRect; }                   // empty when nothing was drawn
    const std::vector<QRect>& ItemRects() const { return FItemRects; } // of the last draw
    // The index of the legend item under the point as last drawn, -1 for none.
    int Clicked(int x, int y) const;

private:
    friend class TChart;
    std::vector<QRect> FItemRects;
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
    explicit TChartWall(TColor color = clDefault)
        : FColor(color)
    {
    }
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

enum class TPanningMode { pmNone, pmHorizontal, pmVertical, pmBoth };

// One mouse drag: where it began, where the mouse was last, and whether it runs.
struct TZoomPanningRecord
{
    int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    bool Active = false;
    void Activate(int x, int y)
    {
        X0 = X1 = x;
        Y0 = Y1 = y;
        Active = true;
    }
    // Orders the corners so that (X0, Y0) is the top left one.
    void Normalize();
};

// The range settings of one axis as a zoom or pan found them.
struct TAxisScale
{
    bool Automatic = true;
    bool AutomaticMinimum = true;
    bool AutomaticMaximum = true;
    double Minimum = 0.0;
    double Maximum = 0.0;
};

class TChart : public QWidget, public TChartParent
{
    Q_OBJECT

public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    // Axes, in the order of every loop over them.
    TChartAxis* BottomAxis() const override { return AxisList[0].get(); }
    TChartAxis* TopAxis() const override { return AxisList[1].get(); }
    TChartAxis* LeftAxis() const override { return AxisList[2].get(); }
    TChartAxis* RightAxis() const override { return AxisList[3].get(); }
    TChartAxis* DepthAxis() const { return AxisList[4].get(); }
    std::vector<TChartAxis*> Axes() const;
    bool AxisShown(const TChartAxis* axis) const override;

    // Series. A series joins through AddSeries (or its SetParentChart); OwnSeries also hands it over.
    const std::vector<TChartSeries*>& SeriesList() const override { return FSeriesList; }
    void AddSeries(TChartSeries* series) override;
    void RemoveSeries(TChartSeries* series) override;
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
    bool ClipPoints() const override { return FClipPoints; }
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
    TColor Color() const override { return FColor; }
    void SetColor(TColor value) { Store(FColor, value); }

    // While the window layout is being loaded, axis ends are stored without their range checks.
    bool Loading() const override { return FLoading; }
    void SetLoading(bool value) { FLoading = value; }
    bool Destroying() const override { return FDestroying; }
    bool Printing() const override { return false; }

    // Mouse zoom and panning.
    bool AllowZoom() const { return FAllowZoom; }
    void SetAllowZoom(bool value) { Store(FAllowZoom, value); }
    TPanningMode AllowPanning() const { return FAllowPanning; }
    void SetAllowPanning(TPanningMode value) { Store(FAllowPanning, value); }
    bool AnimatedZoom() const { return FAnimatedZoom; }
    void SetAnimatedZoom(bool value) { Store(FAnimatedZoom, value); }
    int AnimatedZoomSteps() const { return FAnimatedZoomSteps; }
    void SetAnimatedZoomSteps(int value) { Store(FAnimatedZoomSteps, value); }
    // Buttons and modifier keys that start a zoom or a pan, the same for every chart of the program.
    static inline Qt::MouseButton ZoomMouseButton = Qt::LeftButton;
    static inline Qt::KeyboardModifiers ZoomModifiers = Qt::NoModifier;
    static inline Qt::MouseButton PanMouseButton = Qt::RightButton;
    static inline Qt::KeyboardModifiers PanModifiers = Qt::NoModifier;
    // Each step of an animated zoom moves the ends by this fraction of what is left.
    static constexpr double AnimatedZoomFactor = 3.0;

    const TZoomPanningRecord& ZoomDrag() const { return FZoomDrag; }
    const TZoomPanningRecord& PanDrag() const { return FPanDrag; }
    // Top, bottom, left and right axis as the first zoom or pan after the last restore found them.
    const std::array<TAxisScale, 4>& SavedScales() const { return FSavedScales; }
    bool ScalesRestored() const { return FScalesRestored; }
    bool Zoomed() const { return FZoomed; }
    // Set by a click handler to stop the rest of a press; cleared at the end of every press.
    bool CancelMouse = false;

    // Mouse input in client pixels: the Qt events call these, tests may call them directly.
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y, bool doubleClick = false);
    void MouseMove(Qt::KeyboardModifiers modifiers, int x, int y);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    // Wheel rotation as the platform reports it (120 a notch, positive away from the user).
    void MouseWheel(int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    int WheelAccumulator() const { return FWheelAccumulator; }
    // Zooms the four side axes to the (normalised) zoom drag rectangle.
    void ZoomToRect();
    // Zooms to a rectangle in client pixels, as a drag from its top left to its bottom right would.
    void ZoomRect(const QRect& rect);
    void UndoZoom();
    // One wheel notch: every vertical axis moves by 3 % of its range, up the values for down.
    void ScrollVerticalAxes(bool down);

    // Events.
    std::function<void(TChart*)> OnZoom;
    std::function<void(TChart*)> OnUndoZoom;
    std::function<void(TChart*)> OnScroll;
    // May change the new ends of a panned axis, or refuse the pan by clearing allow.
    std::function<void(TChartAxis*, double& minimum, double& maximum, bool& allow)> OnAllowScroll;
    std::function<void(TChart*, TChartSeries*, int valueIndex, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>
        OnClickSeries;
    std::function<void(TChart*, TChartAxis*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnClickAxis;
    std::function<void(TChart*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnClickLegend;
    std::function<void(TChart*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnClickBackground;
    // The wheel before any scrolling: a handler that sets handled keeps the chart from scrolling.
    std::function<void(TChart*, int delta, Qt::KeyboardModifiers, bool& handled)> OnMouseWheel;
    // Every press, before the chart's own handling; may set CancelMouse.
    std::function<void(TChart*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown;

    std::function<void(TChart*)> OnBeforeDrawAxes;
    std::function<void(TChart*)> OnBeforeDrawSeries;
    std::function<void(TChart*)> OnAfterDraw;
    std::function<void(TChartAxis*, TChartSeries*, int, QString&)> OnGetAxisLabel;

    // Marks the image dirty and asks the window system for a repaint (several calls, one paint).
    void Invalidate() override;
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
    int PlotLeft() const override { return Plot.Left; }
    int PlotTop() const override { return Plot.Top; }
    int PlotRight() const override { return Plot.Right; }
    int PlotBottom() const override { return Plot.Bottom; }
    int PlotWidth() const { return Plot.Width; }
    int PlotHeight() const { return Plot.Height; }
    // As a QRect holding the same edges: x = left, y = top, width, height.
    QRect PlotRect() const override { return QRect(Plot.Left, Plot.Top, Plot.Width, Plot.Height); }

    TChartCanvas& Canvas() override { return FCanvas; }
    // Brush for a fill in a colour and style over a background (pattern brushes never vanish
    // into a background of their own colour).
    void SetBrushForFill(TColor color, TBrushStyle style, TColor background);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // TChartParent: what the axes and series reach of their chart beside its public face.
    TChart* AsChart() override { return this; }
    int AxisPixel(const TChartAxis* axis, double value) const override { return axis->ValueToPixel(value); }
    double AxisValue(const TChartAxis* axis, int pixel) const override { return axis->PixelToValue(pixel); }
    bool AxisInverted(const TChartAxis* axis) const override { return axis->Inverted(); }
    void GetAxisLabel(TChartAxis* axis, TChartSeries* series, int index, QString& text) override;

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
    void UseTitleBrush(TChartTitle& title);
    // The box of an adjusted frame: as wide as the widest line, placed as the lines are aligned.
    void FitTitleBox(const TChartTitle& title, TChartRect& box, int charWidth);
    void DrawTitleLines(const TChartTitle& title, int innerTop, int frameWidth, int charWidth);
    // The legend: a text and a colour per entry, in a box of rows and columns.
    struct TLegendEntry
    {
        QString Text;
        TColor Color;
    };
    struct TLegendPlace
    {
        TChartRect Box;
        int Rows = 0;
        int Columns = 1;
        bool Vertical = false;
    };
    void DrawLegend();
    int LegendItemCount(TChartSeries*& valueSeries) const;
    // One entry per value of the series whose values the legend shows, else one per active series.
    std::vector<TLegendEntry> LegendEntries(TChartSeries* valueSeries) const;
    TLegendPlace PlaceLegend(int entries, int itemWidth, int lineHeight) const;
    void DrawLegendItems(const std::vector<TLegendEntry>& entries, const TLegendPlace& place, int itemWidth);
    // The plot area without the legend's box, when the legend resizes the chart.
    void MakeRoomForLegend(const TChartRect& box);
    void LayoutAxes();
    void ApplySeriesMargins();
    void DrawBackWall();
    void WireChange(TChartObject& object);
    void DrawZoomRectangle();
    bool CallClickHandler(const std::function<void()>& call);
    // What a press at (x, y) is on, the topmost first: a series' value, an axis, the title, the
    // foot, the plot area (with a series to show), the legend.
    struct TClickedPart
    {
        enum class TPart { None, Series, Axis, Title, Foot, PlotArea, Legend };
        TPart Part = TPart::None;
        TChartSeries* Series = nullptr;
        int ValueIndex = -1;
        TChartAxis* Axis = nullptr;
    };
    TClickedPart PartAt(int x, int y);
    void CheckMouseDrag(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    bool PlotContains(int x, int y) const;
    void SaveScales();
    void PanAxes(bool horizontal, int from, int to, bool& panned);

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

    bool FAllowZoom = true;
    TPanningMode FAllowPanning = TPanningMode::pmBoth;
    bool FAnimatedZoom = false;
    int FAnimatedZoomSteps = 8;
    TZoomPanningRecord FZoomDrag;
    TZoomPanningRecord FPanDrag;
    std::array<TAxisScale, 4> FSavedScales;
    bool FScalesRestored = true;
    bool FZoomed = false;
    int FWheelAccumulator = 0;
};
