// The diagram page's history handling end to end: the window with its real HID controller and
// read thread over the simulated platform, the stand-in station plugged in, the user's clicks,
// and the files "met.mtb" and "met.txt" in a fresh current directory for every test.
#include "core/history_export.h"
#include "core/history_file.h"
#include "gui/error_box.h"
#include "hid/device_controller.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"
#include "tests/support/history_images.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using testsupport::PumpUntil;
using testsupport::ReadFileBytes;
using testsupport::SmallHistoryImage;
using testsupport::WriteFileBytes;

namespace {

// The station's clock and the end of its plausible history: 7 March 2024, 14:30.
const simulator::TStationDateTime StationClock{2024, 3, 7, 14, 30, 0};
const simulator::TStationDateTime HistoryEnd{2024, 3, 7, 14, 0, 0};
constexpr auto BlockStep = 10ms;

class HistoryPage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.Entered());
        gui::SetErrorBoxHook([this](const QString& text) { ErrorBoxes.push_back(text); });
        Station = std::make_unique<simulator::TSimStation>(Platform, 3, StationClock);
        Station->Model().FillPlausibleHistory(60, HistoryEnd, 11);
        Station->Model().SetBlockInterval(BlockStep);
    }

    void TearDown() override
    {
        Form.reset();
        Station.reset();
        gui::SetErrorBoxHook({});
    }

    void OpenWindow()
    {
        Form = std::make_unique<TForm1>(Platform);
        Form->SetQuestion([this](const QString& text) {
            Questions.push_back(text);
            return Answer;
        });
        Form->show();
    }

    // Every report the station has sent has been handled and the next read waits.
    void Drain() { Drain(*Station); }
    void Drain(const simulator::TSimStation& station)
    {
        const hidplatform::SimDeviceId id = station.DeviceId();
        ASSERT_TRUE(PumpUntil([&] { return Platform.QueuedInputReports(id) == 0 && Platform.WaitingReads(id) == 1; }));
    }

    void PlugStation()
    {
        Station->Plug();
        ASSERT_TRUE(PumpUntil([&] { return Form->Station.StationDevice != nullptr; }));
        Drain(); // the first readings report, on the readings page
    }

    void ClickTab(TFormPage page)
    {
        QTabBar* tabs = Form->PageControl1->TabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(PageIndex(page)).center());
        ASSERT_EQ(Form->PageControl1->ActivePageIndex(), PageIndex(page));
    }

    static void Click(QPushButton* button)
    {
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    // The whole download at once, waited for.
    void Download()
    {
        Station->Model().SetBlockInterval(0ms);
        Click(Form->Button1);
        ASSERT_TRUE(PumpUntil([&] { return Form->Station.DownloadActive == 0; }));
        Station->Model().SetBlockInterval(BlockStep);
    }

    // Lets the station send its next paced report and waits until the window has taken it.
    void NextBlock(std::int32_t blockCount)
    {
        Station->Advance(BlockStep);
        ASSERT_TRUE(PumpUntil([&] { return Form->Station.BlockCount == blockCount; }));
    }

    void ExpectButtonsAfterAnOperation()
    {
        TForm1& f = *Form;
        EXPECT_TRUE(f.PageControl1->isEnabled());
        for (QPushButton* b : {f.Button1, f.Button2, f.Button3, f.Button6})
            EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
        for (QPushButton* b : {f.Button4, f.Button5, f.Button7})
            EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    }

    void ExpectLocked()
    {
        TForm1& f = *Form;
        EXPECT_FALSE(f.PageControl1->isEnabled());
        for (QPushButton* b : {f.Button1, f.Button2, f.Button3, f.Button4, f.Button5, f.Button6, f.Button7})
            EXPECT_FALSE(b->isEnabledTo(f.TabSheet2->parentWidget())) << b->objectName().toStdString();
    }

    QString RecordsText() const { return QString::number(Station->Model().NextRecord()) + QStringLiteral(" (4096)"); }

    testsupport::TFreshCurrentFolder Folder;
    hidplatform::SimPlatform Platform;
    std::unique_ptr<simulator::TSimStation> Station;
    std::unique_ptr<TForm1> Form;
    std::vector<QString> ErrorBoxes;
    std::vector<QString> Questions;
    bool Answer = false;
};

