// One window per data folder, with the real programs: a second start in the same folder says so
// and touches nothing, the first window comes forward, a killed program's lock is taken over, and
// the demo keeps to a folder of its own.
#include "archive/archive_store.h"
#include "core/history_file.h"
#include "hid/platform/sim/sim_platform.h"
#include "os/data_folder_lock.h"
#include "station/main_form.h"
#include "station/one_window_per_folder.h"
#include "tests/support/safety_support.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using safety::FolderEntries;
using safety::TProgram;
using safety::TStart;
using testsupport::PumpUntil;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

// Every file of a folder with its bytes and the time it was last written, to the nanosecond.
using TFolderState = std::map<QString, std::pair<QByteArray, long long>>;

TFolderState Snapshot(const QString& folder)
{
    TFolderState state;
    for (const QString& name : FolderEntries(folder)) {
        const QString path = QDir(folder).filePath(name);
        struct stat info = {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        state[name] = {ReadFileBytes(path), info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
    }
    return state;
}

int ExitCode(const std::optional<int>& status)
{
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

TEST(DataFolders, OneWindowPerFolderAKilledProgramsLockTakenOverAndTheDemoKeptApart)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    // The folders of an installed program: the launcher starts both programs in the data folder.
    const QString xdg = scratch.filePath(QStringLiteral("xdg"));
    const QString folder = xdg + QStringLiteral("/meteostation");
    ASSERT_TRUE(QDir().mkpath(folder));
    const THistoryImage image = safety::SampleImage(7);
    // A spelling that any save would change.
    ASSERT_TRUE(WriteFileBytes(QDir(folder).filePath(HistoryFileName), safety::LowerCaseLfBytes(image, 1)));
    const QStringList environment{QStringLiteral("XDG_DATA_HOME=") + xdg};
    const TStart program{safety::ProgramPath(), {}, environment, {}};

    TProgram first(folder, program);
    ASSERT_TRUE(first.WaitUntilStarted());
    EXPECT_EQ(FolderEntries(folder),
              (QStringList{os::DataFolderLockName, HistoryFileName} + safety::OpenArchiveFiles()));
    const TFolderState before = Snapshot(folder);

    // The menu entry clicked twice: the second start says so and leaves every file as it was.
    const QString said = scratch.filePath(QStringLiteral("second.txt"));
    {
        TProgram second(folder, TStart{safety::ProgramPath(), {}, environment, said});
        ASSERT_TRUE(second.WaitUntilReady()); // its box is up
        EXPECT_FALSE(first.Poll().has_value());
        second.Signal(SIGTERM); // as good as its button
        EXPECT_EQ(ExitCode(second.Wait()), 1);
    }
    // Beside whatever Qt has to say offscreen.
    EXPECT_TRUE(QString::fromUtf8(ReadFileBytes(said)).split(QLatin1Char('\n')).contains(AlreadyRunningText(folder)));
    EXPECT_EQ(Snapshot(folder), before);
    // The first one was asked to come forward, and runs on.
    EXPECT_FALSE(first.Poll().has_value());

    // The demo beside it: a folder of its own, the program's untouched.
    if (!safety::DemoProgramPath().isEmpty()) {
        TProgram demo(folder, TStart{safety::DemoProgramPath(), {}, environment, {}});
        ASSERT_TRUE(demo.WaitUntilReady());
        demo.Signal(SIGTERM);
        EXPECT_EQ(ExitCode(demo.Wait()), 0);
        const QString demoFolder = QDir(folder).filePath(QStringLiteral("demo"));
        ASSERT_TRUE(QFileInfo(demoFolder).isDir());
        TFolderState withoutDemo = Snapshot(folder);
        withoutDemo.erase(QStringLiteral("demo"));
        EXPECT_EQ(withoutDemo, before);
        THistoryImage empty;
        empty.fill(HistoryMissing);
        EXPECT_EQ(ReadFileBytes(QDir(demoFolder).filePath(HistoryFileName)), HistoryFileBytes(empty, 0));
        EXPECT_EQ(FolderEntries(demoFolder), (QStringList{HistoryFileName, archive::ArchiveFileName}));
    }

    // The first one killed: its lock file stays, and the next start takes it over as a window that
    // loads the user's file and saves it at close.
    first.Signal(SIGKILL);
    ASSERT_TRUE(first.Wait().has_value());
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath(os::DataFolderLockName)));
    TProgram next(folder, program);
    ASSERT_TRUE(next.WaitUntilReady());
    next.Signal(SIGTERM);
    EXPECT_EQ(ExitCode(next.Wait()), 0);
    EXPECT_EQ(ReadFileBytes(QDir(folder).filePath(HistoryFileName)), HistoryFileBytes(image, 1));
    // The lock goes with the program.
    QStringList left = FolderEntries(folder);
    left.removeAll(QStringLiteral("demo"));
    EXPECT_EQ(left, (QStringList{HistoryFileName, archive::ArchiveFileName}));
}

TEST(DataFolders, ASecondStartBringsTheFirstWindowForward)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());

    // This test program is the first start, as the program's own start makes it.
    const auto lock = ClaimCurrentFolder();
    ASSERT_NE(lock, nullptr);
    ASSERT_EQ(lock->State(), os::TDataFolderLock::TState::Taken);
    // The lock is the folder's: even a second claim from this same program finds it taken.
    {
        const os::TDataFolderLock again(folder.Path());
        EXPECT_EQ(again.State(), os::TDataFolderLock::TState::HeldElsewhere);
        EXPECT_EQ(again.HolderProcessId(), ::getpid());
    }
    hidplatform::SimPlatform platform;
    TForm1 form(platform);
    form.showMinimized();
    ASSERT_TRUE(form.isMinimized());

    TProgram second(folder.Path(), TStart{safety::ProgramPath(), {}, {}, scratch.filePath(QStringLiteral("said"))});
    ASSERT_TRUE(second.WaitUntilReady());
    second.Signal(SIGTERM);
    EXPECT_EQ(ExitCode(second.Wait()), 1);
    EXPECT_TRUE(PumpUntil([&form] { return !form.isMinimized(); }, 20000));
    EXPECT_EQ(FolderEntries(folder.Path()), QStringList{os::DataFolderLockName} + safety::OpenArchiveFiles());
}

} // namespace
