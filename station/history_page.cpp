// The diagram page's history buttons: downloading the station's history memory into the
// program's copy, clearing the station's memory, exporting the copy to "met.txt", and keeping
// the copy in "met.mtb" between runs.
#include "gui/error_box.h"
#include "station/history_export.h"
#include "station/history_file.h"
#include "station/main_form.h"

#include "hid/device_controller.h"

#include <QPushButton>

namespace {

const QString DownloadCaption = QStringLiteral("Загрузить");
const QString ClearCaption = QStringLiteral("Очистить");
const QString DownloadStalledText =
    QStringLiteral("Метеостанция перестала отвечать, загрузка памяти прервана. Копия истории осталась прежней");
const QString ClearStalledText =
    QStringLiteral("Метеостанция перестала отвечать, очистка памяти не подтверждена. Копия истории осталась прежней");
const QString CommandNotSentText = QStringLiteral("Не удалось отправить команду метеостанции: ");
const QString CloseWithoutSavingQuestion =
    QStringLiteral("Не удалось сохранить память метеостанции в файл met.mtb. Закрыть программу без сохранения?");

QString ProgressCaption(int blockCount)
{
    return QString::number(HistoryProgressPercent(blockCount)) + QLatin1Char('%');
}

} // namespace

void TForm1::ScanHistory()
{
    LabeledEdit10->SetText(::ScanHistory(History, Now().date()));
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
    StartHistoryOperation(THistoryOperationKind::Clear);
}

void TForm1::StartHistoryOperation(THistoryOperationKind kind)
{
    HistoryOperation.Start(kind, Station.StationDevice);
    Station.SetCommandCode(kind == THistoryOperationKind::Download ? TCommandCode::DownloadHistory
                                                                   : TCommandCode::ClearHistory);
    if (!SendReport()) {
        // The station was never asked, so nothing would ever answer: the page must not lock.
        const std::uint32_t error = HidDeviceController1->Platform().LastError();
        AbandonHistoryOperation();
        gui::ShowErrorBox(CommandNotSentText + QString::fromStdString(HidDeviceController1->Platform().ErrorText(error)));
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

void TForm1::HistoryOperationStalled(THistoryOperationKind kind)
{
    AbandonHistoryOperation();
    if (Station.StationDevice != nullptr) {
        EnableStationButtons();
        // Should the station wake up, the rest of its transfer is not wanted.
        SendCommand(TCommandCode::Quiet);
    }
    gui::ShowErrorBox(kind == THistoryOperationKind::Download ? DownloadStalledText : ClearStalledText);
}

void TForm1::Button3Click()
{
    try {
        ExportHistoryText(History.HistoryImage);
    } catch (const EHistoryFileError& error) {
        gui::ShowErrorBox(error.Message());
    }
}

void TForm1::HandleHistoryReport()
{
    const THistoryProgress progress = HistoryOperation.TakeReport(Station.ReportImage.data());
    if (progress.Kind == THistoryOperationKind::None)
        return;
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

void TForm1::AbandonHistoryOperation()
{
    switch (HistoryOperation.Abandon()) {
    case THistoryOperationKind::Download:
        Button1->setText(DownloadCaption);
        break;
    case THistoryOperationKind::Clear:
        Button2->setText(ClearCaption);
        break;
    case THistoryOperationKind::None:
        break;
    }
    PageControl1->setEnabled(true);
}

bool TForm1::SaveHistoryAtClose()
{
    if (Station.HistoryComplete != 1)
        return true;
    try {
        SaveHistoryFile(History);
        return true;
    } catch (const EHistoryFileError& error) {
        // The window is not closing while the user decides; an unplug meanwhile is shown as usual.
        Station.Closing = 0;
        gui::ShowErrorBox(error.Message());
        if (!Ask(CloseWithoutSavingQuestion))
            return false;
        Station.Closing = 1;
        return true;
    }
}
