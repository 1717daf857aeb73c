// The archive's reckoning apart from the file: the station's records and reports as archive
// hours and readings, the 5-minute sampler, the periods and their views, and the texts and CSV.
#include "archive/archive_csv.h"
#include "archive/archive_period.h"
#include "archive/live_sampler.h"
#include "core/archive_records.h"
#include "core/report_reading.h"
#include "tests/support/archive_support.h"

#include <gtest/gtest.h>

using namespace archive;
using archivetest::Absent;
using archivetest::EmptyImage;
using archivetest::PutRecord;
using archivetest::V;

namespace {

TEST(ArchiveRecords, OnlyRealDatesAndHoursBecomeHours)
{
    struct TCase
    {
        std::uint8_t Day, Month, Year, Hour;
        bool Real;
    };
    const TCase cases[] = {
        {29, 2, 24, 0, true},   {29, 2, 23, 0, false},   {29, 2, 0, 5, true}, // 2000 was a leap year
        {31, 4, 23, 1, false},  {30, 4, 23, 1, true},    {0, 1, 23, 1, false},   {32, 1, 23, 1, false},
        {15, 13, 23, 1, false}, {15, 0, 23, 1, false},   {15, 6, 23, 24, false}, {15, 6, 23, 23, true},
        {31, 12, 99, 23, true}, {1, 1, 100, 0, false},   {255, 6, 23, 1, false}, {15, 255, 23, 1, false},
        {15, 6, 255, 1, false}, {15, 6, 23, 255, false},
    };
    THistoryImage image = EmptyImage();
    int slot = 0;
    int real = 0;
    for (const TCase& c : cases) {
        PutRecord(image, slot++, {20, 5, 140, 50, c.Hour, c.Day, c.Month, c.Year});
        real += c.Real ? 1 : 0;
        const HistoryRecord record{20, 5, 140, 50, c.Hour, c.Day, c.Month, c.Year};
        EXPECT_EQ(ArchiveHourOfRecord(record).has_value(), c.Real)
            << int(c.Day) << "." << int(c.Month) << "." << int(c.Year) << " " << int(c.Hour);
    }
    const TImageHours hours = ArchiveHoursOfImage(image);
    EXPECT_EQ(static_cast<int>(hours.Hours.size()), real);
    EXPECT_EQ(hours.Skipped, static_cast<int>(std::size(cases)) - real);
    EXPECT_EQ(hours.Empty, HistoryRecordCount - static_cast<int>(std::size(cases)));
    EXPECT_EQ(hours.Hours.front().Hour, HourKey(QDate(2024, 2, 29), 0));
}

TEST(ArchiveRecords, ValuesInDegreesMillimetresAndPercent)
{
    THistoryImage image = EmptyImage();
    PutRecord(image, 0, {23, 133, 140, 45, 14, 5, 12, 16});   // -5 °C outside, 745 mm Hg
    PutRecord(image, 1, {0, 128, 0, 100, 15, 5, 12, 16});     // 0 °C both, 885 mm Hg
    PutRecord(image, 2, {255, 10, 255, 255, 16, 5, 12, 16});  // missing values stay empty
    PutRecord(image, 3, {255, 255, 255, 255, 17, 5, 12, 16}); // a dated hour without values
    const TImageHours hours = ArchiveHoursOfImage(image);
    ASSERT_EQ(hours.Hours.size(), 4u);
    const THourKey day = HourKey(QDate(2016, 12, 5), 0);
    EXPECT_EQ(hours.Hours[0], (THourRecord{day + 14, {V(23), V(-5), V(745), V(45)}}));
    EXPECT_EQ(hours.Hours[1], (THourRecord{day + 15, {V(0), V(0), V(885), V(100)}}));
    EXPECT_EQ(hours.Hours[2], (THourRecord{day + 16, {Absent, V(10), Absent, Absent}}));
    EXPECT_EQ(hours.Hours[3], (THourRecord{day + 17, {Absent, Absent, Absent, Absent}}));
}

TEST(ArchiveRecords, ReadingsCountOnlyPresentValues)
{
    struct TCase
    {
        std::uint8_t IndoorStatus, Indoor, OutdoorStatus, Outdoor, Sign, PressureOn, Pressure, HumidityOn, Humidity;
        std::array<std::optional<int>, base::QuantityCount> Expected;
    };
    const TCase cases[] = {
        {16, 22, 16, 7, 0, 1, 130, 1, 45, {{V(22), V(-7), V(755), V(45)}}},
        {16, 22, 16, 7, 3, 1, 130, 1, 45, {{V(22), V(7), V(755), V(45)}}},
        {16, 0, 16, 0, 0, 1, 0, 1, 0, {{V(0), V(0), V(885), V(0)}}},
        {17, 22, 15, 7, 1, 2, 130, 0, 45, {{Absent, Absent, Absent, Absent}}},             // markers say absent
        {16, 255, 16, 255, 1, 1, 255, 1, 255, {{Absent, Absent, Absent, Absent}}},         // 255 is no value
        {255, 255, 255, 255, 255, 255, 255, 255, 255, {{Absent, Absent, Absent, Absent}}}, // before any report
    };
    for (const TCase& c : cases) {
        TReportImage report;
        report.fill(0);
        report[InField::IndoorStatus] = c.IndoorStatus;
        report[InField::IndoorTemperature] = c.Indoor;
        report[InField::OutdoorStatus] = c.OutdoorStatus;
        report[InField::OutdoorTemperature] = c.Outdoor;
        report[InField::OutdoorSign] = c.Sign;
        report[InField::PressureOn] = c.PressureOn;
        report[InField::PressureRaw] = c.Pressure;
        report[InField::HumidityOn] = c.HumidityOn;
        report[InField::Humidity] = c.Humidity;
        EXPECT_EQ(ReadingOfReport(report, {}).Values, c.Expected) << int(c.Indoor) << " " << int(c.Outdoor);
    }
}

TEST(LiveSampler, OneSamplePerFiveMinutesWithTheMeansOfWhatWasThere)
{
    TLiveSampler sampler;
    const QDate day(2025, 11, 23);
    auto at = [&day](int hour, int minute, int second) { return QDateTime(day, QTime(hour, minute, second)); };
    using TValues = std::array<std::optional<int>, base::QuantityCount>;
    const TValues full{V(20), V(-3), V(750), V(40)};
    const TValues noPressure{V(21), V(-4), Absent, V(41)};
    const TValues none{};
    auto take = [&sampler](const QDateTime& time, const TValues& values) { return sampler.Add({time, values}); };

    EXPECT_FALSE(take(at(18, 40, 1), full));
    EXPECT_FALSE(take(at(18, 42, 0), noPressure));
    EXPECT_FALSE(take(at(18, 44, 59), none));
    // The first reading of the next interval closes the sample of the one before.
    const std::optional<TSample> first = take(at(18, 45, 0), full);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Start, HourKey(day, 18) * 60 + 40);
    EXPECT_EQ(first->Reports, 3);
    EXPECT_EQ(first->Count, (std::array<int, 4>{2, 2, 1, 2}));
    EXPECT_DOUBLE_EQ(first->Mean[0], 20.5);
    EXPECT_DOUBLE_EQ(first->Mean[1], -3.5);
    EXPECT_DOUBLE_EQ(first->Mean[2], 750);
    EXPECT_DOUBLE_EQ(first->Mean[3], 40.5);

