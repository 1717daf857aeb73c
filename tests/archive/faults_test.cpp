// The archive where the file system says no: a disk that fills up and a folder that turns
// read-only under a running program. The change that met it is absent, the user hears which file
// and why, everything archived before is still there, and the archive works again once the disk
// has room.
#include "archive/archive_store.h"
#include "core/archive_records.h"
#include "tests/support/archive_support.h"
#include "tests/support/safety_support.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>

using namespace archive;
using archivetest::IntegrityCheck;
using archivetest::StationHours;
using archivetest::VersionImage;

namespace {

std::vector<THourRecord> Hours(int version)
{
    return ArchiveHoursOfImage(VersionImage(version)).Hours;
}

std::vector<THourRecord> Joined(std::vector<THourRecord> a, const std::vector<THourRecord>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ArchiveFault : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Folder = std::make_unique<safety::TMountedFolder>("size=2m,mode=0755");
        if (!Folder->Mounted())
            GTEST_SKIP() << "no private tmpfs for this test (" << Folder->Why().toStdString() << ")";
        Store = std::make_unique<TArchiveStore>(Path());
        ASSERT_TRUE(Store->IsOpen());
        ASSERT_TRUE(Store->Merge(Hours(0)).Ok);
    }
    void TearDown() override { Store.reset(); }

    QString Path() const { return Folder->File(ArchiveFileName); }
    QString Message(const QString& reason) const
    {
        return QStringLiteral("Загруженная история не добавлена в архив «%1»: %2")
            .arg(QDir::toNativeSeparators(Path()), reason);
    }

    std::unique_ptr<safety::TMountedFolder> Folder;
    std::unique_ptr<TArchiveStore> Store;
};

TEST_F(ArchiveFault, AFullDiskKeepsWhatWasArchivedAndTheNextMergeWorksOnceThereIsRoom)
{
    // Hours 2000 merges later: none of them is there yet, so the merge has to grow the file.
    ASSERT_TRUE(Folder->Fill(qint64{8} * 1024));
    const TMergeResult full = Store->Merge(Hours(2000));
    EXPECT_FALSE(full.Ok);
    EXPECT_EQ(full.Message, Message(QStringLiteral("на диске нет свободного места")));
    EXPECT_EQ(StationHours(Store->Connection()), Hours(0));
    EXPECT_EQ(IntegrityCheck(Store->Connection()), QStringLiteral("ok"));
    ASSERT_TRUE(QFile::remove(Folder->File(QStringLiteral("filler"))));
    const TMergeResult roomy = Store->Merge(Hours(2000));
    EXPECT_TRUE(roomy.Ok);
    EXPECT_EQ(roomy.Added, HistoryRecordCount);

    // What the next run finds.
    Store.reset();
    TArchiveStore reopened(Path());
    EXPECT_EQ(reopened.Notice(), QString());
    EXPECT_EQ(StationHours(reopened.Connection()), Joined(Hours(0), Hours(2000)));
    EXPECT_EQ(IntegrityCheck(reopened.Connection()), QStringLiteral("ok"));
}

TEST_F(ArchiveFault, AReadOnlyFolderKeepsWhatWasArchivedReadable)
{
    // The folder turns read-only between two runs (a file system remounted after errors, a copy
    // on read-only media): the next run reads the archive and says why a download cannot go in.
    Store.reset();
    ASSERT_TRUE(Folder->MakeReadOnly());
    TArchiveStore store(Path());
    ASSERT_TRUE(store.IsOpen()) << store.Notice().toStdString();
    EXPECT_EQ(store.Notice(), QString());
    EXPECT_EQ(store.Holdings().Hours, HistoryRecordCount);
    const TMergeResult result = store.Merge(Hours(2000));
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Message, Message(QStringLiteral("файл или папка доступны только для чтения")));
    EXPECT_EQ(StationHours(store.Connection()), Hours(0));
    EXPECT_EQ(store.Hours(archivetest::CrashBase(), archivetest::CrashBase() + 10).size(), 11u);
}

TEST(ArchiveFaultNoFile, AReadOnlyFolderWithoutAnArchiveMeansNoArchive)
{
    safety::TMountedFolder folder("size=1m,mode=0755");
    if (!folder.Mounted())
        GTEST_SKIP() << "no private tmpfs for this test (" << folder.Why().toStdString() << ")";
    ASSERT_TRUE(folder.MakeReadOnly());
    TArchiveStore store(folder.File(ArchiveFileName));
    EXPECT_FALSE(store.IsOpen());
    EXPECT_EQ(store.Notice(),
              QStringLiteral("Архив «%1» не открывается: диск доступен только для чтения. "
                             "Программа работает без архива")
                  .arg(QDir::toNativeSeparators(folder.File(ArchiveFileName))));
}

} // namespace
