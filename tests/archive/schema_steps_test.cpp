// An archive of an older program opened by this one: brought to the current schema in place with
// every hour, sample, hourly sum and setting kept exactly; and what the newer steps add (the alarm
// history, the pressure values of the tendency) read back as written.
#include "archive/archive_store.h"
#include "tests/support/older_archives.h"
#include "tests/support/sqlite_peek.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <sqlite3.h>

using namespace archive;

namespace {

using testsupport::Exec;
using testsupport::Rows;

int UserVersion(sqlite3* db)
{
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr);
    const int version = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : -1;
    sqlite3_finalize(s);
    return version;
}

const char* const KeptTables[] = {"hours", "samples", "sample_hours", "settings"};

class ArchiveSchemaSteps : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Folder.Entered()); }
    QString Path() const { return QDir(Folder.Path()).filePath(ArchiveFileName); }

    // A first-version archive with a year of hours (some values missing), a day of samples and
    // their hourly sums, and the settings such an archive has.
    void MakeFirstArchive()
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(Path()).constData(), &db), SQLITE_OK);
        ASSERT_TRUE(Exec(db, "PRAGMA journal_mode=WAL"));
        ASSERT_TRUE(Exec(db, testsupport::FirstArchiveSchema()));
        ASSERT_TRUE(Exec(db, "BEGIN"));
        const THourKey first = HourKey(QDate(2024, 1, 1), 0);
        for (int h = 0; h < 24 * 366; ++h) {
            const std::string missing = h % 97 == 0 ? "NULL" : std::to_string(740 + h % 30);
            ASSERT_TRUE(Exec(db,
                             "INSERT INTO hours VALUES(" + std::to_string(first + h) + ", " +
                                 std::to_string(20 + h % 5) + ", " + std::to_string(-10 + h % 25) + ", " + missing +
                                 ", " + std::to_string(30 + h % 60) + ")"));
        }
        const TMinuteKey day = HourKey(QDate(2025, 2, 1), 0) * 60;
        for (int s = 0; s < 288; ++s) {
            const std::string pressure = s % 50 == 0 ? "NULL, 0" : std::to_string(750 + s * 0.01) + ", 290";
            ASSERT_TRUE(Exec(db,
                             "INSERT INTO samples VALUES(" + std::to_string(day + 5 * s) +
                                 ", 300, 21.5, 300, -3.25, 300, " + pressure + ", 64.5, 299)"));
        }
        ASSERT_TRUE(Exec(db,
                         "INSERT INTO sample_hours SELECT minute / 60, sum(indoor * indoor_count),"
                         " sum(indoor_count), sum(outdoor * outdoor_count), sum(outdoor_count),"
                         " sum(coalesce(pressure, 0) * pressure_count), sum(pressure_count),"
                         " sum(humidity * humidity_count), sum(humidity_count) FROM samples GROUP BY minute / 60"));
        ASSERT_TRUE(Exec(db,
                         "INSERT INTO settings VALUES('met.mtb imported', 'yes'), "
                         "('last export folder', '/home/Пользователь/Документы')"));
        ASSERT_TRUE(Exec(db, "COMMIT"));
        for (const char* table : KeptTables)
            Before[table] = Rows(db, table);
        sqlite3_close(db);
    }

    testsupport::TFreshCurrentFolder Folder;
    std::map<std::string, QStringList> Before;
};

