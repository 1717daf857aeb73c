#include "web/web_api.h"

#include "archive/archive_period.h"

#include <QJsonArray>
#include <QLocale>
#include <array>
#include <cmath>
#include <optional>

namespace web {
namespace {

using archive::HasValue;
using archive::THourKey;

// The longest periods one request reads: a year of hours, a month of samples (8,928 of them).
constexpr int MaxHourDays = 366;
constexpr int MaxSampleDays = 31;

struct TDateRange
{
    QDate From;
    QDate To;
};

// from= and to=, or the Russian reason they cannot be read.
std::optional<TDateRange> QueryRange(const QUrlQuery& query, int maxDays, TWebResponse& problem)
{
    const QDate from = QueryDate(query, QStringLiteral("from"));
    const QDate to = QueryDate(query, QStringLiteral("to"));
    if (!from.isValid() || !to.isValid() || to < from) {
        problem = ErrorResponse(400, QStringLiteral("Укажите период: from и to как ГГГГ-ММ-ДД, from не позже to"));
        return std::nullopt;
    }
    if (from.daysTo(to) >= maxDays) {
        problem = ErrorResponse(400, QStringLiteral("Период длиннее %1 дн.").arg(maxDays));
        return std::nullopt;
    }
    return TDateRange{from, to};
}

QJsonObject Units()
{
    QJsonObject units;
    for (const base::TQuantity quantity : base::Quantities)
        units.insert(QuantityKey(quantity), ApiUnit(quantity));
    return units;
}

QJsonObject ValuesRow(const QDateTime& moment, const std::array<double, base::QuantityCount>& values)
{
    QJsonObject row{{QStringLiteral("time"), IsoTime(moment)}};
    for (const base::TQuantity quantity : base::Quantities)
        row.insert(QuantityKey(quantity), JsonNumber(values[static_cast<std::size_t>(quantity)]));
    return row;
}

// The mean of each quantity over the samples starting from `from` (included) to `to` (excluded).
std::array<double, base::QuantityCount> SampleMeans(const std::vector<archive::TSample>& samples,
                                                    archive::TUtcMinute from, archive::TUtcMinute to, bool& any)
{
    std::array<double, base::QuantityCount> sums{};
    std::array<int, base::QuantityCount> counts{};
    any = false;
    for (const archive::TSample& sample : samples) {
        if (sample.Start < from || sample.Start >= to)
            continue;
        any = true;
        for (std::size_t q = 0; q < base::QuantityCount; ++q)
            if (sample.Count[q] > 0 && HasValue(sample.Mean[q])) {
                sums[q] += sample.Mean[q] * sample.Count[q];
                counts[q] += sample.Count[q];
            }
    }
    std::array<double, base::QuantityCount> means{archive::MissingValue, archive::MissingValue, archive::MissingValue,
                                                  archive::MissingValue};
    for (std::size_t q = 0; q < base::QuantityCount; ++q)
        if (counts[q] > 0)
            means[q] = sums[q] / counts[q];
    return means;
}

// The archive keys its hours by the wall clock, so the hour the clock shows twice when summer time
// ends is one key. Where the live samples cover both showings, each gets a row of its own with its
// samples' means; otherwise the hour's one row stands at its first showing.
void AppendHour(QJsonArray& rows, const archive::TArchiveHour& hour, archive::TArchiveReader& reader)
{
    const QDateTime first = archive::UtcOfMinute(hour.Hour * 60);
    const QDateTime next = archive::UtcOfMinute((hour.Hour + 1) * 60);
    if (first.secsTo(next) == 7200) {
        const archive::TUtcMinute start = archive::UtcMinuteOf(first);
        const std::vector<archive::TSample> samples = reader.Samples(start, start + 119);
        bool firstAny = false;
        bool secondAny = false;
        const auto firstMeans = SampleMeans(samples, start, start + 60, firstAny);
        const auto secondMeans = SampleMeans(samples, start + 60, start + 120, secondAny);
        if (firstAny && secondAny) {
            rows.append(ValuesRow(first, firstMeans));
            rows.append(ValuesRow(first.addSecs(3600), secondMeans));
            return;
        }
    }
    rows.append(ValuesRow(first, hour.Values));
}

std::optional<archive::TPeriodKind> PeriodKindOf(const QString& name)
{
    static const std::pair<const char*, archive::TPeriodKind> kinds[] = {{"day", archive::TPeriodKind::Day},
                                                                         {"week", archive::TPeriodKind::Week},
                                                                         {"month", archive::TPeriodKind::Month},
                                                                         {"year", archive::TPeriodKind::Year}};
    for (const auto& [key, kind] : kinds)
        if (name == QLatin1String(key))
            return kind;
    return std::nullopt;
}

std::optional<base::TQuantity> QuantityOf(const QString& key)
{
    for (const base::TQuantity quantity : base::Quantities)
        if (key == QuantityKey(quantity))
            return quantity;
    return std::nullopt;
}

QJsonObject ChartJson(const archive::TPeriodView& view, const QString& periodName)
{
    const archive::TPeriod& period = view.Period;
    QJsonObject chart{
        {QStringLiteral("period"), periodName},
        {QStringLiteral("title"), archive::PeriodText(period)},
        {QStringLiteral("first"), period.First.toString(Qt::ISODate)},
        {QStringLiteral("last"), period.Last.toString(Qt::ISODate)},
        {QStringLiteral("previous"), archive::StepPeriod(period, -1).First.toString(Qt::ISODate)},
        {QStringLiteral("next"), archive::StepPeriod(period, 1).First.toString(Qt::ISODate)},
        {QStringLiteral("quantity"), QuantityKey(view.Quantity)},
        {QStringLiteral("name"), base::QuantityTitle(view.Quantity)},
        {QStringLiteral("unit"), ApiUnit(view.Quantity)},
        {QStringLiteral("statistics"), archive::StatisticsText(view.Statistics, view.Quantity)},
        {QStringLiteral("min"), JsonNumber(view.Statistics.Minimum)},
        {QStringLiteral("max"), JsonNumber(view.Statistics.Maximum)},
    };
    if (period.Kind == archive::TPeriodKind::Day) {
        QJsonArray hours;
        for (const double value : view.HourValues)
            hours.append(JsonNumber(value));
        chart.insert(QStringLiteral("hours"), hours);
    } else {
        // Per day [min, mean, max], the first day first: a year stays a few kilobytes.
        QJsonArray days;
        for (const archive::TDaySummary& day : view.Days)
            days.append(QJsonArray{JsonNumber(day.Minimum), JsonNumber(day.Mean), JsonNumber(day.Maximum)});
        chart.insert(QStringLiteral("days"), days);
    }
    return chart;
}

struct TExtreme
{
    double Value = archive::MissingValue;
    THourKey Hour = 0;
    void Take(double value, THourKey hour, bool highest)
    {
        if (HasValue(value) && (!HasValue(Value) || (highest ? value > Value : value < Value))) {
            Value = value;
            Hour = hour;
        }
    }
    QJsonValue Json() const
    {
        if (!HasValue(Value))
            return QJsonValue::Null;
        return QJsonObject{{QStringLiteral("value"), JsonNumber(Value)},
                           {QStringLiteral("time"), IsoTime(archive::UtcOfMinute(Hour * 60))}};
    }
};

struct TRecords
{
    TExtreme High;
    TExtreme Low;
    std::array<TExtreme, 12> MonthHigh;
    std::array<TExtreme, 12> MonthLow;
};

} // namespace

QString IsoTime(const QDateTime& moment)
{
    const QDateTime local = moment.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QJsonValue JsonNumber(double value)
{
    if (!std::isfinite(value))
        return QJsonValue::Null;
    return std::round(value * 10) / 10;
}

QString QuantityKey(base::TQuantity quantity)
{
    static const std::array<QString, base::QuantityCount> keys{QStringLiteral("indoor"), QStringLiteral("outdoor"),
                                                               QStringLiteral("pressure"), QStringLiteral("humidity")};
    return keys[static_cast<std::size_t>(quantity)];
}

QString ApiUnit(base::TQuantity quantity)
{
    switch (quantity) {
    case base::TQuantity::Pressure:
        return QStringLiteral("mmHg");
    case base::TQuantity::Humidity:
        return QStringLiteral("%");
    default:
        return QStringLiteral("°C");
    }
}

QDate QueryDate(const QUrlQuery& query, const QString& name)
{
    const QString text = query.queryItemValue(name);
    if (text.size() != 10)
        return {};
    return QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
}

QJsonObject CurrentJson(const TWebCurrent& current)
{
    QJsonObject readings;
    for (const base::TQuantity quantity : base::Quantities) {
        const std::optional<int> value = current.Reading.Value(quantity);
        readings.insert(
            QuantityKey(quantity),
            QJsonObject{{QStringLiteral("value"), value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null)},
                        {QStringLiteral("unit"), ApiUnit(quantity)}});
    }
    const bool hasTime = current.Reading.Time.isValid();
    return QJsonObject{{QStringLiteral("time"), hasTime ? QJsonValue(IsoTime(current.Reading.Time)) : QJsonValue()},
                       {QStringLiteral("state"), current.State},
                       {QStringLiteral("trend"), current.Trend},
                       {QStringLiteral("forecast"), current.Forecast},
                       {QStringLiteral("readings"), readings}};
}

TWebResponse HoursAnswer(archive::TArchiveReader& reader, const QUrlQuery& query)
{
    TWebResponse problem;
    const std::optional<TDateRange> range = QueryRange(query, MaxHourDays, problem);
    if (!range)
        return problem;
    QJsonArray rows;
    for (const archive::TArchiveHour& hour :
         reader.Hours(archive::HourKey(range->From, 0), archive::HourKey(range->To, 23)))
        AppendHour(rows, hour, reader);
    return JsonResponse({{QStringLiteral("from"), range->From.toString(Qt::ISODate)},
                         {QStringLiteral("to"), range->To.toString(Qt::ISODate)},
                         {QStringLiteral("units"), Units()},
                         {QStringLiteral("hours"), rows}});
}

TWebResponse SamplesAnswer(archive::TArchiveReader& reader, const QUrlQuery& query)
{
    TWebResponse problem;
    const std::optional<TDateRange> range = QueryRange(query, MaxSampleDays, problem);
    if (!range)
        return problem;
    // The samples are kept in universal time: the repeated hour's are twelve apiece.
    const archive::TUtcMinute first = archive::UtcMinuteOfWall(archive::HourKey(range->From, 0) * 60);
    const archive::TUtcMinute end = archive::UtcMinuteOfWall(archive::HourKey(range->To.addDays(1), 0) * 60);
    QJsonArray rows;
    for (const archive::TSample& sample : reader.Samples(first, end - 1)) {
        QJsonObject row = ValuesRow(archive::TimeOfUtcMinute(sample.Start), sample.Mean);
        row.insert(QStringLiteral("reports"), sample.Reports);
        rows.append(row);
    }
    return JsonResponse({{QStringLiteral("from"), range->From.toString(Qt::ISODate)},
                         {QStringLiteral("to"), range->To.toString(Qt::ISODate)},
                         {QStringLiteral("units"), Units()},
                         {QStringLiteral("samples"), rows}});
}

TWebResponse ChartAnswer(archive::TArchiveReader& reader, const QUrlQuery& query)
{
    const QString periodName = query.queryItemValue(QStringLiteral("period"));
    const std::optional<archive::TPeriodKind> kind = PeriodKindOf(periodName);
    const std::optional<base::TQuantity> quantity = QuantityOf(query.queryItemValue(QStringLiteral("quantity")));
    QDate date = QueryDate(query, QStringLiteral("date"));
    if (!query.hasQueryItem(QStringLiteral("date")))
        date = QDate::currentDate();
    if (!kind || !quantity || !date.isValid())
        return ErrorResponse(400,
                             QStringLiteral("Укажите period (day, week, month, year), date как ГГГГ-ММ-ДД и "
                                            "quantity (indoor, outdoor, pressure, humidity)"));
    const archive::TPeriod period = archive::PeriodContaining(*kind, date);
    const archive::TPeriodView view =
        archive::BuildPeriodView(reader.Hours(period.FirstHour(), period.LastHour()), period, *quantity);
    return JsonResponse(ChartJson(view, periodName));
}

TWebResponse RecordsAnswer(archive::TArchiveReader& reader)
{
    const archive::THoldings holdings = reader.Holdings();
    std::array<TRecords, base::QuantityCount> records;
    if (holdings.First && holdings.Last)
        for (const archive::TArchiveHour& hour : reader.Hours(*holdings.First, *holdings.Last)) {
            const auto month = static_cast<std::size_t>(archive::DateOfHour(hour.Hour).month() - 1);
            for (std::size_t q = 0; q < base::QuantityCount; ++q) {
                records[q].High.Take(hour.Values[q], hour.Hour, true);
                records[q].Low.Take(hour.Values[q], hour.Hour, false);
                records[q].MonthHigh[month].Take(hour.Values[q], hour.Hour, true);
                records[q].MonthLow[month].Take(hour.Values[q], hour.Hour, false);
            }
        }
    const QLocale russian(QLocale::Russian);
    QJsonObject quantities;
    for (const base::TQuantity quantity : base::Quantities) {
        const TRecords& r = records[static_cast<std::size_t>(quantity)];
        QJsonArray months;
        for (std::size_t m = 0; m < 12; ++m)
            months.append(QJsonObject{
                {QStringLiteral("month"), static_cast<int>(m) + 1},
                {QStringLiteral("name"), russian.standaloneMonthName(static_cast<int>(m) + 1, QLocale::LongFormat)},
                {QStringLiteral("high"), r.MonthHigh[m].Json()},
                {QStringLiteral("low"), r.MonthLow[m].Json()}});
        quantities.insert(QuantityKey(quantity),
                          QJsonObject{{QStringLiteral("name"), base::QuantityTitle(quantity)},
                                      {QStringLiteral("unit"), ApiUnit(quantity)},
                                      {QStringLiteral("high"), r.High.Json()},
                                      {QStringLiteral("low"), r.Low.Json()},
                                      {QStringLiteral("months"), months}});
    }
    return JsonResponse(
        {{QStringLiteral("hours"), static_cast<qint64>(holdings.Hours)}, {QStringLiteral("records"), quantities}});
}

} // namespace web
