#include "archive/utc_samples_step.h"

#include "archive/archive_statement.h"

#include <map>
#include <vector>

namespace archive {
namespace {

struct TSampleRow
{
    std::int64_t Reports = 0;
    std::array<double, base::QuantityCount> Mean{MissingValue, MissingValue, MissingValue, MissingValue};
    std::array<std::int64_t, base::QuantityCount> Count{};

    // Two rows for one interval (only where the clock skipped an hour could an older archive
    // have them): the means weighted by their counts, as a sample added twice is.
    void Combine(const TSampleRow& other)
    {
        Reports += other.Reports;
        for (std::size_t q = 0; q < base::QuantityCount; ++q) {
            const double sum = (Count[q] > 0 ? Mean[q] * static_cast<double>(Count[q]) : 0.0) +
                (other.Count[q] > 0 ? other.Mean[q] * static_cast<double>(other.Count[q]) : 0.0);
            Count[q] += other.Count[q];
            Mean[q] = Count[q] > 0 ? sum / static_cast<double>(Count[q]) : MissingValue;
        }
    }
};

} // namespace

int KeySamplesInUniversalTime(sqlite3* db)
{
    TStatement read;
    int rc = read.Prepare(db,
                          "SELECT minute, reports, indoor, indoor_count, outdoor, outdoor_count, pressure,"
                          " pressure_count, humidity, humidity_count FROM samples ORDER BY minute");
    if (rc != SQLITE_OK)
        return rc;
    std::map<TUtcMinute, TSampleRow> rows;
    bool moved = false;
    while ((rc = read.Step()) == SQLITE_ROW) {
        const TMinuteKey wall = read.Int64(0);
        TSampleRow row;
        row.Reports = read.Int64(1);
        for (int q = 0; q < base::QuantityCount; ++q) {
            const auto i = static_cast<std::size_t>(q);
            row.Mean[i] = read.Real(2 + 2 * q);
            row.Count[i] = read.Int64(3 + 2 * q);
        }
        const TUtcMinute utc = UtcMinuteOfWall(wall);
        moved = moved || utc != wall;
        if (const auto [at, added] = rows.try_emplace(utc, row); !added)
            at->second.Combine(row);
    }
    read.Finalize();
    if (rc != SQLITE_DONE)
        return rc;
    // A computer on universal time has nothing to move.
    if (!moved)
        return SQLITE_OK;
    rc = sqlite3_exec(db, "DELETE FROM samples", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    TStatement put;
    rc = put.Prepare(db,
                     "INSERT INTO samples(minute, reports, indoor, indoor_count, outdoor, outdoor_count, pressure,"
                     " pressure_count, humidity, humidity_count) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    for (const auto& [minute, row] : rows) {
        if (rc != SQLITE_OK)
            break;
        put.Reset();
        put.Bind(1, minute);
        put.Bind(2, row.Reports);
        for (int q = 0; q < base::QuantityCount; ++q) {
            const auto i = static_cast<std::size_t>(q);
            put.BindReal(3 + 2 * q, row.Mean[i]);
            put.Bind(4 + 2 * q, row.Count[i]);
        }
        const int step = put.Step();
        rc = step == SQLITE_DONE ? SQLITE_OK : step;
    }
    return rc;
}

} // namespace archive
