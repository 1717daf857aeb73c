// A look into an archive file with SQLite's own calls, for the tests that check what the program
// wrote without going through the program's reads.
#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <sqlite3.h>
#include <string>

namespace testsupport {

inline bool Exec(sqlite3* db, const std::string& sql)
{
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The first column of the first row as a number; -1 without a row.
inline std::int64_t QueryNumber(sqlite3* db, const char* sql)
{
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    const std::int64_t value = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    return value;
}

// Every row of a table as text ("a|b|NULL"), in key order; "no table <name>" without the table.
inline QStringList Rows(sqlite3* db, const char* table)
{
    QStringList rows;
    sqlite3_stmt* s = nullptr;
    const std::string sql = std::string("SELECT * FROM ") + table + " ORDER BY 1";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
        return {QStringLiteral("no table ") + QLatin1String(table)};
    while (sqlite3_step(s) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(s); ++c)
            row << (sqlite3_column_type(s, c) == SQLITE_NULL
                        ? QStringLiteral("NULL")
                        : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, c))));
        rows << row.join(QLatin1Char('|'));
    }
    sqlite3_finalize(s);
    return rows;
}

} // namespace testsupport
