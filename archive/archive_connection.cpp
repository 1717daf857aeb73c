#include "archive/archive_connection.h"

#include "archive/utc_samples_step.h"
#include "base/system_reason.h"

#include <iterator>
#include <string>
#include <utility>

namespace archive {
namespace {

// Hours and minutes are counted on the wall clock from 1 January 2000, 00:00, the samples' minutes
// in universal time (see archive_types.h).
const char* const SchemaSql = R"sql(
CREATE TABLE hours(              -- the station's hourly records, merged from every download
  hour INTEGER PRIMARY KEY,      -- hours since 2000-01-01 00:00, station clock
  indoor INTEGER,                -- °C, NULL when the station had no value
  outdoor INTEGER,               -- °C
  pressure INTEGER,              -- mm Hg
  humidity INTEGER               -- %
);
CREATE TABLE samples(            -- the live stream, one row per 5 minutes
  minute INTEGER PRIMARY KEY,    -- first minute of the interval since 2000-01-01 00:00 UTC, computer clock
  reports INTEGER NOT NULL,      -- readings in the interval
  indoor REAL, indoor_count INTEGER NOT NULL,      -- mean of the readings that had the value, and their number
  outdoor REAL, outdoor_count INTEGER NOT NULL,
  pressure REAL, pressure_count INTEGER NOT NULL,
  humidity REAL, humidity_count INTEGER NOT NULL
);
CREATE TABLE sample_hours(       -- the samples summed by hour, written with them in one transaction
  hour INTEGER PRIMARY KEY,
  indoor_sum REAL NOT NULL, indoor_count INTEGER NOT NULL,
  outdoor_sum REAL NOT NULL, outdoor_count INTEGER NOT NULL,
  pressure_sum REAL NOT NULL, pressure_count INTEGER NOT NULL,
  humidity_sum REAL NOT NULL, humidity_count INTEGER NOT NULL
);
CREATE TABLE settings(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
)sql";

// One step: SQL, or a conversion that SQL cannot do (it needs the time zone's rules).
struct TSchemaStep
{
    // Implicit, so that a step of SQL is written as its text.
    constexpr TSchemaStep(const char* sql)
        : Sql(sql)
    {
    }
    constexpr TSchemaStep(int (*convert)(sqlite3*))
        : Convert(convert)
    {
    }
    const char* Sql = nullptr;
    int (*Convert)(sqlite3*) = nullptr;
};

// The steps that bring an archive of one schema version to the next, in the order they came: step
// n takes version n to n + 1. A new archive is made at version 1 and goes through every step, so a
// new archive and an upgraded one are one and the same. A step adds, or re-keys rows keeping every
// one of them; what an older archive holds is never lost.
const TSchemaStep SchemaSteps[] = {
    // 1 -> 2: the alarms that rang and ended, for the alarm history.
    R"sql(
CREATE TABLE alarms(             -- one row per alarm that started or ended
  id INTEGER PRIMARY KEY,        -- in the order they happened
  minute INTEGER NOT NULL,       -- minutes since 2000-01-01 00:00, computer clock
  kind TEXT NOT NULL,            -- which alarm: frost, heat, pressure_fall, humidity, silence, archive_failure
  started INTEGER NOT NULL,      -- 1 when it started ringing, 0 when it ended
  summary TEXT NOT NULL,         -- the notification's Russian summary and body
  body TEXT NOT NULL
);
)sql",
    // 2 -> 3: per weather network, how far its uploads have gone.
    R"sql(
CREATE TABLE upload_positions(   -- one row per service once something was sent to it
  service TEXT PRIMARY KEY,      -- the service's name: narodmon, wunderground, windy, wow, pwsweather, cwop, own
  sent_up_to INTEGER NOT NULL    -- seconds since 1970-01-01 00:00 UTC: every reading dated up to it is done with
) WITHOUT ROWID;
)sql",
    // 3 -> 4: the live samples keyed by universal time instead of the wall clock.
    KeySamplesInUniversalTime,
    // 4 -> 5: the uploads' positions kept among the settings, as "upload position <service>": a
    // table of their own took a page of the file for a handful of numbers. The page the table
    // leaves is the next write's.
    R"sql(
INSERT INTO settings(name, value) SELECT 'upload position ' || service, sent_up_to FROM upload_positions WHERE true
  ON CONFLICT(name) DO UPDATE SET value = max(CAST(value AS INTEGER), CAST(excluded.value AS INTEGER));
DROP TABLE upload_positions;
)sql",
};
static_assert(std::size(SchemaSteps) + 1 == ArchiveSchemaVersion, "one step per version after the first");

