// The archive file: merges and their counts, the one-time import, live samples and how the hours
// combine them with the station's, what a reopened archive holds, damaged files of every kind, and
// two writers on one archive.
#include "archive/archive_store.h"
#include "core/archive_records.h"
#include "tests/support/archive_support.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>

using namespace archive;
using archivetest::Absent;
using archivetest::EmptyImage;
using archivetest::IntegrityCheck;
using archivetest::PutRecord;
using archivetest::StationHours;
using archivetest::V;

namespace {

QStringList Entries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

class ArchiveStore : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Folder.Entered()); }
    QString Path() const { return QDir(Folder.Path()).filePath(ArchiveFileName); }
    QString Shown() const { return QDir::toNativeSeparators(Path()); }

    testsupport::TFreshCurrentFolder Folder;
};

TEST_F(ArchiveStore, DownloadsMergeByTheHourAndCountWhatTheyFound)
{
    const THourKey day = HourKey(QDate(2024, 3, 7), 0);
    // The first download: three hours, a record with an impossible date, and hour 2 logged twice
    // (the station's clock was set back): the later record wins and counts as a conflict.
    THistoryImage first = EmptyImage();
    PutRecord(first, 0, {20, 3, 140, 50, 0, 7, 3, 24});
    PutRecord(first, 1, {21, 131, 141, 51, 1, 7, 3, 24});
    PutRecord(first, 2, {22, 4, 142, 255, 2, 7, 3, 24});
    PutRecord(first, 3, {22, 4, 142, 52, 2, 30, 2, 24});
    PutRecord(first, 4, {23, 5, 143, 53, 2, 7, 3, 24});
    // The station's memory after a clear and a few new hours: hour 2 again as archived, hour 3 new.
    THistoryImage second = EmptyImage();
    PutRecord(second, 0, {23, 5, 143, 53, 2, 7, 3, 24});
    PutRecord(second, 1, {24, 6, 144, 54, 3, 7, 3, 24});
    // A later download that sees hour 0 otherwise, one value missing now.
    THistoryImage third = EmptyImage();
    PutRecord(third, 0, {19, 255, 140, 50, 0, 7, 3, 24});

    struct TStep
    {
        const THistoryImage* Image;
        int Added, Unchanged, Conflicts, Skipped;
    };
    const TStep steps[] = {{&first, 3, 0, 1, 1}, {&second, 1, 1, 0, 0}, {&third, 0, 0, 1, 0}, {&third, 0, 1, 0, 0}};
    TArchiveStore store(Path());
    ASSERT_TRUE(store.IsOpen());
    EXPECT_EQ(store.Notice(), QString());
    for (const TStep& step : steps) {
        const TImageHours hours = ArchiveHoursOfImage(*step.Image);
        EXPECT_EQ(hours.Skipped, step.Skipped);
        const TMergeResult result = store.Merge(hours.Hours);
        EXPECT_TRUE(result.Ok);
        EXPECT_EQ(result.Message, QString());
        EXPECT_EQ(result.Added, step.Added);
        EXPECT_EQ(result.Unchanged, step.Unchanged);
        EXPECT_EQ(result.Conflicts, step.Conflicts);
    }
    // Nothing a later download lacked is lost.
    const std::vector<THourRecord> expected = {
        {day + 0, {V(19), Absent, V(745), V(50)}},
        {day + 1, {V(21), V(-3), V(744), V(51)}},
        {day + 2, {V(23), V(5), V(742), V(53)}},
        {day + 3, {V(24), V(6), V(741), V(54)}},
    };
    EXPECT_EQ(StationHours(store.Connection()), expected);

    const THoldings holdings = store.Holdings();
    EXPECT_EQ(holdings.Hours, 4);
    EXPECT_EQ(holdings.First, day);
    EXPECT_EQ(holdings.Last, day + 3);
    const std::vector<TArchiveHour> shown = store.Hours(day + 1, day + 2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].Values[1], -3);
    EXPECT_EQ(shown[1].Values[2], 742);
}

