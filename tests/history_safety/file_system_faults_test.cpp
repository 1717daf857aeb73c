// Saving "met.mtb" where the file system says no: a full disk and a read-only folder, through
// the save itself and through closing the window; and the clean-up of temporaries that killed
// saves leave behind.
#include "core/history_file.h"
#include "gui/error_box.h"
#include "gui/up_down.h"
#include "hid/platform/sim/sim_platform.h"
#include "station/main_form.h"
#include "tests/support/safety_support.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

using safety::FolderEntries;
using safety::TMountedFolder;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

constexpr std::uint8_t OldQuantity = 2;

QString SaveMessage(const QString& folder, const QString& what)
{
    return QStringLiteral("Не удалось записать файл «%1/met.mtb»: %2").arg(folder, what);
}

// Runs the save and returns its error message; empty when it did not throw.
QString SaveError(const THistoryState& state, const QString& path)
{
    try {
        SaveHistoryFile(state, path);
    } catch (const os::EFileError& error) {
        return error.Message();
    }
    return {};
}

class FileSystemFault : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Folder = std::make_unique<TMountedFolder>("size=1m,mode=0755");
        if (!Folder->Mounted())
            GTEST_SKIP() << "no private tmpfs for this test (" << Folder->Why().toStdString() << ")";
        OldImage = safety::SampleImage(3);
        OldBytes = safety::LowerCaseLfBytes(OldImage, OldQuantity);
        ASSERT_TRUE(WriteFileBytes(Folder->File(HistoryFileName), OldBytes));
        // What the program would save: another image, so that a mix would show.
        NewState.HistoryImage = safety::SampleImage(4);
        gui::SetErrorBoxHook([this](const QString& text) { ErrorBoxes.push_back(text); });
    }

    void TearDown() override
    {
        Form.reset();
        gui::SetErrorBoxHook({});
        if (!Previous.isEmpty())
            QDir::setCurrent(Previous);
    }

    // The window started in the mounted folder, answering the close question with `Answer`.
    void OpenWindow()
    {
        Previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(Folder->Path()));
        Form = std::make_unique<TForm1>(Platform);
        Form->SetQuestion([this](const QString& text) {
            Questions.push_back(text);
            return Answer;
        });
        Form->show();
    }

    void ExpectOldFileWhole(const QStringList& entries)
    {
        EXPECT_EQ(ReadFileBytes(Folder->File(HistoryFileName)), OldBytes);
        EXPECT_EQ(FolderEntries(Folder->Path()), entries); // no temporary left
    }

    std::unique_ptr<TMountedFolder> Folder;
    THistoryImage OldImage{};
    QByteArray OldBytes;
    THistoryState NewState;
    hidplatform::SimPlatform Platform;
    std::unique_ptr<TForm1> Form;
    QString Previous;
    std::vector<QString> ErrorBoxes;
    std::vector<QString> Questions;
    bool Answer = false;
};

const QString CloseQuestion =
    QStringLiteral("Не удалось сохранить память метеостанции в файл met.mtb. Закрыть программу без сохранения?");

TEST_F(FileSystemFault, FullDiskStopsTheSaveMidwayAndKeepsTheOldFile)
{
    // Room for a part of the new file only, so the write itself fails.
    ASSERT_TRUE(Folder->Fill(qint64{16} * 1024));
    EXPECT_EQ(SaveError(NewState, Folder->File(HistoryFileName)),
              SaveMessage(Folder->Path(), QStringLiteral("на диске нет свободного места")));
    ExpectOldFileWhole({QStringLiteral("filler"), HistoryFileName});

    // Not even room for the temporary's first page.
    ASSERT_TRUE(Folder->Fill(0));
    EXPECT_FALSE(SaveError(NewState, Folder->File(HistoryFileName)).isEmpty());
    ExpectOldFileWhole({QStringLiteral("filler"), HistoryFileName});
}

TEST_F(FileSystemFault, FullDiskAtCloseShowsTheErrorAsksAndSavesOnceThereIsRoom)
{
    OpenWindow();
    EXPECT_EQ(Form->LabeledEdit10->Text(), ScanHistory(OldImage, QDate::currentDate()).RecordCountText);
    ASSERT_TRUE(Folder->Fill(qint64{16} * 1024));

    Answer = false;
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->isVisible());
    // The standard error box ends the message with a full stop.
    EXPECT_EQ(ErrorBoxes,
              std::vector<QString>{SaveMessage(Folder->Path(), QStringLiteral("на диске нет свободного места."))});
    EXPECT_EQ(Questions, std::vector<QString>{CloseQuestion});
    ExpectOldFileWhole(QStringList{QStringLiteral("filler"), HistoryFileName} + safety::OpenArchiveFiles());

    // The user makes room and closes again: the copy is saved, in the canonical form.
    ASSERT_TRUE(QFile::remove(Folder->File(QStringLiteral("filler"))));
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(ErrorBoxes.size(), 1u);
    EXPECT_EQ(ReadFileBytes(Folder->File(HistoryFileName)), HistoryFileBytes(OldImage, OldQuantity));
    EXPECT_EQ(FolderEntries(Folder->Path()), QStringList{HistoryFileName} + safety::OpenArchiveFiles());
}

