// One list of values of a series (its X values, its Y values...): stored as given, read times a
// multiplier, inserted in order when the list is ordered, with statistics kept until the next change.
#pragma once

#include <QString>
#include <vector>

class TChartSeries;

enum class TChartListOrder { loNone, loAscending, loDescending };

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
