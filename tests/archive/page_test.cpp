// The archive page as the user works it: the newest day first, the period chosen and stepped, a
// date jumped to, the quantity turned; the chart's bars, the statistics and the holdings line; the
// CSV and PNG written where the user chose, the folder remembered with the archive; hours the
// station dated in the future set apart and removed on request; and the page of a program
// without an archive.
#include "archive/archive_csv.h"
#include "chart/chart.h"
#include "gui/error_box.h"
#include "gui/qt_texts.h"
#include "gui/radio_group.h"
#include "gui/up_down.h"
#include "station/archive_page.h"
#include "station/range_bar_series.h"
#include "tests/support/archive_support.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

using namespace archive;

namespace {

const QDate Newest(2025, 11, 23);

class ArchivePage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.Entered());
        Store = std::make_unique<TArchiveStore>(QDir(Folder.Path()).filePath(ArchiveFileName));
        // Forty days of the station's hours up to 23.11.2025 18:00: indoor 20 + the day's number
        // in the month's tenth, outdoor following the hour; and live samples of 23.11 19:00.
        std::vector<THourRecord> hours;
        for (THourKey h = HourKey(Newest.addDays(-40), 0); h <= HourKey(Newest, 18); ++h) {
            const QDate date = DateOfHour(h);
            hours.push_back({h, {20 + date.day() % 10, HourOfDay(h) - 12, 745, std::nullopt}});
        }
        ASSERT_TRUE(Store->Merge(hours).Ok);
        TSample sample;
        sample.Start = HourKey(Newest, 19) * 60;
        sample.Reports = 12;
        sample.Mean = {25.5, 1, 750, 40};
        sample.Count = {12, 12, 12, 12};
        ASSERT_TRUE(Store->AddSample(sample).Ok);

        Page = std::make_unique<TArchivePage>();
        Page->SetToday([] { return QDate(2025, 11, 24); });
        Page->SetSaveDialog(
            [this](const QString& caption, const QString& path, const QString& filters, QString* chosenFilter) {
                Dialogs.push_back({caption, path, filters});
                if (chosenFilter != nullptr && !AnswerFilter.isEmpty())
                    *chosenFilter = AnswerFilter;
                return Answer;
            });
        Page->resize(607, 326);
        Page->SetStore(Store.get());
        Page->show();
        gui::SetErrorBoxHook([this](const QString& text) { ErrorBoxes.push_back(text); });
    }
    void TearDown() override
    {
        Page.reset();
        gui::SetErrorBoxHook({});
    }

    // A week, month or year is read off the main thread, as is how much the archive holds: the
    // page shows them once their answers have come.
    bool Shows(const TPeriod& period)
    {
        return testsupport::PumpUntil([&] { return Page->View().Period == period; });
    }
    bool HoldingsShown()
    {
        return testsupport::PumpUntil([&] { return !Page->HoldingsLabel->text().isEmpty(); });
    }

    struct TDialog
    {
        QString Caption, Path, Filter;
    };
    testsupport::TFreshCurrentFolder Folder;
    std::unique_ptr<TArchiveStore> Store;
    std::unique_ptr<TArchivePage> Page;
    std::vector<TDialog> Dialogs;
    std::vector<QString> ErrorBoxes;
    QString Answer;
    QString AnswerFilter; // the kind the user picks; empty leaves the dialog's first
};