// The readings the uploads send, from the minute key ?1 on: every live sample with a value, and
// each station hour with a value where no sample of that hour exists, oldest first. Columns: the
// minute, then per quantity the value and whether there is one.
// What the weather networks get, oldest first: the live samples (keyed by UTC minutes), and the
// station's hours (keyed by the wall clock) of which no sample exists. The two keys count on
// different clocks, so each comes in order by itself and the store merges them by their moments.
// `from`: the parameter holding the first key wanted; `last`, the last sample key whose interval
// has ended (a sample still filling goes once it is whole).
std::string UploadSamplesSql(const char* from, const char* last)
{
    return std::string("SELECT minute, indoor, indoor_count > 0, outdoor, outdoor_count > 0, pressure,"
                       " pressure_count > 0, humidity, humidity_count > 0 FROM samples WHERE minute >= ") +
        from + " AND minute <= " + last + " AND indoor_count + outdoor_count + pressure_count + humidity_count > 0";
}
std::string UploadHoursSql(const char* from)
{
    return std::string("SELECT hour, indoor, indoor IS NOT NULL, outdoor, outdoor IS NOT NULL, pressure,"
                       " pressure IS NOT NULL, humidity, humidity IS NOT NULL FROM hours WHERE hour >= ") +
        from +
        " AND coalesce(indoor, outdoor, pressure, humidity) IS NOT NULL"
        " AND NOT EXISTS(SELECT 1 FROM sample_hours WHERE sample_hours.hour = hours.hour)";
}

} // namespace