TEST_F(HistoryPage, DownloadShowsItsProgressThenTheNewestDay)
{
    OpenWindow();
    PlugStation();
    ClickTab(TFormPage::Diagram);
    const THistoryImage memory = Station->Model().HistoryMemory();

    Click(Form->Button1);
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.BlockCount == 1; })); // the first block comes at once
    std::vector<QString> captions{Form->Button1->text()};
    EXPECT_EQ(Form->Station.DownloadActive, 1);
    EXPECT_EQ(Form->Station.HistoryComplete, 0);
    ExpectLocked();
    for (std::int32_t k = 2; k < HistoryBlockCount; ++k) {
        NextBlock(k);
        captions.push_back(Form->Button1->text());
    }
    Station->Advance(BlockStep);
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.DownloadActive == 0; }));
    captions.push_back(Form->Button1->text());

    ASSERT_EQ(captions.size(), 512u);
    const std::vector<std::pair<int, const char*>> samples{{1, "0%"},    {2, "0%"},    {3, "1%"},
                                                           {64, "12%"},  {192, "38%"}, {256, "50%"},
                                                           {320, "62%"}, {448, "88%"}, {511, "100%"}};
    for (const auto& [blocks, text] : samples)
        EXPECT_EQ(captions[static_cast<std::size_t>(blocks - 1)], QString::fromLatin1(text)) << blocks;
    for (std::size_t i = 1; i + 1 < captions.size(); ++i)
        EXPECT_LE(captions[i - 1].chopped(1).toInt(), captions[i].chopped(1).toInt()) << i;
    EXPECT_EQ(captions.back(), QStringLiteral("Загрузить"));

    TForm1& f = *Form;
    EXPECT_EQ(f.History.HistoryImage, memory);
    EXPECT_EQ(f.Station.HistoryComplete, 1);
    EXPECT_EQ(f.Station.BlockCount, 0);
    ExpectButtonsAfterAnOperation();
    EXPECT_EQ(f.LabeledEdit10->Text(), RecordsText());
    EXPECT_EQ(f.LabeledEdit9->Text(), QStringLiteral("07.03.24"));
    EXPECT_EQ(f.Button2->text(), QStringLiteral("Очистить"));
}

TEST_F(HistoryPage, ClosingAfterADownloadWritesACopyThatReadsBackByteForByte)
{
    OpenWindow();
    PlugStation();
    ClickTab(TFormPage::Diagram);
    Form->UpDown2->SetPosition(0);
    Download();
    const THistoryImage memory = Station->Model().HistoryMemory();
    EXPECT_TRUE(Form->close());

    const QByteArray file = ReadFileBytes(HistoryFileName);
    EXPECT_EQ(file, HistoryFileBytes(memory, 0));
    THistoryState reloaded;
    reloaded.DiagramQuantity = 9;
    EXPECT_EQ(LoadHistoryFile(reloaded).Outcome, THistoryLoadOutcome::Loaded);
    EXPECT_EQ(reloaded.HistoryImage, memory);
    EXPECT_EQ(reloaded.DiagramQuantity, 0);
    // The station was told to be quiet, then let go.
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Idle);
    EXPECT_EQ(Platform.OpenHandleCount(Station->DeviceId()), 0);
}

