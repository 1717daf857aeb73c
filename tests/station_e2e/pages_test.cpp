// The readings and settings pages fed by the stand-in station's stream: texts from unusual reports,
// the settings load, every "Установить", the sensor codes, the codes sent on page changes, and a
// burst of reports; and the pages the program's start makes just after its first picture.
#include "archive/archive_store.h"
#include "core/history_file.h"
#include "station/alarms_page.h"
#include "station/archive_page.h"
#include "station/mqtt_block.h"
#include "tests/support/e2e_support.h"
#include "tests/support/history_images.h"
#include "tests/support/paint_counter.h"

#include <QFile>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace e2e {
namespace {

// A settings command written straight to the station, to give it settings the page must show.
TReport SettingsCommand(std::uint8_t item)
{
    TReport r(65, 255);
    r[0] = 0;
    r[18] = item;
    r[19] = 2;
    return r;
}

class StationPages : public StationE2E
{
protected:
    void GiveStationSettings()
    {
        simulator::TStationModel& model = Station->Model();
        TReport r = SettingsCommand(1);
        r[1] = 0, r[2] = 5, r[3] = 9, r[5] = 7, r[6] = 3, r[7] = 24, r[8] = 3; // 09:05:00 07.03.24, -17
        model.HandleOutputReport(r.data(), r.size());
        r = SettingsCommand(4);
        r[10] = 1, r[11] = 80;
        model.HandleOutputReport(r.data(), r.size());
        r = SettingsCommand(5);
        r[12] = 1, r[13] = 0;
        model.HandleOutputReport(r.data(), r.size());
        r = SettingsCommand(6);
        r[14] = 0, r[15] = 125, r[16] = 1;
        model.HandleOutputReport(r.data(), r.size());
        r = SettingsCommand(7);
        r[17] = 0;
        model.HandleOutputReport(r.data(), r.size());
    }

