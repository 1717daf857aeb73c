// The real program, started in a scratch folder: SIGTERM saves "met.mtb" and ends it cleanly, also
// with a message box open (the demo too); a crash between the write and the rename, and kill -9 at
// any moment of the close, leave the old file or the new one, never a mix, and the next run starts
// from what is there.
#include "archive/archive_store.h"
#include "core/history_file.h"
#include "tests/support/safety_support.h"
#include "tests/support/test_support.h"

#include "os/data_folder_lock.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using safety::HistoryTemporaries;
using safety::TProgram;
using safety::TStart;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

constexpr std::uint8_t Quantity = 3;

class RealProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.Entered());
        OldBytes = safety::LowerCaseLfBytes(Image, Quantity);
        NewBytes = HistoryFileBytes(Image, Quantity);
        // The two spellings differ in bytes and mean the same image.
        ASSERT_NE(OldBytes, NewBytes);
        THistoryState loaded;
        ASSERT_TRUE(ConvertHistoryText(OldBytes, loaded.HistoryImage, loaded.DiagramQuantity).ImageComplete());
        ASSERT_EQ(HistoryFileBytes(loaded.HistoryImage, loaded.DiagramQuantity), NewBytes);
    }

    QString File() const { return QDir(Folder.Path()).filePath(HistoryFileName); }

    // Starts the program and closes it by SIGTERM; the wait status, or -1 when it misbehaved.
    int RunAndTerminate(const QString& preload = {})
    {
        TProgram program(Folder.Path(), preload);
        if (!program.WaitUntilReady())
            return -1;
        program.Signal(SIGTERM);
        return program.Wait().value_or(-1);
    }

    testsupport::TFreshCurrentFolder Folder;
    THistoryImage Image = safety::SampleImage(5);
    QByteArray OldBytes;
    QByteArray NewBytes;
};

TEST_F(RealProgram, SigtermSavesTheCanonicalFileAndExitsWithZero)
{
    ASSERT_TRUE(WriteFileBytes(File(), OldBytes));
    const int status = RunAndTerminate();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(File()), NewBytes);
    // The weather archive beside it, closed cleanly (its journal taken in).
    EXPECT_EQ(safety::FolderEntries(Folder.Path()), (QStringList{HistoryFileName, archive::ArchiveFileName}));

    // Without a file the empty copy is written.
    ASSERT_TRUE(QFile::remove(File()));
    EXPECT_EQ(RunAndTerminate(), 0);
    THistoryImage empty;
    empty.fill(HistoryMissing);
    EXPECT_EQ(ReadFileBytes(File()), HistoryFileBytes(empty, 0));
}

TEST_F(RealProgram, CrashBeforeTheRenameKeepsTheOldFileAndTheNextRunStartsFromIt)
{
    ASSERT_TRUE(WriteFileBytes(File(), OldBytes));
    const int status = RunAndTerminate(QStringLiteral(RENAME_CRASH_SHIM));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(ReadFileBytes(File()), OldBytes);
    // The crash came after a whole, synced write: the temporary holds the new file.
    const QStringList left = HistoryTemporaries(Folder.Path());
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(ReadFileBytes(QDir(Folder.Path()).filePath(left[0])), NewBytes);

    // The next run reads the old file (any other would not give these bytes at its close) and
    // its save takes the left-over temporary away.
    EXPECT_EQ(RunAndTerminate(), 0);
    EXPECT_EQ(ReadFileBytes(File()), NewBytes);
    // The weather archive beside it, closed cleanly (its journal taken in).
    EXPECT_EQ(safety::FolderEntries(Folder.Path()), (QStringList{HistoryFileName, archive::ArchiveFileName}));
}

// True when no program holds the folder's lock (the file gone, or its lock free to take).
bool FolderLockFree(const QString& folder)
{
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(os::DataFolderLockName));
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