TEST_F(HistoryPage, ClearLeavesTheCopyAsItWasAndCountsItAgain)
{
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, HistoryFileBytes(SmallHistoryImage(), 2)));
    OpenWindow();
    EXPECT_EQ(Form->LabeledEdit10->Text(), QStringLiteral("3 (4096)"));
    EXPECT_EQ(Form->LabeledEdit9->Text(), QStringLiteral("05.12.16"));
    EXPECT_EQ(Form->UpDown2->Position(), 2);
    PlugStation();
    ClickTab(TFormPage::Diagram);
    // Stale texts show that the end of the clear recomputes them.
    Form->LabeledEdit9->SetText(QStringLiteral("x"));
    Form->LabeledEdit10->SetText(QStringLiteral("x"));

    Answer = true; // to the question before the clear
    Click(Form->Button2);
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.BlockCount == 1; }));
    EXPECT_EQ(Form->Button2->text(), QStringLiteral("0%"));
    EXPECT_EQ(Form->Button1->text(), QStringLiteral("Загрузить"));
    ExpectLocked();
    for (std::int32_t k = 2; k <= 64; ++k)
        NextBlock(k);
    EXPECT_EQ(Form->Button2->text(), QStringLiteral("12%"));
    Station->Advance(10s);
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.ClearActive == 0; }));

    TForm1& f = *Form;
    EXPECT_EQ(f.Button2->text(), QStringLiteral("Очистить"));
    EXPECT_EQ(f.History.HistoryImage, SmallHistoryImage());
    EXPECT_EQ(f.Station.HistoryComplete, 1);
    EXPECT_EQ(f.Station.BlockCount, 0);
    EXPECT_EQ(f.LabeledEdit10->Text(), QStringLiteral("3 (4096)"));
    EXPECT_EQ(f.LabeledEdit9->Text(), QStringLiteral("05.12.16"));
    ExpectButtonsAfterAnOperation();
    EXPECT_EQ(Station->Model().NextRecord(), 0u); // the station's memory is empty now

    EXPECT_TRUE(f.close());
    EXPECT_EQ(ReadFileBytes(HistoryFileName), HistoryFileBytes(SmallHistoryImage(), 2));
}

// «Очистить» erases hours no download may have brought over: it asks first, naming the last complete
// download (kept from one run to the next), and «Нет» leaves the station's memory as it is.
TEST_F(HistoryPage, ClearAsksFirstNamingTheLastCompleteDownload)
{
    const QDateTime downloaded(QDate(2025, 11, 23), QTime(18, 42, 9));
    const auto question = [](const QString& since) {
        return QStringLiteral("Стереть память метеостанции? Часы, записанные после последней полной загрузки (%1), "
                              "пропадут.")
            .arg(since);
    };
    OpenWindow();
    Form->SetClock([&] { return downloaded; });
    PlugStation();
    ClickTab(TFormPage::Diagram);
    const std::uint32_t records = Station->Model().NextRecord();
    ASSERT_GT(records, 0u);

    Answer = false;
    Click(Form->Button2);
    EXPECT_EQ(Questions, std::vector<QString>{question(QStringLiteral("загрузок ещё не было"))});
    Drain();
    EXPECT_EQ(Form->Station.ClearActive, 0);
    EXPECT_EQ(Form->Button2->text(), QStringLiteral("Очистить"));
    ExpectButtonsAfterAnOperation();
    EXPECT_EQ(Station->Model().NextRecord(), records);

    Download();
    Click(Form->Button2);
    ASSERT_EQ(Questions.size(), 2u);
    EXPECT_EQ(Questions[1], question(QStringLiteral("23.11.2025 18:42")));
    EXPECT_EQ(Station->Model().NextRecord(), records);
    EXPECT_TRUE(Form->close());
    Form.reset();

    // The next run knows it too; «Да» clears.
    Questions.clear();
    OpenWindow();
    PlugStation();
    ClickTab(TFormPage::Diagram);
    Answer = true;
    Click(Form->Button2);
    EXPECT_EQ(Questions, std::vector<QString>{question(QStringLiteral("23.11.2025 18:42"))});
    Station->Advance(10s);
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.ClearActive == 0 && Form->Station.BlockCount == 0; }));
    EXPECT_EQ(Station->Model().NextRecord(), 0u);
}

