// The archive page of the window: one quantity over a day (hourly bars) or a week, month or year
// (each day's minimum to maximum, with its mean), stepped back and forth or jumped to a date; the
// period's statistics; how much the archive holds; and the period written out as CSV or the chart
// as a PNG picture.
#pragma once

#include "archive/archive_csv.h"
#include "archive/archive_period.h"
#include "archive/archive_query_thread.h"
#include "archive/archive_store.h"

#include <QByteArray>
#include <QDate>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class QDateEdit;
class QLabel;
class QPushButton;
class TBarSeries;
class TChart;
class TRangeBarSeries;
namespace gui {
class TRadioGroup;
class TUpDown;
} // namespace gui

class TArchivePage : public QWidget
{
    Q_OBJECT

public:
    explicit TArchivePage(QWidget* parent = nullptr);
    ~TArchivePage() override;

    // The archive shown, from its newest day on; none while the program has no archive (the page
    // then says so). Not owned.
    void SetStore(archive::TArchiveStore* store);
    archive::TArchiveStore* Store() const { return FStore; }

    // Today, for the first period of an empty archive; tests fix it.
    void SetToday(std::function<QDate()> today);
    // Writes a whole file or nothing; throws a std::exception whose what() is the message for the
    // user (UTF-8). The program passes its own atomic replacement; the default is QSaveFile.
    using TFileWriter = std::function<void(const QString& path, const QByteArray& bytes)>;
    void SetFileWriter(TFileWriter writer);
    // The save dialog: caption, suggested path and filters (";;" between kinds) give the chosen
    // path, empty when the user cancelled, and set the filter of the kind chosen. Tests answer it.
    using TSaveDialog = std::function<QString(const QString& caption, const QString& path, const QString& filters,
                                              QString* chosenFilter)>;
    void SetSaveDialog(TSaveDialog dialog);
    // The Yes/No question («Нет» the default); tests answer it.
    using TQuestion = std::function<bool(const QString& text)>;
    void SetQuestion(TQuestion question);

    // The archive has changed: drawn anew now when the page shows, else when it is shown next.
    void Refresh();
    // The period of `kind` that holds `date`.
    void ShowPeriod(archive::TPeriodKind kind, const QDate& date);
    // The newest day of the archive (today in an empty one), in the period kind chosen.
    void ShowNewest();
    // What the last merge did, shown under the holdings («Последняя загрузка: …»).
    void SetLastMerge(const QString& summary);
    // One period forth (1) or back (-1); never before 2000 or after 2099.
    void Step(int steps);
    void SetQuantity(base::TQuantity quantity);

    // The period chosen. A week, month or year is read off the main thread: until its hours have
    // come, the page goes on showing the period before it, whole (View() and all it drew).
    archive::TPeriodKind PeriodKind() const { return FKind; }
    QDate Anchor() const { return FAnchor; }
    base::TQuantity Quantity() const { return FQuantity; }
    const archive::TPeriodView& View() const { return FView; }

    // "Экспорт CSV…" and "Сохранить PNG…": the dialog in the last folder used, then the file.
    void ExportCsvClick();
    void SavePngClick();
    // The writing alone; false (after the error box) when it failed.
    bool ExportCsv(const QString& path, archive::TCsvKind kind = archive::TCsvKind::Comma);
    bool SavePng(const QString& path);
    // The file name offered for the period: «meteo-2025-11.csv» and the like.
    QString SuggestedName(const QString& extension) const;
    // «Удалить часы с датой в будущем…»: the station's hours dated after today, once the owner
    // agrees, go from the archive.
    void DeleteFutureHoursClick();

    TChart* ArchiveChart = nullptr;
    TBarSeries* HourSeries = nullptr;       // a day's hours
    TRangeBarSeries* RangeSeries = nullptr; // each day's minimum to maximum
    TRangeBarSeries* MeanSeries = nullptr;  // each day's mean
    gui::TUpDown* QuantityUpDown = nullptr;
    gui::TRadioGroup* PeriodGroup = nullptr;
    gui::TUpDown* PeriodUpDown = nullptr;
    QDateEdit* DateEdit = nullptr;
    QPushButton* ExportButton = nullptr;
    QPushButton* PngButton = nullptr;
    QPushButton* FutureHoursButton = nullptr; // shown while the archive holds hours dated after today
    QLabel* StatisticsLabel = nullptr;
    QLabel* HoldingsLabel = nullptr;
    QLabel* LastMergeLabel = nullptr;

signals:
    // A period's hours have been put on the page: its chart and statistics are drawn.
    void ViewShown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateChart();
    void Draw();
    void ShowControls();
    // The period's hours on the page: the view, the chart and the statistics, together.
    void ShowView(const archive::TPeriod& period, std::vector<archive::TArchiveHour> hours);
    void TakeAnswer(const archive::TArchiveQueryThread::TAnswer& answer);
    void ShowHoldings(const archive::THoldings& holdings);
    archive::TArchiveQueryThread& Queries();
    // The lowest and highest value the chart shows, for its left axis.
    struct TValueSpan
    {
        double Lowest = 0;
        double Highest = 0;
        bool Any = false;
        void Include(double low, double high);
    };
    void DrawChart();
    // A day's hours as bars; a longer period's days as their ranges with their means.
    TValueSpan PlotHours();
    TValueSpan PlotDays();
    // The bottom axis' label at a value: an hour, a day of the week or month, a month.
    QString AxisLabel(double value) const;
    // The chosen path, and in `chosenFilter` (when given) the filter of the kind chosen.
    QString ChooseFile(const QString& caption, const QString& extension, const QString& filters,
                       QString* chosenFilter = nullptr);
    bool WriteFile(const QString& path, const QByteArray& bytes);
    // The last hour of today: a station hour after it has a date in the future.
    archive::THourKey LastHourOfToday() const;
    // The holdings line: `text`, with the hours dated in the future and their button when there are any.
    void ShowHoldingsText(QString text);

    archive::TArchiveStore* FStore = nullptr;
    std::function<QDate()> FToday;
    TFileWriter FWriter;
    TSaveDialog FSaveDialog;
    TQuestion FQuestion;
    archive::TPeriodKind FKind = archive::TPeriodKind::Day;
    QDate FAnchor;
    base::TQuantity FQuantity = base::TQuantity::IndoorTemperature;
    archive::TPeriodView FView;
    std::vector<archive::TArchiveHour> FHours; // of the period shown
    bool FStale = true;
    bool FHoldingsStale = true;
    bool FUpdatingControls = false;
    // The reads off the main thread: only the answer to the newest request of each kind is shown.
    std::uint64_t FViewRequest = 0;
    archive::TPeriod FAskedPeriod;
    std::uint64_t FHoldingsRequest = 0;
    std::unique_ptr<archive::TArchiveQueryThread> FQueries; // last: ended before the page goes
};
