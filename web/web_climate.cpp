#include "web/web_climate.h"

#include "web/web_api.h"

#include <QJsonArray>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <map>

namespace web {
namespace {

using archive::HasValue;

struct TAccumulator
{
    double Max = archive::MissingValue;
    double Min = archive::MissingValue;
    double Sum = 0;
    int Count = 0;
    void Take(double value)
    {
        if (!HasValue(value))
            return;
        Max = HasValue(Max) ? std::max(Max, value) : value;
        Min = HasValue(Min) ? std::min(Min, value) : value;
        Sum += value;
        ++Count;
    }
    TClimateValue Value() const { return {Max, Min, Count > 0 ? Sum / Count : archive::MissingValue}; }
};

using TAccumulators = std::array<TAccumulator, base::QuantityCount>;

constexpr auto Outdoor = static_cast<std::size_t>(base::TQuantity::OutdoorTemperature);

// One day's row: its values, and its degree-days and frost from the outdoor temperature.
TClimateRow DayRow(const QDate& day, const TAccumulators& values)
{
    TClimateRow row{day, {}, 0, 0};
    for (std::size_t q = 0; q < base::QuantityCount; ++q)
        row.Values[q] = values[q].Value();
    const TClimateValue& outdoor = row.Values[Outdoor];
    if (HasValue(outdoor.Mean))
        row.DegreeDays = std::max(0.0, HeatingBaseTemperature - outdoor.Mean);
    row.FrostDays = HasValue(outdoor.Min) && outdoor.Min < 0 ? 1 : 0;
    return row;
}

// The days from `first` to `last` with the hours among them, each day's row in order.
std::vector<TClimateRow> DayRows(const std::vector<archive::TArchiveHour>& hours, const QDate& first, const QDate& last)
{
    std::map<QDate, TAccumulators> days;
    for (const archive::TArchiveHour& hour : hours) {
        const QDate date = archive::DateOfHour(hour.Hour);
        if (date < first || date > last)
            continue;
        TAccumulators& day = days[date];
        for (std::size_t q = 0; q < base::QuantityCount; ++q)
            day[q].Take(hour.Values[q]);
    }
    std::vector<TClimateRow> rows;
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        const auto found = days.find(day);
        rows.push_back(DayRow(day, found != days.end() ? found->second : TAccumulators{}));
    }
    return rows;
}

// A row of rows: the extremes over them, the mean of the hours, the degree-days and frost days summed.
TClimateRow Combined(const QDate& first, const std::vector<archive::TArchiveHour>& hours, const QDate& last,
                     const std::vector<TClimateRow>& days)
{
    TAccumulators values;
    for (const archive::TArchiveHour& hour : hours) {
        const QDate date = archive::DateOfHour(hour.Hour);
        if (date >= first && date <= last)
            for (std::size_t q = 0; q < base::QuantityCount; ++q)
                values[q].Take(hour.Values[q]);
    }
    TClimateRow row{first, {}, 0, 0};
    for (std::size_t q = 0; q < base::QuantityCount; ++q)
        row.Values[q] = values[q].Value();
    for (const TClimateRow& day : days)
        if (day.First >= first && day.First <= last) {
            row.DegreeDays += day.DegreeDays;
            row.FrostDays += day.FrostDays;
        }
    return row;
}

QString Decimal(double value)
{
    return HasValue(value) ? QString::number(std::round(value * 10) / 10, 'f', 1) : QString();
}

QString RussianDecimal(double value)
{
    return HasValue(value) ? Decimal(value).replace(QLatin1Char('.'), QLatin1Char(',')) : QStringLiteral("—");
}

QString RowName(const TClimateSummary& summary, const TClimateRow& row)
{
    return summary.Year ? QLocale(QLocale::Russian).standaloneMonthName(row.First.month(), QLocale::LongFormat)
                        : row.First.toString(QStringLiteral("dd.MM.yyyy"));
}

QString SummaryTitle(const TClimateSummary& summary)
{
    if (summary.Year)
        return QStringLiteral("Сводка за %1 год").arg(summary.First.year());
    return QStringLiteral("Сводка за %1 %2")
        .arg(QLocale(QLocale::Russian).standaloneMonthName(summary.First.month(), QLocale::LongFormat))
        .arg(summary.First.year());
}

QJsonObject RowJson(const TClimateRow& row, bool year)
{
    QJsonObject json{{year ? QStringLiteral("month") : QStringLiteral("date"),
                      year ? row.First.toString(QStringLiteral("yyyy-MM")) : row.First.toString(Qt::ISODate)},
                     {QStringLiteral("degreeDays"), JsonNumber(row.DegreeDays)},
                     {QStringLiteral("frostDays"), row.FrostDays}};
    for (const base::TQuantity quantity : base::Quantities) {
        const TClimateValue& value = row.Values[static_cast<std::size_t>(quantity)];
        json.insert(QuantityKey(quantity),
                    QJsonObject{{QStringLiteral("max"), JsonNumber(value.Max)},
                                {QStringLiteral("min"), JsonNumber(value.Min)},
                                {QStringLiteral("mean"), JsonNumber(value.Mean)}});
    }
    return json;
}

QJsonObject SummaryJson(const TClimateSummary& summary)
{
    QJsonArray rows;
    for (const TClimateRow& row : summary.Rows)
        rows.append(RowJson(row, summary.Year));
    QJsonObject units;
    for (const base::TQuantity quantity : base::Quantities)
        units.insert(QuantityKey(quantity), ApiUnit(quantity));
    return {{QStringLiteral("title"), SummaryTitle(summary)},
            {QStringLiteral("units"), units},
            {QStringLiteral("heatingBase"), HeatingBaseTemperature},
            {QStringLiteral("rows"), rows},
            {QStringLiteral("total"), RowJson(summary.Total, summary.Year)}};
}

QStringList ColumnNames(bool year)
{
    QStringList names{year ? QStringLiteral("Месяц") : QStringLiteral("Дата")};
    for (const base::TQuantity quantity : base::Quantities)
        for (const char* what : {"макс.", "мин.", "средн."})
            names << QStringLiteral("%1, %2 (%3)")
                         .arg(base::QuantityTitle(quantity), QString::fromUtf8(what), base::QuantityUnit(quantity));
    names << QStringLiteral("Градусо-сутки отопления") << QStringLiteral("Дни с морозом");
    return names;
}

QStringList RowCells(const TClimateSummary& summary, const TClimateRow& row, QString (*number)(double))
{
    QStringList cells{RowName(summary, row)};
    for (const TClimateValue& value : row.Values)
        cells << number(value.Max) << number(value.Min) << number(value.Mean);
    cells << number(row.DegreeDays) << QString::number(row.FrostDays);
    return cells;
}

QByteArray SummaryCsv(const TClimateSummary& summary)
{
    auto quoted = [](const QStringList& cells) {
        QStringList out;
        for (const QString& cell : cells)
            out << (cell.contains(QLatin1Char(',')) ? QLatin1Char('"') + cell + QLatin1Char('"') : cell);
        return out.join(QLatin1Char(','));
    };
    QStringList lines{quoted(ColumnNames(summary.Year))};
    for (const TClimateRow& row : summary.Rows)
        lines << quoted(RowCells(summary, row, Decimal));
    QStringList total = RowCells(summary, summary.Total, Decimal);
    total[0] = QStringLiteral("Итого");
    lines << quoted(total);
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

// A table for the eye: the temperatures, pressure and humidity as max/min/mean, one line per row.
QString SummaryText(const TClimateSummary& summary)
{
    QStringList lines{SummaryTitle(summary), QString()};
    QStringList head{summary.Year ? QStringLiteral("Месяц") : QStringLiteral("Дата")};
    for (const base::TQuantity quantity : base::Quantities)
        head << QStringLiteral("%1 (%2) макс/мин/средн")
                    .arg(base::QuantityTitle(quantity), base::QuantityUnit(quantity));
    lines << head.join(QStringLiteral(" | "));
    auto line = [&](const TClimateRow& row, const QString& name) {
        QStringList cells{name.leftJustified(10)};
        for (const TClimateValue& value : row.Values)
            cells << QStringLiteral("%1 / %2 / %3")
                         .arg(RussianDecimal(value.Max), RussianDecimal(value.Min), RussianDecimal(value.Mean));
        return cells.join(QStringLiteral(" | "));
    };
    for (const TClimateRow& row : summary.Rows)
        lines << line(row, RowName(summary, row));
    lines << line(summary.Total, QStringLiteral("Итого")) << QString();
    lines << QStringLiteral("Градусо-сутки отопления (ниже %1 °C): %2")
                 .arg(RussianDecimal(HeatingBaseTemperature), RussianDecimal(summary.Total.DegreeDays));
    lines << QStringLiteral("Дней с морозом (минимум на улице ниже 0 °C): %1").arg(summary.Total.FrostDays);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

TWebResponse Formatted(const TClimateSummary& summary, const QUrlQuery& query, const QString& fileStem)
{
    const QString format = query.queryItemValue(QStringLiteral("format"));
    if (format.isEmpty() || format == QLatin1String("json"))
        return JsonResponse(SummaryJson(summary));
    if (format == QLatin1String("text"))
        return TextResponse(SummaryText(summary));
    if (format == QLatin1String("csv")) {
        TWebResponse response{200, "text/csv; charset=utf-8", SummaryCsv(summary), {}};
        response.Headers.emplace_back("Content-Disposition",
                                      "attachment; filename=\"" + fileStem.toLatin1() + ".csv\"");
        return response;
    }
    return ErrorResponse(400, QStringLiteral("Формат сводки: json, csv или text"));
}

int QueryNumber(const QUrlQuery& query, const char* name, int low, int high)
{
    bool ok = false;
    const int value = query.queryItemValue(QString::fromLatin1(name)).toInt(&ok);
    return ok && value >= low && value <= high ? value : 0;
}

} // namespace

TClimateSummary MonthSummary(const std::vector<archive::TArchiveHour>& hours, int year, int month)
{
    TClimateSummary summary;
    summary.First = QDate(year, month, 1);
    const QDate last = summary.First.addMonths(1).addDays(-1);
    summary.Rows = DayRows(hours, summary.First, last);
    summary.Total = Combined(summary.First, hours, last, summary.Rows);
    return summary;
}

TClimateSummary YearSummary(const std::vector<archive::TArchiveHour>& hours, int year)
{
    TClimateSummary summary;
    summary.Year = true;
    summary.First = QDate(year, 1, 1);
    const QDate last(year, 12, 31);
    const std::vector<TClimateRow> days = DayRows(hours, summary.First, last);
    for (int month = 1; month <= 12; ++month) {
        const QDate first(year, month, 1);
        summary.Rows.push_back(Combined(first, hours, first.addMonths(1).addDays(-1), days));
    }
    summary.Total = Combined(summary.First, hours, last, days);
    return summary;
}

TWebResponse MonthSummaryAnswer(archive::TArchiveReader& reader, const QUrlQuery& query)
{
    const int year = QueryNumber(query, "year", 2000, 2099);
    const int month = QueryNumber(query, "month", 1, 12);
    if (year == 0 || month == 0)
        return ErrorResponse(400, QStringLiteral("Укажите год (year) и месяц (month: 1–12)"));
    const QDate first(year, month, 1);
    const QDate last = first.addMonths(1).addDays(-1);
    const TClimateSummary summary =
        MonthSummary(reader.Hours(archive::HourKey(first, 0), archive::HourKey(last, 23)), year, month);
    return Formatted(summary, query, QStringLiteral("svodka-%1-%2").arg(year).arg(month, 2, 10, QLatin1Char('0')));
}

TWebResponse YearSummaryAnswer(archive::TArchiveReader& reader, const QUrlQuery& query)
{
    const int year = QueryNumber(query, "year", 2000, 2099);
    if (year == 0)
        return ErrorResponse(400, QStringLiteral("Укажите год (year)"));
    const TClimateSummary summary = YearSummary(
        reader.Hours(archive::HourKey(QDate(year, 1, 1), 0), archive::HourKey(QDate(year, 12, 31), 23)), year);
    return Formatted(summary, query, QStringLiteral("svodka-%1").arg(year));
}

} // namespace web
