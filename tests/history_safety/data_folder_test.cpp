// The data folders of the real programs: the demo keeps to a folder of its own.
#include "station/history_file.h"
#include "tests/common/test_support.h"
#include "tests/history_safety/safety_support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>

using safety::FolderEntries;
using safety::TProgram;
using safety::TStart;
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

TEST(DataFolders, TheDemoKeepsToAFolderOfItsOwn)
{
    if (safety::DemoProgramPath().isEmpty())
        GTEST_SKIP() << "this build has no demo";
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    // The folders of an installed program: the launcher starts both programs in the data folder.
    const QString xdg = scratch.filePath(QStringLiteral("xdg"));
    const QString folder = xdg + QStringLiteral("/meteostation");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(WriteFileBytes(QDir(folder).filePath(HistoryFileName), safety::LowerCaseLfBytes(safety::SampleImage(7), 1)));
    const TFolderState before = Snapshot(folder);

    TProgram demo(folder, TStart{safety::DemoProgramPath(), {}, {QStringLiteral("XDG_DATA_HOME=") + xdg}, {}});
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
}

} // namespace