TEST_F(ArchivePage, HoursDatedInTheFutureNeitherTakeThePageOverNorStayAgainstTheOwnersWill)
{
    // Today is 24.11.2025: its noon is no future, the next midnight and 31.12.2099 are; a live
    // sample of 2099 (a computer clock once set wrong) is no station hour and stays.
    const QDate today(2025, 11, 24);
    const QDate wrong(2099, 12, 31);
    ASSERT_TRUE(Store
                    ->Merge({{HourKey(today, 12), {21, 0, 750, 50}},
                             {HourKey(today.addDays(1), 0), {22, 1, 751, 51}},
                             {HourKey(wrong, 23), {23, 2, 752, 52}}})
                    .Ok);
    TSample sample;
    sample.Start = UtcMinuteOf(QDateTime(wrong, QTime(10, 0)));
    sample.Reports = 1;
    sample.Mean = {20, 0, 750, 50};
    sample.Count = {1, 1, 1, 1};
    ASSERT_TRUE(Store->AddSample(sample).Ok);
    std::vector<QString> questions;
    bool agree = false;
    Page->SetQuestion([&](const QString& text) {
        questions.push_back(text);
        return agree;
    });

    // The next start opens on the newest day that is not after today, and counts the rest.
    Page->SetStore(Store.get());
    EXPECT_EQ(Page->View().Period, PeriodContaining(TPeriodKind::Day, today));
    EXPECT_TRUE(testsupport::PumpUntil([&] {
        return Page->HoldingsLabel->text().endsWith(QStringLiteral("; 2 ч. с датой в будущем"));
    })) << Page->HoldingsLabel->text().toStdString();
    ASSERT_TRUE(Page->FutureHoursButton->isVisible());
    EXPECT_EQ(Page->FutureHoursButton->text(), QStringLiteral("Удалить часы с датой в будущем…"));
    EXPECT_LE(Page->HoldingsLabel->geometry().right(), Page->FutureHoursButton->geometry().left());

    // «Нет» keeps them; «Да» removes those two hours and nothing else.
    QTest::mouseClick(Page->FutureHoursButton, Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("2 ч. с датой в будущем"))) << questions[0].toStdString();
    EXPECT_EQ(Store->StationHoursAfter(HourKey(today, 23)), 2);
    agree = true;
    QTest::mouseClick(Page->FutureHoursButton, Qt::LeftButton);
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(Store->StationHoursAfter(HourKey(today, 23)), 0);
    EXPECT_EQ(Store->StationHoursAfter(HourKey(today, 11)), 1);
    EXPECT_EQ(Store->Hours(HourKey(Newest.addDays(-40), 0), HourKey(today, 23)).size(), 980u + 1u);
    ASSERT_EQ(Store->Hours(HourKey(wrong, 0), HourKey(wrong, 23)).size(), 1u);
    EXPECT_EQ(Store->Hours(HourKey(wrong, 0), HourKey(wrong, 23))[0].Value(base::TQuantity::IndoorTemperature), 20);
    EXPECT_TRUE(
        testsupport::PumpUntil([&] { return !Page->HoldingsLabel->text().contains(QStringLiteral("будущем")); }));
    EXPECT_FALSE(Page->FutureHoursButton->isVisible());
    EXPECT_TRUE(ErrorBoxes.empty());
}

