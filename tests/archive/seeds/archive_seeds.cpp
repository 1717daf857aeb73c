// Writes the seeds of the archive's opening fuzz target into a folder: a genuine archive with hours
// and a sample, another program's database, and each crafted archive (triggers, a view, tables,
// columns or indexes of its own, a table missing), each as one file.
//
//   archive_seeds <folder>
#include "archive/archive_store.h"
#include "tests/support/archive_support.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <sqlite3.h>

namespace {

// The file made at `scratch` (with everything in it) moved to `seed`.
bool Keep(const QString& scratch, const QString& seed)
{
    QFile::remove(seed);
    return QFile::rename(scratch, seed);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: archive_seeds <folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString scratch = folder.filePath(archive::ArchiveFileName);
    // Few hours: a seed stays a few pages long.
    const int hours = 30;
    const archivetest::TCraftedArchive genuine{"archive", "", {}};
    bool ok = archivetest::MakeCraftedArchive(scratch, genuine, hours) &&
        Keep(scratch, folder.filePath(QStringLiteral("archive")));
    sqlite3* db = nullptr;
    ok = ok && sqlite3_open(QFile::encodeName(scratch).constData(), &db) == SQLITE_OK &&
        sqlite3_exec(db, "CREATE TABLE people(name TEXT, born INTEGER)", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    ok = ok && Keep(scratch, folder.filePath(QStringLiteral("another_program")));
    for (const archivetest::TCraftedArchive& craft : archivetest::CraftedArchives()) {
        ok = ok && archivetest::MakeCraftedArchive(scratch, craft, hours) &&
            Keep(scratch, folder.filePath(QString::fromUtf8(craft.Name).replace(QLatin1Char(' '), QLatin1Char('_'))));
    }
    if (!ok)
        std::fprintf(stderr, "archive_seeds: a seed could not be made in %s\n", argv[1]);
    return ok ? 0 : 1;
}