    // The settings page shown and loaded from the station's next report.
    void LoadSettings()
    {
        ClickTab(TFormPage::Settings);
        ASSERT_EQ(Form->PageControl1->ActivePageIndex(), PageIndex(TFormPage::Settings));
        // Entering the page asks for the stream again, and the station answers at once.
        ASSERT_TRUE(Settle());
        // «Загрузить» asks for the stream once more (so that a station out of reach is told at
        // once), and the station's immediate answer performs the load.
        const std::size_t sent = Sent.size();
        Click(Form->Button6);
        ASSERT_EQ(Sent.size(), sent + 1);
        ASSERT_EQ(LastCode(), 1);
        ASSERT_TRUE(Settle());
        ASSERT_EQ(Form->Station.SettingsLoadRequest, 0);
    }
};

TEST_F(StationPages, UnusualReportsInTheStreamGiveTheRightTexts)
{
    ConnectStation();
    simulator::TInputReport r = Station->Model().ReadingsReport();
    r[7] = 17, r[9] = 23;            // indoor status not exactly 16
    r[8] = 16, r[10] = 0, r[11] = 0; // zero below zero has no sign
    r[28] = 1, r[29] = 0;            // the lowest pressure byte
    r[31] = 2, r[32] = 50;           // humidity flag not exactly 1
    ASSERT_TRUE(Inject(r));
    EXPECT_EQ(Form->Panel2->Caption(), IndoorPlaceholder);
    EXPECT_EQ(Form->Panel3->Caption(), QStringLiteral("Температура на улице: 0°C"));
    EXPECT_EQ(Form->Panel4->Caption(), QStringLiteral("Атмосферное давление: 885 мм рт.ст."));
    EXPECT_EQ(Form->Panel5->Caption(), HumidityPlaceholder);

    r[7] = 16, r[9] = 0;
    r[10] = 12, r[11] = 7;
    r[29] = 255;
    r[31] = 1, r[32] = 0;
    ASSERT_TRUE(Inject(r));
    EXPECT_EQ(Form->Panel2->Caption(), QStringLiteral("Температура в доме: +0°C"));
    EXPECT_EQ(Form->Panel3->Caption(), QStringLiteral("Температура на улице: +12°C"));
    EXPECT_EQ(Form->Panel4->Caption(), QStringLiteral("Атмосферное давление: 630 мм рт.ст."));
    EXPECT_EQ(Form->Panel5->Caption(), QStringLiteral("Относительная влажность: 0%"));

    // On the diagram page the panels keep their texts although reports keep coming.
    ClickTab(TFormPage::Diagram);
    r[9] = 30;
    ASSERT_TRUE(Inject(r));
    EXPECT_EQ(Form->Panel2->Caption(), QStringLiteral("Температура в доме: +0°C"));
}

TEST_F(StationPages, LoadFillsEveryControlThenTheClockAndCodesFollow)
{
    GiveStationSettings();
    ConnectStation();
    // Before the load nothing on the page shows values.
    EXPECT_TRUE(Form->LabeledEdit1->Text().isEmpty());
    EXPECT_FALSE(Form->RadioGroup1->isEnabled());

    LoadSettings();
    TForm1& f = *Form;
    EXPECT_TRUE(f.RadioGroup1->isEnabled());
    EXPECT_EQ(f.UpDown3->Position(), 3);
    EXPECT_EQ(f.LabeledEdit3->Text(), QStringLiteral("-17"));
    EXPECT_EQ(f.UpDown4->Position(), 80);
    EXPECT_EQ(f.LabeledEdit6->Text(), QStringLiteral("+70"));
    EXPECT_TRUE(f.RadioButton1->isChecked());
    EXPECT_EQ(f.UpDown5->Position(), 0);
    EXPECT_EQ(f.LabeledEdit7->Text(), QStringLiteral("-25"));
    EXPECT_TRUE(f.RadioButton3->isChecked());
    EXPECT_EQ(f.Station.TimerValue, 125);
    EXPECT_EQ(f.UpDown6->Position(), 12);
    EXPECT_EQ(f.LabeledEdit8->Text(), QStringLiteral("125"));
    EXPECT_TRUE(f.RadioButton5->isChecked());
    EXPECT_TRUE(f.RadioButton10->isChecked());
    // The clock, date and codes start with the report after the load.
    EXPECT_TRUE(f.LabeledEdit1->Text().isEmpty());
    EXPECT_TRUE(f.LabeledEdit4->Text().isEmpty());

    ASSERT_TRUE(Advance(1000));
    const simulator::TStationDateTime clock = Station->Model().Clock();
    EXPECT_EQ(clock.Hour, 9);
    EXPECT_EQ(f.LabeledEdit1->Text(),
              QStringLiteral("%1:%2:%3")
                  .arg(clock.Hour, 2, 10, QLatin1Char('0'))
                  .arg(clock.Minute, 2, 10, QLatin1Char('0'))
                  .arg(clock.Second, 2, 10, QLatin1Char('0')));
    EXPECT_EQ(f.LabeledEdit2->Text(), QStringLiteral("07.03.24"));
    auto hex = [](const simulator::TSensorCode& code) {
        QString text;
        for (std::uint8_t b : code)
            text += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        return text;
    };
    EXPECT_EQ(f.LabeledEdit4->Text(), hex(Station->Model().SensorCode(IndoorSensor)));
    EXPECT_EQ(f.LabeledEdit5->Text(), hex(Station->Model().SensorCode(OutdoorSensor)));
    EXPECT_TRUE(f.LabeledEdit4->Text().startsWith(QStringLiteral("28")));

    // A second load is one-shot again: a change made on the page stays until the next load.
    ClickItem(4);
    PressRight(f.UpDown6);
    EXPECT_EQ(f.LabeledEdit8->Text(), QStringLiteral("130"));
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(f.LabeledEdit8->Text(), QStringLiteral("130"));
}

TEST_F(StationPages, EverySetSendsItsItemAndTheStationAppliesIt)
{
    GiveStationSettings();
    ConnectStation();
    LoadSettings();
    TForm1& f = *Form;
    simulator::TStationModel& model = Station->Model();

    // Time and date with a clock correction of +2.
    ClickItem(0);
    PressRight(f.UpDown3, 19);
    EXPECT_EQ(f.LabeledEdit3->Text(), QStringLiteral("+2"));
    Click(f.Button7);
    TReport r = LastSent();
    EXPECT_EQ(r[19], 2);
    EXPECT_EQ(r[18], 1);
    EXPECT_EQ((std::vector<int>{r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]}),
              (std::vector<int>{9, 42, 18, 2, 23, 11, 25, 22}));
    EXPECT_EQ(model.Clock(), (simulator::TStationDateTime{2025, 11, 23, 18, 42, 9}));
    EXPECT_EQ(model.ClockCorrection(), 22);
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(f.LabeledEdit2->Text(), QStringLiteral("23.11.25"));