bool IsDamage(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

int TArchiveConnection::PrepareAll()
{
    const std::string uploadSamples = UploadSamplesSql("?1", "?3") + " ORDER BY 1 LIMIT ?2";
    const std::string uploadHours = UploadHoursSql("?1") + " ORDER BY 1 LIMIT ?2";
    // The station hour of a key where the queue would offer it; another hour after it otherwise.
    const std::string uploadHourAt = UploadHoursSql("?1") + " ORDER BY 1 LIMIT 1";
    const std::string uploadCount = "SELECT (SELECT count(*) FROM (" + UploadSamplesSql("?1", "?3") +
        ")) + (SELECT count(*) FROM (" + UploadHoursSql("?2") + "))";
    const std::pair<TStatement*, const char*> all[] = {
        {&SelectHour, "SELECT indoor, outdoor, pressure, humidity FROM hours WHERE hour = ?1"},
        {&InsertHour, "INSERT INTO hours(hour, indoor, outdoor, pressure, humidity) VALUES(?1, ?2, ?3, ?4, ?5)"},
        {&UpdateHour, "UPDATE hours SET indoor = ?2, outdoor = ?3, pressure = ?4, humidity = ?5 WHERE hour = ?1"},
        {&SelectSample,
         "SELECT reports, indoor, indoor_count, outdoor, outdoor_count, pressure, pressure_count,"
         " humidity, humidity_count FROM samples WHERE minute = ?1"},
        {&PutSample,
         "INSERT OR REPLACE INTO samples(minute, reports, indoor, indoor_count, outdoor, outdoor_count,"
         " pressure, pressure_count, humidity, humidity_count)"
         " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"},
        {&AddSampleHour,
         "INSERT INTO sample_hours(hour, indoor_sum, indoor_count, outdoor_sum, outdoor_count, pressure_sum,"
         " pressure_count, humidity_sum, humidity_count) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"
         " ON CONFLICT(hour) DO UPDATE SET indoor_sum = indoor_sum + excluded.indoor_sum,"
         " indoor_count = indoor_count + excluded.indoor_count,"
         " outdoor_sum = outdoor_sum + excluded.outdoor_sum, outdoor_count = outdoor_count + excluded.outdoor_count,"
         " pressure_sum = pressure_sum + excluded.pressure_sum,"
         " pressure_count = pressure_count + excluded.pressure_count,"
         " humidity_sum = humidity_sum + excluded.humidity_sum,"
         " humidity_count = humidity_count + excluded.humidity_count"},
        {&HoursRange,
         "SELECT hour, indoor, outdoor, pressure, humidity FROM hours"
         " WHERE hour BETWEEN ?1 AND ?2 ORDER BY hour"},
        {&SampleHoursRange,
         "SELECT hour, indoor_sum, indoor_count, outdoor_sum, outdoor_count, pressure_sum,"
         " pressure_count, humidity_sum, humidity_count FROM sample_hours"
         " WHERE hour BETWEEN ?1 AND ?2 ORDER BY hour"},
        {&GetSetting, "SELECT value FROM settings WHERE name = ?1"},
        {&PutSetting, "INSERT OR REPLACE INTO settings(name, value) VALUES(?1, ?2)"},
        {&PutAlarm, "INSERT INTO alarms(minute, kind, started, summary, body) VALUES(?1, ?2, ?3, ?4, ?5)"},
        {&LastAlarms, "SELECT minute, kind, started, summary, body FROM alarms ORDER BY id DESC LIMIT ?1"},
        {&PressureHours,
         "SELECT hour * 60, pressure FROM hours WHERE hour BETWEEN ?1 / 60 AND ?2 / 60 AND pressure IS NOT NULL"},
        {&PressureSamples,
         "SELECT minute, pressure FROM samples WHERE minute BETWEEN ?1 AND ?2 AND pressure_count > 0"},
        {&UploadSamples, uploadSamples.c_str()},
        {&UploadHours, uploadHours.c_str()},
        {&UploadHourAt, uploadHourAt.c_str()},
        {&UploadCount, uploadCount.c_str()},
        // A service's queue position (its setting's name, seconds since 1970): it never moves back,
        // whatever the caller asks.
        {&PutUploadPosition,
         "INSERT INTO settings(name, value) VALUES(?1, ?2)"
         " ON CONFLICT(name) DO UPDATE SET value = max(CAST(value AS INTEGER), CAST(excluded.value AS INTEGER))"},
    };
    for (const auto& [statement, sql] : all) {
        const int rc = statement->Prepare(Db, sql);
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

int TArchiveConnection::CreateSchema(std::int64_t target) const
{
    const int rc = Exec(SchemaSql);
    if (rc != SQLITE_OK)
        return rc;
    return UpgradeSchema(1, target);
}

int TArchiveConnection::UpgradeSchema(std::int64_t version, std::int64_t target) const
{
    for (; version < target; ++version) {
        const TSchemaStep& step = SchemaSteps[version - 1];
        const int rc = step.Sql != nullptr ? Exec(step.Sql) : step.Convert(Db);
        if (rc != SQLITE_OK)
            return rc;
    }
    return Exec(("PRAGMA user_version=" + std::to_string(target)).c_str());
}

QString ArchiveReason(int code, int systemError)
{
    switch (code & 0xFF) {
    case SQLITE_FULL:
        return QStringLiteral("на диске нет свободного места");
    case SQLITE_READONLY:
        return QStringLiteral("файл или папка доступны только для чтения");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("архив занят другой программой");
    case SQLITE_CORRUPT:
        return QStringLiteral("файл повреждён");
    case SQLITE_NOTADB:
        return QStringLiteral("файл не является базой данных");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("нет прав на запись");
    case SQLITE_NOMEM:
        return QStringLiteral("не хватает памяти");
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
        if (systemError != 0)
            return base::SystemReason(systemError);
        return (code & 0xFF) == SQLITE_CANTOPEN ? QStringLiteral("файл не открывается")
                                                : QStringLiteral("ошибка ввода-вывода");
    default:
        return QString::fromUtf8(sqlite3_errstr(code));
    }
}

} // namespace archive
