// The archive's SQLite connection as the store uses it: the schema of a new archive, the
// statements prepared once per connection, and the reasons of SQLite's result codes.
#pragma once

#include "archive/archive_statement.h"
#include "archive/archive_types.h"
#include "archive/archive_version.h"

#include <QString>
#include <cstdint>
#include <sqlite3.h>
#include <vector>

namespace archive {

// A result code that says the file is damaged or no database at all.
bool IsDamage(int code);
// The reason for an SQLite result code in the user's language ("на диске нет свободного места").
QString ArchiveReason(int code, int systemError = 0);

class TArchiveConnection
{
public:
    sqlite3* Db = nullptr;
    TStatement SelectHour, InsertHour, UpdateHour;
    TStatement SelectSample, PutSample, AddSampleHour;
    TStatement HoursRange, SampleHoursRange;
    TStatement GetSetting, PutSetting;
    TStatement PutAlarm, LastAlarms;
    TStatement PressureHours, PressureSamples;
    TStatement UploadSamples, UploadHours, UploadHourAt, UploadCount, PutUploadPosition;

    ~TArchiveConnection()
    {
        // Statements first: a connection with statements left would stay open.
        for (TStatement* s :
             {&SelectHour, &InsertHour, &UpdateHour, &SelectSample, &PutSample, &AddSampleHour, &HoursRange,
              &SampleHoursRange, &GetSetting, &PutSetting, &PutAlarm, &LastAlarms, &PressureHours, &PressureSamples,
              &UploadSamples, &UploadHours, &UploadHourAt, &UploadCount, &PutUploadPosition})
            s->Finalize();
        sqlite3_close_v2(Db);
    }

    int Exec(const char* sql) const { return sqlite3_exec(Db, sql, nullptr, nullptr, nullptr); }

    // The first row's first column as a number.
    int QueryInt(const char* sql, std::int64_t& value) const
    {
        TStatement s;
        int rc = s.Prepare(Db, sql);
        if (rc != SQLITE_OK)
            return rc;
        rc = s.Step();
        if (rc == SQLITE_ROW) {
            value = s.Int64(0);
            return SQLITE_OK;
        }
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    // Every statement of the store; fails where the file lacks the archive's tables.
    int PrepareAll();
    // The tables of a new archive and its schema version, inside the caller's transaction; `target`
    // below this program's version makes an older program's archive, as the schema check needs.
    int CreateSchema(std::int64_t target = ArchiveSchemaVersion) const;
    // The steps from `version` (1 or later) to `target`, inside the caller's transaction.
    int UpgradeSchema(std::int64_t version, std::int64_t target = ArchiveSchemaVersion) const;

    // Keeps SQL that a file carries in its schema from doing more than plain SQL can, and the
    // schema itself from being written as data. Done before the first statement on the file.
    int Harden() const
    {
        sqlite3_db_config(Db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        return Exec("PRAGMA trusted_schema=OFF");
    }

    // Ends a transaction that a failure left open, so the next change starts clean.
    void RollBackIfOpen() const
    {
        if (sqlite3_get_autocommit(Db) == 0)
            Exec("ROLLBACK");
    }

    int SystemError() const { return sqlite3_system_errno(Db); }

    // A damaged file is kept as it is: closing must neither copy its journal into it nor delete
    // the journal.
    void LeaveFileAsItIs() const
    {
        int on = 1;
        sqlite3_db_config(Db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_file_control(Db, nullptr, SQLITE_FCNTL_PERSIST_WAL, &on);
    }
};

// The reads of the archive that the store and a second, read-only connection share: the hours from
// `first` to `last` (both included) that have any value, in order; and how much the archive holds.
// Each is one read transaction.
struct THoldings;
std::vector<TArchiveHour> ReadHours(const TArchiveConnection& connection, THourKey first, THourKey last);
THoldings ReadHoldings(const TArchiveConnection& connection);

} // namespace archive
