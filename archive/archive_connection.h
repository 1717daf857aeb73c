// The archive's SQLite connection as the store uses it: the schema of a new archive, the
// statements prepared once per connection, and the reasons of SQLite's result codes.
#pragma once

#include "archive/archive_store.h"
#include "archive/archive_types.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <sqlite3.h>
#include <vector>

namespace archive {

// A result code that says the file is damaged or no database at all.
bool IsDamage(int code);

// A prepared statement, finalized with its owner; a NULL column or binding is no value.
class TStatement
{
public:
    TStatement() = default;
    ~TStatement() { Finalize(); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    void Finalize()
    {
        sqlite3_finalize(Handle);
        Handle = nullptr;
    }
    int Prepare(sqlite3* db, const char* sql)
    {
        Finalize();
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &Handle, nullptr);
    }
    sqlite3_stmt* operator*() const { return Handle; }
    void Reset() const
    {
        sqlite3_reset(Handle);
        sqlite3_clear_bindings(Handle);
    }
    void Bind(int index, std::int64_t value) const { sqlite3_bind_int64(Handle, index, value); }
    void Bind(int index, const std::optional<int>& value) const
    {
        if (value)
            sqlite3_bind_int(Handle, index, *value);
        else
            sqlite3_bind_null(Handle, index);
    }
    void BindReal(int index, double value) const
    {
        if (HasValue(value))
            sqlite3_bind_double(Handle, index, value);
        else
            sqlite3_bind_null(Handle, index);
    }
    void Bind(int index, const QString& text) const
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(Handle, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    int Step() const { return sqlite3_step(Handle); }
    std::optional<int> Int(int column) const
    {
        if (sqlite3_column_type(Handle, column) == SQLITE_NULL)
            return std::nullopt;
        return sqlite3_column_int(Handle, column);
    }
    double Real(int column) const
    {
        if (sqlite3_column_type(Handle, column) == SQLITE_NULL)
            return MissingValue;
        return sqlite3_column_double(Handle, column);
    }
    std::int64_t Int64(int column) const { return sqlite3_column_int64(Handle, column); }
    // The column's number: none for NULL, text or a blob, which only a damaged file holds there.
    std::optional<double> Number(int column) const
    {
        const int type = sqlite3_column_type(Handle, column);
        if (type != SQLITE_INTEGER && type != SQLITE_FLOAT)
            return std::nullopt;
        return sqlite3_column_double(Handle, column);
    }
    // A quantity's value in the column: none as well for a number the station cannot have
    // measured (NaN, an infinity, one out of its range).
    std::optional<double> Measured(base::TQuantity quantity, int column) const
    {
        const std::optional<double> number = Number(column);
        return number ? base::Measurable(quantity, *number) : std::nullopt;
    }

private:
    sqlite3_stmt* Handle = nullptr;
};

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
