#include "chart/chart_series.h"

#include "chart/chart_canvas.h"
#include "chart/chart_parent.h"

#include <algorithm>
#include <cmath>

const TColor TChartSeries::DefaultPalette[16] = {clRed,     clGreen,  clYellow, clBlue,   clWhite, clGray,
                                                 clFuchsia, clTeal,   clNavy,   clMaroon, clLime,  clOlive,
                                                 clPurple,  clSilver, clAqua,   clBlack};

TSeriesMarks::TSeriesMarks()
{
    FFont.OnChange = [this] { Changed(); };
    FFrame.OnChange = [this] { Changed(); };
    FArrow.OnChange = [this] { Changed(); };
}

TChartSeries::TChartSeries()
{
    OwnedLists.push_back(std::make_unique<TChartValueList>(this, QStringLiteral("X")));
    FXValues = OwnedLists.back().get();
    FXValues->SetOrder(TChartListOrder::loAscending);
    OwnedLists.push_back(std::make_unique<TChartValueList>(this, QStringLiteral("Y")));
    FYValues = OwnedLists.back().get();
    FMarks.OnChange = [this] { RequestRepaint(); };
}

TChartSeries::~TChartSeries()
{
    if (FDataSource) {
        auto& list = FDataSource->FDependentSeries;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    for (TChartSeries* dependent : FDependentSeries)
        dependent->FDataSource = nullptr;
    if (FParentChart && !FParentChart->Destroying())
        FParentChart->RemoveSeries(this);
}

int TChartSeries::PointCount() const
{
    return FXValues->ItemCount();
}

int TChartSeries::AddPoint(double x, double y, const QString& label, TColor color)
{
    FXValues->PendingValue = x;
    FYValues->PendingValue = y;
    if (OnBeforeAdd && !OnBeforeAdd(this))
        return -1;
    const int index = FXValues->AddOrdered(FXValues->PendingValue);
    FYValues->InsertAt(index, FYValues->PendingValue);
    // Further value lists of other series kinds get a zero at the same place to stay parallel.
    for (TChartValueList* list : FValueLists)
        if (list != FXValues && list != FYValues && list->ItemCount() < FXValues->ItemCount())
            list->InsertAt(std::min(index, list->ItemCount()), list->PendingValue);
    PointColors.insert(PointColors.begin() + std::min(std::ptrdiff_t{index}, std::ssize(PointColors)), color);
    PointLabels.insert(PointLabels.begin() + std::min(std::ptrdiff_t{index}, std::ssize(PointLabels)),
                       label.isEmpty() ? std::optional<QString>() : std::optional<QString>(label));
    NotifyPointAdded(this, index);
    return index;
}

int TChartSeries::Add(double y, const QString& label, TColor color)
{
    return AddPoint(PointCount(), y, label, color);
}

int TChartSeries::AddNull(double x, double y, const QString& label)
{
    return AddPoint(x, y, label, clNone);
}

void TChartSeries::NotifyPointAdded(TChartSeries* /*sender*/, int index)
{
    if (OnAfterAdd)
        OnAfterAdd(this, index);
    NotifyDependents(TSeriesNotify::Add, index);
    if (FActive)
        RequestRepaint();
}

void TChartSeries::ClearPoints()
{
    for (TChartValueList* list : FValueLists)
        list->RemoveAll();
    std::vector<TColor>().swap(PointColors);
    std::vector<std::optional<QString>>().swap(PointLabels);
    FMarks.Positions.clear();
    if (OnClearValues)
        OnClearValues(this);
    NotifyDependents(TSeriesNotify::Clear, -1);
    if (FActive && FParentChart && !FParentChart->Destroying())
        RequestRepaint();
}

void TChartSeries::DeletePoint(int index)
{
    if (index < 0 || index >= PointCount())
        throw EListError(index);
    for (TChartValueList* list : FValueLists)
        if (index < list->ItemCount())
            list->RemoveAt(index);
    if (index < static_cast<int>(PointColors.size()))
        PointColors.erase(PointColors.begin() + index);
    if (index < static_cast<int>(PointLabels.size()))
        PointLabels.erase(PointLabels.begin() + index);
    if (index < static_cast<int>(FMarks.Positions.size()))
        FMarks.Positions.erase(FMarks.Positions.begin() + index);
    NotifyDependents(TSeriesNotify::Delete, index);
    if (FActive)
        RequestRepaint();
}

TColor TChartSeries::PointColor(int index) const
{
    if (index < 0 || index >= static_cast<int>(PointColors.size()))
        return FSeriesColor;
    const TColor stored = PointColors[static_cast<std::size_t>(index)];
    if (stored != clDefault)
        return stored;
    return FColorEachPoint ? DefaultPalette[index % 16] : FSeriesColor;
}

void TChartSeries::SetPointColor(int index, TColor color)
{
    if (index < 0 || index >= static_cast<int>(PointColors.size()))
        throw EListError(index);
    PointColors[static_cast<std::size_t>(index)] = color;
    RequestRepaint();
}

QString TChartSeries::PointLabel(int index) const
{
    if (index < 0 || index >= static_cast<int>(PointLabels.size()) || !PointLabels[static_cast<std::size_t>(index)])
        return QString();
    return *PointLabels[static_cast<std::size_t>(index)];
}

bool TChartSeries::HasLabel(int index) const
{
    return index >= 0 && index < static_cast<int>(PointLabels.size()) &&
        PointLabels[static_cast<std::size_t>(index)].has_value();
}

double TChartSeries::XValue(int index) const
{
    return FXValues->ValueAt(index);
}

double TChartSeries::YValue(int index) const
{
    return FYValues->ValueAt(index);
}

void TChartSeries::RequestRepaint()
{
    if (FParentChart)
        FParentChart->Invalidate();
}

TChart* TChartSeries::ParentChart() const
{
    return FParentChart ? FParentChart->AsChart() : nullptr;
}

void TChartSeries::SetParentChart(TChartParent* chart)
{
    if (chart == FParentChart)
        return;
    if (FParentChart)
        FParentChart->RemoveSeries(this);
    if (chart)
        chart->AddSeries(this);
}

void TChartSeries::SetActive(bool value)
{
    if (value == FActive)
        return;
    FActive = value;
    if (FParentChart)
        FParentChart->Invalidate();
}

void TChartSeries::SetColorEachPoint(bool value)
{
    Store(FColorEachPoint, value);
    if (!value) {
        std::fill(PointColors.begin(), PointColors.end(), clDefault);
        RequestRepaint();
    }
}

void TChartSeries::SetSeriesColor(TColor value)
{
    Store(FSeriesColor, value);
}

void TChartSeries::SetDataSource(TChartSeries* source)
{
    if (source == FDataSource || source == this)
        return;
    if (FDataSource) {
        auto& list = FDataSource->FDependentSeries;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    FDataSource = source;
    if (FDataSource)
        FDataSource->FDependentSeries.push_back(this);
    CheckDataSource();
}

void TChartSeries::CheckDataSource()
{
    if (!FDataSource)
        return;
    Recalculating = true;
    ClearPoints();
    for (int i = 0; i < FDataSource->PointCount(); ++i)
        AddPoint(FDataSource->XValue(i), FDataSource->YValue(i), FDataSource->PointLabel(i),
                 FDataSource->PointColors[static_cast<std::size_t>(i)]);
    Recalculating = false;
    RequestRepaint();
}

void TChartSeries::NotifyDependents(TSeriesNotify kind, int index)
{
    const std::vector<TChartSeries*> dependents = FDependentSeries;
    for (TChartSeries* dependent : dependents)
        dependent->SourceChanged(kind, index);
}

void TChartSeries::SourceChanged(TSeriesNotify kind, int index)
{
    switch (kind) {
    case TSeriesNotify::Clear:
        if (RecalcOptions.OnClear)
            ClearPoints();
        break;
    case TSeriesNotify::Add:
        if (RecalcOptions.OnInsert && !Recalculating && FDataSource && index >= 0 && index < FDataSource->PointCount())
            AddPoint(FDataSource->XValue(index), FDataSource->YValue(index), FDataSource->PointLabel(index),
                     FDataSource->PointColors[static_cast<std::size_t>(index)]);
        break;
    case TSeriesNotify::Delete:
        if (RecalcOptions.OnDelete && !Recalculating && index >= 0 && index < PointCount())
            DeletePoint(index);
        break;
    case TSeriesNotify::Modify:
        if (RecalcOptions.OnModify)
            CheckDataSource();
        break;
    case TSeriesNotify::Refresh:
        CheckDataSource();
        break;
    }
}

TChartCanvas* TChartSeries::Canvas() const
{
    return FParentChart ? &FParentChart->Canvas() : nullptr;
}

TChartAxis* TChartSeries::GetHorizAxis() const
{
    if (!FParentChart)
        return nullptr;
    return FHorizAxis == THorizAxis::aTopAxis ? FParentChart->TopAxis() : FParentChart->BottomAxis();
}

TChartAxis* TChartSeries::GetVertAxis() const
{
    if (!FParentChart)
        return nullptr;
    return FVertAxis == TVertAxis::aRightAxis ? FParentChart->RightAxis() : FParentChart->LeftAxis();
}

bool TChartSeries::UsesAxis(const TChartAxis* axis) const
{
    if (!FParentChart || !axis)
        return false;
    if (axis == FParentChart->BottomAxis())
        return FHorizAxis == THorizAxis::aBottomAxis || FHorizAxis == THorizAxis::aBothHorizAxis;
    if (axis == FParentChart->TopAxis())
        return FHorizAxis == THorizAxis::aTopAxis || FHorizAxis == THorizAxis::aBothHorizAxis;
    if (axis == FParentChart->LeftAxis())
        return FVertAxis == TVertAxis::aLeftAxis || FVertAxis == TVertAxis::aBothVertAxis;
    if (axis == FParentChart->RightAxis())
        return FVertAxis == TVertAxis::aRightAxis || FVertAxis == TVertAxis::aBothVertAxis;
    return false;
}

double TChartSeries::HighestX() const
{
    return FXValues->MaxOfValues();
}
double TChartSeries::HighestY() const
{
    return FYValues->MaxOfValues();
}
double TChartSeries::LowestX() const
{
    return FXValues->MinOfValues();
}
double TChartSeries::LowestY() const
{
    return FYValues->MinOfValues();
}

int TChartSeries::XPixel(int index) const
{
    TChartAxis* axis = GetHorizAxis();
    return axis ? FParentChart->AxisPixel(axis, XValue(index)) : 0;
}

int TChartSeries::YPixel(int index) const
{
    TChartAxis* axis = GetVertAxis();
    return axis ? FParentChart->AxisPixel(axis, YValue(index)) : 0;
}

double TChartSeries::BaseValue(int /*index*/) const
{
    return 0.0;
}

TChartValueList* TChartSeries::MainValueList() const
{
    return FYValues;
}

bool TChartSeries::DrawForward() const
{
    return true;
}

void TChartSeries::HorizontalMargins(int& left, int& right)
{
    left = 0;
    right = 0;
}

void TChartSeries::VerticalMargins(int& top, int& bottom)
{
    top = 0;
    bottom = 0;
}

void TChartSeries::DoAfterDrawValues()
{
    if (AfterDrawValues)
        AfterDrawValues(this);
}

void TChartSeries::DoBeforeDrawChart()
{
}

void TChartSeries::DoBeforeDrawValues()
{
    if (BeforeDrawValues)
        BeforeDrawValues(this);
}

void TChartSeries::DrawAllPoints()
{
    if (FFirstVisibleIndex < 0)
        return;
    if (DrawForward()) {
        for (int i = FFirstVisibleIndex; i <= FLastVisibleIndex; ++i)
            DrawPoint(i);
    } else {
        for (int i = FLastVisibleIndex; i >= FFirstVisibleIndex; --i)
            DrawPoint(i);
    }
}

void TChartSeries::DrawPoint(int /*index*/)
{
}

QString TChartSeries::MarkText(int index) const
{
    const QString value = FormatFloat(FValueFormat, YValue(index));
    const double total = FYValues->SumOfAbsValues();
    const QString percent = FormatFloat(FPercentFormat, total == 0 ? 0.0 : YValue(index) * 100.0 / total);
    const QString label = PointLabel(index);
    QString text;
    switch (FMarks.Style()) {
    case TSeriesMarksStyle::smsValue:
        text = value;
        break;
    case TSeriesMarksStyle::smsPercent:
        text = percent;
        break;
    case TSeriesMarksStyle::smsLabel:
        text = label.isEmpty() ? value : label;
        break;
    case TSeriesMarksStyle::smsLabelPercent:
        text = label.isEmpty() ? percent : label + QLatin1Char(' ') + percent;
        break;
    case TSeriesMarksStyle::smsLabelValue:
        text = label.isEmpty() ? value : label + QLatin1Char(' ') + value;
        break;
    case TSeriesMarksStyle::smsLegend:
        text = label.isEmpty() ? value : label;
        break;
    case TSeriesMarksStyle::smsXValue:
        text = FormatFloat(FValueFormat, XValue(index));
        break;
    }
    if (OnGetMarkText)
        OnGetMarkText(const_cast<TChartSeries*>(this), index, text);
    return text;
}

void TChartSeries::DrawMark(int /*index*/)
{
}

void TChartSeries::CalcFirstLastVisibleIndex()
{
    FFirstVisibleIndex = -1;
    FLastVisibleIndex = -1;
    const int count = PointCount();
    if (count == 0)
        return;
    TChartAxis* axis = GetHorizAxis();
    if (FXValues->Order() == TChartListOrder::loNone || !axis || !FParentChart) {
        FFirstVisibleIndex = 0;
        FLastVisibleIndex = count - 1;
        return;
    }
    const int leftEdge = FParentChart->PlotLeft();
    const int rightEdge = FParentChart->PlotRight();
    const bool inverted = FParentChart->AxisInverted(axis);
    const double lo = FParentChart->AxisValue(axis, inverted ? rightEdge : leftEdge);
    const double hi = FParentChart->AxisValue(axis, inverted ? leftEdge : rightEdge);
    int first = 0;
    while (first < count && XValue(first) < lo)
        ++first;
    if (first == count)
        return;
    FFirstVisibleIndex = first;
    if (XValue(count - 1) > hi) {
        int last = first;
        while (last < count && XValue(last) < hi)
            ++last;
        if (last == count)
            last = count - 1;
        if (XValue(last) > hi)
            --last;
        FLastVisibleIndex = last;
    } else {
        FLastVisibleIndex = count - 1;
    }
}

void TChartSeries::DrawValues()
{
    CalcFirstLastVisibleIndex();
    if (FFirstVisibleIndex == -1)
        return;
    DoBeforeDrawValues();
    TChartCanvas* canvas = Canvas();
    const bool clip = FParentChart->ClipPoints() && !FParentChart->Printing();
    if (clip)
        canvas->SetClip(FParentChart->PlotRect());
    DrawAllPoints();
    if (clip)
        canvas->ClearClip();
    if (FMarks.Visible()) {
        if (FMarks.Clip())
            canvas->SetClip(FParentChart->PlotRect());
        for (int i = FFirstVisibleIndex; i <= FLastVisibleIndex; ++i)
            if (PointColor(i) != clNone)
                DrawMark(i);
        if (FMarks.Clip())
            canvas->ClearClip();
    }
    DoAfterDrawValues();
}

int TChartSeries::Clicked(int, int) const
{
    return -1;
}

TChartValueList::TChartValueList(TChartSeries* owner, const QString& name)
    : FOwner(owner)
    , FName(name)
{
    if (FOwner)
        FOwner->RegisterValueList(this);
}

TChartValueList::~TChartValueList() = default;

void TChartValueList::Assign(const TChartValueList& source)
{
    FOrder = source.FOrder;
    FDateTime = source.FDateTime;
    FMultiplier = source.FMultiplier;
    FValueSource = source.FValueSource;
    FStatsStale = true;
}

void TChartValueList::CheckIndex(int index) const
{
    if (index < 0 || index >= static_cast<int>(Values.size()))
        throw EListError(index);
}

double TChartValueList::StoredValue(int index) const
{
    CheckIndex(index);
    return Values[static_cast<std::size_t>(index)];
}

double TChartValueList::ValueAt(int index) const
{
    CheckIndex(index);
    return Values[static_cast<std::size_t>(index)] * FMultiplier;
}

void TChartValueList::SetValueAt(int index, double value)
{
    CheckIndex(index);
    Values[static_cast<std::size_t>(index)] = value;
    FStatsStale = true;
    if (FOwner)
        FOwner->NotifyDependents(TSeriesNotify::Modify, index);
}

void TChartValueList::RemoveAll()
{
    std::vector<double>().swap(Values);
    FStatsStale = true;
}

int TChartValueList::AddOrdered(double value)
{
    int index = static_cast<int>(Values.size());
    if (FOrder != TChartListOrder::loNone && !Values.empty()) {
        const bool ascending = FOrder == TChartListOrder::loAscending;
        auto after = [&](double existing) { return ascending ? existing > value : existing < value; };
        // Walk back over the values that must come after the new one; equal values stay before it.
        while (index > 0 && after(Values[static_cast<std::size_t>(index - 1)]))
            --index;
    }
    Values.insert(Values.begin() + index, value);
    FStatsStale = true;
    return index;
}

void TChartValueList::InsertAt(int index, double value)
{
    if (index < 0 || index > static_cast<int>(Values.size()))
        throw EListError(index);
    Values.insert(Values.begin() + index, value);
    FStatsStale = true;
}

int TChartValueList::ItemCount() const
{
    return static_cast<int>(Values.size());
}

void TChartValueList::RemoveAt(int index)
{
    CheckIndex(index);
    Values.erase(Values.begin() + index);
    FStatsStale = true;
}

void TChartValueList::RotateFirstToLast()
{
    if (Values.size() < 2)
        return;
    const double first = Values.front();
    Values.erase(Values.begin());
    Values.push_back(first);
    FStatsStale = true;
}

void TChartValueList::SetMultiplier(double value)
{
    if (value == FMultiplier)
        return;
    FMultiplier = value;
    FStatsStale = true;
    if (FOwner) {
        FOwner->NotifyDependents(TSeriesNotify::Refresh, -1);
        FOwner->RequestRepaint();
    }
}

void TChartValueList::SetDateTime(bool value)
{
    if (value == FDateTime)
        return;
    FDateTime = value;
    if (FOwner)
        FOwner->RequestRepaint();
}

void TChartValueList::SetValueSource(const QString& value)
{
    if (value == FValueSource)
        return;
    FValueSource = value;
    if (FOwner)
        FOwner->CheckDataSource();
}

void TChartValueList::RecalcStats() const
{
    if (!FStatsStale)
        return;
    if (Values.empty()) {
        FMax = FMin = FSum = FSumAbs = 0.0;
    } else {
        const double first = ValueAt(0);
        FMax = FMin = FSum = first;
        FSumAbs = std::fabs(first);
        for (int i = 1; i < static_cast<int>(Values.size()); ++i) {
            const double v = ValueAt(i);
            if (v < FMin)
                FMin = v;
            else if (v > FMax)
                FMax = v;
            FSum += v;
            FSumAbs += std::fabs(v);
        }
    }
    FStatsStale = false;
}

double TChartValueList::MaxOfValues() const
{
    RecalcStats();
    return FMax;
}
double TChartValueList::MinOfValues() const
{
    RecalcStats();
    return FMin;
}
double TChartValueList::SumOfValues() const
{
    RecalcStats();
    return FSum;
}
double TChartValueList::SumOfAbsValues() const
{
    RecalcStats();
    return FSumAbs;
}