TEST_F(ArchiveSchemaSteps, AFirstVersionArchiveKeepsEveryRowAndGainsTheAlarmHistory)
{
    MakeFirstArchive();
    ASSERT_EQ(Before["hours"].size(), 24 * 366);
    ASSERT_EQ(Before["samples"].size(), 288);
    {
        TArchiveStore store(Path());
        ASSERT_TRUE(store.IsOpen()) << store.Notice().toStdString();
        EXPECT_TRUE(store.Notice().isEmpty()) << store.Notice().toStdString();
        EXPECT_EQ(UserVersion(store.Connection()), ArchiveSchemaVersion);
        for (const char* table : KeptTables)
            EXPECT_EQ(Rows(store.Connection(), table), Before[table]) << table;
        // Nothing is renamed aside or left over.
        EXPECT_EQ(QDir(Folder.Path()).entryList({QStringLiteral("*damaged*")}, QDir::Files), QStringList());
        EXPECT_TRUE(store.Imported());
        EXPECT_EQ(store.Setting(QStringLiteral("last export folder")), QStringLiteral("/home/Пользователь/Документы"));
        EXPECT_EQ(store.Holdings().Hours, 24 * 366 + 24);

        const TAlarmEntry frost{HourKey(QDate(2025, 2, 1), 6) * 60 + 17, QStringLiteral("frost"), true,
                                QStringLiteral("Заморозок"), QStringLiteral("На улице −1 °C, ниже порога 0 °C.")};
        const TAlarmEntry thaw{frost.Minute + 95, QStringLiteral("frost"), false,
                               QStringLiteral("Заморозок закончился"), QStringLiteral("На улице +1 °C.")};
        ASSERT_TRUE(store.AddAlarm(frost).Ok);
        ASSERT_TRUE(store.AddAlarm(thaw).Ok);
        EXPECT_EQ(store.LastAlarms(10), (std::vector<TAlarmEntry>{thaw, frost}));
        EXPECT_EQ(store.LastAlarms(1), (std::vector<TAlarmEntry>{thaw}));
    }
    // Opened again: nothing more to do, the history stays.
    TArchiveStore again(Path());
    ASSERT_TRUE(again.IsOpen());
    EXPECT_EQ(UserVersion(again.Connection()), ArchiveSchemaVersion);
    EXPECT_EQ(again.LastAlarms(10).size(), 2u);
    for (const char* table : KeptTables)
        EXPECT_EQ(Rows(again.Connection(), table), Before[table]) << table;
}

TEST_F(ArchiveSchemaSteps, ANewArchiveHasTheSameTablesAsAnUpgradedOne)
{
    QStringList upgraded;
    {
        MakeFirstArchive();
        TArchiveStore store(Path());
        upgraded = Rows(store.Connection(), "sqlite_master");
    }
    ASSERT_TRUE(QFile::remove(Path()));
    QFile::remove(Path() + QStringLiteral("-wal"));
    QFile::remove(Path() + QStringLiteral("-shm"));
    TArchiveStore fresh(Path());
    ASSERT_TRUE(fresh.IsOpen());
    // The tables' definitions alike, apart from the comments a new archive's carry.
    auto tables = [](const QStringList& master) {
        QStringList names;
        for (const QString& row : master)
            names << row.section(QLatin1Char('|'), 0, 2);
        return names;
    };
    EXPECT_EQ(tables(Rows(fresh.Connection(), "sqlite_master")), tables(upgraded));
    EXPECT_EQ(Rows(fresh.Connection(), "pragma_table_info('alarms')").size(), 6);
}

TEST_F(ArchiveSchemaSteps, PressureValuesOfAPeriodComeFromTheStationsHoursAndTheSamples)
{
    TArchiveStore store(Path());
    const THourKey ten = HourKey(QDate(2025, 11, 23), 10);
    ASSERT_TRUE(store
                    .Merge({{ten - 1, {20, -5, 745, 60}},
                            {ten, {20, -5, std::nullopt, 60}},
                            {ten + 1, {20, -5, 747, 60}},
                            {ten + 4, {20, -5, 750, 60}}})
                    .Ok);
    TSample sample;
    sample.Start = ten * 60 + 25;
    sample.Reports = 10;
    sample.Mean = {21, -4, 746.5, 61};
    sample.Count = {10, 10, 10, 10};
    ASSERT_TRUE(store.AddSample(sample).Ok);
    sample.Start += 5;
    sample.Count[2] = 0; // no pressure in this one
    ASSERT_TRUE(store.AddSample(sample).Ok);

    std::vector<TMinuteValue> values = store.PressureValues(ten * 60, (ten + 1) * 60);
    std::sort(values.begin(), values.end(), [](auto a, auto b) { return a.Minute < b.Minute; });
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].Minute, ten * 60 + 25);
    EXPECT_DOUBLE_EQ(values[0].Value, 746.5);
    EXPECT_EQ(values[1].Minute, (ten + 1) * 60);
    EXPECT_DOUBLE_EQ(values[1].Value, 747);
    EXPECT_TRUE(store.PressureValues(ten * 60 + 26, ten * 60 + 59).empty());
    EXPECT_EQ(store.PressureValues((ten - 1) * 60, (ten + 4) * 60).size(), 4u);
}

} // namespace
