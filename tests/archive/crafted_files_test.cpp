// Files in the archive's place that are not exactly an archive of this program: a schema with more
// or less than the archive's (triggers, a view, tables, columns, indexes) is set aside with every
// byte as it was and none of its SQL run; a symbolic link is neither followed nor moved.
#include "archive/archive_store.h"
#include "core/archive_records.h"
#include "tests/support/archive_support.h"
#include "tests/support/test_support.h"

#include "tests/support/sqlite_peek.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace archive;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

QStringList Entries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    names.sort();
    return names;
}

bool MakeForeignDatabase(const QString& path)
{
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
        sqlite3_exec(db, "CREATE TABLE people(name TEXT); INSERT INTO people VALUES('Анна')", nullptr, nullptr,
                     nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// A database without tables whose second page belongs to nothing: nothing tells it apart from a
// new archive but a check of its pages.
bool MakeEmptyDatabaseWithALostPage(const QString& path)
{
    if (!MakeForeignDatabase(path))
        return false;
    QByteArray bytes = ReadFileBytes(path);
    // The first page's count of cells: the schema's one row is gone.
    bytes[103] = 0;
    bytes[104] = 0;
    return bytes.size() == 8192 && WriteFileBytes(path, bytes);
}

TEST(ArchiveCraftedFiles, AnythingButTheArchivesOwnSchemaIsSetAsideUntouchedAndRunsNothing)
{
    struct TCase
    {
        std::string Name;
        std::function<bool(const QString& path)> Make;
        QString Reason;
    };
    std::vector<TCase> cases;
    for (const archivetest::TCraftedArchive& craft : archivetest::CraftedArchives())
        cases.push_back({craft.Name,
                         [&craft](const QString& path) { return archivetest::MakeCraftedArchive(path, craft); },
                         craft.Reason});
    cases.push_back(
        {"another program's database", MakeForeignDatabase, QStringLiteral("это база данных другой программы")});
    cases.push_back({"a database without tables and a lost page", MakeEmptyDatabaseWithALostPage,
                     QStringLiteral("файл повреждён")});
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        testsupport::TFreshCurrentFolder folder;
        ASSERT_TRUE(folder.Entered());
        const QString path = QDir(folder.Path()).filePath(ArchiveFileName);
        ASSERT_TRUE(c.Make(path));
        const QByteArray before = ReadFileBytes(path);

        TArchiveStore store(path);
        ASSERT_TRUE(store.IsOpen());
        // The file goes aside as it was, and nothing was written into a journal beside it.
        const QStringList aside = Entries(folder.Path()).filter(QRegularExpression(QStringLiteral("damaged.*sqlite$")));
        ASSERT_EQ(aside.size(), 1) << Entries(folder.Path()).join(' ').toStdString();
        EXPECT_EQ(ReadFileBytes(QDir(folder.Path()).filePath(aside[0])), before);
        EXPECT_EQ(ReadFileBytes(QDir(folder.Path()).filePath(aside[0] + QStringLiteral("-wal"))), QByteArray());
        EXPECT_EQ(store.Notice(),
                  QStringLiteral("Архив «%1» не читается: %2. Файл сохранён под именем «%3», начат новый "
                                 "архив")
                      .arg(QDir::toNativeSeparators(path), c.Reason, aside[0]));

        // The fresh archive takes the hours (new ones and changed ones) and a sample, and nothing
        // else happens in it.
        const TMergeResult merged = store.Merge(ArchiveHoursOfImage(archivetest::VersionImage(2)).Hours);
        ASSERT_TRUE(merged.Ok);
        EXPECT_EQ(merged.Added, HistoryRecordCount);
        ASSERT_TRUE(store.AddSample(archivetest::NumberedSample(1)).Ok);
        EXPECT_EQ(store.Setting(QStringLiteral("last export folder")), QString());
        EXPECT_EQ(testsupport::QueryNumber(store.Connection(), "SELECT count(*) FROM hours WHERE indoor = -99"), 0);
        EXPECT_EQ(testsupport::QueryNumber(store.Connection(),
                                           "SELECT count(*) FROM sqlite_schema WHERE type IN ('trigger', 'view')"),
                  0);
        EXPECT_EQ(ReadFileBytes(QDir(folder.Path()).filePath(aside[0])), before);
    }
}

TEST(ArchiveCraftedFiles, ASymbolicLinkInTheArchivesPlaceIsNeitherFollowedNorMoved)
{
    struct TCase
    {
        const char* Name;
        std::function<bool(const QString& target)> Make; // the link's target, or nothing there
    };
    const TCase cases[] = {
        {"a link to another program's database", MakeForeignDatabase},
        {"a link to an empty file", [](const QString& target) { return WriteFileBytes(target, {}); }},
        {"a link to an archive", [](const QString& target) { return TArchiveStore(target).IsOpen(); }},
        {"a link to nothing", [](const QString&) { return true; }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir elsewhere;
        testsupport::TFreshCurrentFolder folder;
        ASSERT_TRUE(folder.Entered());
        const QString target = elsewhere.filePath(QStringLiteral("data.sqlite"));
        ASSERT_TRUE(c.Make(target));
        const QStringList there = Entries(elsewhere.path());
        const QByteArray bytes = ReadFileBytes(target);
        const QString path = QDir(folder.Path()).filePath(ArchiveFileName);
        ASSERT_TRUE(QFile::link(target, path));

        {
            TArchiveStore store(path);
            EXPECT_FALSE(store.IsOpen());
            EXPECT_EQ(store.Notice(),
                      QStringLiteral("Архив «%1» не открывается: на месте файла архива — символическая "
                                     "ссылка. Программа работает без архива")
                          .arg(QDir::toNativeSeparators(path)));
        }
        EXPECT_EQ(QFileInfo(path).symLinkTarget(), target);
        EXPECT_EQ(Entries(folder.Path()), QStringList{ArchiveFileName});
        EXPECT_EQ(Entries(elsewhere.path()), there);
        EXPECT_EQ(ReadFileBytes(target), bytes);
    }

    // A link on the way to the folder is the user's own choice of folder: the archive is there.
    QTemporaryDir scratch;
    ASSERT_TRUE(QDir().mkpath(scratch.filePath(QStringLiteral("real"))));
    ASSERT_TRUE(QFile::link(scratch.filePath(QStringLiteral("real")), scratch.filePath(QStringLiteral("linked"))));
    for (int run = 0; run < 2; ++run) {
        TArchiveStore store(scratch.filePath(QStringLiteral("linked/")) + ArchiveFileName);
        ASSERT_TRUE(store.IsOpen()) << store.Notice().toStdString();
        EXPECT_EQ(store.Notice(), QString());
        EXPECT_TRUE(store.Merge(ArchiveHoursOfImage(archivetest::VersionImage(run)).Hours).Ok);
    }
    EXPECT_EQ(Entries(scratch.filePath(QStringLiteral("real"))), QStringList{ArchiveFileName});
}

} // namespace
