// A series: the points a chart draws (X, Y, colour, optional label per point), the lists that hold
// their values, the colour rules, and the hooks through which the chart lays out and draws it.
#pragma once

#include "chart/chart_types.h"

#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TChart;
class TChartAxis;
class TChartCanvas;
class TChartParent;
class TChartSeries;

enum class THorizAxis { aTopAxis, aBottomAxis, aBothHorizAxis };
enum class TVertAxis { aLeftAxis, aRightAxis, aBothVertAxis };

enum class TSeriesMarksStyle { smsValue, smsPercent, smsLabel, smsLabelPercent, smsLabelValue, smsLegend, smsXValue };

// Value marks above the points; kept hidden by the diagram.
class TSeriesMarks : public TChartObject
{
public:
    TSeriesMarks();
    bool Visible() const { return FVisible; }
    void SetVisible(bool value) { Assign(FVisible, value); }
    TSeriesMarksStyle Style() const { return FStyle; }
    void SetStyle(TSeriesMarksStyle value) { Assign(FStyle, value); }
    int ArrowLength() const { return FArrowLength; }
    void SetArrowLength(int value) { Assign(FArrowLength, value); }
    bool Clip() const { return FClip; }
    void SetClip(bool value) { Assign(FClip, value); }
    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor value) { Assign(FBackColor, value); }
    TChartFont& Font() { return FFont; }
    TChartPen& Frame() { return FFrame; }
    TChartPen& Arrow() { return FArrow; }

    // Where each point's mark was last drawn (for clicks); emptied with the points.
    std::vector<QRect> Positions;

private:
    bool FVisible = false;
    TSeriesMarksStyle FStyle = TSeriesMarksStyle::smsLabel;
    int FArrowLength = 8;
    bool FClip = false;
    TColor FBackColor = RGBColor(255, 255, 180);
    TChartFont FFont;
    TChartPen FFrame;
    TChartPen FArrow{clWhite};
};

// What a series tells the series that take their points from it.
enum class TSeriesNotify { Clear, Add, Delete, Modify, Refresh };

struct TRecalcOptions
{
    bool OnClear = true;
    bool OnInsert = true;
    bool OnDelete = true;
    bool OnModify = true;
};

enum class TChartListOrder { loNone, loAscending, loDescending };

// One list of values of a series (its X values, its Y values...): stored as given, read times a
// multiplier, inserted in order when the list is ordered, with statistics kept until the next change.
class TChartValueList
{
public:
    // Appends the new list to the owner's value lists.
    TChartValueList(TChartSeries* owner, const QString& name);
    virtual ~TChartValueList();
    TChartValueList(const TChartValueList&) = delete;
    TChartValueList& operator=(const TChartValueList&) = delete;

    // Copies the settings (order, date-time flag, multiplier, value source), not the values.
    void Assign(const TChartValueList& source);

    // Indices run 0..count-1; others raise EListError "List index out of bounds (<index>)".
    virtual double ValueAt(int index) const;
    virtual void SetValueAt(int index, double value);
    virtual void RemoveAll();
    virtual int AddOrdered(double value);
    virtual void InsertAt(int index, double value); // 0..count (count appends)
    virtual int ItemCount() const;
    virtual void RemoveAt(int index);
    virtual void RotateFirstToLast();

    double operator[](int index) const { return ValueAt(index); }
    int Count() const { return ItemCount(); }
    double StoredValue(int index) const; // without the multiplier
    std::size_t Capacity() const { return Values.capacity(); }

    TChartSeries* Owner() const { return FOwner; }
    QString Name() const { return FName; }
    void SetName(const QString& value) { FName = value; }
    double Multiplier() const { return FMultiplier; }
    void SetMultiplier(double value);
    TChartListOrder Order() const { return FOrder; }
    void SetOrder(TChartListOrder value) { FOrder = value; }
    bool DateTime() const { return FDateTime; }
    void SetDateTime(bool value);
    QString ValueSource() const { return FValueSource; }
    void SetValueSource(const QString& value);

