// The station application's handlers: start-up and close, the input report dispatch, the display
// refresh, the settings page and the control groups.
#include "station/main_form.h"
#include "gui/error_box.h"
#include "gui/question_box.h"
#include "hid/device_controller.h"
#include "station/history_file.h"
#include "station/readings_text.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Pages of PageControl1.
constexpr int ReadingsPage = 0;
constexpr int DiagramPage = 1;
constexpr int SettingsPage = 2;
constexpr int ArchivePageIndex = 4;

// The pages on which the station streams its readings: the readings and settings pages show
// them, the archive page samples them.
bool StreamingPage(int page)
{
    return page == ReadingsPage || page == SettingsPage || page == ArchivePageIndex;
}

const QString HistoryFileKeptText =
    QStringLiteral("Файл останется без изменений, пока память метеостанции не будет загружена полностью");

// Items of RadioGroup1.
constexpr int TimeItem = 0;
constexpr int SensorCodesItem = 1;
constexpr int PressureItem = 2;
constexpr int HumidityItem = 3;
constexpr int TimerItem = 4;
constexpr int SavingItem = 5;

// The value of whichever button of a pair is checked; with neither checked the byte keeps what
// the image holds.
void PutCheckedPair(std::uint8_t& byte, const QRadioButton* first, std::uint8_t firstValue, const QRadioButton* second,
                    std::uint8_t secondValue)
{
    if (first->isChecked())
        byte = firstValue;
    if (second->isChecked())
        byte = secondValue;
}

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
    OpenArchive(loaded.Outcome == THistoryLoadOutcome::Loaded);
    if (!loaded.Message.isEmpty()) {
        QString message = loaded.Message;
        if (!loaded.ImageComplete())
            message = gui::ErrorBoxText(message) + QLatin1Char(' ') + HistoryFileKeptText;
        // Shown once the window is up.
        QMetaObject::invokeMethod(
            this, [message] { gui::ShowErrorBox(message); }, Qt::QueuedConnection);
    }
    // A quantity the diagram does not know, from a damaged file, is set right by DrawDayDiagram.
    UpDown2->SetPosition(History.DiagramQuantity);
    ScanHistory();
    DrawDayDiagram();
    PreviousDayPosition = static_cast<std::uint8_t>(UpDown1->Position());
}

