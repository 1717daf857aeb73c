// The weather archive's schemas as older programs wrote them, for the tests that take such an
// archive forward: written out here, never borrowed from the program's own steps, so that a step
// changed by mistake is caught.
#pragma once

#include <string>

namespace testsupport {

// Version 1: hours, samples keyed by wall-clock minutes, their hourly sums, settings.
inline std::string FirstArchiveTables()
{
    return R"sql(
CREATE TABLE hours(hour INTEGER PRIMARY KEY, indoor INTEGER, outdoor INTEGER, pressure INTEGER, humidity INTEGER);
CREATE TABLE samples(minute INTEGER PRIMARY KEY, reports INTEGER NOT NULL,
  indoor REAL, indoor_count INTEGER NOT NULL, outdoor REAL, outdoor_count INTEGER NOT NULL,
  pressure REAL, pressure_count INTEGER NOT NULL, humidity REAL, humidity_count INTEGER NOT NULL);
CREATE TABLE sample_hours(hour INTEGER PRIMARY KEY,
  indoor_sum REAL NOT NULL, indoor_count INTEGER NOT NULL, outdoor_sum REAL NOT NULL, outdoor_count INTEGER NOT NULL,
  pressure_sum REAL NOT NULL, pressure_count INTEGER NOT NULL, humidity_sum REAL NOT NULL,
  humidity_count INTEGER NOT NULL);
CREATE TABLE settings(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
)sql";
}

inline std::string FirstArchiveSchema()
{
    return FirstArchiveTables() + "PRAGMA user_version=1;\n";
}

// Version 2: and the alarm history.
inline std::string SecondArchiveTables()
{
    return FirstArchiveTables() + R"sql(
CREATE TABLE alarms(id INTEGER PRIMARY KEY, minute INTEGER NOT NULL, kind TEXT NOT NULL, started INTEGER NOT NULL,
  summary TEXT NOT NULL, body TEXT NOT NULL);
)sql";
}

inline std::string SecondArchiveSchema()
{
    return SecondArchiveTables() + "PRAGMA user_version=2;\n";
}

// Version 4: and the uploads' positions in a table of their own (version 3 added it; version 4
// re-keyed the samples by universal time and kept the tables as they were).
inline std::string FourthArchiveSchema()
{
    return SecondArchiveTables() + R"sql(
CREATE TABLE upload_positions(service TEXT PRIMARY KEY, sent_up_to INTEGER NOT NULL) WITHOUT ROWID;
PRAGMA user_version=4;
)sql";
}

} // namespace testsupport