    // A clock set back still closes the interval; a flush closes the last one.
    const std::optional<TSample> second = take(at(18, 30, 0), none);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Start, HourKey(day, 18) * 60 + 45);
    EXPECT_EQ(second->Reports, 1);
    const std::optional<TSample> third = sampler.Flush();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->Start, HourKey(day, 18) * 60 + 30);
    EXPECT_EQ(third->Count, (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_FALSE(HasValue(third->Mean[0]));
    EXPECT_TRUE(sampler.Empty());
    EXPECT_FALSE(sampler.Flush());
}

TEST(ArchivePeriods, ContainingSteppingAndTexts)
{
    struct TCase
    {
        TPeriodKind Kind;
        QDate Date;
        QDate First, Last;
        QString Text;
        QDate NextFirst, PreviousFirst;
    };
    const TCase cases[] = {
        {TPeriodKind::Day,
         {2024, 2, 29},
         {2024, 2, 29},
         {2024, 2, 29},
         QStringLiteral("29.02.2024"),
         {2024, 3, 1},
         {2024, 2, 28}},
        {TPeriodKind::Week,
         {2025, 11, 23},
         {2025, 11, 17},
         {2025, 11, 23},
         QStringLiteral("17.11.2025 – 23.11.2025"),
         {2025, 11, 24},
         {2025, 11, 10}},
        {TPeriodKind::Week,
         {2025, 12, 31},
         {2025, 12, 29},
         {2026, 1, 4},
         QStringLiteral("29.12.2025 – 04.01.2026"),
         {2026, 1, 5},
         {2025, 12, 22}},
        {TPeriodKind::Month,
         {2024, 2, 10},
         {2024, 2, 1},
         {2024, 2, 29},
         QStringLiteral("февраль 2024"),
         {2024, 3, 1},
         {2024, 1, 1}},
        {TPeriodKind::Month,
         {2025, 12, 31},
         {2025, 12, 1},
         {2025, 12, 31},
         QStringLiteral("декабрь 2025"),
         {2026, 1, 1},
         {2025, 11, 1}},
        {TPeriodKind::Year,
         {2024, 7, 4},
         {2024, 1, 1},
         {2024, 12, 31},
         QStringLiteral("2024 год"),
         {2025, 1, 1},
         {2023, 1, 1}},
    };
    for (const TCase& c : cases) {
        const TPeriod period = PeriodContaining(c.Kind, c.Date);
        EXPECT_EQ(period.First, c.First) << c.Text.toStdString();
        EXPECT_EQ(period.Last, c.Last) << c.Text.toStdString();
        EXPECT_EQ(PeriodText(period), c.Text);
        EXPECT_EQ(StepPeriod(period, 1).First, c.NextFirst) << c.Text.toStdString();
        EXPECT_EQ(StepPeriod(period, -1).First, c.PreviousFirst) << c.Text.toStdString();
        EXPECT_EQ(period.LastHour() - period.FirstHour() + 1, period.Days() * 24);
    }
}

TEST(ArchivePeriods, ViewsHoldTheHoursDaysAndStatistics)
{
    const QDate monday(2025, 11, 17);
    auto hour = [&monday](int day, int h, double indoor, double outdoor) {
        TArchiveHour row;
        row.Hour = HourKey(monday.addDays(day), h);
        row.Values[0] = indoor;
        row.Values[1] = outdoor;
        return row;
    };
    const std::vector<TArchiveHour> hours = {
        hour(-1, 23, 99, 99), // the day before: outside every view below
        hour(0, 0, 20, -5),   hour(0, 6, 22, MissingValue), hour(0, 23, 21, -1),
        hour(2, 12, 18.5, 3), hour(7, 0, 99, 99), // the next Monday: outside the week
    };
    const TPeriodView day =
        BuildPeriodView(hours, PeriodContaining(TPeriodKind::Day, monday), base::TQuantity::OutdoorTemperature);
    ASSERT_EQ(day.HourValues.size(), 24u);
    EXPECT_EQ(day.HourValues[0], -5);
    EXPECT_FALSE(HasValue(day.HourValues[6]));
    EXPECT_EQ(day.HourValues[23], -1);
    EXPECT_EQ(day.Statistics.HoursWithData, 2);
    EXPECT_EQ(day.Statistics.HoursInPeriod, 24);
    EXPECT_EQ(StatisticsText(day.Statistics, base::TQuantity::OutdoorTemperature),
              QStringLiteral("Мин. -5°C   Макс. -1°C   Среднее -3°C   Часов с данными: 2 из 24"));

    const TPeriodView week =
        BuildPeriodView(hours, PeriodContaining(TPeriodKind::Week, monday), base::TQuantity::IndoorTemperature);
    ASSERT_EQ(week.Days.size(), 7u);
    EXPECT_EQ(week.Days[0].Hours, 3);
    EXPECT_EQ(week.Days[0].Minimum, 20);
    EXPECT_EQ(week.Days[0].Mean, 21);
    EXPECT_EQ(week.Days[0].Maximum, 22);
    EXPECT_EQ(week.Days[1].Hours, 0);
    EXPECT_EQ(week.Days[2].Mean, 18.5);
    EXPECT_EQ(week.Statistics.HoursWithData, 4);
    EXPECT_EQ(week.Statistics.HoursInPeriod, 168);
    EXPECT_EQ(StatisticsText(week.Statistics, base::TQuantity::IndoorTemperature),
              QStringLiteral("Мин. 18,5°C   Макс. 22°C   Среднее 20,4°C   Часов с данными: 4 из 168"));
    EXPECT_EQ(StatisticsText(week.Statistics, base::TQuantity::Pressure).left(27),
              QStringLiteral("Мин. 18,5 мм рт.ст.   Макс."));

    const TPeriodView empty =
        BuildPeriodView({}, PeriodContaining(TPeriodKind::Year, monday), base::TQuantity::Humidity);
    EXPECT_EQ(empty.Days.size(), 365u);
    EXPECT_EQ(StatisticsText(empty.Statistics, base::TQuantity::Humidity),
              QStringLiteral("Нет данных за этот период. Часов с данными: 0 из 8760"));
}

TEST(ArchiveTexts, HoldingsCountHoursInRussian)
{
    const THourKey first = HourKey(QDate(2016, 12, 5), 14);
    struct TCase
    {
        std::int64_t Hours;
        QString Text;
    };
    const QChar space(0x00A0);
    const TCase cases[] = {
        {1, QStringLiteral("В архиве 1 час с 05.12.2016")},
        {3, QStringLiteral("В архиве 3 часа с 05.12.2016")},
        {11, QStringLiteral("В архиве 11 часов с 05.12.2016")},
        {21, QStringLiteral("В архиве 21 час с 05.12.2016")},
        {1415, QStringLiteral("В архиве 1") + space + QStringLiteral("415 часов с 05.12.2016")},
        {87602, QStringLiteral("В архиве 87") + space + QStringLiteral("602 часа с 05.12.2016")},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(HoldingsText({c.Hours, first, first + c.Hours}), c.Text);
    EXPECT_TRUE(HoldingsText({}).startsWith(QStringLiteral("Архив пуст")));
}

TEST(ArchiveCsv, OneRowPerHourWithEmptyFieldsWhereNothingIsKnown)
{
    const THourKey first = HourKey(QDate(2025, 12, 31), 22);
    TArchiveHour a;
    a.Hour = first;
    a.Values = {21, -5, 745, 45};
    TArchiveHour b;
    b.Hour = first + 2; // 2026-01-01 00:00, from live samples
    b.Values = {20.25, -0.04, MissingValue, 44.96};
    const QByteArray csv = ArchiveCsv({a, b}, first, first + 3);
    EXPECT_EQ(csv,
              QStringLiteral("Дата и время,Температура в доме (°C),Температура на улице (°C),"
                             "Атмосферное давление (мм рт.ст.),Относительная влажность (%)\r\n"
                             "2025-12-31 22:00,21,-5,745,45\r\n"
                             "2025-12-31 23:00,,,,\r\n"
                             "2026-01-01 00:00,20.3,0,,45\r\n"
                             "2026-01-01 01:00,,,,\r\n")
                  .toUtf8());
    // The kind for Excel: the same rows after a byte-order mark, semicolons and decimal commas.
    EXPECT_EQ(ArchiveCsv({a, b}, first, first + 3, TCsvKind::Excel),
              "\xEF\xBB\xBF" +
                  QStringLiteral("Дата и время;Температура в доме (°C);Температура на улице (°C);"
                                 "Атмосферное давление (мм рт.ст.);Относительная влажность (%)\r\n"
                                 "2025-12-31 22:00;21;-5;745;45\r\n"
                                 "2025-12-31 23:00;;;;\r\n"
                                 "2026-01-01 00:00;20,3;0;;45\r\n"
                                 "2026-01-01 01:00;;;;\r\n")
                      .toUtf8());
    // Nothing before the first or after the last hour asked for; an empty range is the header alone.
    EXPECT_EQ(ArchiveCsv({a, b}, first + 1, first + 1).count('\n'), 2);
    EXPECT_EQ(ArchiveCsv({a}, first, first - 1).count('\n'), 1);
    EXPECT_TRUE(ArchiveCsv({a}, first, first - 1, TCsvKind::Excel).startsWith("\xEF\xBB\xBF"));
}

} // namespace