bool TForm1::FormClose()
{
    Station.Closing = 1;
    WatchStream();
    SendCommand(TCommandCode::Quiet);
    FlushLiveSample();
    if (!SaveHistoryAtClose()) {
        // Staying open: the readings pages get their stream back.
        if (StreamingPage(PageControl1->ActivePageIndex()))
            SendCommand(TCommandCode::StreamReadings);
        WatchStream();
        return false;
    }
    ReleaseStationDevice();
    return true;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // A second close while the user is being asked about the first one waits for that answer.
    if (FAskingAtClose) {
        event->ignore();
        return;
    }
    FAskingAtClose = true;
    const bool close = FormClose();
    FAskingAtClose = false;
    if (close)
        event->accept();
    else
        event->ignore();
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
    if (StreamingPage(page))
        SampleReadings();
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
    if (RadioGroup1->ItemIndex() != SensorCodesItem) {
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

void TForm1::RefreshSettings()
{
    const TReportImage& image = Station.ReportImage;
    if (Station.SettingsLive == 1) {
        // Each text replaces the edit's whole content; emptying it first would only lay the
        // edit out twice with every report.
        LabeledEdit1->SetText(StationTimeText(image));
        LabeledEdit2->SetText(StationDateText(image));
        LabeledEdit4->SetText(SensorCodeText(image, InField::IndoorSensorCode));
        LabeledEdit5->SetText(SensorCodeText(image, InField::OutdoorSensorCode));
    }
    if (Station.SettingsLoadRequest == 1) {
        Station.ClockCorrection = image[InField::ClockCorrection];
        UpDown3->SetPosition(Station.ClockCorrection);
        Station.PressureCorrection = image[InField::PressureCorrection];
        UpDown4->SetPosition(Station.PressureCorrection);
        Station.HumidityCorrection = image[InField::HumidityCorrection];
        UpDown5->SetPosition(Station.HumidityCorrection);
        Station.TimerValue = static_cast<std::uint16_t>(image[InField::TimerHigh] * 256 + image[InField::TimerLow]);
        UpDown6->SetPosition(TimerPosition(Station.TimerValue));
        LabeledEdit3->Clear();
        LabeledEdit3->SetText(CorrectionText(Station.ClockCorrection, ClockCorrectionZero));
        // The clock, date and codes follow from the next report on.
        Station.SettingsLive = 1;
        (image[InField::PressureOn] == MarkerOn ? RadioButton1 : RadioButton2)->setChecked(true);
        LabeledEdit6->SetText(CorrectionText(Station.PressureCorrection, PressureCorrectionZero));
        (image[InField::HumidityOn] == MarkerOn ? RadioButton3 : RadioButton4)->setChecked(true);
        LabeledEdit7->SetText(CorrectionText(Station.HumidityCorrection, HumidityCorrectionZero));
        (image[InField::TimerOn] == MarkerOn ? RadioButton5 : RadioButton6)->setChecked(true);
        LabeledEdit8->SetText(QString::number(Station.TimerValue));
        (image[InField::SavingOn] == MarkerOn ? RadioButton9 : RadioButton10)->setChecked(true);
        Station.SettingsLoadRequest = 0;
    }
}

// ---- Settings page ----

bool TForm1::SettableItemSelected() const
{
    const int item = RadioGroup1->ItemIndex();
    return item >= 0 && item != SensorCodesItem;
}

void TForm1::RadioGroup1Click()
{
    DisableSettingControls();
    Button7->setEnabled(SettableItemSelected());
    std::vector<QWidget*> controls;
    switch (RadioGroup1->ItemIndex()) {
    case TimeItem:
        controls = {LabeledEdit1, LabeledEdit2, LabeledEdit3, UpDown3};
        break;
    case SensorCodesItem:
        controls = {LabeledEdit4, LabeledEdit5, RadioButton7, RadioButton8, Button4, Button5};
        break;
    case PressureItem:
        controls = {LabeledEdit6, UpDown4, RadioButton1, RadioButton2};
        break;
    case HumidityItem:
        controls = {LabeledEdit7, UpDown5, RadioButton3, RadioButton4};
        break;
    case TimerItem:
        controls = {LabeledEdit8, UpDown6, RadioButton5, RadioButton6};
        break;
    case SavingItem:
        controls = {RadioButton9, RadioButton10};
        break;
    default:
        break;
    }
    for (QWidget* control : controls)
        control->setEnabled(true);
}

void TForm1::UpDown3Click()
{
    Station.ClockCorrection = static_cast<std::uint8_t>(UpDown3->Position());
    LabeledEdit3->SetText(CorrectionText(Station.ClockCorrection, ClockCorrectionZero));
}

void TForm1::UpDown4Click()
{
    Station.PressureCorrection = static_cast<std::uint8_t>(UpDown4->Position());
    LabeledEdit6->SetText(CorrectionText(Station.PressureCorrection, PressureCorrectionZero));
}

void TForm1::UpDown5Click()
{
    Station.HumidityCorrection = static_cast<std::uint8_t>(UpDown5->Position());
    LabeledEdit7->SetText(CorrectionText(Station.HumidityCorrection, HumidityCorrectionZero));
}

void TForm1::UpDown6Click()
{
    Station.TimerValue = static_cast<std::uint16_t>(UpDown6->Position() * TimerStep);
    LabeledEdit8->SetText(QString::number(Station.TimerValue));
}

void TForm1::Button4Click()
{
    Station.ReadCodeRequest = 1;
    BuildSettingsCommand();
    Station.ReadCodeRequest = 0;
}

void TForm1::Button5Click()
{
    Station.ClearCodeRequest = 1;
    BuildSettingsCommand();
    Station.ClearCodeRequest = 0;
}

void TForm1::Button6Click()
{
    // The next report of the stream performs the load. The station streams already; asking it
    // again costs nothing and tells at once when it cannot be reached.
    Station.SettingsLoadRequest = 1;
    RadioGroup1->setEnabled(true);
    if (!SendCommand(TCommandCode::StreamReadings))
        ShowSendError();
}

void TForm1::Button7Click()
{
    switch (RadioGroup1->ItemIndex()) {
    case TimeItem:
        Station.SetSettingItem(TSettingItem::TimeAndDate);
        break;
    case PressureItem:
        Station.SetSettingItem(TSettingItem::Pressure);
        break;
    case HumidityItem:
        Station.SetSettingItem(TSettingItem::Humidity);
        break;
    case TimerItem:
        Station.SetSettingItem(TSettingItem::Timer);
        break;
    case SavingItem:
        Station.SetSettingItem(TSettingItem::Saving);
        break;
    default:
        break;
    }
    BuildSettingsCommand();
}

void TForm1::BuildSettingsCommand()
{
    TReportImage& out = Station.ReportImage;
    const QDateTime now = Now();
    const QTime time = now.time();
    const QDate date = now.date();
    out[OutField::SetSeconds] = static_cast<std::uint8_t>(time.second());
    out[OutField::SetMinutes] = static_cast<std::uint8_t>(time.minute());
    out[OutField::SetHours] = static_cast<std::uint8_t>(time.hour());
    out[OutField::ClockFormat] = ClockFormatValue;
    out[OutField::SetDay] = static_cast<std::uint8_t>(date.day());
    out[OutField::SetMonth] = static_cast<std::uint8_t>(date.month());
    out[OutField::SetYear] = static_cast<std::uint8_t>(((date.year() % 100) + 100) % 100);
    out[OutField::ClockCorrection] = Station.ClockCorrection;
    PutCheckedPair(out[OutField::SensorSelect], RadioButton7, IndoorSensor, RadioButton8, OutdoorSensor);
    PutCheckedPair(out[OutField::PressureOn], RadioButton1, MarkerOn, RadioButton2, MarkerOff);
    out[OutField::PressureCorrection] = Station.PressureCorrection;
    PutCheckedPair(out[OutField::HumidityOn], RadioButton3, MarkerOn, RadioButton4, MarkerOff);
    out[OutField::HumidityCorrection] = Station.HumidityCorrection;
    out[OutField::TimerHigh] = static_cast<std::uint8_t>(Station.TimerValue >> 8);
    out[OutField::TimerLow] = static_cast<std::uint8_t>(Station.TimerValue & 0xFF);
    PutCheckedPair(out[OutField::TimerOn], RadioButton5, MarkerOn, RadioButton6, MarkerOff);
    PutCheckedPair(out[OutField::SavingOn], RadioButton9, MarkerOn, RadioButton10, MarkerOff);
    if (Station.ReadCodeRequest == 1)
        Station.SetSettingItem(TSettingItem::ReadSensorCode);
    if (Station.ClearCodeRequest == 1)
        Station.SetSettingItem(TSettingItem::ClearSensorCode);
    if (!SendCommand(TCommandCode::ApplySetting))
        ShowSendError();
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

void TForm1::DisableSettingControls()
{
    for (QWidget* control : std::initializer_list<QWidget*>{
             LabeledEdit1, LabeledEdit2, LabeledEdit3, LabeledEdit4, LabeledEdit5, LabeledEdit6,
             LabeledEdit7, LabeledEdit8, UpDown3,      UpDown4,      UpDown5,      UpDown6,
             Button4,      Button5,      RadioButton1, RadioButton2, RadioButton3, RadioButton4,
             RadioButton5, RadioButton6, RadioButton7, RadioButton8, RadioButton9, RadioButton10})
        control->setEnabled(false);
}