TEST_F(HistoryPage, UnplugDuringADownloadEndsItAndLeavesTheCopyAsItWas)
{
    const QByteArray original = HistoryFileBytes(SmallHistoryImage(), 3);
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, original));
    OpenWindow();
    PlugStation();
    ClickTab(TFormPage::Diagram);
    Click(Form->Button1);
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.BlockCount == 1; }));
    for (std::int32_t k = 2; k <= 100; ++k)
        NextBlock(k);
    ASSERT_NE(Form->History.HistoryImage, SmallHistoryImage());

    Station->Unplug();
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.StationDevice == nullptr; }));
    TForm1& f = *Form;
    EXPECT_EQ(f.Station.DownloadActive, 0);
    EXPECT_EQ(f.Station.BlockCount, 0);
    EXPECT_EQ(f.Station.HistoryComplete, 1);
    EXPECT_EQ(f.History.HistoryImage, SmallHistoryImage());
    EXPECT_EQ(f.Button1->text(), QStringLiteral("Загрузить"));
    EXPECT_TRUE(f.PageControl1->isEnabled());
    EXPECT_EQ(f.Panel1->Caption(), QStringLiteral("Метеостанция отключена"));
    for (QPushButton* b : {f.Button1, f.Button2, f.Button4, f.Button5, f.Button6, f.Button7})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(f.Button3->isEnabled());

    // Plugged in again on the diagram page: the station streams readings, which are no blocks.
    Station->Plug();
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.StationDevice != nullptr; }));
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Streaming);
    Station->Advance(5s);
    Drain();
    EXPECT_EQ(f.PageControl1->ActivePageIndex(), PageIndex(TFormPage::Diagram));
    EXPECT_EQ(f.History.HistoryImage, SmallHistoryImage());
    EXPECT_EQ(f.Station.BlockCount, 0);
    EXPECT_EQ(f.Button1->text(), QStringLiteral("Загрузить"));
    EXPECT_TRUE(f.Button1->isEnabled());

    // The copy as it was is what the close keeps.
    EXPECT_TRUE(f.close());
    EXPECT_EQ(ReadFileBytes(HistoryFileName), original);
}

TEST_F(HistoryPage, ClosingDuringADownloadKeepsTheFileAsItWas)
{
    const QByteArray original = HistoryFileBytes(SmallHistoryImage(), 2);
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, original));
    OpenWindow();
    PlugStation();
    ClickTab(TFormPage::Diagram);
    Click(Form->Button1);
    for (std::int32_t k = 2; k <= 30; ++k)
        NextBlock(k);
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(ReadFileBytes(HistoryFileName), original);
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Idle); // told to stop sending
}

TEST_F(HistoryPage, UnplugDuringAClearEndsIt)
{
    OpenWindow();
    PlugStation();
    ClickTab(TFormPage::Diagram);
    const THistoryImage before = Form->History.HistoryImage;
    Answer = true; // to the question before the clear
    Click(Form->Button2);
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.BlockCount == 1; }));
    NextBlock(2);
    Station->Unplug();
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.StationDevice == nullptr; }));
    EXPECT_EQ(Form->Station.ClearActive, 0);
    EXPECT_EQ(Form->Station.BlockCount, 0);
    EXPECT_EQ(Form->Button2->text(), QStringLiteral("Очистить"));
    EXPECT_TRUE(Form->PageControl1->isEnabled());
    EXPECT_TRUE(Form->Button3->isEnabled());
    EXPECT_FALSE(Form->Button2->isEnabled());
    EXPECT_EQ(Form->History.HistoryImage, before);
}

TEST_F(HistoryPage, AnotherDeviceArrivingDuringADownloadLeavesItRunning)
{
    OpenWindow();
    PlugStation();
    ClickTab(TFormPage::Diagram);
    Click(Form->Button1);
    for (std::int32_t k = 2; k <= 10; ++k)
        NextBlock(k);
    hidplatform::SimDeviceConfig mouse;
    mouse.VendorID = 0x046D;
    mouse.ProductID = 0xC077;
    mouse.ProductString = u"USB Optical Mouse";
    Platform.PlugDevice(mouse);
    ASSERT_TRUE(PumpUntil([&] { return Form->HidDeviceController1->DeviceCount() == 2; }));
    // The station is matched again, but keeps sending its memory and the page stays locked.
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Downloading);
    ExpectLocked();
    Station->Advance(10s);
    ASSERT_TRUE(PumpUntil([&] { return Form->Station.DownloadActive == 0; }));
    EXPECT_EQ(Form->History.HistoryImage, Station->Model().HistoryMemory());
    EXPECT_EQ(Form->Station.HistoryComplete, 1);
}