TEST_F(FileSystemFault, RoomTakenByTheTemporaryOfAKilledSaveIsWonBack)
{
    // A save killed after its write left a whole temporary; with it the disk has no room for another.
    const QString stale = Folder->File(QStringLiteral(".met.mtb.4242-1.tmp"));
    ASSERT_TRUE(WriteFileBytes(stale, HistoryFileBytes(NewState.HistoryImage, 0)));
    ASSERT_TRUE(Folder->Fill(qint64{16} * 1024));

    EXPECT_EQ(SaveError(NewState, Folder->File(HistoryFileName)), QString());
    EXPECT_EQ(ReadFileBytes(Folder->File(HistoryFileName)), HistoryFileBytes(NewState.HistoryImage, 0));
    EXPECT_EQ(FolderEntries(Folder->Path()), (QStringList{QStringLiteral("filler"), HistoryFileName}));
}

TEST_F(FileSystemFault, ReadOnlyFolderIsReportedAndTheWindowStillStartsFromTheFile)
{
    ASSERT_TRUE(Folder->MakeReadOnly());
    const QString readOnly = QStringLiteral("временный файл не создаётся: диск доступен только для чтения");
    EXPECT_EQ(SaveError(NewState, Folder->File(HistoryFileName)), SaveMessage(Folder->Path(), readOnly));
    ExpectOldFileWhole({HistoryFileName});

    OpenWindow();
    EXPECT_EQ(Form->LabeledEdit10->Text(), ScanHistory(OldImage, QDate::currentDate()).RecordCountText);
    EXPECT_EQ(Form->History.DiagramQuantity, OldQuantity);
    Answer = true;
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(ErrorBoxes, std::vector<QString>{SaveMessage(Folder->Path(), readOnly + QLatin1Char('.'))});
    EXPECT_EQ(Questions, std::vector<QString>{CloseQuestion});
    ExpectOldFileWhole({HistoryFileName});
}

// A file that holds the copy byte for byte is not written again: a read-only folder closes
// without a word, until the copy changes.
TEST_F(FileSystemFault, ReadOnlyFolderHoldingTheCopyClosesWithoutAQuestion)
{
    const QByteArray canonical = HistoryFileBytes(OldImage, OldQuantity);
    ASSERT_TRUE(WriteFileBytes(Folder->File(HistoryFileName), canonical));
    ASSERT_TRUE(Folder->MakeReadOnly());
    OpenWindow();
    EXPECT_TRUE(Form->close());
    EXPECT_TRUE(ErrorBoxes.empty());
    EXPECT_TRUE(Questions.empty());
    EXPECT_EQ(ReadFileBytes(Folder->File(HistoryFileName)), canonical);

    // Another quantity chosen: the copy differs from the file, which cannot be written.
    Form.reset();
    OpenWindow();
    Form->UpDown2->SetPosition(OldQuantity + 1);
    Form->UpDown2Click();
    ASSERT_NE(Form->History.DiagramQuantity, OldQuantity);
    Answer = true;
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(ErrorBoxes.size(), 1u);
    EXPECT_EQ(Questions, std::vector<QString>{CloseQuestion});
    EXPECT_EQ(ReadFileBytes(Folder->File(HistoryFileName)), canonical);
}

TEST(StaleTemporaries, OnlyTemporariesOfTheSameFileThatNoRunHoldsAreRemoved)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    const QDir dir(folder.Path());
    auto make = [&dir](const QString& name) { return WriteFileBytes(dir.filePath(name), "part"); };
    ASSERT_TRUE(make(QStringLiteral(".met.mtb.100-1.tmp"))); // left by a killed run
    ASSERT_TRUE(make(QStringLiteral(".met.mtb.100-2.tmp"))); // another one
    ASSERT_TRUE(make(QStringLiteral(".met.mtb.200-1.tmp"))); // a save running right now
    ASSERT_TRUE(make(QStringLiteral(".met.txt.100-1.tmp"))); // another file's
    ASSERT_TRUE(make(QStringLiteral("met.mtb.100-1.tmp")));  // not hidden: not ours
    ASSERT_TRUE(make(QStringLiteral(".met.mtb.tmp.keep")));  // not ours
    ASSERT_TRUE(dir.mkdir(QStringLiteral(".met.mtb.300-1.tmp")));
    ASSERT_EQ(::symlink("met.mtb.100-1.tmp",
                        QFile::encodeName(dir.filePath(QStringLiteral(".met.mtb.400-1.tmp"))).constData()),
              0);

    const int running =
        ::open(QFile::encodeName(dir.filePath(QStringLiteral(".met.mtb.200-1.tmp"))).constData(), O_RDONLY);
    ASSERT_GE(running, 0);
    ASSERT_EQ(::flock(running, LOCK_EX), 0);
    SaveHistoryFile(THistoryState{}, dir.filePath(HistoryFileName));
    ::close(running);

    EXPECT_EQ(
        FolderEntries(folder.Path()),
        (QStringList{QStringLiteral(".met.mtb.200-1.tmp"), QStringLiteral(".met.mtb.300-1.tmp"),
                     QStringLiteral(".met.mtb.400-1.tmp"), QStringLiteral(".met.mtb.tmp.keep"),
                     QStringLiteral(".met.txt.100-1.tmp"), HistoryFileName, QStringLiteral("met.mtb.100-1.tmp")}));
    EXPECT_EQ(ReadFileBytes(dir.filePath(QStringLiteral("met.mtb.100-1.tmp"))), "part");
}

} // namespace
