// Whether a file's schema is exactly the archive's: the tables, their columns and the indexes that
// this program's schema steps make at the file's version, and nothing else (no triggers, views or
// other tables). Only such a file is written by the store; SQL a file brings along never runs.
#pragma once

#include <cstdint>
#include <sqlite3.h>

namespace archive {

enum class TSchemaMatch {
    Ours,          // exactly the archive's schema at the version (at version 0: an empty file)
    TablesMissing, // the archive's schema with tables or indexes missing, and nothing added
    Foreign        // anything else: another program's database
};

// Compares the schema of `db` with the archive's at `version` (0 up to this program's). `rc` is
// SQLite's result when the schema could not be read (the match is then Foreign).
TSchemaMatch MatchSchema(sqlite3* db, std::int64_t version, int& rc);

} // namespace archive
