// The station application's handlers: start-up and close, the input report dispatch, the display
// refresh and the station's buttons; the settings page has a file of its own (settings_page.cpp).
#include "station/main_form.h"
#include "gui/error_box.h"
#include "gui/question_box.h"
#include "hid/device_controller.h"
#include "station/archive_records.h"
#include "station/desktop_side.h"
#include "station/history_file.h"
#include "station/readings_text.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace {

// Pages of PageControl1.
constexpr int ReadingsPage = 0;
constexpr int DiagramPage = 1;
constexpr int SettingsPage = 2;
constexpr int ArchivePageIndex = 4;
constexpr int PublishPageIndex = 5;

// The pages on which the station streams its readings: the readings and settings pages show
// them, the archive page samples them, the publishing page shows them leave.
bool StreamingPage(int page)
{
    return page == ReadingsPage || page == SettingsPage || page == ArchivePageIndex || page == PublishPageIndex;
}

const QString HistoryFileKeptText =
    QStringLiteral("Файл останется без изменений, пока память метеостанции не будет загружена полностью");

} // namespace

TForm1::~TForm1()
{
    // A window destroyed without closing still checks its station in. The controller goes while
    // the window is still whole: it unplugs the devices still checked out (a station a later
    // one took over from), and their unplug handler is this window's.
    ReleaseStationDevice();
    delete HidDeviceController1;
    HidDeviceController1 = nullptr;
}

void TForm1::SetClock(TClock clock)
{
    FClock = std::move(clock);
}

QDateTime TForm1::Now() const
{
    if (FClock) {
        const QDateTime now = FClock();
        if (now.isValid())
            return now;
    }
    return QDateTime::currentDateTime();
}

void TForm1::SetQuestion(TQuestion question)
{
    FQuestion = std::move(question);
}

bool TForm1::Ask(const QString& text)
{
    if (FQuestion)
        return FQuestion(text);
    return gui::AskYesNo(text, this);
}

// ---- Start-up and close ----

void TForm1::FormCreate()
{
    Station.ReportImage.fill(NoValue);
    ShowPlaceholders();
    Station.Closing = 0;
    Station.HistoryComplete = 1;
    Station.DownloadActive = 0;
    Station.ClearActive = 0;
    Station.ReadCodeRequest = 0;
    Station.ClearCodeRequest = 0;
    Station.SettingsLive = 0;
    DisableStationButtons();

    const THistoryLoadResult loaded = LoadHistoryFile(History);
    // A copy that stopped on a bad pair, ended early or could not be read must not replace the
    // user's file: it is saved again only after a complete download. The window works on what was
    // read all the same.
    Station.HistoryComplete = loaded.ImageComplete() ? 1 : 0;
    // The archive is opened with the rest of the start (its first picture shows nothing of it), or
    // sooner by whatever needs it first, a close included: no run leaves its folder otherwise.
    FRecordsToImport = loaded.RecordsRead;
    if (!loaded.Message.isEmpty()) {
        FLoadMessage = loaded.Message;
        if (!loaded.ImageComplete())
            FLoadMessage = gui::ErrorBoxText(FLoadMessage) + QLatin1Char(' ') + HistoryFileKeptText;
    }
    // A quantity the diagram does not know, from a damaged file, is set right by DrawDayDiagram.
    UpDown2->SetPosition(History.DiagramQuantity);
    ScanHistory();
    EnableTextExportOfTheCopy();
    DrawDayDiagram();
    PreviousDayPosition = static_cast<std::uint8_t>(UpDown1->Position());
}

void TForm1::FinishStart()
{
    if (FStarted)
        return;
    FStarted = true;
    OpenArchive();
    CreateHelpPage();
    CreateAlarmsPage();
    Desktop->Start();
    // Last, as the publishing's libraries take the longest to load.
    CreatePublishPage();
    StartNetworkPublishing();
    if (!FLoadMessage.isEmpty())
        gui::ShowErrorBoxLater(this, FLoadMessage); // once the window is up
}

void TForm1::EnableTextExportOfTheCopy()
{
    // The text export needs no station: the copy of the last run can be saved before any station
    // is plugged in, once it holds a dated record.
    Button3->setEnabled(History.RecordCount >= 1);
}

bool TForm1::FormClose()
{
    Station.Closing = 1;
    WatchStream();
    SendCommand(TCommandCode::Quiet);
    // A close before the rest of the start still leaves the copy imported and the last sample kept.
    OpenArchive();
    FlushLiveSample();
    if (!SaveHistoryAtClose()) {
        // Staying open: the readings pages get their stream back.
        if (StreamingPage(PageControl1->ActivePageIndex()))
            SendCommand(TCommandCode::StreamReadings);
        WatchStream();
        return false;
    }
    ReleaseStationDevice();
    // A window closed before the rest of its start has nothing more to start.
    FStarted = true;
    return true;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // A second close while the user is being asked about the first one waits for that answer.
    if (FAskingAtClose) {
        event->ignore();
        return;
    }
    if (Desktop->HideOnClose(*event)) {
        event->ignore();
        return;
    }
    FAskingAtClose = true;
    const bool close = FormClose();
    FAskingAtClose = false;
    if (close) {
        event->accept();
        Desktop->Closed();
    } else {
        event->ignore();
    }
}