    // Pressure off, correction -10: the next report has no pressure, the panel its placeholder.
    ClickItem(2);
    PressLeft(f.UpDown4, 80);
    Click(f.RadioButton2);
    Click(f.Button7);
    r = LastSent();
    EXPECT_EQ(r[18], 4);
    EXPECT_EQ(r[10], 0);
    EXPECT_EQ(r[11], 0);
    EXPECT_FALSE(model.PressureOn());
    EXPECT_EQ(model.PressureCorrection(), 0);
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(Form->Station.ReportImage[28], 0);
    EXPECT_EQ(f.Panel4->Caption(), PressurePlaceholder);

    // Humidity off.
    ClickItem(3);
    PressRight(f.UpDown5, 50);
    Click(f.RadioButton4);
    Click(f.Button7);
    r = LastSent();
    EXPECT_EQ(r[18], 5);
    EXPECT_EQ(r[12], 0);
    EXPECT_EQ(r[13], 50);
    EXPECT_FALSE(model.HumidityOn());
    EXPECT_EQ(model.HumidityCorrection(), 50);
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(f.Panel5->Caption(), HumidityPlaceholder);

    // Timer: 125 from the station, one step up is 130; off.
    ClickItem(4);
    PressRight(f.UpDown6);
    Click(f.RadioButton6);
    Click(f.Button7);
    r = LastSent();
    EXPECT_EQ(r[18], 6);
    EXPECT_EQ(r[14] * 256 + r[15], 130);
    EXPECT_EQ(r[16], 0);
    EXPECT_EQ(model.TimerValue(), 130);
    EXPECT_FALSE(model.TimerOn());
    // The largest timer needs the high byte.
    PressRight(f.UpDown6, 100);
    Click(f.Button7);
    EXPECT_EQ(LastSent()[14], 3);
    EXPECT_EQ(LastSent()[15], 132);
    EXPECT_EQ(model.TimerValue(), 900);

    // Saving on.
    ClickItem(5);
    Click(f.RadioButton9);
    Click(f.Button7);
    r = LastSent();
    EXPECT_EQ(r[18], 7);
    EXPECT_EQ(r[17], 1);
    EXPECT_TRUE(model.SavingOn());

    // A reload shows what the station now holds.
    Click(f.Button6);
    ASSERT_TRUE(Advance(1000));
    EXPECT_TRUE(f.RadioButton2->isChecked());
    EXPECT_TRUE(f.RadioButton4->isChecked());
    EXPECT_TRUE(f.RadioButton6->isChecked());
    EXPECT_TRUE(f.RadioButton9->isChecked());
    EXPECT_EQ(f.LabeledEdit3->Text(), QStringLiteral("+2"));
    EXPECT_EQ(f.LabeledEdit6->Text(), QStringLiteral("-10"));
    EXPECT_EQ(f.LabeledEdit7->Text(), QStringLiteral("+25"));
    EXPECT_EQ(f.LabeledEdit8->Text(), QStringLiteral("900"));
}

TEST_F(StationPages, ReadAndClearOfASensorCodeReachTheStation)
{
    ConnectStation();
    LoadSettings();
    TForm1& f = *Form;
    ASSERT_TRUE(Advance(1000));
    const QString indoorRom = f.LabeledEdit4->Text();
    ClickItem(1);
    EXPECT_FALSE(f.Button7->isEnabled());
    ASSERT_TRUE(f.Button5->isEnabled());

    // Clear the outdoor code: the station forgets it, the code reads all FF, no outdoor value.
    Click(f.RadioButton8);
    Click(f.Button5);
    TReport r = LastSent();
    EXPECT_EQ((std::vector<int>{r[9], r[18], r[19]}), (std::vector<int>{1, 3, 2}));
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(f.LabeledEdit5->Text(), QStringLiteral("FFFFFFFFFFFFFFFF"));
    EXPECT_EQ(f.Panel3->Caption(), OutdoorPlaceholder);
    EXPECT_EQ(f.LabeledEdit4->Text(), indoorRom);

    // Read it again: the sensor's code is back, and so is its temperature.
    Click(f.Button4);
    r = LastSent();
    EXPECT_EQ((std::vector<int>{r[9], r[18], r[19]}), (std::vector<int>{1, 2, 2}));
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(f.LabeledEdit5->Text().size(), 16);
    EXPECT_NE(f.LabeledEdit5->Text(), QStringLiteral("FFFFFFFFFFFFFFFF"));
    EXPECT_NE(f.Panel3->Caption(), OutdoorPlaceholder);

    // The indoor sensor is chosen with the other button.
    Click(f.RadioButton7);
    Click(f.Button5);
    EXPECT_EQ(LastSent()[9], 0);
    EXPECT_EQ(LastSent()[18], 3);
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(f.LabeledEdit4->Text(), QStringLiteral("FFFFFFFFFFFFFFFF"));
    EXPECT_EQ(f.Panel2->Caption(), IndoorPlaceholder);
}

