#include "chart/chart_value_list.h"

#include "chart/chart_series.h"

#include <cmath>

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
