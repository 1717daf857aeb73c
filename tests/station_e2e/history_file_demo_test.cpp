// The demo as the user starts it, over a "met.mtb" this program did not write whole: cut short, or
// longer than its own. The window says so, keeps the file as it is until a complete download, and
// what it shows of the file goes into the weather archive once and stays there.
#include "archive/archive_store.h"
#include "core/history_file.h"
#include "demo/demo_setup.h"
#include "gui/error_box.h"
#include "tests/support/history_images.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <array>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

const QString KeptText =
    QStringLiteral(" Файл останется без изменений, пока память метеостанции не будет загружена полностью.");

// Record r of the image: hour r after `start`, indoor `indoor` + r % 10 degrees.
std::array<std::uint8_t, HistoryRecordSize> HourRecord(const QDateTime& start, int r, int indoor)
{
    const QDateTime t = start.addSecs(3600LL * r);
    return {static_cast<std::uint8_t>(indoor + r % 10),
            5,
            140,
            50,
            static_cast<std::uint8_t>(t.time().hour()),
            static_cast<std::uint8_t>(t.date().day()),
            static_cast<std::uint8_t>(t.date().month()),
            static_cast<std::uint8_t>(t.date().year() % 100)};
}

THistoryImage HourlyImage(const QDateTime& start, int indoor)
{
    THistoryImage image = testsupport::EmptyImage();
    for (int r = 0; r < HistoryRecordCount; ++r)
        testsupport::PutRecord(image, r, HourRecord(start, r, indoor));
    return image;
}

QString ShownPath()
{
    return QDir::toNativeSeparators(QDir::current().absoluteFilePath(HistoryFileName));
}

class DemoHistoryFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.Entered());
        gui::SetErrorBoxHook([this](const QString& text) { Boxes.push_back(text); });
    }
    void TearDown() override
    {
        Demo.reset();
        gui::SetErrorBoxHook({});
    }

    // The demo started on the file there is; true once the window has said what it says of it.
    bool Start()
    {
        Boxes.clear();
        Demo = std::make_unique<TDemo>();
        Demo->Form.SetQuestion([](const QString&) { return true; });
        Demo->Station.Model().SetBlockInterval(0ms);
        Demo->Show();
        return PumpUntil([this] { return !Boxes.empty(); });
    }

    // «Загрузить» or «Очистить» on the diagram page, once the station is there, to its end.
    void RunHistoryOperation(QPushButton* button, const std::uint8_t& active)
    {
        TForm1& f = Demo->Form;
        ASSERT_TRUE(PumpUntil([&] { return f.Station.StationDevice != nullptr && button->isEnabled(); }));
        QTabBar* tabs = f.PageControl1->TabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        ASSERT_EQ(f.PageControl1->ActivePageIndex(), PageIndex(TFormPage::Diagram));
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        ASSERT_EQ(active, 1);
        ASSERT_TRUE(PumpUntil([&] { return active == 0; }));
    }

    testsupport::TFreshCurrentFolder Folder;
    std::unique_ptr<TDemo> Demo;
    std::vector<QString> Boxes;
};

TEST_F(DemoHistoryFile, TheWholeRecordsOfACutFileGoIntoTheArchiveOnceAndOutliveAClear)
{
    const QDateTime start(QDate(2020, 1, 1), QTime(0, 0));
    const archive::THourKey first = archive::HourKey(start.date(), 0);
    // 1666 whole lines and six pairs of the next record: its date is not reached.
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, HistoryFileBytes(HourlyImage(start, 20), 1).left(30000)));
    ASSERT_TRUE(Start());
    EXPECT_EQ(Boxes,
              std::vector<QString>{
                  QStringLiteral("Файл «%1» неполный: прочитано записей: 1666 из 4096.").arg(ShownPath()) + KeptText});
    EXPECT_EQ(Demo->Form.LabeledEdit10->Text(), QStringLiteral("1666 (4096)"));
    const archive::THoldings held = Demo->Form.Core.Archive()->Holdings();
    EXPECT_EQ(held.Hours, 1666);
    EXPECT_EQ(held.First, first);
    EXPECT_EQ(held.Last, first + 1665);

    // The user's steps after which those hours were lost: the station cleared, downloaded, closed.
    RunHistoryOperation(Demo->Form.Button2, Demo->Form.Station.ClearActive);
    RunHistoryOperation(Demo->Form.Button1, Demo->Form.Station.DownloadActive);
    const QByteArray downloaded = HistoryFileBytes(Demo->Form.History.HistoryImage, Demo->Form.History.DiagramQuantity);
    EXPECT_TRUE(Demo->Form.close());
    Demo.reset();
    EXPECT_EQ(ReadFileBytes(HistoryFileName), downloaded);
    {
        archive::TArchiveStore store;
        const std::vector<archive::TArchiveHour> hours = store.Hours(first, first + 1665);
        ASSERT_EQ(hours.size(), 1666u);
        EXPECT_EQ(hours[1665].Values[0], 20 + 1665 % 10);
    }

    // A cut file at a later start is not taken in again: the hours keep their values.
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, HistoryFileBytes(HourlyImage(start, 40), 1).left(30000)));
    ASSERT_TRUE(Start());
    const std::vector<archive::TArchiveHour> hours = Demo->Form.Core.Archive()->Hours(first, first + 1665);
    ASSERT_EQ(hours.size(), 1666u);
    EXPECT_EQ(hours[0].Values[0], 20);
}

TEST_F(DemoHistoryFile, AnOversizedFileIsToldAndKeptUntilACompleteDownload)
{
    const QDateTime start(QDate(2021, 3, 1), QTime(0, 0));
    // The program's file, then more lines of records: 200,000 bytes.
    QByteArray bytes = HistoryFileBytes(HourlyImage(start, 20), 2);
    for (int r = HistoryRecordCount; bytes.size() < 200000; ++r) {
        bytes += "\r\n";
        for (const std::uint8_t b : HourRecord(start, r, 20))
            bytes += QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
    }
    ASSERT_EQ(bytes.size(), 200000);
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, bytes));

    ASSERT_TRUE(Start());
    EXPECT_EQ(Boxes,
              std::vector<QString>{QStringLiteral("Файл «%1» длиннее, чем его записывает программа: прочитаны "
                                                  "первые 4096 записей, остальное не прочитано.")
                                       .arg(ShownPath()) +
                                   KeptText});
    EXPECT_EQ(Demo->Form.LabeledEdit10->Text(), QStringLiteral("4096 (4096)"));
    EXPECT_EQ(Demo->Form.History.DiagramQuantity, 2);
    EXPECT_EQ(Demo->Form.Core.Archive()->Holdings().Hours, 4096);
    EXPECT_TRUE(Demo->Form.close());
    Demo.reset();
    EXPECT_EQ(ReadFileBytes(HistoryFileName), bytes);

    // Until a complete download replaces the copy.
    ASSERT_TRUE(Start());
    RunHistoryOperation(Demo->Form.Button1, Demo->Form.Station.DownloadActive);
    const QByteArray downloaded = HistoryFileBytes(Demo->Form.History.HistoryImage, 2);
    EXPECT_TRUE(Demo->Form.close());
    Demo.reset();
    EXPECT_EQ(ReadFileBytes(HistoryFileName), downloaded);
    EXPECT_EQ(downloaded.size(), HistoryFileSize);
}

} // namespace