TEST_F(ArchivePage, TheUserStepsThroughDaysWeeksMonthsAndYears)
{
    // The newest day with data: the station's hours to 18:00 and the live samples' 19:00.
    EXPECT_EQ(Page->View().Period, PeriodContaining(TPeriodKind::Day, Newest));
    EXPECT_EQ(Page->ArchiveChart->Title().Text().value(0), QStringLiteral("Температура в доме — 23.11.2025"));
    EXPECT_TRUE(Page->HourSeries->Active());
    EXPECT_FALSE(Page->RangeSeries->Active());
    ASSERT_EQ(Page->HourSeries->PointCount(), 24);
    EXPECT_EQ(Page->HourSeries->YValue(0), 23);
    EXPECT_EQ(Page->HourSeries->YValue(19), 25.5);
    EXPECT_EQ(Page->HourSeries->PointColor(20), clNone);
    EXPECT_EQ(Page->StatisticsLabel->text(),
              QStringLiteral("Мин. 23°C   Макс. 25,5°C   Среднее 23,1°C   Часов с данными: 20 из 24"));
    ASSERT_TRUE(HoldingsShown());
    EXPECT_EQ(Page->HoldingsLabel->text(), QStringLiteral("В архиве 980 часов с 14.10.2025"));
    EXPECT_EQ(Page->DateEdit->date(), Newest);

    // A week; the next one has no data yet; back two weeks.
    QTest::mouseClick(Page->PeriodGroup->Button(1), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(Shows(PeriodContaining(TPeriodKind::Week, Newest)));
    EXPECT_FALSE(Page->HourSeries->Active());
    ASSERT_EQ(Page->RangeSeries->PointCount(), 7);
    EXPECT_EQ(Page->RangeSeries->LowValue(6), 23);
    EXPECT_EQ(Page->RangeSeries->YValue(6), 25.5);
    EXPECT_EQ(Page->MeanSeries->YValue(0), 27); // 17.11: every hour 27
    EXPECT_EQ(Page->ArchiveChart->Title().Text().value(0),
              QStringLiteral("Температура в доме — 17.11.2025 – 23.11.2025"));
    QTest::mouseClick(Page->PeriodUpDown->RightButton(), Qt::LeftButton);
    ASSERT_TRUE(Shows(PeriodContaining(TPeriodKind::Week, QDate(2025, 11, 24))));
    EXPECT_EQ(Page->View().Period.First, QDate(2025, 11, 24));
    EXPECT_EQ(Page->RangeSeries->PointCount(), 7);
    EXPECT_EQ(Page->RangeSeries->PointColor(0), clNone);
    EXPECT_TRUE(Page->StatisticsLabel->text().startsWith(QStringLiteral("Нет данных за этот период")));
    QTest::mouseClick(Page->PeriodUpDown->LeftButton(), Qt::LeftButton);
    QTest::mouseClick(Page->PeriodUpDown->LeftButton(), Qt::LeftButton);
    ASSERT_TRUE(Shows(PeriodContaining(TPeriodKind::Week, QDate(2025, 11, 10))));
    EXPECT_EQ(Page->View().Period.First, QDate(2025, 11, 10));

    // The outdoor temperature of a month, then of the year.
    QTest::mouseClick(Page->QuantityUpDown->RightButton(), Qt::LeftButton);
    EXPECT_EQ(Page->Quantity(), base::TQuantity::OutdoorTemperature);
    QTest::mouseClick(Page->PeriodGroup->Button(2), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(Shows(PeriodContaining(TPeriodKind::Month, QDate(2025, 11, 10))));
    EXPECT_EQ(Page->RangeSeries->PointCount(), 30);
    EXPECT_EQ(Page->RangeSeries->PointColor(22), RGBColor(120, 160, 235)); // 23.11
    EXPECT_EQ(Page->RangeSeries->PointColor(23), clNone);
    EXPECT_EQ(Page->ArchiveChart->Title().Text().value(0), QStringLiteral("Температура на улице — ноябрь 2025"));
    QTest::mouseClick(Page->PeriodGroup->Button(3), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(Shows(PeriodContaining(TPeriodKind::Year, QDate(2025, 11, 10))));
    EXPECT_EQ(Page->RangeSeries->PointCount(), 365);
    EXPECT_EQ(Page->ArchiveChart->LeftAxis()->Minimum(), -13);
    EXPECT_EQ(Page->ArchiveChart->LeftAxis()->Maximum(), 12);
    // The year's range bars are drawn in their colour where the data are.
    const QImage image = Page->ArchiveChart->RenderToImage();
    const TChartRect bar = Page->RangeSeries->PointBarRect(QDate(2025, 1, 1).daysTo(QDate(2025, 11, 1)));
    EXPECT_EQ(image.pixelColor((bar.Left + bar.Right) / 2, bar.Top + 3), QColor(120, 160, 235));

    // A date typed in: the year of it.
    Page->DateEdit->setDate(QDate(2024, 2, 29));
    ASSERT_TRUE(Shows(PeriodContaining(TPeriodKind::Year, QDate(2024, 2, 29))));
    EXPECT_EQ(Page->View().Statistics.HoursInPeriod, 366 * 24);
    QTest::mouseClick(Page->PeriodGroup->Button(0), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Page->View().Period.First, QDate(2024, 2, 29));
}

TEST_F(ArchivePage, ExportsTheShownPeriodAndRemembersTheFolder)
{
    QTest::mouseClick(Page->PeriodGroup->Button(1), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(Shows(PeriodContaining(TPeriodKind::Week, Newest)));
    const QDir elsewhere(QDir(Folder.Path()).filePath(QStringLiteral("Документы")));
    ASSERT_TRUE(elsewhere.mkpath(QStringLiteral(".")));

    // The first dialog opens in the data folder with the period's name; the user picks another
    // folder and leaves out the extension.
    Answer = elsewhere.filePath(QStringLiteral("неделя"));
    QTest::mouseClick(Page->ExportButton, Qt::LeftButton);
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Caption, QStringLiteral("Экспорт архива в CSV"));
    EXPECT_EQ(Dialogs[0].Path, QDir(Folder.Path()).filePath(QStringLiteral("meteo-2025-11-17-2025-11-23.csv")));
    EXPECT_EQ(Dialogs[0].Filter,
              QStringLiteral("CSV (UTF-8, запятая) (*.csv);;CSV для Excel (точка с запятой) (*.csv)"));
    const TPeriod week = PeriodContaining(TPeriodKind::Week, Newest);
    const QByteArray csv = testsupport::ReadFileBytes(elsewhere.filePath(QStringLiteral("неделя.csv")));
    EXPECT_EQ(csv, ArchiveCsv(Store->Hours(week.FirstHour(), week.LastHour()), week.FirstHour(), week.LastHour()));
    EXPECT_EQ(csv.count('\n'), 1 + 7 * 24);
    EXPECT_TRUE(csv.contains("2025-11-23 19:00,25.5,1,750,40\r\n"));
    // The kind for Excel when the user picks it.
    AnswerFilter = QStringLiteral("CSV для Excel (точка с запятой) (*.csv)");
    Answer = elsewhere.filePath(QStringLiteral("для Excel.csv"));
    QTest::mouseClick(Page->ExportButton, Qt::LeftButton);
    EXPECT_EQ(testsupport::ReadFileBytes(Answer),
              ArchiveCsv(Store->Hours(week.FirstHour(), week.LastHour()), week.FirstHour(), week.LastHour(),
                         TCsvKind::Excel));

    // The PNG dialog starts where the CSV went, also for a page of a later run.
    Answer = elsewhere.filePath(QStringLiteral("график.png"));
    QTest::mouseClick(Page->PngButton, Qt::LeftButton);
    ASSERT_EQ(Dialogs.size(), 3u);
    EXPECT_EQ(Dialogs[2].Path, elsewhere.filePath(QStringLiteral("meteo-2025-11-17-2025-11-23.png")));
    QImage picture(elsewhere.filePath(QStringLiteral("график.png")));
    EXPECT_EQ(picture.size(), Page->ArchiveChart->size());
    Page = std::make_unique<TArchivePage>();
    Page->SetSaveDialog([this](const QString& caption, const QString& path, const QString& filters, QString*) {
        Dialogs.push_back({caption, path, filters});
        return QString(); // cancelled: nothing is written
    });
    Page->SetStore(Store.get());
    Page->ExportCsvClick();
    ASSERT_EQ(Dialogs.size(), 4u);
    EXPECT_EQ(QFileInfo(Dialogs[3].Path).absolutePath(), elsewhere.absolutePath());

    // A failed write says so and leaves the page as it was.
    Page->SetFileWriter([](const QString& path, const QByteArray&) {
        throw std::runtime_error(("Не удалось записать файл «" + path + "»: нет прав на запись").toStdString());
    });
    EXPECT_FALSE(Page->ExportCsv(QStringLiteral("/x.csv")));
    EXPECT_EQ(ErrorBoxes,
              std::vector<QString>{QStringLiteral("Не удалось записать файл «/x.csv»: нет прав на запись.")});
}

// The user's hand on the modal dialogs of a save, from the event loop they run: the file name typed
// into the save dialog, then the answer to whether an existing file is replaced.
class TSaveHand
{
public:
    TSaveHand(QString typed, bool replace)
        : FTyped(std::move(typed))
        , FReplace(replace)
    {
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Act(); });
        FTimer.start(1);
    }
    std::vector<QString> Asked;

private:
    void Act()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Asked.push_back(box->text());
            for (QAbstractButton* button : box->buttons())
                if (box->buttonRole(button) == (FReplace ? QMessageBox::YesRole : QMessageBox::NoRole))
                    button->click();
            FAnswered = true;
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!FTypedIn && edit != nullptr) {
                edit->clear();
                QTest::keyClicks(edit, FTyped);
                FTypedIn = true;
                // Pressed from the dialog's own loop: the question it asks then runs a loop of its
                // own, in which this hand goes on.
                QMetaObject::invokeMethod(
                    edit,
                    [this, edit] {
                        QTest::keyClick(edit, Qt::Key_Return);
                        FReturned = true;
                    },
                    Qt::QueuedConnection);
            } else if (FAnswered || FReturned) {
                // Still open after the answer, or after Return without a question: cancelled.
                dialog->reject();
            }
        }
    }

    QTimer FTimer;
    QString FTyped;
    bool FReplace;
    bool FTypedIn = false;
    bool FAnswered = false;
    bool FReturned = false;
};

