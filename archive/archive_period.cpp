#include "archive/archive_period.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace archive {
namespace {

const QString DateFormat = QStringLiteral("dd.MM.yyyy");

const char* const MonthNames[] = {"январь", "февраль", "март",     "апрель",  "май",    "июнь",
                                  "июль",   "август",  "сентябрь", "октябрь", "ноябрь", "декабрь"};

// 1 час, 2 часа, 5 часов, 21 час, 111 часов.
QString HoursWord(std::int64_t count)
{
    const std::int64_t tens = count % 100;
    const std::int64_t ones = count % 10;
    if (tens >= 11 && tens <= 14)
        return QStringLiteral("часов");
    if (ones == 1)
        return QStringLiteral("час");
    if (ones >= 2 && ones <= 4)
        return QStringLiteral("часа");
    return QStringLiteral("часов");
}

QString Number(double value)
{
    const double rounded = std::round(value * 10.0) / 10.0;
    QString text = QString::number(rounded, 'f', rounded == std::trunc(rounded) ? 0 : 1);
    if (text == QStringLiteral("-0"))
        text = QStringLiteral("0");
    return text.replace(QLatin1Char('.'), QLatin1Char(','));
}

} // namespace

TPeriod PeriodContaining(TPeriodKind kind, const QDate& date)
{
    switch (kind) {
    case TPeriodKind::Day:
        return {kind, date, date};
    case TPeriodKind::Week: {
        const QDate monday = date.addDays(1 - date.dayOfWeek());
        return {kind, monday, monday.addDays(6)};
    }
    case TPeriodKind::Month: {
        const QDate first(date.year(), date.month(), 1);
        return {kind, first, first.addMonths(1).addDays(-1)};
    }
    case TPeriodKind::Year:
        return {kind, QDate(date.year(), 1, 1), QDate(date.year(), 12, 31)};
    }
    return {kind, date, date};
}

TPeriod StepPeriod(const TPeriod& period, int steps)
{
    switch (period.Kind) {
    case TPeriodKind::Day:
        return PeriodContaining(period.Kind, period.First.addDays(steps));
    case TPeriodKind::Week:
        return PeriodContaining(period.Kind, period.First.addDays(qint64{7} * steps));
    case TPeriodKind::Month:
        return PeriodContaining(period.Kind, period.First.addMonths(steps));
    case TPeriodKind::Year:
        return PeriodContaining(period.Kind, period.First.addYears(steps));
    }
    return period;
}

QString PeriodText(const TPeriod& period)
{
    switch (period.Kind) {
    case TPeriodKind::Day:
        return period.First.toString(DateFormat);
    case TPeriodKind::Week:
        return period.First.toString(DateFormat) + QStringLiteral(" – ") + period.Last.toString(DateFormat);
    case TPeriodKind::Month:
        return QString::fromUtf8(MonthNames[period.First.month() - 1]) + QLatin1Char(' ') +
            QString::number(period.First.year());
    case TPeriodKind::Year:
        return QString::number(period.First.year()) + QStringLiteral(" год");
    }
    return {};
}

TPeriodView BuildPeriodView(const std::vector<TArchiveHour>& hours, const TPeriod& period, base::TQuantity quantity)
{
    TPeriodView view;
    view.Period = period;
    view.Quantity = quantity;
    const int days = period.Days();
    view.Statistics.HoursInPeriod = days * 24;
    if (period.Kind == TPeriodKind::Day)
        view.HourValues.assign(24, MissingValue);
    std::vector<double> sums(static_cast<std::size_t>(days), 0.0);
    view.Days.assign(static_cast<std::size_t>(days), TDaySummary{});

    const THourKey first = period.FirstHour();
    const THourKey last = period.LastHour();
    double total = 0.0;
    TStatistics& stats = view.Statistics;
    for (const TArchiveHour& hour : hours) {
        const double value = hour.Value(quantity);
        if (hour.Hour < first || hour.Hour > last || !HasValue(value))
            continue;
        const auto day = static_cast<std::size_t>((hour.Hour - first) / 24);
        if (period.Kind == TPeriodKind::Day)
            view.HourValues[static_cast<std::size_t>(hour.Hour - first)] = value;
        TDaySummary& summary = view.Days[day];
        summary.Minimum = summary.Hours == 0 ? value : std::min(summary.Minimum, value);
        summary.Maximum = summary.Hours == 0 ? value : std::max(summary.Maximum, value);
        ++summary.Hours;
        sums[day] += value;
        stats.Minimum = stats.HoursWithData == 0 ? value : std::min(stats.Minimum, value);
        stats.Maximum = stats.HoursWithData == 0 ? value : std::max(stats.Maximum, value);
        ++stats.HoursWithData;
        total += value;
    }
    for (std::size_t d = 0; d < view.Days.size(); ++d)
        if (view.Days[d].Hours > 0)
            view.Days[d].Mean = sums[d] / view.Days[d].Hours;
    if (stats.HoursWithData > 0)
        stats.Mean = total / stats.HoursWithData;
    if (period.Kind == TPeriodKind::Day)
        view.Days.clear();
    return view;
}

QString ValueText(base::TQuantity quantity, double value)
{
    const QString number = Number(value);
    switch (quantity) {
    case base::TQuantity::IndoorTemperature:
    case base::TQuantity::OutdoorTemperature:
        return number + QStringLiteral("°C");
    case base::TQuantity::Pressure:
        return number + QStringLiteral(" мм рт.ст.");
    case base::TQuantity::Humidity:
        return number + QStringLiteral("%");
    }
    return number;
}

QString StatisticsText(const TStatistics& statistics, base::TQuantity quantity)
{
    const QString hours =
        QStringLiteral("Часов с данными: %1 из %2").arg(statistics.HoursWithData).arg(statistics.HoursInPeriod);
    if (statistics.HoursWithData == 0)
        return QStringLiteral("Нет данных за этот период. ") + hours;
    return QStringLiteral("Мин. %1   Макс. %2   Среднее %3   %4")
        .arg(ValueText(quantity, statistics.Minimum), ValueText(quantity, statistics.Maximum),
             ValueText(quantity, statistics.Mean), hours);
}

QString HoldingsText(const THoldings& holdings)
{
    if (holdings.Hours == 0 || !holdings.First)
        return QStringLiteral("Архив пуст: он пополняется при каждой загрузке памяти и при показе измерений");
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QString count = russian.toString(static_cast<qlonglong>(holdings.Hours));
    // The group separator of the Russian locale is a no-break space; so it stays.
    return QStringLiteral("В архиве %1 %2 с %3")
        .arg(count, HoursWord(holdings.Hours), DateOfHour(*holdings.First).toString(DateFormat));
}

QString FutureHoursText(std::int64_t hours)
{
    return QStringLiteral("%1 ч. с датой в будущем")
        .arg(QLocale(QLocale::Russian, QLocale::Russia).toString(static_cast<qlonglong>(hours)));
}

QString MergeSummaryText(const TMergeResult& result, int skipped)
{
    return QStringLiteral("Последняя загрузка: новых часов %1, расхождений %2, пропущено записей с неверной датой %3")
        .arg(result.Added)
        .arg(result.Conflicts)
        .arg(skipped);
}

} // namespace archive
