// The window driven as the user drives it: clicks on its real controls, input reports through
// the dispatch, and the output bytes left in the report image.
#include "core/readings_text.h"
#include "hid/platform/sim/sim_platform.h"
#include "station/main_form.h"

#include <QFontInfo>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A readings report as the station streams it.
TReportImage StationReport()
{
    TReportImage r;
    r.fill(0);
    r[InField::ClockHours] = 9;
    r[InField::ClockMinutes] = 5;
    r[InField::ClockSeconds] = 0;
    r[InField::ClockCorrection] = 25;
    r[InField::ClockDay] = 7;
    r[InField::ClockMonth] = 3;
    r[InField::ClockYear] = 24;
    r[InField::IndoorStatus] = 16;
    r[InField::OutdoorStatus] = 16;
    r[InField::IndoorTemperature] = 23;
    r[InField::OutdoorTemperature] = 5;
    r[InField::OutdoorSign] = 0;
    const std::uint8_t indoor[8] = {0x28, 0xFF, 0x4B, 0x06, 0x00, 0x00, 0x80, 0x1A};
    const std::uint8_t outdoor[8] = {0x28, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xC7};
    std::copy(indoor, indoor + 8, r.begin() + InField::IndoorSensorCode);
    std::copy(outdoor, outdoor + 8, r.begin() + InField::OutdoorSensorCode);
    r[InField::PressureOn] = 1;
    r[InField::PressureRaw] = 130;
    r[InField::PressureCorrection] = 80;
    r[InField::HumidityOn] = 1;
    r[InField::Humidity] = 45;
    r[InField::HumidityCorrection] = 0;
    r[InField::TimerHigh] = 0;
    r[InField::TimerLow] = 125;
    r[InField::TimerOn] = 1;
    r[InField::SavingOn] = 0;
    return r;
}

class StationForm : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Form = std::make_unique<TForm1>(Platform);
        Form->SetClock([] { return QDateTime(QDate(2024, 3, 7), QTime(14, 25, 36)); });
        Form->show();
    }

    void Feed(const TReportImage& report) { Form->HandleInputReport(report.data(), ReportImageSize); }
    void ClickTab(TFormPage page)
    {
        QTabBar* tabs = Form->PageControl1->TabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(PageIndex(page)).center());
    }
    void Click(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    void ClickItem(int index) { Click(Form->RadioGroup1->Button(index)); }
    std::uint8_t Out(int index) const { return Form->Station.ReportImage[static_cast<size_t>(index)]; }

    // A station is there, the settings page shows and "Загрузить" has loaded the report.
    void LoadSettings(const TReportImage& report)
    {
        Form->ShowStationConnected();
        ClickTab(TFormPage::Settings);
        Click(Form->Button6);
        Feed(report);
    }

    hidplatform::SimPlatform Platform;
    std::unique_ptr<TForm1> Form;
};