TEST_F(HistoryPage, StartUpWithoutAFileShowsNoRecordsAndTodayAndClosingWritesTheEmptyCopy)
{
    OpenWindow();
    TForm1& f = *Form;
    EXPECT_EQ(f.LabeledEdit10->Text(), QStringLiteral("0 (4096)"));
    EXPECT_EQ(f.LabeledEdit9->Text(), QDate::currentDate().toString(QStringLiteral("dd.MM.yy")));
    EXPECT_EQ(f.UpDown2->Position(), 0);
    EXPECT_EQ(f.Station.HistoryComplete, 1);
    EXPECT_TRUE(ErrorBoxes.empty());
    EXPECT_TRUE(f.close());
    THistoryImage empty;
    empty.fill(255);
    EXPECT_EQ(ReadFileBytes(HistoryFileName), HistoryFileBytes(empty, 0));
}

TEST_F(HistoryPage, StartUpTakesAQuantityBeyondTheDiagramsAsTheFirst)
{
    QByteArray bytes = HistoryFileBytes(SmallHistoryImage(), 0);
    bytes.chop(2);
    bytes += "07";
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, bytes));
    OpenWindow();
    EXPECT_EQ(Form->History.DiagramQuantity, 0);
    EXPECT_EQ(Form->UpDown2->Position(), 0);
    EXPECT_EQ(Form->LabeledEdit10->Text(), QStringLiteral("3 (4096)"));
}

