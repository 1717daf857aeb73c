// The schema version of the archives this program writes, which the store, the schema steps and
// the schema check share.
#pragma once

namespace archive {

// PRAGMA user_version of the archives this program writes; a larger one is a newer program's.
// An older archive is brought up to it when opened (archive_connection.cpp lists the steps).
constexpr int ArchiveSchemaVersion = 5;

} // namespace archive
