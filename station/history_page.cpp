// The diagram page's history buttons: downloading the station's history memory into the
// program's copy, clearing the station's memory (after asking), exporting the copy to "met.txt",
// and keeping the copy in "met.mtb" between runs.
#include "core/history_export.h"
#include "core/history_file.h"
#include "gui/error_box.h"
#include "gui/program_ending.h"
#include "station/main_form.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

const QString DownloadCaption = QStringLiteral("Загрузить");
const QString ClearCaption = QStringLiteral("Очистить");
const QString DownloadStalledText =
    QStringLiteral("Метеостанция перестала отвечать, загрузка памяти прервана. Копия истории осталась прежней");
const QString ClearStalledText =
    QStringLiteral("Метеостанция перестала отвечать, очистка памяти не подтверждена. Копия истории осталась прежней");
const QString DownloadDamagedText = QStringLiteral(
    "Метеостанция присылает отчёты неверной длины, загрузка памяти прервана. Копия истории осталась прежней");
const QString ClearDamagedText = QStringLiteral(
    "Метеостанция присылает отчёты неверной длины, очистка памяти не подтверждена. Копия истории осталась прежней");
const QString DownloadUnpluggedText =
    QStringLiteral("Метеостанция отключена, загрузка памяти прервана. Копия истории осталась прежней");
const QString ClearUnpluggedText =
    QStringLiteral("Метеостанция отключена, очистка памяти не подтверждена. Копия истории осталась прежней");
const QString CloseWithoutSavingQuestion =
    QStringLiteral("Не удалось сохранить память метеостанции в файл met.mtb. Закрыть программу без сохранения?");

QString ProgressCaption(int blockCount)
{
    return QString::number(HistoryProgressPercent(blockCount)) + QLatin1Char('%');
}

// The clear erases hours no download may have brought over: the user is told since when.
QString ClearQuestion(const QDateTime& lastCompleteDownload)
{
    const QString since = lastCompleteDownload.isValid()
        ? lastCompleteDownload.toString(QStringLiteral("dd.MM.yyyy HH:mm"))
        : QStringLiteral("загрузок ещё не было");
    return QStringLiteral("Стереть память метеостанции? Часы, записанные после последней полной загрузки (%1), "
                          "пропадут.")
        .arg(since);
}

} // namespace

void TForm1::ScanHistory()
{
    LabeledEdit10->SetText(Core.ScanHistory());
}

void TForm1::Button1Click()
{
    // Without a station nothing would answer and the page would stay locked.
    if (Station.StationDevice == nullptr || HistoryOperationRunning())
        return;
    StartHistoryOperation(THistoryOperationKind::Download);
}

void TForm1::Button2Click()
{
    if (Station.StationDevice == nullptr || HistoryOperationRunning())
        return;
    OpenArchive(); // which knows when the last complete download was
    if (!Ask(ClearQuestion(History.LastCompleteDownload)))
        return;
    // The station may have gone while the user was deciding.
    if (Station.StationDevice == nullptr || HistoryOperationRunning())
        return;
    StartHistoryOperation(THistoryOperationKind::Clear);
}

void TForm1::StartHistoryOperation(THistoryOperationKind kind)
{
    ExportNotice->hide();
    if (!Core.StartHistoryOperation(kind)) {
        // The station was never asked, so nothing would ever answer: the page must not lock.
        ShowSendError();
        return;
    }
    DisableStationButtons();
    PageControl1->setEnabled(false);
}

void TForm1::SetHistoryStallTimeout(int ms)
{
    HistoryOperation.SetStallTimeout(ms);
}

int TForm1::HistoryStallTimeout() const
{
    return HistoryOperation.StallTimeout();
}

void TForm1::ShowHistoryAbandoned(THistoryOperationKind kind, THistoryEnd how)
{
    const bool download = kind == THistoryOperationKind::Download;
    if (kind == THistoryOperationKind::Download)
        Button1->setText(DownloadCaption);
    else if (kind == THistoryOperationKind::Clear)
        Button2->setText(ClearCaption);
    PageControl1->setEnabled(true);
    // A station still here (after a stall, or a later one that took over) has its buttons back; an
    // unplugged one has them taken by its own going.
    if (Station.StationDevice != nullptr)
        EnableStationButtons();
    switch (how) {
    case THistoryEnd::Unplugged:
        // Told once the controller is done with the unplug, not from inside its handling.
        gui::ShowErrorBoxLater(this, download ? DownloadUnpluggedText : ClearUnpluggedText);
        break;
    case THistoryEnd::DamagedReports:
        gui::ShowErrorBox(download ? DownloadDamagedText : ClearDamagedText);
        break;
    case THistoryEnd::Stalled:
        gui::ShowErrorBox(download ? DownloadStalledText : ClearStalledText);
        break;
    }
}

void TForm1::Button3Click()
{
    ExportNotice->hide();
    const QString path = QFileInfo(HistoryExportFileName).absoluteFilePath();
    try {
        ExportHistoryText(History.HistoryImage, path);
    } catch (const os::EFileError& error) {
        gui::ShowErrorBox(error.Message());
        return;
    }
    ShowExportNotice(QDir::toNativeSeparators(path));
}

void TForm1::ShowExportNotice(const QString& path)
{
    // The data folder is a hidden one, so the user is told where the file went, without a box
    // to close.
    ExportNotice->setText(QStringLiteral("Файл %1 сохранён:\n%2").arg(HistoryExportFileName, path));
    const QRect chart = Chart1->geometry();
    const int width = chart.width() - 16;
    const int height = ExportNotice->heightForWidth(width);
    ExportNotice->setGeometry(chart.left() + 8, chart.bottom() - 8 - height, width, height);
    ExportNotice->raise();
    ExportNotice->show();
    ExportNoticeTimer->start();
}

void TForm1::ShowHistoryProgress(const THistoryProgress& progress)
{
    const bool download = progress.Kind == THistoryOperationKind::Download;
    QPushButton* button = download ? Button1 : Button2;
    button->setText(ProgressCaption(progress.BlockCount));
    if (!progress.Finished)
        return;
    button->setText(download ? DownloadCaption : ClearCaption);
    FinishHistoryOperation();
}

void TForm1::FinishHistoryOperation()
{
    ScanHistory();
    DrawDayDiagram();
    EnableStationButtons();
    PageControl1->setEnabled(true);
}

bool TForm1::SaveHistoryAtClose()
{
    try {
        Core.SaveHistoryCopy();
        return true;
    } catch (const os::EFileError& error) {
        // Asked to end by the system: nobody can answer, and staying would only hold the folder
        // until the process is killed. The file on disk stays as it was.
        if (gui::EndRequested())
            return true;
        // The window is not closing while the user decides; an unplug meanwhile is shown as usual.
        Station.Closing = 0;
        gui::ShowErrorBox(error.Message());
        if (!Ask(CloseWithoutSavingQuestion))
            return false;
        Station.Closing = 1;
        return true;
    }
}