// A name typed without its suffix gets it from the dialog itself, which then asks before it replaces
// a file of that name; so does the page after a dialog that left the suffix out.
TEST_F(ArchivePage, AnExistingFileIsReplacedOnlyAfterTheQuestion)
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    ASSERT_TRUE(gui::UseRussianQtTexts());
    Page->SetSaveDialog({});
    const QDir folder(Folder.Path());
    const QString csv = folder.filePath(QStringLiteral("day12.csv"));
    const QString png = folder.filePath(QStringLiteral("day12.png"));
    ASSERT_TRUE(testsupport::WriteFileBytes(csv, "old"));
    ASSERT_TRUE(testsupport::WriteFileBytes(png, "old"));
    const QString question = QStringLiteral("%1 уже существует.\nЗаменить его?");

    {
        TSaveHand hand(QStringLiteral("day12"), false);
        Page->ExportCsvClick();
        EXPECT_EQ(hand.Asked, std::vector<QString>{question.arg(QStringLiteral("day12.csv"))});
        EXPECT_EQ(testsupport::ReadFileBytes(csv), "old");
    }
    {
        TSaveHand hand(QStringLiteral("day12"), true);
        Page->ExportCsvClick();
        EXPECT_EQ(hand.Asked, std::vector<QString>{question.arg(QStringLiteral("day12.csv"))});
        EXPECT_TRUE(testsupport::ReadFileBytes(csv).startsWith("Дата и время"));
        EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("day12"))));
    }
    {
        TSaveHand hand(QStringLiteral("day12"), true);
        Page->SavePngClick();
        EXPECT_EQ(hand.Asked, std::vector<QString>{question.arg(QStringLiteral("day12.png"))});
        EXPECT_EQ(QImage(png).size(), Page->ArchiveChart->size());
    }

    // A dialog of the system that returns the name as typed.
    Page->SetSaveDialog([&folder](const QString&, const QString&, const QString&, QString*) {
        return folder.filePath(QStringLiteral("day12"));
    });
    ASSERT_TRUE(testsupport::WriteFileBytes(csv, "old"));
    TSaveHand hand({}, false);
    Page->ExportCsvClick();
    EXPECT_EQ(hand.Asked, std::vector<QString>{question.arg(QStringLiteral("day12.csv"))});
    EXPECT_EQ(testsupport::ReadFileBytes(csv), "old");
}

