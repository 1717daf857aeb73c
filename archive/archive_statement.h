// A prepared statement of the archive's SQLite connection, with the bindings and column reads the
// archive's rows need. A header of its own, so that a schema step reads and writes rows without
// the connection that runs the steps.
#pragma once

#include "archive/archive_types.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <sqlite3.h>

namespace archive {

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

} // namespace archive
