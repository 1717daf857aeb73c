// The settings page: loading the station's settings into the page, following its clock, date and
// sensor codes, choosing one item, changing it with the arrows and radio buttons, and sending it.
#include "core/readings_text.h"
#include "station/main_form.h"

#include <QDateTime>
#include <QEvent>
#include <QPushButton>
#include <QRadioButton>
#include <vector>

namespace {

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

void TForm1::RefreshSettings()
{
    const TReportImage& image = Station.ReportImage;
    if (Station.SettingsLive == 1) {
        // Behind another page the texts wait for the page to be shown: laying them out with every
        // report would cost the readings page its speed.
        Station.SettingsReport = image;
        if (TabSheet3->isVisibleTo(PageControl1))
            ShowStationClockAndCodes();
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

void TForm1::ShowStationClockAndCodes()
{
    // Each text replaces the edit's whole content; emptying it first would only lay the edit out
    // twice with every report.
    const TReportImage& report = Station.SettingsReport;
    LabeledEdit1->SetText(StationTimeText(report));
    LabeledEdit2->SetText(StationDateText(report));
    LabeledEdit4->SetText(SensorCodeText(report, InField::IndoorSensorCode));
    LabeledEdit5->SetText(SensorCodeText(report, InField::OutdoorSensorCode));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TabSheet3 && event->type() == QEvent::ShowToParent && Station.SettingsLive == 1)
        ShowStationClockAndCodes();
    return QWidget::eventFilter(watched, event);
}

bool TForm1::SettableItemSelected() const
{
    const int item = RadioGroup1->ItemIndex();
    return item >= 0 && item != SensorCodesItem;
}

bool TForm1::SensorCodesSelected() const
{
    return RadioGroup1->ItemIndex() == SensorCodesItem;
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

void TForm1::DisableSettingControls()
{
    for (QWidget* control : std::initializer_list<QWidget*>{
             LabeledEdit1, LabeledEdit2, LabeledEdit3, LabeledEdit4, LabeledEdit5, LabeledEdit6,
             LabeledEdit7, LabeledEdit8, UpDown3,      UpDown4,      UpDown5,      UpDown6,
             Button4,      Button5,      RadioButton1, RadioButton2, RadioButton3, RadioButton4,
             RadioButton5, RadioButton6, RadioButton7, RadioButton8, RadioButton9, RadioButton10})
        control->setEnabled(false);
}
