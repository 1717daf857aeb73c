// Files in the data folder that are not the program's own, with the real program: an archive with
// SQL of its own (triggers) is set aside untouched and none of its SQL runs, an archive that is a
// symbolic link is neither followed nor moved, and a link in the lock file's place gives way to a
// real lock file, so a second window is still kept out; where it cannot, the user is told.
#include "archive/archive_store.h"
#include "core/history_file.h"
#include "gui/error_box.h"
#include "os/data_folder_lock.h"
#include "station/one_window_per_folder.h"
#include "tests/support/archive_support.h"
#include "tests/support/safety_support.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>

using safety::FolderEntries;
using safety::TProgram;
using safety::TStart;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

// The number `sql` counts in the archive at `path`, read beside the program that has it open; -1
// while it cannot be read.
std::int64_t CountIn(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    std::int64_t count = -1;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            count = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return count;
}

// Polls until `done` holds (true) or 20 s have passed (false).
bool WaitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool MakeForeignDatabase(const QString& path)
{
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
        sqlite3_exec(db, "CREATE TABLE people(name TEXT)", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

TEST(ForeignFiles, TheProgramRunsNoSqlOfACraftedArchiveFollowsNoLinkAndStillKeepsASecondWindowOut)
{
    const archivetest::TCraftedArchive& triggers = archivetest::CraftedArchives().front();
    struct TCase
    {
        const char* Name;
        bool Link; // the archive is a link to "elsewhere/data.sqlite"
        std::function<bool(const QString& path)> Make;
    };
    const TCase cases[] = {
        {"an archive with triggers", false,
         [&triggers](const QString& path) { return archivetest::MakeCraftedArchive(path, triggers); }},
        {"a link to another program's database", true, MakeForeignDatabase},
        {"a link to an empty file", true, [](const QString& path) { return WriteFileBytes(path, {}); }},
    };
    const THistoryImage image = archivetest::VersionImage(2);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir scratch;
        ASSERT_TRUE(scratch.isValid());
        const QString folder = scratch.filePath(QStringLiteral("data"));
        const QString elsewhere = scratch.filePath(QStringLiteral("elsewhere"));
        ASSERT_TRUE(QDir().mkpath(folder) && QDir().mkpath(elsewhere));
        const QString archive = QDir(folder).filePath(archive::ArchiveFileName);
        const QString target = QDir(elsewhere).filePath(QStringLiteral("data.sqlite"));
        ASSERT_TRUE(c.Make(c.Link ? target : archive));
        if (c.Link) {
            ASSERT_TRUE(QFile::link(target, archive));
        }
        // The complete copy of the history: its hours go into the archive at the first start.
        ASSERT_TRUE(WriteFileBytes(QDir(folder).filePath(HistoryFileName), HistoryFileBytes(image, 1)));
        const QString lockTarget = QDir(elsewhere).filePath(QStringLiteral("notes.txt"));
        ASSERT_TRUE(WriteFileBytes(lockTarget, "не программы\n"));
        ASSERT_TRUE(QFile::link(lockTarget, QDir(folder).filePath(os::DataFolderLockName)));
        const QByteArray crafted = ReadFileBytes(c.Link ? target : archive);
        const QStringList elsewhereBefore = FolderEntries(elsewhere);

        TProgram first(folder, TStart{});
        ASSERT_TRUE(first.WaitUntilReady());
        // The lock is a file of its own now, and holds: the second start says so and ends.
        const QString said = scratch.filePath(QStringLiteral("second.txt"));
        {
            TProgram second(folder, TStart{safety::ProgramPath(), {}, {}, said});
            ASSERT_TRUE(second.WaitUntilReady());
            second.Signal(SIGTERM);
            const std::optional<int> status = second.Wait();
            ASSERT_TRUE(status.has_value());
            EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1);
        }
        EXPECT_TRUE(
            QString::fromUtf8(ReadFileBytes(said)).split(QLatin1Char('\n')).contains(AlreadyRunningText(folder)));
        const QFileInfo lock(QDir(folder).filePath(os::DataFolderLockName));
        EXPECT_TRUE(lock.isFile() && !lock.isSymLink());
        EXPECT_EQ(ReadFileBytes(lockTarget), "не программы\n");

        if (c.Link) {
            // Not followed, not moved: no archive this time.
            EXPECT_EQ(QFileInfo(archive).symLinkTarget(), target);
            EXPECT_TRUE(FolderEntries(folder).filter(QStringLiteral(".damaged-")).isEmpty());
            EXPECT_FALSE(QFileInfo::exists(archive + QStringLiteral("-wal")));
            EXPECT_EQ(ReadFileBytes(target), crafted);
        } else {
            // Aside as it was, so none of its triggers ran; the hours went into a fresh archive.
            QStringList aside;
            ASSERT_TRUE(WaitFor([&] {
                aside = FolderEntries(folder).filter(QRegularExpression(QStringLiteral("damaged.*sqlite$")));
                return !aside.isEmpty();
            }));
            EXPECT_EQ(aside.size(), 1);
            EXPECT_EQ(ReadFileBytes(QDir(folder).filePath(aside[0])), crafted);
            EXPECT_TRUE(WaitFor([&] { return CountIn(archive, "SELECT count(*) FROM hours") > 0; }));
            EXPECT_EQ(CountIn(archive, "SELECT count(*) FROM hours WHERE indoor = -99"), 0);
            EXPECT_EQ(CountIn(archive, "SELECT count(*) FROM settings WHERE name = 'last export folder'"), 0);
        }
        EXPECT_EQ(FolderEntries(elsewhere), elsewhereBefore);
        // Its box about the archive may be up: the program is stopped at once.
        first.Signal(SIGKILL);
        ASSERT_TRUE(first.Wait().has_value());
    }
}

TEST(ForeignFiles, ALinkInTheLockFilesPlaceThatCannotBeReplacedIsToldAndTheProgramGoesOn)
{
    safety::TMountedFolder folder("size=1m");
    if (!folder.Mounted())
        GTEST_SKIP() << "no private tmpfs for this test (" << folder.Why().toStdString() << ")";
    ASSERT_TRUE(QFile::link(folder.File(QStringLiteral("elsewhere")), folder.File(os::DataFolderLockName)));
    ASSERT_TRUE(folder.MakeReadOnly());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.Path()));
    std::vector<QString> boxes;
    gui::SetErrorBoxHook([&boxes](const QString& text) { boxes.push_back(text); });

    {
        const auto lock = ClaimCurrentFolder();
        ASSERT_NE(lock, nullptr);
        EXPECT_EQ(lock->State(), os::TDataFolderLock::TState::Unprotected);
        EXPECT_TRUE(testsupport::PumpUntil([&boxes] { return !boxes.empty(); }));
        EXPECT_EQ(boxes, std::vector<QString>{gui::ErrorBoxText(UnprotectedFolderText(folder.Path(), EROFS))});
    }
    gui::SetErrorBoxHook({});
    QDir::setCurrent(previous);
    EXPECT_TRUE(QFileInfo(folder.File(os::DataFolderLockName)).isSymLink());
}

} // namespace
