// The diagram page's history buttons: downloading the station's history memory into the
// program's copy, clearing the station's memory, exporting the copy to "met.txt", and keeping
// the copy in "met.mtb" between runs.
#include "gui/error_box.h"
#include "station/history_file.h"
#include "station/main_form.h"

#include "hid/device_controller.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
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
    ExportNotice->hide();
    HistoryDevice = Station.StationDevice;
    Station.SetCommandCode(code);
    activeFlag = 1;
    Station.BlockCount = 0;
    if (!SendReport()) {
        // The station was never asked, so nothing would ever answer: the page must not lock.
        AbandonHistoryOperation();
        ShowSendError();
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

void TForm1::HistoryStationUnplugged()
{
    const bool download = Station.DownloadActive == 1;
    AbandonHistoryOperation();
    // Told once the controller is done with the unplug, not from inside its handling.
    QMetaObject::invokeMethod(
        this, [download] { gui::ShowErrorBox(download ? DownloadUnpluggedText : ClearUnpluggedText); },
        Qt::QueuedConnection);
}

void TForm1::Button3Click()
{
    ExportNotice->hide();
    const QString path = QFileInfo(HistoryExportFileName).absoluteFilePath();
    try {
        ExportHistoryText(History.HistoryImage, path);
    } catch (const EHistoryFileError& error) {
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
