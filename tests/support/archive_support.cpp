#include "tests/support/archive_support.h"

#include <QDate>
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
        const archive::THourKey hour = CrashBase() + 8 * version + r;
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
    sample.Start = SampleBase() + archive::SampleMinutes * n;
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

} // namespace archivetest