// ---- The link ----

bool TForm1::SendCommand(TCommandCode code)
{
    Station.SetCommandCode(code);
    return SendReport();
}

void TForm1::HandleInputReport(const std::uint8_t* bytes, std::uint16_t size)
{
    const size_t count = bytes ? std::min<size_t>(size, ReportImageSize) : 0;
    if (count > 0)
        std::memcpy(Station.ReportImage.data(), bytes, count);
    const int page = PageControl1->ActivePageIndex();
    if (page == ReadingsPage || page == SettingsPage)
        RefreshDisplay();
    else if (page == DiagramPage)
        HandleHistoryReport();
    if (StreamingPage(page)) {
        // One reading of the report, at one moment, for the archive and the publishers alike.
        const archive::TReading reading = ArchiveReadingOfReport(Station.ReportImage);
        const QDateTime time = Now();
        SampleReadings(time, reading);
        PublishReading(time, reading);
        Desktop->TakeReport(Station.ReportImage, time);
    }
}

bool TForm1::StreamingReadings() const
{
    return StreamingPage(PageControl1->ActivePageIndex()) && !HistoryOperationRunning();
}

void TForm1::ShowReadingsPageIfFree()
{
    if (StreamingPage(PageControl1->ActivePageIndex()) || HistoryOperationRunning())
        return;
    PageControl1->SetActivePageIndex(ReadingsPage);
    PageControl1Change();
}

void TForm1::ShowStationConnected()
{
    Panel1->SetCaption(StationConnectedText);
    // A match during a download or clear (any HID device's arrival repeats it) leaves the
    // operation alone: code 1 would stop the station's transfer, and the buttons stay off until
    // it ends.
    if (HistoryOperationRunning())
        return;
    SendCommand(TCommandCode::StreamReadings);
    WatchStream();
    EnableStationButtons();
    if (!SensorCodesSelected()) {
        Button4->setEnabled(false);
        Button5->setEnabled(false);
    }
}

void TForm1::ShowStationDisconnected()
{
    Panel1->SetCaption(StationDisconnectedText);
    ShowPlaceholders();
    FlushLiveSample();
    WatchStream();
    if (Station.Closing == 1)
        return;
    DisableStationButtons();
    DisableSettingControls();
    RadioGroup1->setEnabled(false);
    RadioGroup1->SetItemIndex(-1);
    Button3->setEnabled(true);
}

void TForm1::ShowReadError(const QString& systemMessage)
{
    Panel1->SetCaption(ReadErrorPrefix + systemMessage);
}

void TForm1::SetStreamSilenceTimeout(int ms)
{
    StreamSilenceTimer->setInterval(std::max(ms, 1));
    WatchStream();
}

void TForm1::WatchStream()
{
    const int page = PageControl1->ActivePageIndex();
    const bool streaming = Station.StationDevice != nullptr && Station.Closing != 1 && StreamingPage(page);
    if (streaming)
        StreamSilenceTimer->start();
    else
        StreamSilenceTimer->stop();
}

void TForm1::StreamAlive()
{
    if (Panel1->Caption() == StationSilentText)
        Panel1->SetCaption(StationConnectedText);
    WatchStream();
}

void TForm1::StreamSilent()
{
    // A read error or a station without access says more than the silence does.
    if (Panel1->Caption() == StationConnectedText)
        Panel1->SetCaption(StationSilentText);
}

void TForm1::PageControl1Change()
{
    Button7->setEnabled(SettableItemSelected());
    const int page = PageControl1->ActivePageIndex();
    // Leaving for the diagram or help page quiets the station; byte 19 is always set, so a
    // history download or clear can never be repeated by a page change. The archive page keeps
    // the stream, for its live samples.
    const bool streaming = StreamingPage(page);
    if (!streaming)
        FlushLiveSample();
    SendCommand(streaming ? TCommandCode::StreamReadings : TCommandCode::Quiet);
    WatchStream();
    ExportNotice->hide();
}

// ---- Display ----

void TForm1::ShowPlaceholders()
{
    Panel2->SetCaption(IndoorPlaceholder);
    Panel3->SetCaption(OutdoorPlaceholder);
    Panel4->SetCaption(PressurePlaceholder);
    Panel5->SetCaption(HumidityPlaceholder);
}

void TForm1::RefreshDisplay()
{
    RefreshReadings();
    RefreshSettings();
}

void TForm1::RefreshReadings()
{
    const TReportImage& image = Station.ReportImage;
    Panel2->SetCaption(IndoorTemperatureText(image));
    Panel3->SetCaption(OutdoorTemperatureText(image));
    Panel4->SetCaption(PressureText(image));
    Panel5->SetCaption(HumidityText(image));
}

// ---- Control groups ----

void TForm1::DisableStationButtons()
{
    for (QPushButton* button : {Button1, Button2, Button3, Button4, Button5, Button6, Button7})
        button->setEnabled(false);
}

void TForm1::EnableStationButtons()
{
    for (QPushButton* button : {Button1, Button2, Button3, Button4, Button5, Button6})
        button->setEnabled(true);
    Button7->setEnabled(SettableItemSelected());
    if (PageControl1->ActivePageIndex() == DiagramPage) {
        Button4->setEnabled(false);
        Button5->setEnabled(false);
    }
}