TEST_F(ArchiveStore, TheCopyTheUserHadIsImportedOnceAndKeptAcrossRuns)
{
    const std::vector<THourRecord> hours = ArchiveHoursOfImage(archivetest::VersionImage(3)).Hours;
    {
        TArchiveStore store(Path());
        EXPECT_FALSE(store.Imported());
        const TMergeResult result = store.Import(hours);
        EXPECT_TRUE(result.Ok);
        EXPECT_EQ(result.Added, HistoryRecordCount);
        EXPECT_TRUE(store.Imported());
        EXPECT_EQ(store.SetSetting(QStringLiteral("last export folder"), QStringLiteral("/home/Пользователь")).Ok,
                  true);
    }
    TArchiveStore store(Path());
    EXPECT_TRUE(store.Imported());
    const TMergeResult again = store.Import(ArchiveHoursOfImage(archivetest::VersionImage(4)).Hours);
    EXPECT_TRUE(again.Ok);
    EXPECT_TRUE(again.AlreadyImported);
    EXPECT_EQ(again.Added + again.Conflicts + again.Unchanged, 0);
    EXPECT_EQ(StationHours(store.Connection()), hours);
    EXPECT_EQ(store.Setting(QStringLiteral("last export folder")), QStringLiteral("/home/Пользователь"));

    // The file is a write-ahead-logged SQLite database of this program's schema.
    sqlite3* db = store.Connection();
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "wal");
    sqlite3_finalize(s);
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(s, 0), ArchiveSchemaVersion);
    sqlite3_finalize(s);
}

TEST_F(ArchiveStore, LiveSamplesFillTheHoursTheStationHasNotLogged)
{
    TArchiveStore store(Path());
    const THourKey ten = HourKey(QDate(2025, 11, 23), 10);
    auto sample = [](TMinuteKey start, int reports, std::array<double, 4> means, std::array<int, 4> counts) {
        TSample s;
        s.Start = start;
        s.Reports = reports;
        s.Mean = means;
        s.Count = counts;
        return s;
    };
    EXPECT_TRUE(store.AddSample(sample(ten * 60, 300, {20, -4, 750, MissingValue}, {300, 300, 300, 0})).Ok);
    EXPECT_TRUE(store.AddSample(sample(ten * 60 + 5, 100, {22, -2, 752, MissingValue}, {100, 100, 50, 0})).Ok);
    // The program restarted within 10:05..10:10: its part of the interval joins the first.
    EXPECT_TRUE(store.AddSample(sample(ten * 60 + 5, 100, {24, MissingValue, 754, 40}, {100, 0, 50, 100})).Ok);
    EXPECT_TRUE(store.AddSample(sample((ten + 1) * 60 + 55, 10, {25, 0, 760, 41}, {10, 10, 10, 10})).Ok);
    // A sample of no reports is not stored.
    EXPECT_FALSE(store.AddSample(sample((ten + 2) * 60, 0, {}, {})).Ok);

    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(store.Connection(),
                           "SELECT reports, indoor, indoor_count, outdoor, outdoor_count, pressure, pressure_count,"
                           " humidity, humidity_count FROM samples WHERE minute = ?",
                           -1, &s, nullptr),
        SQLITE_OK);
    sqlite3_bind_int64(s, 1, ten * 60 + 5);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(s, 0), 200);
    EXPECT_DOUBLE_EQ(sqlite3_column_double(s, 1), 23);
    EXPECT_EQ(sqlite3_column_int(s, 2), 200);
    EXPECT_DOUBLE_EQ(sqlite3_column_double(s, 3), -2);
    EXPECT_EQ(sqlite3_column_int(s, 4), 100);
    EXPECT_DOUBLE_EQ(sqlite3_column_double(s, 5), 753);
    EXPECT_EQ(sqlite3_column_int(s, 6), 100);
    EXPECT_DOUBLE_EQ(sqlite3_column_double(s, 7), 40);
    EXPECT_EQ(sqlite3_column_int(s, 8), 100);
    sqlite3_finalize(s);

    // The station logged hour 11 without pressure: its values win, the samples fill the gap.
    THourRecord stationHour{ten + 1, {V(19), V(-9), Absent, V(60)}};
    ASSERT_TRUE(store.Merge({stationHour}).Ok);
    const std::vector<TArchiveHour> hours = store.Hours(ten - 5, ten + 5);
    ASSERT_EQ(hours.size(), 2u);
    EXPECT_EQ(hours[0].Hour, ten);
    EXPECT_DOUBLE_EQ(hours[0].Values[0], (20 * 300 + 22 * 100 + 24 * 100) / 500.0);
    EXPECT_DOUBLE_EQ(hours[0].Values[1], (-4 * 300 - 2 * 100) / 400.0);
    EXPECT_DOUBLE_EQ(hours[0].Values[2], (750 * 300 + 752 * 50 + 754 * 50) / 400.0);
    EXPECT_DOUBLE_EQ(hours[0].Values[3], 40);
    EXPECT_EQ(hours[1].Hour, ten + 1);
    EXPECT_EQ(hours[1].Values, (std::array<double, 4>{19, -9, 760, 60}));
    const THoldings holdings = store.Holdings();
    EXPECT_EQ(holdings.Hours, 2);
    EXPECT_EQ(holdings.First, ten);
    EXPECT_EQ(store.NewestHour(), ten + 1);
}

