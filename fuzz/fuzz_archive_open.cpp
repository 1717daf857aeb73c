// The archive's opening on any file: the input is written as the archive's file and opened with the
// store. It must never crash. A file the store sets aside keeps every byte; a file it takes as its
// archive holds nothing but the archive's schema (no trigger, no view), and no SQL of the file's
// own runs while hours, a live sample and a setting are written into it.
#include "archive/archive_store.h"
#include "fuzz/scratch_folder.h"

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>
#include <vector>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_archive_open: %s\n", what);
        std::abort();
    }
}

// One scratch folder for the whole run, emptied for each input.
QDir ScratchFolder()
{
    QDir dir(FuzzScratchFolder("fuzz-archive-open"));
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        QFile::remove(dir.filePath(name));
    return dir;
}

// SQLite announces each trigger's statements as a comment naming the trigger; the store's own
// statements are never comments.
int OnStatement(unsigned kind, void* ran, void*, void* text)
{
    if (kind == SQLITE_TRACE_STMT && std::strncmp(static_cast<const char*>(text), "--", 2) == 0)
        *static_cast<bool*>(ran) = true;
    return 0;
}

std::int64_t Count(sqlite3* db, const char* sql)
{
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    const std::int64_t count = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QDir folder = ScratchFolder();
    const QString path = folder.filePath(archive::ArchiveFileName);
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(path);
        Require(file.open(QIODevice::WriteOnly) && file.write(input) == input.size(), "input not written");
    }
    archive::TArchiveStore store(path);
    for (const QString& aside : folder.entryList({QStringLiteral("*.damaged-*.sqlite")}, QDir::Files)) {
        QFile file(folder.filePath(aside));
        Require(file.open(QIODevice::ReadOnly) && file.readAll() == input, "a file set aside was changed");
    }
    if (!store.IsOpen())
        return 0;
    sqlite3* db = store.Connection();
    Require(Count(db, "SELECT count(*) FROM sqlite_schema WHERE type IN ('trigger', 'view')") == 0,
            "an archive with triggers or views taken as ours");
    bool ran = false;
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, OnStatement, &ran);
    std::vector<archive::THourRecord> hours;
    for (int h = 0; h < 48; ++h)
        hours.push_back({220000 + h, {20, -3 + h % 5, 750, 60}});
    store.Merge(hours);
    hours.resize(24);
    for (archive::THourRecord& hour : hours)
        hour.Values[0] = 21;
    store.Merge(hours);
    archive::TSample sample;
    sample.Start = 220000 * 60 + 5;
    sample.Reports = 3;
    sample.Mean = {21.5, -2.0, 751.0, 58.0};
    sample.Count = {3, 3, 3, 3};
    store.AddSample(sample);
    store.SetSetting(QStringLiteral("last export folder"), QStringLiteral("/home"));
    Require(!ran, "SQL of the file ran");
    return 0;
}