// A "met.mtb" that is not whole: the user is told which file and what is wrong with it, once the
// window is up; the window works on what was read, never on made-up records; and the file stays as
// it is until a complete download replaces the copy.
TEST_F(HistoryPage, DamagedFilesAreToldKeptAsTheyAreAndTheWindowWorksOnWhatWasRead)
{
    const THistoryImage memory = Station->Model().HistoryMemory();
    const QString path = QDir::toNativeSeparators(QDir::current().absoluteFilePath(HistoryFileName));
    const QString kept =
        QStringLiteral(" Файл останется без изменений, пока память метеостанции не будет загружена полностью.");
    THistoryImage empty;
    empty.fill(255);
    const THistoryImage small = SmallHistoryImage();
    THistoryImage twoRecords = empty;
    std::copy(small.begin(), small.begin() + 16, twoRecords.begin());
    QByteArray badPair = HistoryFileBytes(SmallHistoryImage(), 1);
    badPair.replace(qsizetype{2} * 18, 2, "Z9"); // first pair of line 3

    struct TCase
    {
        const char* Name;
        QByteArray Bytes;    // the file
        bool Folder;         // a folder in the file's place instead
        QString Told;        // the box, empty for none
        THistoryImage Image; // the copy the window works on
        QString Records;     // «Сохранения»
        QString Day;         // the diagram's day
    };
    const TCase cases[] = {
        // Cut short (a full disk, a copy broken off): 2778 whole records and two pairs of the next.
        {"Truncated", HistoryFileBytes(memory, 2).left(50009), false,
         QStringLiteral("Файл «%1» неполный: прочитано записей: 2778 из 4096.").arg(path) + kept, memory, RecordsText(),
         QStringLiteral("07.03.24")},
        // Nothing in it: no records, nothing lost.
        {"Empty",
         {},
         false,
         {},
         empty,
         QStringLiteral("0 (4096)"),
         QDate::currentDate().toString(QStringLiteral("dd.MM.yy"))},
        {"Folder",
         {},
         true,
         QStringLiteral("Не удалось прочитать файл «%1»: на его месте папка, а не файл.").arg(path) + kept,
         empty,
         QStringLiteral("0 (4096)"),
         QDate::currentDate().toString(QStringLiteral("dd.MM.yy"))},
        {"BadPair", badPair, false,
         QStringLiteral("Файл «%1», строка 3: «$Z9» не является шестнадцатеричным числом.").arg(path) + kept,
         twoRecords, QStringLiteral("2 (4096)"), QStringLiteral("05.12.16")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ErrorBoxes.clear();
        QFile::remove(HistoryFileName);
        if (c.Folder)
            ASSERT_TRUE(QDir().mkdir(HistoryFileName));
        else
            ASSERT_TRUE(WriteFileBytes(HistoryFileName, c.Bytes));
        OpenWindow();
        TForm1& f = *Form;
        EXPECT_TRUE(ErrorBoxes.empty()); // not from inside the window's creation
        if (!c.Told.isEmpty()) {
            ASSERT_TRUE(PumpUntil([&] { return !ErrorBoxes.empty(); }, 20000));
            EXPECT_EQ(ErrorBoxes, std::vector<QString>{c.Told});
        }
        EXPECT_EQ(f.History.HistoryImage, c.Image);
        EXPECT_EQ(f.LabeledEdit10->Text(), c.Records);
        EXPECT_EQ(f.LabeledEdit9->Text(), c.Day);
        EXPECT_EQ(f.UpDown2->Position(), 0); // the quantity line was not reached
        EXPECT_EQ(f.Station.HistoryComplete, c.Told.isEmpty() ? 1 : 0);
        // The day arrows step from that day.
        ClickTab(TFormPage::Diagram);
        const QDate day = QDate::fromString(c.Day, QStringLiteral("dd.MM.yy")).addYears(100);
        QTest::mouseClick(f.UpDown1->RightButton(), Qt::LeftButton);
        EXPECT_EQ(f.LabeledEdit9->Text(), day.addDays(1).toString(QStringLiteral("dd.MM.yy")));
        // Closing keeps a damaged file as it is.
        EXPECT_TRUE(f.close());
        if (c.Folder) {
            EXPECT_TRUE(QFileInfo(HistoryFileName).isDir());
        } else {
            EXPECT_EQ(ReadFileBytes(HistoryFileName), c.Told.isEmpty() ? HistoryFileBytes(empty, 0) : c.Bytes);
        }
        EXPECT_EQ(ErrorBoxes.size(), c.Told.isEmpty() ? 0u : 1u);
        Form.reset();
        if (c.Folder) {
            ASSERT_TRUE(QDir().rmdir(HistoryFileName));
        }
    }

    // Until a complete download: then the copy is whole and replaces the cut file at close.
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, cases[0].Bytes));
    OpenWindow();
    ASSERT_TRUE(PumpUntil([&] { return ErrorBoxes.size() == 1; }, 20000));
    PlugStation();
    ClickTab(TFormPage::Diagram);
    Download();
    EXPECT_EQ(Form->Station.HistoryComplete, 1);
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(ReadFileBytes(HistoryFileName), HistoryFileBytes(memory, 0));
}

TEST_F(HistoryPage, AFullDownloadAfterABadPairIsSavedAgain)
{
    QByteArray bytes = HistoryFileBytes(SmallHistoryImage(), 1);
    bytes[5] = 'g';
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, bytes));
    OpenWindow();
    PlugStation();
    ClickTab(TFormPage::Diagram);
    Download();
    EXPECT_EQ(Form->Station.HistoryComplete, 1);
    EXPECT_TRUE(Form->close());
    // The quantity line lay beyond the bad pair: the first quantity.
    EXPECT_EQ(ReadFileBytes(HistoryFileName), HistoryFileBytes(Station->Model().HistoryMemory(), 0));
}