TEST_F(StationForm, OpensDisconnectedWithEveryStationControlOff)
{
    TForm1& f = *Form;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Метеостанция"));
    EXPECT_EQ(f.size(), QSize(607, 350));
    EXPECT_EQ(f.font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(f.font().pixelSize(), 11);
    EXPECT_TRUE(f.font().bold());
    EXPECT_EQ(f.PageControl1->ActivePageIndex(), PageIndex(TFormPage::Readings));
    EXPECT_EQ(f.Panel1->Caption(), QStringLiteral("Метеостанция отключена"));
    EXPECT_EQ(f.Panel2->Caption(), IndoorPlaceholder);
    EXPECT_EQ(f.Panel3->Caption(), OutdoorPlaceholder);
    EXPECT_EQ(f.Panel4->Caption(), PressurePlaceholder);
    EXPECT_EQ(f.Panel5->Caption(), HumidityPlaceholder);
    for (QPushButton* b : {f.Button1, f.Button2, f.Button3, f.Button4, f.Button5, f.Button6, f.Button7})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(f.RadioGroup1->isEnabled());
    EXPECT_EQ(f.RadioGroup1->ItemIndex(), -1);
    EXPECT_TRUE(f.RadioButton7->isChecked());
    for (std::uint8_t byte : f.Station.ReportImage)
        EXPECT_EQ(byte, 255);
    EXPECT_EQ(f.Station.HistoryComplete, 1);
    EXPECT_EQ(f.Station.SettingsLive, 0);
    // Every control is reachable by its layout name.
    for (const char* name : {"PageControl1", "TabSheet1", "TabSheet4", "Chart1", "UpDown1", "UpDown6", "LabeledEdit10",
                             "GroupBox6", "RadioButton10", "Memo1", "Panel5", "Button7"})
        EXPECT_NE(f.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(f.Chart1->size(), QSize(505, 321));
    EXPECT_EQ(f.UpDown1->Position(), 50);
    EXPECT_TRUE(f.UpDown1->Wrap());
    EXPECT_FALSE(f.UpDown6->Wrap());
    EXPECT_EQ(f.Memo1->toPlainText().split(QLatin1Char('\n')).size(), 5);
    EXPECT_TRUE(f.Memo1->toPlainText().endsWith(QStringLiteral("\n\nВерсия: 1.2")));
    // The missing Windows faces are drawn with metric-compatible stand-ins.
    EXPECT_EQ(QFontInfo(f.Panel2->font()).pixelSize(), 19);
    EXPECT_FALSE(QFontInfo(f.Panel2->font()).family().isEmpty());
}

TEST_F(StationForm, ReportsRewriteTheReadingsOnPagesZeroAndTwoOnly)
{
    TReportImage report = StationReport();
    Feed(report);
    EXPECT_EQ(Form->Panel2->Caption(), QStringLiteral("Температура в доме: +23°C"));
    EXPECT_EQ(Form->Panel3->Caption(), QStringLiteral("Температура на улице: -5°C"));
    EXPECT_EQ(Form->Panel4->Caption(), QStringLiteral("Атмосферное давление: 755 мм рт.ст."));
    EXPECT_EQ(Form->Panel5->Caption(), QStringLiteral("Относительная влажность: 45%"));

    report[InField::IndoorStatus] = 17;
    report[InField::PressureOn] = 2;
    Feed(report);
    EXPECT_EQ(Form->Panel2->Caption(), IndoorPlaceholder);
    EXPECT_EQ(Form->Panel4->Caption(), PressurePlaceholder);

    report[InField::HumidityOn] = 0;
    for (int page : {1, 3}) {
        Form->PageControl1->SetActivePageIndex(page);
        Feed(report);
        EXPECT_EQ(Form->Panel5->Caption(), QStringLiteral("Относительная влажность: 45%"));
        EXPECT_EQ(Form->Station.ReportImage[InField::HumidityOn], 0); // the image takes it all the same
    }
    Form->PageControl1->SetActivePageIndex(PageIndex(TFormPage::Settings));
    Feed(report);
    EXPECT_EQ(Form->Panel5->Caption(), HumidityPlaceholder);
}

TEST_F(StationForm, LoadFillsTheSettingsThenTheClockAndCodesFollow)
{
    TForm1& f = *Form;
    LoadSettings(StationReport());
    EXPECT_TRUE(f.RadioGroup1->isEnabled());
    EXPECT_EQ(f.Station.SettingsLoadRequest, 0);
    EXPECT_EQ(f.Station.SettingsLive, 1);
    EXPECT_EQ(f.UpDown3->Position(), 25);
    EXPECT_EQ(f.LabeledEdit3->Text(), QStringLiteral("+5"));
    EXPECT_EQ(f.UpDown4->Position(), 80);
    EXPECT_EQ(f.LabeledEdit6->Text(), QStringLiteral("+70"));
    EXPECT_EQ(f.UpDown5->Position(), 0);
    EXPECT_EQ(f.LabeledEdit7->Text(), QStringLiteral("-25"));
    EXPECT_EQ(f.Station.TimerValue, 125);
    EXPECT_EQ(f.LabeledEdit8->Text(), QStringLiteral("125"));
    EXPECT_EQ(f.UpDown6->Position(), 12);
    EXPECT_TRUE(f.RadioButton1->isChecked());
    EXPECT_TRUE(f.RadioButton3->isChecked());
    EXPECT_TRUE(f.RadioButton5->isChecked());
    EXPECT_TRUE(f.RadioButton10->isChecked());
    // The clock and codes start with the report after the load.
    EXPECT_TRUE(f.LabeledEdit1->Text().isEmpty());
    EXPECT_TRUE(f.LabeledEdit4->Text().isEmpty());

    TReportImage next = StationReport();
    next[InField::TimerLow] = 135; // a later report no longer touches the settings
    Feed(next);
    EXPECT_EQ(f.LabeledEdit1->Text(), QStringLiteral("09:05:00"));
    EXPECT_EQ(f.LabeledEdit2->Text(), QStringLiteral("07.03.24"));
    EXPECT_EQ(f.LabeledEdit4->Text(), QStringLiteral("28FF4B060000801A"));
    EXPECT_EQ(f.LabeledEdit5->Text(), QStringLiteral("28010203040506C7"));
    EXPECT_EQ(f.LabeledEdit8->Text(), QStringLiteral("125"));

    // Timer item: one press to the right makes 130.
    ClickItem(4);
    ASSERT_TRUE(f.UpDown6->isEnabled());
    QTest::mouseClick(f.UpDown6->RightButton(), Qt::LeftButton);
    EXPECT_EQ(f.UpDown6->Position(), 13);
    EXPECT_EQ(f.Station.TimerValue, 130);
    EXPECT_EQ(f.LabeledEdit8->Text(), QStringLiteral("130"));

    // A second load with 135 puts the up-down at 14.
    Click(f.Button6);
    Feed(next);
    EXPECT_EQ(f.UpDown6->Position(), 14);
    EXPECT_EQ(f.LabeledEdit8->Text(), QStringLiteral("135"));
}

TEST_F(StationForm, ItemSelectionEnablesOnlyThatItemsControls)
{
    TForm1& f = *Form;
    LoadSettings(StationReport());
    ClickItem(2);
    EXPECT_TRUE(f.UpDown4->isEnabled());
    EXPECT_TRUE(f.RadioButton2->isEnabled());
    EXPECT_FALSE(f.UpDown3->isEnabled());
    EXPECT_FALSE(f.Button4->isEnabled());
    EXPECT_TRUE(f.Button7->isEnabled());
    ClickItem(1);
    EXPECT_FALSE(f.UpDown4->isEnabled());
    EXPECT_TRUE(f.Button4->isEnabled());
    EXPECT_TRUE(f.RadioButton8->isEnabled());
    EXPECT_FALSE(f.Button7->isEnabled());
    // Clock correction: presses change it, a press at the end of the range does nothing.
    ClickItem(0);
    for (int i = 0; i < 20; ++i)
        QTest::mouseClick(f.UpDown3->RightButton(), Qt::LeftButton);
    EXPECT_EQ(f.Station.ClockCorrection, 40);
    EXPECT_EQ(f.LabeledEdit3->Text(), QStringLiteral("+20"));
    f.LabeledEdit3->SetText(QStringLiteral("x"));
    QTest::mouseClick(f.UpDown3->RightButton(), Qt::LeftButton);
    EXPECT_EQ(f.LabeledEdit3->Text(), QStringLiteral("x"));
    QTest::mouseClick(f.UpDown3->LeftButton(), Qt::LeftButton);
    EXPECT_EQ(f.LabeledEdit3->Text(), QStringLiteral("+19"));
}

TEST_F(StationForm, SetBuildsTheWholeSettingsCommandForEachItem)
{
    TForm1& f = *Form;
    LoadSettings(StationReport());
    struct Case
    {
        int Item;
        std::uint8_t SettingItem;
    };
    for (Case c : {Case{0, 1}, Case{2, 4}, Case{3, 5}, Case{4, 6}, Case{5, 7}}) {
        ClickItem(c.Item);
        ASSERT_TRUE(f.Button7->isEnabled());
        Click(f.Button7);
        EXPECT_EQ(Out(OutField::SetSeconds), 36);
        EXPECT_EQ(Out(OutField::SetMinutes), 25);
        EXPECT_EQ(Out(OutField::SetHours), 14);
        EXPECT_EQ(Out(OutField::ClockFormat), 2);
        EXPECT_EQ(Out(OutField::SetDay), 7);
        EXPECT_EQ(Out(OutField::SetMonth), 3);
        EXPECT_EQ(Out(OutField::SetYear), 24);
        EXPECT_EQ(Out(OutField::ClockCorrection), 25);
        EXPECT_EQ(Out(OutField::SensorSelect), 0);
        EXPECT_EQ(Out(OutField::PressureOn), 1);
        EXPECT_EQ(Out(OutField::PressureCorrection), 80);
        EXPECT_EQ(Out(OutField::HumidityOn), 1);
        EXPECT_EQ(Out(OutField::HumidityCorrection), 0);
        EXPECT_EQ(Out(OutField::TimerHigh), 0);
        EXPECT_EQ(Out(OutField::TimerLow), 125);
        EXPECT_EQ(Out(OutField::TimerOn), 1);
        EXPECT_EQ(Out(OutField::SavingOn), 0);
        EXPECT_EQ(Out(OutField::SettingItem), c.SettingItem) << c.Item;
        EXPECT_EQ(Out(OutField::CommandCode), 2);
    }
    // Changed values go out with the next command.
    ClickItem(2);
    Click(f.RadioButton2);
    QTest::mouseClick(f.UpDown4->LeftButton(), Qt::LeftButton);
    ClickItem(4);
    for (int i = 0; i < 80; ++i)
        QTest::mouseClick(f.UpDown6->RightButton(), Qt::LeftButton);
    Click(f.RadioButton6);
    Click(f.Button7);
    EXPECT_EQ(Out(OutField::PressureOn), 0);
    EXPECT_EQ(Out(OutField::PressureCorrection), 79);
    EXPECT_EQ(Out(OutField::TimerHigh), 900 >> 8);
    EXPECT_EQ(Out(OutField::TimerLow), 900 & 0xFF);
    EXPECT_EQ(Out(OutField::TimerOn), 0);
    EXPECT_EQ(Out(OutField::SettingItem), 6);
}

TEST_F(StationForm, ReadAndClearSensorCodeNameTheChosenSensor)
{
    TForm1& f = *Form;
    LoadSettings(StationReport());
    ClickItem(1);
    Click(f.RadioButton8);
    ASSERT_TRUE(f.RadioButton8->isChecked());
    Click(f.Button4);
    EXPECT_EQ(Out(OutField::SensorSelect), 1);
    EXPECT_EQ(Out(OutField::SettingItem), 2);
    EXPECT_EQ(Out(OutField::CommandCode), 2);
    EXPECT_EQ(Out(OutField::SetHours), 14);
    EXPECT_EQ(Out(OutField::TimerLow), 125);
    EXPECT_EQ(f.Station.ReadCodeRequest, 0);
    Click(f.RadioButton7);
    Click(f.Button5);
    EXPECT_EQ(Out(OutField::SensorSelect), 0);
    EXPECT_EQ(Out(OutField::SettingItem), 3);
    EXPECT_EQ(f.Station.ClearCodeRequest, 0);
}

TEST_F(StationForm, UncheckedPairsLeaveTheirBytesAsTheImageHoldsThem)
{
    TForm1& f = *Form;
    f.Station.ReportImage.fill(NoValue);
    f.Button4->setEnabled(true);
    Click(f.Button4);
    EXPECT_EQ(Out(OutField::SensorSelect), 0); // RadioButton7 is checked in the layout
    EXPECT_EQ(Out(OutField::PressureOn), 255);
    EXPECT_EQ(Out(OutField::HumidityOn), 255);
    EXPECT_EQ(Out(OutField::TimerOn), 255);
    EXPECT_EQ(Out(OutField::SavingOn), 255);
    EXPECT_EQ(Out(OutField::ClockCorrection), 0);
    EXPECT_EQ(Out(20), 255);
}

TEST_F(StationForm, PageChangesByTheUserSetTheCommandCode)
{
    TForm1& f = *Form;
    using enum TFormPage;
    for (auto [page, code] :
         {std::pair{Diagram, 5}, {Readings, 1}, {Settings, 1}, {Help, 5}, {Settings, 1}, {Diagram, 5}}) {
        ClickTab(page);
        EXPECT_EQ(f.PageControl1->ActivePageIndex(), PageIndex(page));
        EXPECT_EQ(Out(OutField::CommandCode), code) << PageIndex(page);
    }
    // A byte 19 left by an input report never goes out on a switch to the help page.
    TReportImage report = StationReport();
    report[OutField::CommandCode] = static_cast<std::uint8_t>(TCommandCode::ClearHistory);
    ClickTab(TFormPage::Readings);
    Feed(report);
    ClickTab(TFormPage::Help);
    EXPECT_EQ(Out(OutField::CommandCode), 5);
    // The program's own page selection sends nothing.
    f.Station.ReportImage[OutField::CommandCode] = 99;
    f.PageControl1->SetActivePageIndex(PageIndex(TFormPage::Readings));
    EXPECT_EQ(Out(OutField::CommandCode), 99);
}

TEST_F(StationForm, PageChangeAndStationMatchDecideSetButton)
{
    TForm1& f = *Form;
    f.ShowStationConnected();
    EXPECT_EQ(f.Panel1->Caption(), QStringLiteral("Метеостанция подключена"));
    EXPECT_EQ(Out(OutField::CommandCode), 1);
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_TRUE(f.Button6->isEnabled());
    EXPECT_FALSE(f.Button7->isEnabled()); // no item yet
    EXPECT_FALSE(f.Button4->isEnabled());
    ClickTab(TFormPage::Settings);
    Click(f.Button6);
    ClickItem(1);
    f.ShowStationConnected(); // item 1 keeps the code buttons on
    EXPECT_TRUE(f.Button4->isEnabled());
    ClickItem(3);
    ClickTab(TFormPage::Diagram);
    EXPECT_TRUE(f.Button7->isEnabled());
    f.EnableStationButtons();
    EXPECT_FALSE(f.Button4->isEnabled()); // the diagram page shows
    EXPECT_FALSE(f.Button5->isEnabled());
    f.DisableStationButtons();
    ClickTab(TFormPage::Settings);
    EXPECT_TRUE(f.Button7->isEnabled());
}

TEST_F(StationForm, StationGoingAwayResetsTheReadingsAndTheSettingsPage)
{
    TForm1& f = *Form;
    LoadSettings(StationReport());
    ClickItem(2);
    f.ShowStationDisconnected();
    EXPECT_EQ(f.Panel1->Caption(), QStringLiteral("Метеостанция отключена"));
    EXPECT_EQ(f.Panel2->Caption(), IndoorPlaceholder);
    EXPECT_EQ(f.Panel5->Caption(), HumidityPlaceholder);
    EXPECT_FALSE(f.RadioGroup1->isEnabled());
    EXPECT_EQ(f.RadioGroup1->ItemIndex(), -1);
    EXPECT_FALSE(f.UpDown4->isEnabled());
    EXPECT_FALSE(f.Button6->isEnabled());
    EXPECT_FALSE(f.Button7->isEnabled());
    EXPECT_TRUE(f.Button3->isEnabled());
    EXPECT_EQ(f.Station.SettingsLive, 1);

    f.ShowReadError(QStringLiteral("Нет такого устройства"));
    EXPECT_EQ(f.Panel1->Caption(), QStringLiteral("Ошибка чтения:Нет такого устройства"));
}

TEST_F(StationForm, ClosingQuietsTheStationAndSkipsTheControlReset)
{
    TForm1& f = *Form;
    f.ShowStationConnected();
    f.close();
    EXPECT_EQ(f.Station.Closing, 1);
    EXPECT_EQ(Out(OutField::CommandCode), 5);
    f.ShowStationDisconnected();
    EXPECT_EQ(f.Panel1->Caption(), QStringLiteral("Метеостанция отключена"));
    EXPECT_TRUE(f.Button6->isEnabled()); // no reset while closing
}

} // namespace
