// An archive at the size of ten years for the benchmarks: 87,600 station hours merged a download at a
// time, and 1,051,200 live samples with their hourly sums.
#pragma once

#include "archive/archive_store.h"
#include "protocol/history_layout.h"

#include <QDate>
#include <array>
#include <sqlite3.h>
#include <vector>

namespace benchsupport {

inline const QDate FirstDay(2016, 1, 1);
constexpr int Years = 10;
inline const QDate LastDay = FirstDay.addYears(Years).addDays(-1);

// A day's cycle of each quantity, so that the chart has something to draw.
inline std::array<int, 4> Weather(archive::THourKey hour)
{
    const int h = archive::HourOfDay(hour);
    const int day = static_cast<int>(hour / 24);
    const int season = (day % 365) < 182 ? day % 365 : 365 - day % 365;
    return {20 + h % 4, season / 8 - 12 + (h > 12 ? 24 - h : h) / 2, 740 + day % 20, 40 + (h * 3 + day) % 50};
}

// The station's hours through the store's merges, a download at a time; the samples straight into
// their tables in one transaction (a million transactions would take an hour). False when a step
// failed.
inline bool FillTenYears(archive::TArchiveStore& store)
{
    using namespace archive;
    std::vector<THourRecord> hours;
    for (THourKey h = HourKey(FirstDay, 0); h <= HourKey(LastDay, 23); ++h) {
        const auto w = Weather(h);
        hours.push_back({h, {w[0], w[1], w[2], w[3]}});
        if (hours.size() == HistoryRecordCount) {
            if (!store.Merge(hours).Ok)
                return false;
            hours.clear();
        }
    }
    if (!store.Merge(hours).Ok)
        return false;

    sqlite3* db = store.Connection();
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO samples VALUES(?1, 300, ?2, 300, ?3, 300, ?4, 300, ?5, 300)", -1, &insert,
                       nullptr);
    bool ok = insert != nullptr;
    for (TMinuteKey m = HourKey(FirstDay, 0) * 60; ok && m <= HourKey(LastDay, 23) * 60 + 55; m += SampleMinutes) {
        const auto w = Weather(HourOfMinute(m));
        sqlite3_bind_int64(insert, 1, m);
        for (int q = 0; q < 4; ++q)
            sqlite3_bind_double(insert, 2 + q, w[static_cast<std::size_t>(q)] + 0.5);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    return ok &&
        sqlite3_exec(db,
                     "INSERT INTO sample_hours SELECT minute / 60, sum(indoor * indoor_count), sum(indoor_count),"
                     " sum(outdoor * outdoor_count), sum(outdoor_count), sum(pressure * pressure_count),"
                     " sum(pressure_count), sum(humidity * humidity_count), sum(humidity_count)"
                     " FROM samples GROUP BY minute / 60; COMMIT; PRAGMA wal_checkpoint(TRUNCATE)",
                     nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace benchsupport