// Under an English system (the test runs with LC_ALL=C.UTF-8) the date picker's calendar and Qt's own
// file dialog still speak Russian: month and day names, the decimal comma of file sizes, dates.
TEST_F(ArchivePage, DatePickerAndFileDialogSpeakRussianWhateverTheSystemSays)
{
    QCalendarWidget* calendar = Page->DateEdit->calendarWidget();
    ASSERT_NE(calendar, nullptr);
    calendar->setSelectedDate(Newest);
    auto* month = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"));
    ASSERT_NE(month, nullptr);
    EXPECT_EQ(month->text().toLower(), QStringLiteral("ноябрь"));
    auto* days = calendar->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"));
    ASSERT_NE(days, nullptr);
    QStringList header;
    for (int column = 0; column < days->model()->columnCount(); ++column)
        header << days->model()->index(0, column).data().toString();
    EXPECT_EQ(header.join(QLatin1Char(' ')).toLower(), QStringLiteral("пн вт ср чт пт сб вс"));

    QFile file(QDir(Folder.Path()).filePath(QStringLiteral("неделя.csv")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1536, 'x'));
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_TRUE(file.setFileTime(QDateTime(Newest, QTime(18, 5)), QFileDevice::FileModificationTime));
    file.close();
    QFileSystemModel files;
    files.setRootPath(Folder.Path());
    QModelIndex index;
    ASSERT_TRUE(testsupport::PumpUntil([&] {
        index = files.index(file.fileName());
        return index.isValid() && !index.siblingAtColumn(3).data().toString().isEmpty();
    }));
    EXPECT_EQ(index.siblingAtColumn(1).data().toString(), QStringLiteral("1,50 KiB"));
    EXPECT_EQ(index.siblingAtColumn(3).data().toString(), QStringLiteral("23.11.2025 18:05"));
}

TEST(ArchivePageWithoutArchive, SaysThereIsNoneAndOffersNoExport)
{
    TArchivePage page;
    page.SetToday([] { return QDate(2025, 11, 24); });
    page.SetStore(nullptr);
    page.show();
    EXPECT_EQ(page.View().Period, PeriodContaining(TPeriodKind::Day, QDate(2025, 11, 24)));
    EXPECT_EQ(page.HoldingsLabel->text(), QStringLiteral("Архив не ведётся: файл архива недоступен"));
    EXPECT_FALSE(page.ExportButton->isEnabled());
    EXPECT_TRUE(page.PngButton->isEnabled());
}

} // namespace
