#include "tests/support/archive_support.h"

#include "archive/archive_store.h"
#include "core/archive_records.h"

#include <QDate>
#include <QFile>
#include <algorithm>
#include <sqlite3.h>

namespace archivetest {

archive::THourKey CrashBase()
{
    return archive::HourKey(QDate(2020, 1, 1), 0);
}

THistoryImage VersionImage(int version)
{
    THistoryImage image;
    for (int r = 0; r < HistoryRecordCount; ++r) {
        const archive::THourKey hour = CrashBase() + archive::THourKey{8} * version + r;
        const QDate date = archive::DateOfHour(hour);
        PutRecord(image, r,
                  {static_cast<std::uint8_t>(version % 200), static_cast<std::uint8_t>(version / 200 % 100),
                   static_cast<std::uint8_t>(r % 200), static_cast<std::uint8_t>(version % 97),
                   static_cast<std::uint8_t>(archive::HourOfDay(hour)), static_cast<std::uint8_t>(date.day()),
                   static_cast<std::uint8_t>(date.month()), static_cast<std::uint8_t>(date.year() - 2000)});
    }
    return image;
}

int VersionOfHour(const archive::THourRecord& hour)
{
    const auto& v = hour.Values;
    if (!v[0] || !v[1] || !v[3])
        return -1;
    const int version = *v[0] + 200 * *v[1];
    return version % 97 == *v[3] ? version : -1;
}

archive::TMinuteKey SampleBase()
{
    return archive::HourKey(QDate(2024, 6, 1), 0) * 60;
}

archive::TSample NumberedSample(int n)
{
    archive::TSample sample;
    sample.Start = SampleBase() + archive::TMinuteKey{archive::SampleMinutes} * n;
    sample.Reports = 300;
    for (int q = 0; q < base::QuantityCount; ++q) {
        sample.Count[static_cast<std::size_t>(q)] = 290 + q;
        sample.Mean[static_cast<std::size_t>(q)] = (n % 50) + 0.25 * q;
    }
    return sample;
}

QString IntegrityCheck(sqlite3* db)
{
    sqlite3_stmt* statement = nullptr;
    QString answer = QStringLiteral("no answer");
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK) {
        answer.clear();
        while (sqlite3_step(statement) == SQLITE_ROW)
            answer += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
    return answer;
}

std::vector<archive::THourRecord> StationHours(sqlite3* db)
{
    std::vector<archive::THourRecord> hours;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT hour, indoor, outdoor, pressure, humidity FROM hours ORDER BY hour", -1,
                           &statement, nullptr) != SQLITE_OK)
        return hours;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        archive::THourRecord& hour = hours.emplace_back();
        hour.Hour = sqlite3_column_int64(statement, 0);
        for (int q = 0; q < base::QuantityCount; ++q)
            if (sqlite3_column_type(statement, 1 + q) != SQLITE_NULL)
                hour.Values[static_cast<std::size_t>(q)] = sqlite3_column_int(statement, 1 + q);
    }
    sqlite3_finalize(statement);
    return hours;
}

const std::vector<TCraftedArchive>& CraftedArchives()
{
    const QString foreign = QStringLiteral("это база данных другой программы");
    const QString missing = QStringLiteral("в файле нет таблиц архива");
    static const std::vector<TCraftedArchive> crafts{
        {"triggers on hours",
         "CREATE TRIGGER spoil AFTER INSERT ON hours BEGIN UPDATE hours SET indoor = -99 WHERE hour = new.hour;"
         " INSERT OR REPLACE INTO settings VALUES('last export folder', '/tmp/elsewhere'); END;"
         "CREATE TRIGGER spoil_again AFTER UPDATE OF outdoor ON hours BEGIN"
         " INSERT OR REPLACE INTO settings VALUES('last export folder', '/tmp/elsewhere'); END;",
         foreign},
        {"triggers on samples",
         "CREATE TABLE loot(minute INTEGER);"
         "CREATE TRIGGER take AFTER INSERT ON samples BEGIN INSERT INTO loot VALUES(new.minute); END;"
         "CREATE TRIGGER take_too AFTER UPDATE ON sample_hours BEGIN INSERT INTO loot VALUES(new.hour); END;",
         foreign},
        {"a view", "CREATE VIEW newest AS SELECT * FROM hours ORDER BY hour DESC LIMIT 24;", foreign},
        {"an extra table", "CREATE TABLE notes(text TEXT);", foreign},
        {"an extra column", "ALTER TABLE hours ADD COLUMN wind INTEGER;", foreign},
        {"an extra index", "CREATE INDEX hours_by_pressure ON hours(pressure);", foreign},
        {"a column of another kind",
         "DROP TABLE settings; CREATE TABLE settings(name TEXT PRIMARY KEY, value BLOB NOT NULL) WITHOUT ROWID;",
         foreign},
        {"a missing table", "DROP TABLE samples;", missing},
    };
    return crafts;
}

bool MakeCraftedArchive(const QString& path, const TCraftedArchive& craft, int hours)
{
    {
        std::vector<archive::THourRecord> records = ArchiveHoursOfImage(VersionImage(1)).Hours;
        records.resize(std::min(records.size(), static_cast<std::size_t>(hours)));
        archive::TArchiveStore store(path);
        if (!store.IsOpen() || !store.Merge(records).Ok || !store.AddSample(NumberedSample(1)).Ok)
            return false;
    }
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
        sqlite3_exec(db, craft.Sql, nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK;
    ok = sqlite3_close(db) == SQLITE_OK && ok;
    return ok && !QFile::exists(path + QStringLiteral("-wal"));
}

} // namespace archivetest
