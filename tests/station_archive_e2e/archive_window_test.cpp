// The weather archive in the whole program: the window with its real controller, devices and read
// threads, the stand-in station on the simulated platform, the user's clicks. A download, a clear
// and a download again leave the first download's hours in the archive; the readings of pages 0
// and 4 become 5-minute samples; the copy of "met.mtb" is imported once; and trouble with the
// archive is told without holding up anything of "met.mtb".
#include "archive/archive_period.h"
#include "core/archive_records.h"
#include "core/history_file.h"
#include "core/report_reading.h"
#include "gui/error_box.h"
#include "station/archive_page.h"
#include "tests/support/archive_support.h"
#include "tests/support/e2e_support.h"

#include <QLabel>
#include <QPushButton>
#include <map>
#include <sqlite3.h>

using namespace std::chrono_literals;
using archivetest::StationHours;
using testsupport::PumpUntil;

namespace {

// What the archive must hold after merging the images in turn: each dated hour with the values
// of its last record.
std::vector<archive::THourRecord> Merged(const std::vector<THistoryImage>& images)
{
    std::map<archive::THourKey, archive::THourRecord> hours;
    for (const THistoryImage& image : images)
        for (const archive::THourRecord& hour : ArchiveHoursOfImage(image).Hours)
            hours[hour.Hour] = hour;
    std::vector<archive::THourRecord> result;
    for (const auto& [key, hour] : hours)
        result.push_back(hour);
    return result;
}

class ArchiveWindow : public e2e::StationE2E
{
protected:
    void SetUp() override
    {
        e2e::StationE2E::SetUp();
        gui::SetErrorBoxHook([this](const QString& text) { ErrorBoxes.push_back(text); });
        Station->Model().FillPlausibleHistory(30, {2024, 3, 7, 13, 0, 0}, 5);
    }
    void TearDown() override
    {
        e2e::StationE2E::TearDown();
        gui::SetErrorBoxHook({});
    }

    void ClickTabChecked(TFormPage page)
    {
        ClickTab(page);
        ASSERT_EQ(Form->PageControl1->ActivePageIndex(), PageIndex(page));
    }
    // The diagram page's download or clear, run to its end.
    void RunHistoryOperation(QPushButton* button, const std::uint8_t& active)
    {
        Station->Model().SetBlockInterval(0ms);
        ASSERT_TRUE(button->isEnabled());
        Click(button);
        ASSERT_TRUE(PumpUntil([&] { return active == 0; }, 20000));
    }
    void Download() { RunHistoryOperation(Form->Button1, Form->Station.DownloadActive); }

    std::vector<QString> ErrorBoxes;
};

TEST_F(ArchiveWindow, ADownloadAClearAndADownloadAgainKeepTheFirstDownloadsHours)
{
    // The computer's clock agrees with the station's.
    CreateForm();
    Form->SetClock([] { return QDateTime(QDate(2024, 3, 7), QTime(14, 0, 5)); });
    ConnectStation();
    ASSERT_EQ(Form->PageControl1->PageCount(), 7);
    EXPECT_EQ(Form->PageControl1->TabBar()->tabText(4), QStringLiteral("Архив"));
    EXPECT_EQ(Form->PageControl1->TabBar()->tabText(5), QStringLiteral("Публикация"));
    ClickTabChecked(TFormPage::Diagram);
    Download();
    const THistoryImage first = Station->Model().HistoryMemory();
    EXPECT_EQ(Form->History.HistoryImage, first);
    const std::size_t firstHours = Merged({first}).size();
    ASSERT_GT(firstHours, 600u);
    EXPECT_EQ(StationHours(Form->Core.Archive()->Connection()), Merged({first}));

    RunHistoryOperation(Form->Button2, Form->Station.ClearActive);
    // Three hours on, the station has logged three new records from the start of its memory.
    Station->Advance(3h);
    Download();
    const THistoryImage second = Station->Model().HistoryMemory();
    EXPECT_EQ(Form->LabeledEdit10->Text(), QStringLiteral("3 (4096)"));
    EXPECT_EQ(StationHours(Form->Core.Archive()->Connection()), Merged({first, second}));
    EXPECT_EQ(Merged({first, second}).size(), firstHours + 3);
    EXPECT_TRUE(ErrorBoxes.empty());

    // The archive page: the stream runs again, and the page shows the newest day and what the
    // archive holds.
    const std::size_t sentBefore = Sent.size();
    ClickTabChecked(TFormPage::Archive);
    ASSERT_GT(Sent.size(), sentBefore);
    EXPECT_EQ(LastCode(), 1);
    const TArchivePage* page = Form->ArchivePage1;
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(page->View().Period.First, QDate(2024, 3, 7));
    // The station's hours and the live samples' hour of the readings page.
    EXPECT_GE(Form->Core.Archive()->Holdings().Hours, static_cast<std::int64_t>(firstHours + 3));
    // Counted off the main thread: the line comes once the count has.
    EXPECT_TRUE(testsupport::PumpUntil(
        [&] { return page->HoldingsLabel->text() == archive::HoldingsText(Form->Core.Archive()->Holdings()); }));
    EXPECT_EQ(page->LastMergeLabel->text(),
              QStringLiteral("Последняя загрузка: новых часов 3, расхождений 0, пропущено записей с неверной датой 0"));
    EXPECT_TRUE(archive::HasValue(page->View().HourValues[16]));
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Streaming);
}

