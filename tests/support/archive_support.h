// What the archive tests and their writer program share: history images made to order, the
// images of the crash loop (each merge recognisable in every hour it wrote), and looks into the
// archive file that go around the store.
#pragma once

#include "archive/archive_types.h"
#include "core/history_state.h"
#include "tests/support/history_images.h"
#include "tests/support/test_support.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct sqlite3;

namespace archivetest {

// A value of the expected rows, and no value.
inline std::optional<int> V(int value)
{
    return value;
}
inline constexpr std::nullopt_t Absent = std::nullopt;

using testsupport::EmptyImage;
using testsupport::PutRecord;

// The crash loop's merge number `version`: 4096 dated records from CrashBase + 8 × version hours
// on, every value telling the version, so an hour shows which merge wrote it last.
THistoryImage VersionImage(int version);
archive::THourKey CrashBase();
// The version an hour's values tell, -1 when they tell none.
int VersionOfHour(const archive::THourRecord& hour);

// The crash loop's sample number `n` (5 minutes apart from SampleBase on).
archive::TSample NumberedSample(int n);
archive::TMinuteKey SampleBase();

// A file that looks like an archive but is not exactly one: a genuine archive of this program
// (some hours, a live sample), then `Sql` run on it. The triggers of some write what must never
// change: the hours themselves, the export folder setting, a table of their own.
struct TCraftedArchive
{
    const char* Name;
    const char* Sql;
    QString Reason; // why the program sets it aside
};
const std::vector<TCraftedArchive>& CraftedArchives();
// Makes the file at `path` (none there before) with the first `hours` hours of VersionImage(1), closed
// with everything in the main file; false on failure.
bool MakeCraftedArchive(const QString& path, const TCraftedArchive& craft, int hours = HistoryRecordCount);

// PRAGMA integrity_check's answer, "ok" for a sound file.
QString IntegrityCheck(sqlite3* db);
// Every row of the station's hours, in order.
std::vector<archive::THourRecord> StationHours(sqlite3* db);

} // namespace archivetest
