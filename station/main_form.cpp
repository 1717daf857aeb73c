// The station application's handlers: start-up and close, the input report dispatch, the display
// refresh and the station's buttons; the settings page has a file of its own (settings_page.cpp).
#include "station/main_form.h"
#include "core/alarm_watch.h"
#include "core/archive_records.h"
#include "core/history_file.h"
#include "core/readings_text.h"
#include "gui/error_box.h"
#include "gui/question_box.h"
#include "hid/device_controller.h"
#include "station/publishing_feed.h"
#include "station/tray_side.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace {

// The pages on which the station streams its readings: the readings and settings pages show
// them, the archive page samples them, the publishing page shows them leave.
bool StreamingPage(int page)
{
    return page == PageIndex(TFormPage::Readings) || page == PageIndex(TFormPage::Settings) ||
        page == PageIndex(TFormPage::Archive) || page == PageIndex(TFormPage::Publish);
}

const QString HistoryFileKeptText =
    QStringLiteral("Файл останется без изменений, пока память метеостанции не будет загружена полностью");

} // namespace

TForm1::~TForm1()
{
    // A window destroyed without closing still checks its station in, while the window is whole:
    // the controller's unplugs of the devices still checked out reach the window's handlers.
    ReleaseStationDevice();
    // The publishing uploads from the core's queue: it goes first.
    delete Publishing;
    Publishing = nullptr;
    delete &Core;
    HidDeviceController1 = nullptr;
}

void TForm1::SetClock(TClock clock)
{
    Core.SetClock(std::move(clock));
}

QDateTime TForm1::Now() const
{
    return Core.Now();
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
    const THistoryLoadResult loaded = Core.LoadHistory();
    ShowPlaceholders();
    DisableStationButtons();
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
    StartAlarmsAndTray();
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
    Core.BeginClose();
    if (!SaveHistoryAtClose()) {
        // Staying open: the readings pages get their stream back.
        Core.ResumeAfterClose();
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
    if (TraySide->HideOnClose(*event)) {
        event->ignore();
        return;
    }
    FAskingAtClose = true;
    const bool close = FormClose();
    FAskingAtClose = false;
    if (close) {
        event->accept();
        TraySide->Closed();
    } else {
        event->ignore();
    }
}

// ---- The link ----

bool TForm1::SendCommand(TCommandCode code)
{
    return Core.SendCommand(code);
}

bool TForm1::SendReport()
{
    return Core.SendReport();
}

void TForm1::HandleInputReport(const std::uint8_t* bytes, std::uint16_t size)
{
    Core.TakeReport(bytes, size);
}

void TForm1::ShowReport()
{
    const int page = PageControl1->ActivePageIndex();
    if (page == PageIndex(TFormPage::Readings) || page == PageIndex(TFormPage::Settings))
        RefreshDisplay();
}

bool TForm1::StreamingReadings() const
{
    return Core.StreamingReadings();
}

void TForm1::ShowReadingsPageIfFree()
{
    if (StreamingPage(PageControl1->ActivePageIndex()) || HistoryOperationRunning())
        return;
    PageControl1->SetActivePageIndex(PageIndex(TFormPage::Readings));
    PageControl1Change();
}

void TForm1::ShowStationConnected()
{
    Core.TakeStationMatch();
}

void TForm1::EnableControlsOfStation()
{
    // A match during a download or clear leaves the buttons off until it ends.
    if (HistoryOperationRunning())
        return;
    EnableStationButtons();
    if (!SensorCodesSelected()) {
        Button4->setEnabled(false);
        Button5->setEnabled(false);
    }
}

void TForm1::ShowStationDisconnected()
{
    Core.TakeStationGone();
}

void TForm1::DisableControlsOfStation()
{
    ShowPlaceholders();
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
    Core.TakeReadError(systemMessage);
}

void TForm1::SetStreamSilenceTimeout(int ms)
{
    Core.SetStreamSilenceTimeout(ms);
}

void TForm1::PageControl1Change()
{
    Button7->setEnabled(SettableItemSelected());
    // Leaving for the diagram or help page quiets the station. The archive page keeps the stream,
    // for its live samples.
    Core.SetStreamWanted(StreamingPage(PageControl1->ActivePageIndex()));
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
    if (PageControl1->ActivePageIndex() == PageIndex(TFormPage::Diagram)) {
        Button4->setEnabled(false);
        Button5->setEnabled(false);
    }
}