TEST_F(ArchiveWindow, ReadingsOfTheReadingsAndArchivePagesBecomeFiveMinuteSamples)
{
    QDateTime clock(QDate(2025, 11, 23), QTime(18, 41, 0));
    CreateForm();
    Form->SetClock([&clock] { return clock; });
    // Each report as the window took it, with the computer's time then.
    std::vector<std::pair<QDateTime, base::TStationReading>> readings;
    std::uint64_t sent = 0;
    auto take = [&] {
        ASSERT_TRUE(Settle());
        for (; sent < Station->Traffic().Sent; ++sent)
            readings.push_back({clock, ReadingOfReport(Form->Station.ReportImage, clock)});
    };
    auto report = [&](int minutes) {
        clock = clock.addSecs(qint64{60} * minutes);
        Station->Advance(1000ms);
        take();
    };
    ConnectStation();
    take();
    for (int i = 0; i < 3; ++i)
        report(1);                       // 18:42 .. 18:44
    ClickTabChecked(TFormPage::Archive); // the stream goes on
    take();
    report(1);                           // 18:45: the sample of 18:40 is written
    report(2);                           // 18:47
    ClickTabChecked(TFormPage::Diagram); // the stream stops: the sample of 18:45 is written
    take();
    clock = clock.addSecs(600);
    Station->Advance(5000ms); // nothing comes on the diagram page
    take();
    ClickTabChecked(TFormPage::Readings);
    report(0); // 18:57, an interval still open
    ASSERT_EQ(readings.back().first.time(), QTime(18, 57));

    // The samples the readings make, interval by interval.
    std::map<int, std::vector<base::TStationReading>> intervals;
    for (const auto& [time, reading] : readings)
        if (time.time() < QTime(18, 50))
            intervals[time.time().minute() / 5 * 5].push_back(reading);
    ASSERT_EQ(intervals.size(), 2u);
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(Form->Core.Archive()->Connection(),
                                 "SELECT minute, reports, indoor, indoor_count, outdoor, outdoor_count, pressure,"
                                 " pressure_count, humidity, humidity_count FROM samples ORDER BY minute",
                                 -1, &s, nullptr),
              SQLITE_OK);
    const archive::THourKey hour = archive::HourKey(QDate(2025, 11, 23), 18);
    for (const auto& [start, taken] : intervals) {
        ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int64(s, 0), hour * 60 + start);
        EXPECT_EQ(sqlite3_column_int(s, 1), static_cast<int>(taken.size()));
        for (int q = 0; q < base::QuantityCount; ++q) {
            double sum = 0;
            int count = 0;
            for (const base::TStationReading& reading : taken) {
                if (const auto value = reading.Values[static_cast<std::size_t>(q)]) {
                    sum += *value;
                    ++count;
                }
            }
            ASSERT_GT(count, 0);
            EXPECT_DOUBLE_EQ(sqlite3_column_double(s, 2 + 2 * q), sum / count) << q;
            EXPECT_EQ(sqlite3_column_int(s, 3 + 2 * q), count) << q;
        }
    }
    EXPECT_EQ(sqlite3_step(s), SQLITE_DONE);
    sqlite3_finalize(s);
    EXPECT_EQ(Form->Core.Archive()->Hours(hour, hour).size(), 1u);
}

