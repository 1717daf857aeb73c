// The diagram page's history buttons: downloading the station's history memory into the
// program's copy, clearing the station's memory, exporting the copy to "met.txt", and keeping
// the copy in "met.mtb" between runs.
#include "gui/error_box.h"
#include "station/history_file.h"
#include "station/main_form.h"

#include "hid/device_controller.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

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

void TForm1::SetQuestion(TQuestion question)
{
    FQuestion = std::move(question);
}

bool TForm1::Ask(const QString& text)
{
    if (FQuestion)
        return FQuestion(text);
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text, QMessageBox::NoButton, this);
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void TForm1::ScanHistory()
{
    LabeledEdit10->SetText(::ScanHistory(History, Now().date()));
}

void TForm1::Button1Click()
{
    // Without a station nothing would answer and the page would stay locked.
    if (Station.StationDevice == nullptr || HistoryOperationRunning())
        return;
    ImageBeforeDownload = History.HistoryImage;
    CompleteBeforeDownload = Station.HistoryComplete;
    Station.HistoryComplete = 0;
    StartHistoryOperation(TCommandCode::DownloadHistory, Station.DownloadActive);
}

void TForm1::Button2Click()
{
    if (Station.StationDevice == nullptr || HistoryOperationRunning())
        return;
    StartHistoryOperation(TCommandCode::ClearHistory, Station.ClearActive);
}

void TForm1::StartHistoryOperation(TCommandCode code, std::uint8_t& activeFlag)
{
    HistoryDevice = Station.StationDevice;
    Station.SetCommandCode(code);
    activeFlag = 1;
    Station.BlockCount = 0;
    if (!SendReport()) {
        // The station was never asked, so nothing would ever answer: the page must not lock.
        const std::uint32_t error = HidDeviceController1->Platform().LastError();
        AbandonHistoryOperation();
        gui::ShowErrorBox(CommandNotSentText + QString::fromStdString(HidDeviceController1->Platform().ErrorText(error)));
        return;
    }
    DisableStationButtons();
    PageControl1->setEnabled(false);
    HistoryStallTimer->start();
}

void TForm1::SetHistoryStallTimeout(int ms)
{
    HistoryStallTimer->setInterval(std::max(ms, 1));
}

int TForm1::HistoryStallTimeout() const
{
    return HistoryStallTimer->interval();
}

void TForm1::HistoryOperationStalled()
{
    if (!HistoryOperationRunning())
        return;
    const bool download = Station.DownloadActive == 1;
    AbandonHistoryOperation();
    if (Station.StationDevice != nullptr) {
        EnableStationButtons();
        // Should the station wake up, the rest of its transfer is not wanted.
        SendCommand(TCommandCode::Quiet);
    }
    gui::ShowErrorBox(download ? DownloadStalledText : ClearStalledText);
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
    if (HistoryOperationRunning())
        HistoryStallTimer->start();
    if (Station.DownloadActive == 1) {
        if (!StoreHistoryBlock(History.HistoryImage, Station.BlockCount, Station.ReportImage.data()))
            return; // cannot happen: the download ends at the last block
        ++Station.BlockCount;
        Button1->setText(ProgressCaption(Station.BlockCount));
        if (Station.BlockCount == HistoryBlockCount)
            FinishDownload();
    }
    if (Station.ClearActive == 1) {
        ++Station.BlockCount;
        Button2->setText(ProgressCaption(Station.BlockCount));
        if (Station.BlockCount == HistoryBlockCount)
            FinishClear();
    }
}

void TForm1::FinishDownload()
{
    Button1->setText(DownloadCaption);
    Station.HistoryComplete = 1;
    Station.DownloadActive = 0;
    FinishHistoryOperation();
    ArchiveDownload();
}

void TForm1::FinishClear()
{
    Button2->setText(ClearCaption);
    Station.ClearActive = 0;
    FinishHistoryOperation();
}

void TForm1::FinishHistoryOperation()
{
    HistoryStallTimer->stop();
    HistoryDevice = nullptr;
    ScanHistory();
    DrawDayDiagram();
    Station.BlockCount = 0;
    EnableStationButtons();
    PageControl1->setEnabled(true);
}

void TForm1::AbandonHistoryOperation()
{
    if (Station.DownloadActive == 1) {
        // The blocks that did arrive are of an unfinished download: the copy goes back to what it
        // was, and so does whether it may be saved.
        History.HistoryImage = ImageBeforeDownload;
        Station.HistoryComplete = CompleteBeforeDownload;
        Station.DownloadActive = 0;
        Button1->setText(DownloadCaption);
    }
    if (Station.ClearActive == 1) {
        Station.ClearActive = 0;
        Button2->setText(ClearCaption);
    }
    Station.BlockCount = 0;
    HistoryDevice = nullptr;
    HistoryStallTimer->stop();
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