TEST_F(RealProgram, SigtermWithABoxOpenEndsTheProgramAndFreesTheFolder)
{
    // A damaged archive is set aside at start and a box says so; the request to end comes while
    // that box waits for its OK. The program and the demo alike.
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString xdg = scratch.filePath(QStringLiteral("xdg"));
    const QString demoFolder = xdg + QStringLiteral("/meteostation/demo");
    ASSERT_TRUE(QDir().mkpath(demoFolder));
    const struct
    {
        QString Program;
        QString Folder;
    } cases[] = {{safety::ProgramPath(), Folder.Path()}, {safety::DemoProgramPath(), demoFolder}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Program.toStdString());
        const QString history = QDir(c.Folder).filePath(HistoryFileName);
        ASSERT_TRUE(WriteFileBytes(history, OldBytes));
        ASSERT_TRUE(WriteFileBytes(QDir(c.Folder).filePath(archive::ArchiveFileName), QByteArray(4096, 'x')));

        TProgram program(c.Folder, TStart{c.Program, {}, {QStringLiteral("XDG_DATA_HOME=") + xdg}, {}});
        ASSERT_TRUE(program.WaitUntilStarted());
        const auto start = std::chrono::steady_clock::now();
        program.Signal(SIGTERM);
        const std::optional<int> status = program.Wait(std::chrono::seconds(30));
        ASSERT_TRUE(status.has_value()) << "the program still runs with its box open";
        std::printf("SIGTERM to exit with a box open: %.2f s\n",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        ASSERT_TRUE(WIFEXITED(*status)) << *status;
        EXPECT_EQ(WEXITSTATUS(*status), 0);
        EXPECT_TRUE(FolderLockFree(c.Folder));
        // The box was the archive's: the damaged file lies aside, and the close saved as ever.
        EXPECT_TRUE(safety::FolderEntries(c.Folder).filter(QStringLiteral(".damaged-")).size() == 1);
        if (c.Program == safety::ProgramPath())
            EXPECT_EQ(ReadFileBytes(history), NewBytes);
        else
            EXPECT_EQ(ReadFileBytes(history).size(), NewBytes.size());
    }
}

class KillLoop : public RealProgram
{};

TEST_F(KillLoop, EveryKillLeavesTheOldOrTheNewFileWhole)
{
    // How long the close takes here: SIGTERM to exit, a few times.
    std::vector<double> closeTimes;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(WriteFileBytes(File(), OldBytes));
        TProgram program(Folder.Path());
        ASSERT_TRUE(program.WaitUntilReady());
        const auto start = std::chrono::steady_clock::now();
        program.Signal(SIGTERM);
        ASSERT_EQ(program.Wait().value_or(-1), 0);
        closeTimes.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        ASSERT_EQ(ReadFileBytes(File()), NewBytes);
    }
    std::sort(closeTimes.begin(), closeTimes.end());
    const double closeTime = closeTimes[closeTimes.size() / 2];

    constexpr int Kills = 150;
    std::mt19937 random(8);
    std::uniform_real_distribution<double> delays(0.0, closeTime * 1.25);
    int before = 0, during = 0, after = 0, exited = 0;
    for (int i = 0; i < Kills; ++i) {
        ASSERT_TRUE(WriteFileBytes(File(), OldBytes));
        const QStringList staleBefore = HistoryTemporaries(Folder.Path());
        ASSERT_LE(staleBefore.size(), 1) << "temporaries pile up";
        const auto delay = std::chrono::duration<double, std::micro>(delays(random));

        TProgram program(Folder.Path());
        ASSERT_TRUE(program.WaitUntilReady()) << "kill " << i;
        const auto start = std::chrono::steady_clock::now();
        program.Signal(SIGTERM);
        while (std::chrono::steady_clock::now() - start < delay) {}
        program.Signal(SIGKILL);
        const auto status = program.Wait();
        ASSERT_TRUE(status.has_value());

        const QByteArray bytes = ReadFileBytes(File());
        ASSERT_TRUE(bytes == OldBytes || bytes == NewBytes)
            << "kill " << i << " after " << delay.count() << " us: a mixed file of " << bytes.size() << " bytes";
        QStringList fresh = HistoryTemporaries(Folder.Path());
        for (const QString& name : staleBefore)
            fresh.removeAll(name);
        if (bytes == NewBytes) {
            // The save ran to its end, and it took away what an earlier kill had left.
            EXPECT_TRUE(HistoryTemporaries(Folder.Path()).isEmpty()) << "kill " << i;
            if (WIFEXITED(*status)) {
                EXPECT_EQ(WEXITSTATUS(*status), 0);
                ++exited;
            } else {
                ++after;
            }
        } else if (!fresh.isEmpty()) {
            ++during;
        } else {
            ++before;
        }
    }
    std::printf("close time %.0f us (median of 5); %d kills at 0..%.0f us after SIGTERM: %d before the save, "
                "%d during it (temporary left), %d after it, %d too late (the program had ended)\n",
                closeTime, Kills, closeTime * 1.25, before, during, after, exited);
    RecordProperty("before", before);
    RecordProperty("during", during);
    RecordProperty("after", after + exited);
}

} // namespace