    double MaxOfValues() const;
    double MinOfValues() const;
    double SumOfValues() const;
    double SumOfAbsValues() const;
    bool StatsStale() const { return FStatsStale; }

    double PendingValue = 0.0; // the value AddPoint is about to add

private:
    void CheckIndex(int index) const;
    void RecalcStats() const;

    TChartSeries* FOwner;
    QString FName;
    std::vector<double> Values;
    double FMultiplier = 1.0;
    TChartListOrder FOrder = TChartListOrder::loNone;
    bool FDateTime = false;
    QString FValueSource;
    mutable bool FStatsStale = true;
    mutable double FMax = 0.0;
    mutable double FMin = 0.0;
    mutable double FSum = 0.0;
    mutable double FSumAbs = 0.0;
};

class TChartSeries
{
public:
    TChartSeries();
    virtual ~TChartSeries();
    TChartSeries(const TChartSeries&) = delete;
    TChartSeries& operator=(const TChartSeries&) = delete;

    // Points.
    TChartValueList* XValues() const { return FXValues; }
    TChartValueList* YValues() const { return FYValues; }
    const std::vector<TChartValueList*>& ValueLists() const { return FValueLists; }
    int PointCount() const;
    // Adds one point; returns its index, or -1 when OnBeforeAdd refuses it.
    virtual int AddPoint(double x, double y, const QString& label = QString(), TColor color = clDefault);
    // A point by its Y value alone: X is the current point count.
    int Add(double y, const QString& label = QString(), TColor color = clDefault);
    // A null point (colour clNone): stored and counted, not drawn.
    int AddNull(double x, double y, const QString& label = QString());
    virtual void ClearPoints();
    void DeletePoint(int index);
    virtual TColor PointColor(int index) const;
    void SetPointColor(int index, TColor color);
    virtual QString PointLabel(int index) const;
    const std::vector<TColor>& StoredColors() const { return PointColors; }
    std::size_t LabelCount() const { return PointLabels.size(); }
    bool HasLabel(int index) const;
    virtual double XValue(int index) const;
    virtual double YValue(int index) const;

    // Asks the parent chart to repaint; nothing without one.
    void RequestRepaint();

    // Properties.
    TChart* ParentChart() const;
    virtual void SetParentChart(TChartParent* chart);
    bool Active() const { return FActive; }
    virtual void SetActive(bool value);
    bool ColorEachPoint() const { return FColorEachPoint; }
    virtual void SetColorEachPoint(bool value);
    TColor SeriesColor() const { return FSeriesColor; }
    virtual void SetSeriesColor(TColor value);
    bool ShowInLegend() const { return FShowInLegend; }
    void SetShowInLegend(bool value) { Store(FShowInLegend, value); }
    QString Title() const { return FTitle; }
    void SetTitle(const QString& value) { Store(FTitle, value); }
    QString ValueFormat() const { return FValueFormat; }
    void SetValueFormat(const QString& value) { Store(FValueFormat, value); }
    QString PercentFormat() const { return FPercentFormat; }
    void SetPercentFormat(const QString& value) { Store(FPercentFormat, value); }
    THorizAxis HorizAxis() const { return FHorizAxis; }
    void SetHorizAxis(THorizAxis value) { Store(FHorizAxis, value); }
    TVertAxis VertAxis() const { return FVertAxis; }
    void SetVertAxis(TVertAxis value) { Store(FVertAxis, value); }
    TSeriesMarks& Marks() { return FMarks; }
    const TSeriesMarks& Marks() const { return FMarks; }

    // Series that take their points from this one, and the series this one takes them from.
    const std::vector<TChartSeries*>& DependentSeries() const { return FDependentSeries; }
    TChartSeries* DataSource() const { return FDataSource; }
    void SetDataSource(TChartSeries* source);
    TRecalcOptions RecalcOptions;
    void CheckDataSource(); // reloads every point from the data source