TEST_F(ArchiveWindow, TheCopyInMetMtbIsImportedAtTheFirstStartOnly)
{
    const THistoryImage copy = Station->Model().HistoryMemory();
    ASSERT_TRUE(testsupport::WriteFileBytes(HistoryFileName, HistoryFileBytes(copy, 2)));
    CreateForm();
    EXPECT_TRUE(Form->Core.Archive()->Imported());
    EXPECT_EQ(StationHours(Form->Core.Archive()->Connection()), Merged({copy}));
    EXPECT_EQ(Form->ArchivePage1->Quantity(), base::TQuantity::Pressure);
    EXPECT_TRUE(Form->close());
    Form.reset();

    // Another copy in "met.mtb" at the next start (put there by hand) is not imported.
    THistoryImage other = copy;
    for (int r = 0; r < HistoryRecordCount; ++r)
        other[std::size_t{8} * static_cast<std::size_t>(r)] = 30;
    ASSERT_TRUE(testsupport::WriteFileBytes(HistoryFileName, HistoryFileBytes(other, 2)));
    CreateForm();
    EXPECT_EQ(StationHours(Form->Core.Archive()->Connection()), Merged({copy}));
    EXPECT_TRUE(ErrorBoxes.empty());
}

TEST_F(ArchiveWindow, ADamagedArchiveIsToldAndPutAsideAndTheHistoryGoesOn)
{
    ASSERT_TRUE(testsupport::WriteFileBytes(archive::ArchiveFileName, QByteArray(5000, 'x')));
    ConnectStation();
    ASSERT_TRUE(PumpUntil([this] { return !ErrorBoxes.empty(); }));
    const QStringList aside = QDir(Folder.Path()).entryList({QStringLiteral("meteo-archive.damaged-*.sqlite")});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(
        ErrorBoxes,
        std::vector<QString>{
            QStringLiteral("Архив «%1» не читается: файл не является базой данных. "
                           "Файл сохранён под именем «%2», начат новый архив.")
                .arg(QDir::toNativeSeparators(QDir(Folder.Path()).filePath(archive::ArchiveFileName)), aside[0])});
    EXPECT_EQ(testsupport::ReadFileBytes(aside[0]), QByteArray(5000, 'x'));

    ClickTabChecked(TFormPage::Diagram);
    Download();
    EXPECT_EQ(StationHours(Form->Core.Archive()->Connection()), Merged({Station->Model().HistoryMemory()}));
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(testsupport::ReadFileBytes(HistoryFileName), HistoryFileBytes(Station->Model().HistoryMemory(), 0));
}

TEST_F(ArchiveWindow, AnArchiveBusyWithAnotherProgramIsToldAndTheDownloadStillCounts)
{
    ConnectStation();
    ClickTabChecked(TFormPage::Diagram);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(archive::ArchiveFileName.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Download();
    // The copy and its file are as after any download.
    EXPECT_EQ(Form->History.HistoryImage, Station->Model().HistoryMemory());
    EXPECT_EQ(Form->Station.HistoryComplete, 1);
    EXPECT_TRUE(Form->Button1->isEnabled());
    ASSERT_TRUE(PumpUntil([this] { return !ErrorBoxes.empty(); }));
    EXPECT_EQ(ErrorBoxes,
              std::vector<QString>{
                  QStringLiteral("Загруженная история не добавлена в архив «%1»: "
                                 "архив занят другой программой.")
                      .arg(QDir::toNativeSeparators(QDir(Folder.Path()).filePath(archive::ArchiveFileName)))});
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(StationHours(Form->Core.Archive()->Connection()).empty());
    // The next download goes in.
    Download();
    EXPECT_EQ(StationHours(Form->Core.Archive()->Connection()), Merged({Station->Model().HistoryMemory()}));
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(testsupport::ReadFileBytes(HistoryFileName), HistoryFileBytes(Station->Model().HistoryMemory(), 0));
}

} // namespace
