// The schema step that moves the live samples of an older archive from wall-clock minutes to
// minutes of universal time, keeping every sample.
#pragma once

struct sqlite3;

namespace archive {

// Re-keys every row of `samples` inside the caller's transaction; an SQLite result code. The
// hourly sums stay as they are: they are kept by the wall clock's hour, as before.
int KeySamplesInUniversalTime(sqlite3* db);

} // namespace archive