// What the screen shows of a control: its part of the window as last painted.
QImage OnScreen(QWidget* control)
{
    QWidget* window = control->window();
    const QRect place(control->mapTo(window, QPoint(0, 0)), control->size());
    return window->screen()->grabWindow(window->winId()).toImage().copy(place).convertToFormat(QImage::Format_RGB32);
}

// The control as it would be painted now.
QImage AsPainted(QWidget* control)
{
    return control->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST_F(StationPages, BurstReachesBothHalvesAndOnlyChangedTextsAreSetAgain)
{
    ConnectStation();
    LoadSettings();
    TForm1& f = *Form;
    ASSERT_TRUE(Advance(1000));
    // The user selects the indoor code to copy it: the reports that follow, whose code is the
    // same, leave the selection alone while the clock runs on.
    ClickItem(1);
    f.LabeledEdit4->selectAll();
    const QString before = f.LabeledEdit1->Text();
    ASSERT_TRUE(Advance(2000));
    EXPECT_NE(f.LabeledEdit1->Text(), before);
    EXPECT_EQ(f.LabeledEdit4->selectedText(), f.LabeledEdit4->Text());

    // 300 reports at once on the readings page, each different from the one before, the last
    // with a new indoor code; the settings page behind shows them once it is shown.
    ClickTab(TFormPage::Readings);
    ASSERT_TRUE(Settle());
    simulator::TInputReport r = Station->Model().ReadingsReport();
    for (int i = 0; i < 300; ++i) {
        r[2] = static_cast<std::uint8_t>(i % 60);
        r[9] = static_cast<std::uint8_t>(10 + i % 20);
        r[10] = static_cast<std::uint8_t>(i % 30), r[11] = static_cast<std::uint8_t>(i % 2);
        r[29] = static_cast<std::uint8_t>(100 + i % 50);
        r[32] = static_cast<std::uint8_t>(i % 100);
        r[13] = static_cast<std::uint8_t>(i == 299 ? 0xAB : r[13]);
        TReport report(r.size() + 1, 0);
        std::copy(r.begin(), r.end(), report.begin() + 1);
        ASSERT_TRUE(Platform.QueueInputReport(Station->DeviceId(), std::move(report)));
    }
    ASSERT_TRUE(Settle());
    TReportImage last;
    std::copy(r.begin(), r.end(), last.begin());
    const std::vector<std::pair<gui::TPanel*, QString>> panels = {{f.Panel2, IndoorTemperatureText(last)},
                                                                  {f.Panel3, OutdoorTemperatureText(last)},
                                                                  {f.Panel4, PressureText(last)},
                                                                  {f.Panel5, HumidityText(last)}};
    const std::vector<std::pair<gui::TLabeledEdit*, QString>> edits = {
        {f.LabeledEdit1, StationTimeText(last)},
        {f.LabeledEdit2, StationDateText(last)},
        {f.LabeledEdit4, SensorCodeText(last, InField::IndoorSensorCode)},
        {f.LabeledEdit5, SensorCodeText(last, InField::OutdoorSensorCode)}};
    for (const auto& [panel, text] : panels)
        EXPECT_EQ(panel->Caption(), text) << panel->objectName().toStdString();
    // The screen comes to show the last report's values.
    for (const auto& entry : panels) {
        const auto panel = entry.first;
        EXPECT_TRUE(PumpUntil([panel] { return OnScreen(panel) == AsPainted(panel); }))
            << panel->objectName().toStdString();
    }

    // One more report in which only the humidity changed: it lands, and only its panel is painted.
    TPaintCounter indoorPaints(f.Panel2);
    TPaintCounter humidityPaints(f.Panel5);
    r[32] = 77;
    ASSERT_TRUE(Inject(r));
    EXPECT_EQ(f.Panel5->Caption(), QStringLiteral("Относительная влажность: 77%"));
    EXPECT_TRUE(PumpUntil([&] { return humidityPaints.Count > 0 && OnScreen(f.Panel5) == AsPainted(f.Panel5); }));
    EXPECT_EQ(indoorPaints.Count, 0);

    // Back on the settings page, by way of the diagram page whose command is written over the
    // report, the edits show the last report's values at once.
    ClickTab(TFormPage::Diagram);
    ClickTab(TFormPage::Settings);
    for (const auto& [edit, text] : edits)
        EXPECT_EQ(edit->text(), text) << edit->objectName().toStdString();
    EXPECT_EQ(f.LabeledEdit4->text().mid(2, 2), QStringLiteral("AB"));
}

TEST_F(StationPages, PageChangesSendOnlyStreamOrQuiet)
{
    ConnectStation();
    // The image's byte 19 comes from the last input report; a report that happens to carry a
    // download or clear code there must never be sent back as a command.
    simulator::TInputReport r = Station->Model().ReadingsReport();
    r[19] = 3;
    ASSERT_TRUE(Inject(r));
    const std::size_t before = Sent.size();
    using enum TFormPage;
    for (TFormPage page : {Help, Diagram, Readings, Help, Settings, Diagram, Settings, Readings})
        ClickTab(page);
    ASSERT_EQ(Sent.size(), before + 8);
    std::vector<int> codes;
    for (std::size_t i = before; i < Sent.size(); ++i)
        codes.push_back(Sent[i][19]);
    EXPECT_EQ(codes, (std::vector<int>{5, 5, 1, 5, 1, 5, 1, 1}));
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Streaming);

    // Quiet on the diagram page: the station stops streaming.
    ASSERT_TRUE(Settle());
    ClickTab(TFormPage::Diagram);
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Idle);
    ASSERT_TRUE(Settle());
    const int reads = Platform.ReadStarts(Station->DeviceId());
    Station->Advance(std::chrono::milliseconds(3000));
    EXPECT_EQ(Platform.QueuedInputReports(Station->DeviceId()), 0u);
    EXPECT_EQ(Platform.ReadStarts(Station->DeviceId()), reads);
}

