// Reading the archive: the hours of a period, how much it holds, its settings.
#include "archive/archive_connection.h"
#include "archive/archive_store.h"

#include <algorithm>
#include <utility>

namespace archive {

std::vector<TArchiveHour> TArchiveStore::Hours(THourKey first, THourKey last)
{
    if (!IsOpen())
        return {};
    return ReadHours(*FConnection, first, last);
}

THoldings TArchiveStore::Holdings()
{
    if (!IsOpen())
        return {};
    return ReadHoldings(*FConnection);
}

std::vector<TArchiveHour> ReadHours(const TArchiveConnection& c, THourKey first, THourKey last)
{
    std::vector<TArchiveHour> result;
    if (last < first)
        return result;
    // Both tables in one read transaction, so a writer in between cannot show half of a change.
    c.Exec("BEGIN");
    c.HoursRange.Reset();
    c.HoursRange.Bind(1, first);
    c.HoursRange.Bind(2, last);
    c.SampleHoursRange.Reset();
    c.SampleHoursRange.Bind(1, first);
    c.SampleHoursRange.Bind(2, last);
    int hoursRc = c.HoursRange.Step();
    int samplesRc = c.SampleHoursRange.Step();
    while (hoursRc == SQLITE_ROW || samplesRc == SQLITE_ROW) {
        const THourKey stationHour = hoursRc == SQLITE_ROW ? c.HoursRange.Int64(0) : last + 1;
        const THourKey sampleHour = samplesRc == SQLITE_ROW ? c.SampleHoursRange.Int64(0) : last + 1;
        TArchiveHour hour;
        hour.Hour = std::min(stationHour, sampleHour);
        bool any = false;
        if (sampleHour == hour.Hour) {
            for (const base::TQuantity quantity : base::Quantities) {
                const int q = base::QuantityNumber(quantity);
                const std::int64_t count = c.SampleHoursRange.Int64(2 + 2 * q);
                const std::optional<double> sum = c.SampleHoursRange.Number(1 + 2 * q);
                const std::optional<double> mean =
                    count > 0 && sum ? base::Measurable(quantity, *sum / static_cast<double>(count)) : std::nullopt;
                if (mean) {
                    hour.Values[static_cast<std::size_t>(q)] = *mean;
                    any = true;
                }
            }
            samplesRc = c.SampleHoursRange.Step();
        }
        // The station's own value of the hour wins over the live samples'.
        if (stationHour == hour.Hour) {
            for (const base::TQuantity quantity : base::Quantities) {
                const int q = base::QuantityNumber(quantity);
                if (const std::optional<double> value = c.HoursRange.Measured(quantity, 1 + q)) {
                    hour.Values[static_cast<std::size_t>(q)] = *value;
                    any = true;
                }
            }
            hoursRc = c.HoursRange.Step();
        }
        if (any)
            result.push_back(hour);
    }
    c.HoursRange.Reset();
    c.SampleHoursRange.Reset();
    c.Exec("COMMIT");
    return result;
}

THoldings ReadHoldings(const TArchiveConnection& c)
{
    THoldings holdings;
    c.Exec("BEGIN");
    std::int64_t stationHours = 0;
    std::int64_t sampleOnlyHours = 0;
    c.QueryInt("SELECT count(*) FROM hours WHERE coalesce(indoor, outdoor, pressure, humidity) IS NOT NULL",
               stationHours);
    c.QueryInt("SELECT count(*) FROM sample_hours s WHERE indoor_count + outdoor_count + pressure_count"
               " + humidity_count > 0 AND NOT EXISTS (SELECT 1 FROM hours h WHERE h.hour = s.hour AND"
               " coalesce(h.indoor, h.outdoor, h.pressure, h.humidity) IS NOT NULL)",
               sampleOnlyHours);
    holdings.Hours = stationHours + sampleOnlyHours;
    if (holdings.Hours > 0) {
        std::int64_t first = 0;
        std::int64_t last = 0;
        c.QueryInt("SELECT min(hour) FROM (SELECT min(hour) AS hour FROM hours WHERE coalesce(indoor, outdoor,"
                   " pressure, humidity) IS NOT NULL UNION ALL SELECT min(hour) FROM sample_hours WHERE"
                   " indoor_count + outdoor_count + pressure_count + humidity_count > 0)",
                   first);
        c.QueryInt("SELECT max(hour) FROM (SELECT max(hour) AS hour FROM hours WHERE coalesce(indoor, outdoor,"
                   " pressure, humidity) IS NOT NULL UNION ALL SELECT max(hour) FROM sample_hours WHERE"
                   " indoor_count + outdoor_count + pressure_count + humidity_count > 0)",
                   last);
        holdings.First = first;
        holdings.Last = last;
    }
    c.Exec("COMMIT");
    return holdings;
}

std::optional<THourKey> TArchiveStore::NewestHour(THourKey notAfter)
{
    if (!IsOpen())
        return std::nullopt;
    // The last row of each table, not a scan: this runs at every start.
    std::optional<THourKey> newest;
    for (const char* sql : {"SELECT hour FROM hours WHERE hour <= ?1 ORDER BY hour DESC LIMIT 1",
                            "SELECT hour FROM sample_hours WHERE hour <= ?1 ORDER BY hour DESC LIMIT 1"}) {
        std::int64_t hour = 0;
        TStatement s;
        if (s.Prepare(FConnection->Db, sql) != SQLITE_OK)
            continue;
        s.Bind(1, notAfter);
        if (s.Step() == SQLITE_ROW) {
            hour = s.Int64(0);
            newest = newest ? std::max(*newest, hour) : hour;
        }
    }
    return newest;
}

std::int64_t TArchiveStore::StationHoursAfter(THourKey last)
{
    if (!IsOpen())
        return 0;
    TStatement s;
    if (s.Prepare(FConnection->Db, "SELECT count(*) FROM hours WHERE hour > ?1") != SQLITE_OK)
        return 0;
    s.Bind(1, last);
    return s.Step() == SQLITE_ROW ? s.Int64(0) : 0;
}

std::vector<TMinuteValue> TArchiveStore::PressureValues(TMinuteKey first, TMinuteKey last)
{
    std::vector<TMinuteValue> values;
    if (!IsOpen() || last < first)
        return values;
    const TArchiveConnection& c = *FConnection;
    c.Exec("BEGIN");
    // The samples are kept in universal time: those of a little more than the period, each put
    // back on the wall clock.
    constexpr TMinuteKey LargestOffset = TMinuteKey{26} * 60;
    const std::pair<const TStatement*, bool> reads[] = {{&c.PressureHours, false}, {&c.PressureSamples, true}};
    for (const auto& [read, universal] : reads) {
        read->Reset();
        read->Bind(1, universal ? first - LargestOffset : first);
        read->Bind(2, universal ? last + LargestOffset : last);
        while (read->Step() == SQLITE_ROW) {
            const TMinuteKey minute = universal ? WallMinuteOfUtc(read->Int64(0)) : read->Int64(0);
            const std::optional<double> pressure = read->Measured(base::TQuantity::Pressure, 1);
            if (minute >= first && minute <= last && pressure)
                values.push_back({minute, *pressure});
        }
        read->Reset();
    }
    c.Exec("COMMIT");
    return values;
}

QString TArchiveStore::Setting(const QString& name)
{
    if (!IsOpen())
        return {};
    const TArchiveConnection& c = *FConnection;
    c.GetSetting.Reset();
    c.GetSetting.Bind(1, name);
    QString value;
    if (c.GetSetting.Step() == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(*c.GetSetting, 0)));
    c.GetSetting.Reset();
    return value;
}

} // namespace archive
