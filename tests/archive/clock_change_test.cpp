// The computer's clock going back: the hour repeated when summer time ends (Europe/Berlin in
// October) keeps both of its passes as samples of their own, shown together at their wall-clock
// hour; a clock set back by hand loses no reading; and an archive of the previous program, whose
// samples were keyed by the wall clock, keeps every sample when it is brought forward.
#include "archive/archive_store.h"
#include "archive/live_sampler.h"
#include "tests/support/older_archives.h"
#include "tests/support/sqlite_peek.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <map>
#include <sqlite3.h>

using namespace archive;

namespace {

// The process's time zone for the life of the object, as TZ sets it.
class TProcessTimeZone
{
public:
    explicit TProcessTimeZone(const char* zone)
        : FHad(qEnvironmentVariableIsSet("TZ"))
        , FOld(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~TProcessTimeZone()
    {
        if (FHad)
            qputenv("TZ", FOld);
        else
            qunsetenv("TZ");
        tzset();
    }
    TProcessTimeZone(const TProcessTimeZone&) = delete;
    TProcessTimeZone& operator=(const TProcessTimeZone&) = delete;

private:
    bool FHad;
    QByteArray FOld;
};

QDateTime Utc(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), QTimeZone::utc());
}

// Minute -> reports of every row of the samples table.
std::map<std::int64_t, std::int64_t> SampleReports(sqlite3* db)
{
    std::map<std::int64_t, std::int64_t> rows;
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT minute, reports FROM samples", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW)
        rows[sqlite3_column_int64(s, 0)] = sqlite3_column_int64(s, 1);
    sqlite3_finalize(s);
    return rows;
}

// Feeds readings one a minute at the local times of `times` into the sampler and the store; false
// as soon as a sample does not go in.
bool Feed(TLiveSampler& sampler, TArchiveStore& store, const std::vector<std::pair<QDateTime, int>>& readings)
{
    for (const auto& [time, outdoor] : readings) {
        const base::TStationReading reading{time.toLocalTime(), {21, outdoor, 750, 60}};
        if (const std::optional<TSample> sample = sampler.Add(reading))
            if (!store.AddSample(*sample).Ok)
                return false;
    }
    if (const std::optional<TSample> sample = sampler.Flush())
        return store.AddSample(*sample).Ok;
    return true;
}

double Outdoor(TArchiveStore& store, const QDate& date, int hour)
{
    const std::vector<TArchiveHour> hours = store.Hours(HourKey(date, hour), HourKey(date, hour));
    return hours.empty() ? MissingValue : hours[0].Value(base::TQuantity::OutdoorTemperature);
}

class ArchiveClockChange : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Folder.Entered()); }
    QString Path() const { return QDir(Folder.Path()).filePath(ArchiveFileName); }

    testsupport::TFreshCurrentFolder Folder;
    TProcessTimeZone Zone{"Europe/Berlin"};
};

TEST_F(ArchiveClockChange, TheRepeatedAutumnHourAndAClockSetBackLoseNoSample)
{
    // 25.10.2026: at 03:00 summer time the clock goes back to 02:00. From 01:30 to 03:30 on the
    // wall clock, three hours pass; the outdoor value tells each hour of universal time apart.
    const QDate change(2026, 10, 25);
    ASSERT_EQ(Utc(2026, 10, 25, 0, 30).toLocalTime().time(), QTime(2, 30));
    ASSERT_EQ(Utc(2026, 10, 25, 1, 30).toLocalTime().time(), QTime(2, 30));
    std::vector<std::pair<QDateTime, int>> readings;
    const QDateTime first = Utc(2026, 10, 24, 23, 30);
    // 01:30-01:59 summer time: 0; 02:xx summer time: 1; 02:xx winter time: 2; 03:00-03:29: 3.
    for (int m = 0; m < 180; ++m)
        readings.push_back({first.addSecs(qint64{60} * m), (m + 30) / 60});
    {
        TArchiveStore store(Path());
        ASSERT_TRUE(store.IsOpen()) << store.Notice().toStdString();
        TLiveSampler sampler;
        ASSERT_TRUE(Feed(sampler, store, readings));

        // Every 5 minutes of the three hours a sample of its own, with its 5 readings.
        const std::map<std::int64_t, std::int64_t> rows = SampleReports(store.Connection());
        EXPECT_EQ(rows.size(), 36u);
        for (const auto& [minute, reports] : rows)
            EXPECT_EQ(reports, 5) << minute;
        EXPECT_EQ(rows.begin()->first, UtcMinuteOf(first));

        // The day shows its wall-clock hours: 02:00 holds both passes.
        EXPECT_DOUBLE_EQ(Outdoor(store, change, 1), 0);
        EXPECT_DOUBLE_EQ(Outdoor(store, change, 2), 1.5);
        EXPECT_DOUBLE_EQ(Outdoor(store, change, 3), 3);
        EXPECT_EQ(store.Holdings().Hours, 3);
        // The pressure values of 02:00 to 02:59 on the wall clock: both passes, on the wall clock.
        const std::vector<TMinuteValue> pressure =
            store.PressureValues(HourKey(change, 2) * 60, HourKey(change, 2) * 60 + 59);
        EXPECT_EQ(pressure.size(), 24u);
        for (const TMinuteValue& value : pressure)
            EXPECT_EQ(HourOfMinute(value.Minute), HourKey(change, 2));
    }

    // A clock set back by hand by an hour in the middle of an interval: the readings of the
    // minutes shown twice join those already there, none is lost and nothing fails.
    ASSERT_TRUE(QFile::remove(Path()));
    TArchiveStore store(Path());
    ASSERT_TRUE(store.IsOpen());
    TLiveSampler sampler;
    readings.clear();
    const QDateTime summer = Utc(2026, 7, 1, 12, 0); // 14:00 in Berlin
    for (int m = 0; m < 62; ++m)
        readings.push_back({summer.addSecs(qint64{60} * m), 10});
    for (int m = 2; m < 60; ++m)
        readings.push_back({summer.addSecs(qint64{60} * m), 30});
    ASSERT_TRUE(Feed(sampler, store, readings));
    const std::map<std::int64_t, std::int64_t> rows = SampleReports(store.Connection());
    std::int64_t reports = 0;
    for (const auto& [minute, count] : rows)
        reports += count;
    EXPECT_EQ(reports, 120);
    EXPECT_EQ(rows.size(), 13u); // 14:00 to 15:00
    EXPECT_DOUBLE_EQ(Outdoor(store, QDate(2026, 7, 1), 14), (60 * 10 + 58 * 30) / 118.0);
}

