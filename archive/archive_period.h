// What the archive page shows for a period: a day's 24 hours, or the days of a week, month or year
// with each day's minimum, mean and maximum; the statistics of the period; and the texts.
#pragma once

#include "archive/archive_store.h"
#include "archive/archive_types.h"

#include <QDate>
#include <QString>
#include <vector>

namespace archive {

enum class TPeriodKind { Day = 0, Week = 1, Month = 2, Year = 3 };

struct TPeriod
{
    TPeriodKind Kind = TPeriodKind::Day;
    QDate First;
    QDate Last;

    int Days() const { return static_cast<int>(First.daysTo(Last)) + 1; }
    THourKey FirstHour() const { return HourKey(First, 0); }
    THourKey LastHour() const { return HourKey(Last, 23); }
    friend bool operator==(const TPeriod&, const TPeriod&) = default;
};

// The day, the week (Monday to Sunday), the month or the year that holds `date`.
TPeriod PeriodContaining(TPeriodKind kind, const QDate& date);
// The period `steps` periods later (earlier for a negative number).
TPeriod StepPeriod(const TPeriod& period, int steps);
// «23.11.2025», «17.11.2025 – 23.11.2025», «ноябрь 2025», «2025 год».
QString PeriodText(const TPeriod& period);

struct TDaySummary
{
    int Hours = 0; // hours with a value; the rest is MissingValue when 0
    double Minimum = MissingValue;
    double Mean = MissingValue;
    double Maximum = MissingValue;
};

struct TStatistics
{
    int HoursWithData = 0;
    int HoursInPeriod = 0;
    double Minimum = MissingValue;
    double Mean = MissingValue;
    double Maximum = MissingValue;
};

struct TPeriodView
{
    TPeriod Period;
    base::TQuantity Quantity = base::TQuantity::IndoorTemperature;
    std::vector<double> HourValues; // a day: its 24 hours, MissingValue where missing
    std::vector<TDaySummary> Days;  // a week, month or year: one per day
    TStatistics Statistics;
};

// The view of one quantity over the period from the archive's hours (any order, any range).
TPeriodView BuildPeriodView(const std::vector<TArchiveHour>& hours, const TPeriod& period, base::TQuantity quantity);

// A value as the window writes it: «-5°C», «745 мм рт.ст.», «45%», one decimal where it has one
// (with a comma), none where it is whole.
QString ValueText(base::TQuantity quantity, double value);
// «Мин. -5°C   Макс. 12°C   Среднее 3,4°C   Часов с данными: 160 из 168».
QString StatisticsText(const TStatistics& statistics, base::TQuantity quantity);
// «В архиве 1 415 часов с 05.10.2026», or that the archive is empty.
QString HoldingsText(const THoldings& holdings);
// «N ч. с датой в будущем»: the station's hours dated after today.
QString FutureHoursText(std::int64_t hours);
// «Последняя загрузка: новых часов 24, расхождений 2, пропущено записей с неверной датой 3»: what a merge of a
// download found; `skipped` records had no real date.
QString MergeSummaryText(const TMergeResult& result, int skipped);

} // namespace archive