TEST_F(HistoryPage, UnwritableCopyAtCloseAsksAndNoKeepsTheWindowOpen)
{
    OpenWindow();
    PlugStation();
    // The file's place is taken after the start-up read.
    ASSERT_TRUE(QDir().mkdir(HistoryFileName));

    Answer = false;
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->isVisible());
    ASSERT_EQ(ErrorBoxes.size(), 1u);
    EXPECT_TRUE(ErrorBoxes[0].contains(QStringLiteral("met.mtb"))) << ErrorBoxes[0].toStdString();
    ASSERT_EQ(Questions.size(), 1u);
    EXPECT_EQ(
        Questions[0],
        QStringLiteral("Не удалось сохранить память метеостанции в файл met.mtb. Закрыть программу без сохранения?"));
    EXPECT_EQ(Form->Station.Closing, 0);
    EXPECT_NE(Form->Station.StationDevice, nullptr);
    // Still on the readings page: the stream was started again after the close's code 5.
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Streaming);
    EXPECT_EQ(QDir(Folder.Path()).entryList({QStringLiteral(".met.mtb.*.tmp")}, QDir::Files | QDir::Hidden).size(), 0);

    Answer = true;
    EXPECT_TRUE(Form->close());
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(ErrorBoxes.size(), 2u);
    EXPECT_EQ(Questions.size(), 2u);
    EXPECT_EQ(Form->Station.Closing, 1);
    EXPECT_EQ(Form->Station.StationDevice, nullptr);
}

TEST_F(HistoryPage, TheCopyOfTheLastRunIsExportedWithoutAStation)
{
    // Empty records alone leave nothing to export.
    THistoryImage empty;
    empty.fill(255);
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, HistoryFileBytes(empty, 0)));
    OpenWindow();
    EXPECT_FALSE(Form->Button3->isEnabled());
    ASSERT_TRUE(Form->close());

    // Dated records: "Сохранить" alone is on from the start, and writes the copy.
    ASSERT_TRUE(WriteFileBytes(HistoryFileName, HistoryFileBytes(SmallHistoryImage(), 0)));
    OpenWindow();
    ClickTab(TFormPage::Diagram);
    EXPECT_EQ(Form->Station.StationDevice, nullptr);
    for (QPushButton* b : {Form->Button1, Form->Button2, Form->Button4, Form->Button5, Form->Button6, Form->Button7})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    Click(Form->Button3);
    EXPECT_EQ(ReadFileBytes(HistoryExportFileName), HistoryExportBytes(SmallHistoryImage()));
    EXPECT_TRUE(ErrorBoxes.empty());
}

TEST_F(HistoryPage, ExportWritesTheDownloadedCopyOrReportsWhyNot)
{
    OpenWindow();
    PlugStation();
    ClickTab(TFormPage::Diagram);
    Download();
    Click(Form->Button3);
    const QByteArray text = ReadFileBytes(HistoryExportFileName);
    EXPECT_EQ(text, HistoryExportBytes(Station->Model().HistoryMemory()));
    EXPECT_EQ(text.count("\r\n"), static_cast<qsizetype>(Station->Model().NextRecord()));
    EXPECT_TRUE(ErrorBoxes.empty());
    // Where the file went is shown at once, whole, over the chart, with no box to close.
    const QLabel* notice = Form->ExportNotice;
    const QString path = QDir::toNativeSeparators(QDir::current().absoluteFilePath(HistoryExportFileName));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->text(), QStringLiteral("Файл met.txt сохранён:\n") + path);
    EXPECT_TRUE(Form->Chart1->geometry().contains(notice->geometry()));
    EXPECT_GE(notice->height(), notice->heightForWidth(notice->width()));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // It goes with the next page.
    ClickTab(TFormPage::Readings);
    EXPECT_FALSE(notice->isVisible());
    ClickTab(TFormPage::Diagram);

    ASSERT_TRUE(QFile::remove(HistoryExportFileName));
    ASSERT_TRUE(QDir().mkdir(HistoryExportFileName));
    Click(Form->Button3);
    ASSERT_EQ(ErrorBoxes.size(), 1u);
    EXPECT_TRUE(ErrorBoxes[0].contains(QStringLiteral("met.txt"))) << ErrorBoxes[0].toStdString();
    EXPECT_FALSE(notice->isVisible());
}

} // namespace