TEST_F(ArchiveClockChange, SamplesOfAnOlderArchiveAreKeptAndMovedToUniversalTime)
{
    // Wall-clock minutes as the older program keyed them, and the minute of universal time each
    // stands for in Berlin. 02:30 on 25.10 was shown twice: its first showing (summer time) is
    // taken. 02:30 on 29.03 was never shown: it counts as winter time, the same minute as 03:30
    // summer time, and the two rows become one.
    struct TRow
    {
        TMinuteKey Wall;
        QDateTime Universal;
        int Reports;
    };
    auto wall = [](int month, int day, int hour, int minute) {
        return HourKey(QDate(2026, month, day), hour) * 60 + minute;
    };
    const TRow rows[] = {
        {wall(1, 15, 12, 0), Utc(2026, 1, 15, 11, 0), 300},   {wall(3, 29, 2, 30), Utc(2026, 3, 29, 1, 30), 100},
        {wall(3, 29, 3, 30), Utc(2026, 3, 29, 1, 30), 50},    {wall(7, 1, 12, 5), Utc(2026, 7, 1, 10, 5), 299},
        {wall(10, 25, 2, 30), Utc(2026, 10, 25, 0, 30), 600}, {wall(10, 25, 3, 0), Utc(2026, 10, 25, 2, 0), 300},
    };
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(Path()).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, testsupport::SecondArchiveSchema().c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    for (const TRow& row : rows) {
        const std::string sql = "INSERT INTO samples VALUES(" + std::to_string(row.Wall) + ", " +
            std::to_string(row.Reports) + ", 21.5, " + std::to_string(row.Reports) + ", 10, " +
            std::to_string(row.Reports) + ", NULL, 0, 64.5, 1);";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO sample_hours SELECT minute / 60, sum(indoor * indoor_count), sum(indoor_count),"
                           " sum(outdoor * outdoor_count), sum(outdoor_count), 0, 0, sum(humidity), count(*)"
                           " FROM samples GROUP BY minute / 60",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const std::int64_t hourSums = testsupport::QueryNumber(db, "SELECT total(outdoor_count) FROM sample_hours");
    sqlite3_close(db);

    TArchiveStore store(Path());
    ASSERT_TRUE(store.IsOpen()) << store.Notice().toStdString();
    EXPECT_TRUE(store.Notice().isEmpty()) << store.Notice().toStdString();
    EXPECT_EQ(testsupport::QueryNumber(store.Connection(), "PRAGMA user_version"), ArchiveSchemaVersion);
    std::map<std::int64_t, std::int64_t> expected;
    for (const TRow& row : rows)
        expected[UtcMinuteOf(row.Universal)] += row.Reports;
    EXPECT_EQ(SampleReports(store.Connection()), expected);
    // The combined row weighs both; the hourly sums, kept by the wall clock's hour, stay as they were.
    EXPECT_EQ(
        testsupport::QueryNumber(store.Connection(), "SELECT outdoor_count FROM samples WHERE humidity_count = 2"),
        150);
    EXPECT_EQ(testsupport::QueryNumber(store.Connection(), "SELECT total(outdoor_count) FROM sample_hours"), hourSums);
    EXPECT_DOUBLE_EQ(Outdoor(store, QDate(2026, 10, 25), 2), 10);
    EXPECT_DOUBLE_EQ(Outdoor(store, QDate(2026, 3, 29), 3), 10);

    // A new sample of the repeated hour's second pass is a row of its own beside the moved one.
    TSample sample;
    sample.Start = UtcMinuteOf(Utc(2026, 10, 25, 1, 30));
    sample.Reports = 7;
    sample.Mean = {21, 20, MissingValue, 60};
    sample.Count = {7, 7, 0, 7};
    ASSERT_TRUE(store.AddSample(sample).Ok);
    EXPECT_EQ(SampleReports(store.Connection()).size(), expected.size() + 1);
    EXPECT_DOUBLE_EQ(Outdoor(store, QDate(2026, 10, 25), 2), (600 * 10 + 7 * 20) / 607.0);
}

} // namespace