// As the programs start it: the first picture first, the archive and the help, «Архив»,
// «Публикация» and «Оповещения» pages just after; a user who turns to them finds them whole. A
// window closed before that still leaves its copy in the archive, as every start does.
TEST_F(StationPages, TheProgramsStartMakesWhatTheFirstPictureDoesNotShowJustAfterIt)
{
    ASSERT_TRUE(testsupport::WriteFileBytes(HistoryFileName, HistoryFileBytes(testsupport::SmallHistoryImage(), 1)));
    {
        TForm1 closedAtOnce(Platform, nullptr, TForm1::TStart::AfterFirstPaint);
        EXPECT_EQ(closedAtOnce.Core.Archive(), nullptr);
        ASSERT_TRUE(closedAtOnce.close());
        ASSERT_NE(closedAtOnce.Core.Archive(), nullptr);
        EXPECT_EQ(closedAtOnce.Core.Archive()->Holdings().Hours, 3);
        EXPECT_EQ(closedAtOnce.PublishPage1, nullptr); // nothing more starts after the close
    }
    // A new archive, for the next window to import the copy into.
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(archive::ArchiveFileName + suffix);

    Form = std::make_unique<TForm1>(Platform, nullptr, TForm1::TStart::AfterFirstPaint);
    for (const void* later :
         {static_cast<const void*>(Form->Core.Archive()), static_cast<const void*>(Form->Memo1),
          static_cast<const void*>(Form->ArchivePage1), static_cast<const void*>(Form->PublishPage1),
          static_cast<const void*>(Form->AlarmsPage1)})
        EXPECT_EQ(later, nullptr);
    Form->show();
    ASSERT_TRUE(PumpUntil([&] { return Form->PublishPage1 != nullptr; }));
    ASSERT_NE(Form->Core.Archive(), nullptr);
    EXPECT_EQ(Form->Core.Archive()->Holdings().Hours, 3);
    ClickTab(TFormPage::Help);
    ASSERT_NE(Form->Memo1, nullptr);
    EXPECT_TRUE(Form->Memo1->isVisible());
    EXPECT_TRUE(Form->Memo1->toPlainText().endsWith(QStringLiteral("Версия: 1.2")));
    ClickTab(TFormPage::Archive);
    EXPECT_TRUE(Form->ArchivePage1->isVisible());
    EXPECT_EQ(Form->ArchivePage1->Store(), Form->Core.Archive());
    ClickTab(TFormPage::Publish);
    EXPECT_TRUE(Form->PublishPage1->isVisible());
    ASSERT_NE(Form->PublishPage1->findChild<TMqttBlock*>(), nullptr);
    EXPECT_TRUE(Form->PublishPage1->findChild<TMqttBlock*>()->isVisible());
    ClickTab(TFormPage::Alarms);
    EXPECT_TRUE(Form->AlarmsPage1->isVisible());
}

} // namespace
} // namespace e2e