// A healthy archive with some hours, closed with everything in the main file.
void MakeArchive(const QString& path, int versions)
{
    TArchiveStore store(path);
    for (int v = 0; v < versions; ++v)
        ASSERT_TRUE(store.Merge(ArchiveHoursOfImage(archivetest::VersionImage(v * 600)).Hours).Ok);
    ASSERT_EQ(sqlite3_exec(store.Connection(), "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
              SQLITE_OK);
}

bool RawExec(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
        sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

TEST_F(ArchiveStore, AFileThatIsNoUsableArchiveIsRenamedAsideAndAFreshOneStarted)
{
    struct TCase
    {
        const char* Name;
        std::function<void(const QString& path)> Spoil;
        QString Reason;
        bool KeepsBytes; // the aside file holds exactly what was there
    };
    const TCase cases[] = {
        {"truncated",
         [](const QString& path) {
             MakeArchive(path, 3);
             QFile file(path);
             ASSERT_TRUE(file.resize(file.size() / 2));
         },
         QStringLiteral("файл повреждён"), true},
        {"garbage",
         [](const QString& path) {
             QByteArray bytes(20000, '\0');
             std::mt19937 random(5);
             for (char& c : bytes)
                 c = static_cast<char>(random());
             ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
         },
         QStringLiteral("файл не является базой данных"), true},
        {"text file",
         [](const QString& path) { ASSERT_TRUE(testsupport::WriteFileBytes(path, "FFFFFFFFFFFFFFFF\r\n00")); },
         QStringLiteral("файл не является базой данных"), true},
        {"folder", [](const QString& path) { ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside"))); },
         QStringLiteral("на месте файла архива — папка"), false},
        {"newer schema",
         [](const QString& path) {
             MakeArchive(path, 1);
             const std::string newer = "PRAGMA user_version=" + std::to_string(ArchiveSchemaVersion + 1);
             ASSERT_TRUE(RawExec(path, newer.c_str()));
         },
         QStringLiteral("архив записан более новой версией программы (версия %1)").arg(ArchiveSchemaVersion + 1), true},
        {"another program's database",
         [](const QString& path) { ASSERT_TRUE(RawExec(path, "CREATE TABLE people(name TEXT)")); },
         QStringLiteral("это база данных другой программы"), true},
        {"tables missing",
         [](const QString& path) {
             MakeArchive(path, 1);
             ASSERT_TRUE(RawExec(path, "DROP TABLE samples"));
         },
         QStringLiteral("в файле нет таблиц архива"), true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        testsupport::TFreshCurrentFolder folder;
        const QString path = QDir(folder.Path()).filePath(ArchiveFileName);
        c.Spoil(path);
        const QByteArray before = testsupport::ReadFileBytes(path);
        // A journal left beside the damaged file goes with it, or the fresh archive would take it in.
        const bool wasFile = QFileInfo(path).isFile();
        if (wasFile) {
            ASSERT_TRUE(testsupport::WriteFileBytes(path + QStringLiteral("-wal"), "old journal"));
        }

        TArchiveStore store(path);
        ASSERT_TRUE(store.IsOpen());
        const QStringList entries = Entries(folder.Path());
        // The file, and its journal with it (SQLite's index of the journal may come along too).
        const QStringList aside = entries.filter(QStringLiteral(".damaged-"));
        ASSERT_GE(aside.size(), wasFile ? 2 : 1) << entries.join(' ').toStdString();
        EXPECT_TRUE(aside[0].startsWith(QStringLiteral("meteo-archive.damaged-")));
        EXPECT_TRUE(aside[0].endsWith(QStringLiteral(".sqlite")));
        EXPECT_EQ(store.Notice(),
                  QStringLiteral("Архив «%1» не читается: %2. %3 под именем «%4», начат новый архив")
                      .arg(QDir::toNativeSeparators(path), c.Reason,
                           wasFile ? QStringLiteral("Файл сохранён") : QStringLiteral("Папка сохранена"), aside[0]));
        const QString asidePath = QDir(folder.Path()).filePath(aside[0]);
        if (c.KeepsBytes) {
            EXPECT_EQ(testsupport::ReadFileBytes(asidePath), before);
            EXPECT_EQ(testsupport::ReadFileBytes(asidePath + QStringLiteral("-wal")), "old journal");
        } else {
            EXPECT_TRUE(QFileInfo(asidePath + QStringLiteral("/inside")).isDir());
        }
        // The fresh archive is empty and works.
        EXPECT_EQ(store.Holdings().Hours, 0);
        const TMergeResult merged = store.Merge(ArchiveHoursOfImage(archivetest::VersionImage(1)).Hours);
        EXPECT_TRUE(merged.Ok);
        EXPECT_EQ(merged.Added, HistoryRecordCount);
        EXPECT_EQ(IntegrityCheck(store.Connection()), QStringLiteral("ok"));
    }
}

TEST_F(ArchiveStore, DamageFoundByAMergeMovesTheFileAsideAndTheMergeGoesIntoAFreshArchive)
{
    MakeArchive(Path(), 4);
    // Garbage over the leaf pages of the oldest hours: the opening, which reads the newest ones,
    // does not see it; the merge that reaches them does.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(Path()).constData(), &db), SQLITE_OK);
        sqlite3_stmt* s = nullptr;
        const int rc = sqlite3_prepare_v2(db,
                                          "SELECT pageno FROM dbstat WHERE name = 'hours' AND pagetype = 'leaf'"
                                          " ORDER BY path LIMIT 3",
                                          -1, &s, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close(db);
            GTEST_SKIP() << "this SQLite has no dbstat table";
        }
        std::vector<int> pages;
        while (sqlite3_step(s) == SQLITE_ROW)
            pages.push_back(sqlite3_column_int(s, 0));
        sqlite3_finalize(s);
        sqlite3_close(db);
        ASSERT_EQ(pages.size(), 3u);
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        for (const int page : pages) {
            file.seek(static_cast<qint64>(page - 1) * 4096);
            file.write(QByteArray(4096, '\x5A'));
        }
    }
    TArchiveStore store(Path());
    ASSERT_TRUE(store.IsOpen());
    EXPECT_EQ(store.Notice(), QString());
    const TMergeResult result = store.Merge(ArchiveHoursOfImage(archivetest::VersionImage(0)).Hours);
    EXPECT_TRUE(result.Ok);
    EXPECT_EQ(result.Added, HistoryRecordCount);
    EXPECT_TRUE(result.Message.startsWith(
        QStringLiteral("Архив «%1» не читается: файл повреждён. Файл сохранён под именем «meteo-archive.damaged-")
            .arg(Shown())))
        << result.Message.toStdString();
    EXPECT_EQ(Entries(Folder.Path()).filter(QRegularExpression(QStringLiteral("\\.damaged-.*\\.sqlite$"))).size(), 1);
    EXPECT_EQ(StationHours(store.Connection()), ArchiveHoursOfImage(archivetest::VersionImage(0)).Hours);
}

TEST_F(ArchiveStore, TwoWritersOnOneArchiveWaitForEachOtherAndABusyOneSaysSo)
{
    TArchiveStore first(Path());
    TArchiveStore second(Path(), 200);
    ASSERT_TRUE(first.IsOpen() && second.IsOpen());
    ASSERT_TRUE(first.Merge(ArchiveHoursOfImage(archivetest::VersionImage(0)).Hours).Ok);
    // The second sees the first's hours at once: the same ones count as unchanged.
    const TMergeResult same = second.Merge(ArchiveHoursOfImage(archivetest::VersionImage(0)).Hours);
    EXPECT_EQ(same.Unchanged, HistoryRecordCount);
    ASSERT_TRUE(second.Merge(ArchiveHoursOfImage(archivetest::VersionImage(1)).Hours).Ok);
    EXPECT_EQ(first.Hours(archivetest::CrashBase(), archivetest::CrashBase() + 9000).size(), 4096u + 8u);

    // A third program holds the write lock longer than the second waits.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(Path()).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const TMergeResult busy = second.Merge(ArchiveHoursOfImage(archivetest::VersionImage(2)).Hours);
    EXPECT_FALSE(busy.Ok);
    EXPECT_EQ(
        busy.Message,
        QStringLiteral("Загруженная история не добавлена в архив «%1»: архив занят другой программой").arg(Shown()));
    const TWriteResult sample = second.AddSample(archivetest::NumberedSample(0));
    EXPECT_FALSE(sample.Ok);
    EXPECT_EQ(sample.Message,
              QStringLiteral("Показания не записаны в архив «%1»: архив занят другой программой").arg(Shown()));
    // Reading goes on meanwhile.
    EXPECT_EQ(second.Holdings().Hours, 4096 + 8);
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    EXPECT_TRUE(second.Merge(ArchiveHoursOfImage(archivetest::VersionImage(2)).Hours).Ok);
    EXPECT_EQ(IntegrityCheck(first.Connection()), QStringLiteral("ok"));
}

TEST_F(ArchiveStore, NoArchiveWhereNoneCanBeCreatedAndTheProgramGoesOn)
{
    const QString folder = QDir(Folder.Path()).filePath(QStringLiteral("missing"));
    TArchiveStore store(QDir(folder).filePath(ArchiveFileName));
    EXPECT_FALSE(store.IsOpen());
    EXPECT_EQ(store.Notice(),
              QStringLiteral("Архив «%1» не открывается: папка не найдена. Программа работает без архива")
                  .arg(QDir::toNativeSeparators(QDir(folder).filePath(ArchiveFileName))));
    EXPECT_FALSE(store.Merge({{1, {V(1), Absent, Absent, Absent}}}).Ok);
    EXPECT_EQ(store.Merge({}).Message, QString());
    EXPECT_TRUE(store.Hours(0, 100).empty());
    EXPECT_EQ(store.Holdings().Hours, 0);
}

} // namespace