    // Events.
    std::function<bool(TChartSeries*)> OnBeforeAdd;
    std::function<void(TChartSeries*, int)> OnAfterAdd;
    std::function<void(TChartSeries*)> OnClearValues;
    std::function<void(TChartSeries*)> BeforeDrawValues;
    std::function<void(TChartSeries*)> AfterDrawValues;
    std::function<void(TChartSeries*, int)> OnClick;
    std::function<void(TChartSeries*, int)> OnDblClick;
    std::function<void(TChartSeries*, int, QString&)> OnGetMarkText;

    // Drawing and layout, driven by the chart.
    virtual void DoAfterDrawValues();
    virtual void DoBeforeDrawChart();
    virtual void DoBeforeDrawValues();
    virtual void DrawAllPoints();
    // The mark of one point; a series kind that draws points places its marks.
    virtual void DrawMark(int index);
    virtual void DrawPoint(int index);
    virtual void NotifyPointAdded(TChartSeries* sender, int index);
    virtual bool UsesAxis(const TChartAxis* axis) const;
    virtual double HighestX() const;
    virtual double HighestY() const;
    virtual double LowestX() const;
    virtual double LowestY() const;
    virtual int XPixel(int index) const;
    virtual int YPixel(int index) const;
    virtual double BaseValue(int index) const;
    virtual TChartValueList* MainValueList() const;
    virtual bool DrawForward() const;
    virtual void HorizontalMargins(int& left, int& right);
    virtual void VerticalMargins(int& top, int& bottom);
    // True when the Y values are the mandatory ones (X follows the point count), as for bars.
    virtual bool YMandatory() const { return true; }
    // The 2D paint of the series: visible range, clip, points, marks.
    virtual void DrawValues();
    // The text of a point's mark.
    virtual QString MarkText(int index) const;
    // The index of the point whose drawn shape (as last laid out) contains the point, -1 for none.
    virtual int Clicked(int x, int y) const;

    void CalcFirstLastVisibleIndex();
    int FirstVisibleIndex() const { return FFirstVisibleIndex; }
    int LastVisibleIndex() const { return FLastVisibleIndex; }

    TChartAxis* GetHorizAxis() const;
    TChartAxis* GetVertAxis() const;

    static const TColor DefaultPalette[16];

protected:
    template <class T>
    void Store(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        RequestRepaint();
    }
    void NotifyDependents(TSeriesNotify kind, int index);
    // Called by a source series for its dependents.
    void SourceChanged(TSeriesNotify kind, int index);
    TChartCanvas* Canvas() const;

    friend class TChartValueList;
    friend class TChart;
    void RegisterValueList(TChartValueList* list) { FValueLists.push_back(list); }

    std::vector<std::unique_ptr<TChartValueList>> OwnedLists;
    std::vector<TChartValueList*> FValueLists;
    TChartValueList* FXValues = nullptr;
    TChartValueList* FYValues = nullptr;
    std::vector<TColor> PointColors;
    std::vector<std::optional<QString>> PointLabels;

private:
    TChartParent* FParentChart = nullptr;
    bool FActive = true;
    bool FColorEachPoint = false;
    TColor FSeriesColor = clDefault;
    bool FShowInLegend = true;
    QString FTitle;
    QString FValueFormat = QStringLiteral("#,##0.###");
    QString FPercentFormat = QStringLiteral("##0.## %");
    THorizAxis FHorizAxis = THorizAxis::aBottomAxis;
    TVertAxis FVertAxis = TVertAxis::aLeftAxis;
    TSeriesMarks FMarks;
    std::vector<TChartSeries*> FDependentSeries;
    TChartSeries* FDataSource = nullptr;
    bool Recalculating = false;
    int FFirstVisibleIndex = -1;
    int FLastVisibleIndex = -1;
};
