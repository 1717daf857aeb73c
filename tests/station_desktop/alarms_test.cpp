// Alarms through the real window: the stand-in station's outdoor temperature falls through the
// frost threshold the user set on «Оповещения», the notification reaches a stand-in notification
// service on a session bus of the test's own with its Russian summary, body and icon, a value
// hovering at the threshold rings once, the end replaces the start, both go into the archive's
// history; a service that hangs holds up nothing. And the page refuses impossible thresholds.
#include "core/alarm_watch.h"
#include "desktop/freedesktop_notifier.h"
#include "station/alarms_page.h"
#include "station/tray_side.h"
#include "tests/support/desktop_bus_support.h"
#include "tests/support/e2e_support.h"

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>

namespace {

using testsupport::PumpUntil;

constexpr int ShortReplyTimeoutMs = 300;

class WindowAlarms : public e2e::StationE2E
{
protected:
    void SetUp() override
    {
        StationE2E::SetUp();
        Bus = std::make_unique<testsupport::TSessionBus>();
        ASSERT_FALSE(Bus->Address().isEmpty()) << Bus->Why().toStdString();
        Service = std::make_unique<testsupport::TStandInNotificationService>(Bus->Connect(QStringLiteral("service")));
        ASSERT_TRUE(Service->Registered());
        CreateForm();
        ConnectStation();
    }

    // The program's notifier on the test's bus; a short wait for answers only where a hanging
    // service is the point, as a busy machine may well take longer to answer.
    void UseTestBus(int replyTimeoutMs = desktop::NotificationReplyTimeoutMs)
    {
        Form->TraySide->SetNotifier(std::make_unique<desktop::TFreedesktopNotifier>(
            Bus->Connect(QStringLiteral("program")), QStringLiteral("meteostation"), QStringLiteral("meteostation"),
            replyTimeoutMs));
    }

    void TearDown() override
    {
        if (Service)
            Service->Release();
        StationE2E::TearDown();
        Service.reset();
        Bus.reset();
    }

    // The station's own report with the outdoor temperature set to `celsius`.
    bool ReportOutdoor(int celsius)
    {
        simulator::TInputReport report = Station->Model().ReadingsReport();
        report[InField::OutdoorStatus] = 16;
        report[InField::OutdoorTemperature] = static_cast<std::uint8_t>(std::abs(celsius));
        report[InField::OutdoorSign] = celsius < 0 ? OutdoorBelowZero : 1;
        return Inject(report);
    }

    std::unique_ptr<testsupport::TSessionBus> Bus;
    std::unique_ptr<testsupport::TStandInNotificationService> Service;
};

TEST_F(WindowAlarms, FrostRingsOnceThroughTheServiceAndEndsInItsPlace)
{
    UseTestBus();
    ASSERT_TRUE(ReportOutdoor(3));
    // The user turns the frost alarm on at its suggested 0 °C.
    ClickTab(TFormPage::Alarms);
    Click(Form->AlarmsPage1->FrostOn);
    EXPECT_TRUE(Form->AlarmWatch->Alarms().Settings().FrostOn);
    EXPECT_TRUE(testsupport::ReadFileBytes(settings::MeteostationFileName).contains("frost=true"));
    ClickTab(TFormPage::Readings);
    ASSERT_EQ(LastCode(), 1);

    ASSERT_TRUE(ReportOutdoor(-2));
    ASSERT_TRUE(PumpUntil([&] { return Service->Received().size() == 1; }));
    const testsupport::TReceivedNotification start = Service->Received()[0];
    EXPECT_EQ(start.Summary, QStringLiteral("Заморозок"));
    EXPECT_EQ(start.Body, QStringLiteral("На улице −2 °C, ниже порога 0 °C."));
    EXPECT_EQ(start.Icon, QStringLiteral("meteostation"));
    EXPECT_EQ(start.AppName, QStringLiteral("meteostation"));
    EXPECT_TRUE(Form->AlarmLabel->isVisibleTo(Form.get()));
    EXPECT_EQ(Form->AlarmLabel->text(), QStringLiteral("Заморозок: На улице −2 °C, ниже порога 0 °C."));

    // Hovering at the threshold: no new notification until it is a degree above it.
    for (const int celsius : {0, -1, 0, -1, 0})
        ASSERT_TRUE(ReportOutdoor(celsius));
    ASSERT_TRUE(ReportOutdoor(1));
    ASSERT_TRUE(PumpUntil([&] { return Service->Received().size() == 2; }));
    EXPECT_EQ(Service->Received()[1].ReplacesId, 1u);
    EXPECT_FALSE(Form->AlarmLabel->isVisibleTo(Form.get()));
    EXPECT_EQ(Service->Received().size(), 2u);

    const std::vector<archive::TAlarmEntry> history = Form->Core.Archive()->LastAlarms(10);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].Kind, QStringLiteral("frost"));
    EXPECT_FALSE(history[0].Started);
    EXPECT_TRUE(history[1].Started);
    EXPECT_EQ(history[1].Body, start.Body);
    EXPECT_EQ(history[1].Minute, archive::MinuteKeyOf(Form->Now()));
}

TEST_F(WindowAlarms, AHangingServiceHoldsUpNeitherTheStreamNorTheWindow)
{
    UseTestBus(ShortReplyTimeoutMs);
    Click(Form->AlarmsPage1->FrostOn); // on a hidden page: the setting all the same
    ASSERT_TRUE(Form->AlarmWatch->Alarms().Settings().FrostOn);
    Service->Hold(true);
    ASSERT_TRUE(ReportOutdoor(-5));
    ASSERT_TRUE(PumpUntil([&] { return Service->Received().size() == 1; }));
    // The stream goes on while the service keeps its answer; the window shows the alarm itself.
    for (const int celsius : {-6, -7, -8})
        ASSERT_TRUE(ReportOutdoor(celsius));
    EXPECT_EQ(Form->Panel3->Caption(), QStringLiteral("Температура на улице: -8°C"));
    EXPECT_TRUE(Form->AlarmLabel->isVisibleTo(Form.get()));
    ASSERT_TRUE(PumpUntil([&] { return !Form->TraySide->NotificationProblem().isEmpty(); }));
    EXPECT_EQ(Form->AlarmLabel->toolTip(), Form->TraySide->NotificationProblem());
    EXPECT_EQ(Service->Received().size(), 1u);
}

TEST_F(WindowAlarms, ThePageRefusesImpossibleThresholdsInTheRulesWords)
{
    UseTestBus();
    TAlarmsPage* page = Form->AlarmsPage1;
    ClickTab(TFormPage::Alarms);
    page->FrostBelow->setValue(-80);
    EXPECT_EQ(page->Problem->text(), weather::AlarmSettingsProblems({.FrostBelowC = -80}).join(QLatin1Char(' ')));
    EXPECT_FALSE(page->Problem->text().isEmpty());
    EXPECT_EQ(Form->AlarmWatch->Alarms().Settings().FrostBelowC, 0);
    emit page->FrostBelow->editingFinished();
    EXPECT_EQ(page->FrostBelow->value(), 0);

    // Bounds of humidity too close together are refused as a pair; a good one is taken and kept.
    page->HumidityLow->setValue(69);
    EXPECT_TRUE(page->Problem->text().contains(QStringLiteral("влажности")));
    EXPECT_EQ(Form->AlarmWatch->Alarms().Settings().HumidityLowPercent, 30);
    page->HumidityLow->setValue(40);
    EXPECT_TRUE(page->Problem->text().isEmpty());
    EXPECT_EQ(Form->AlarmWatch->Alarms().Settings().HumidityLowPercent, 40);
    page->Elevation->setValue(9000);
    EXPECT_EQ(page->Problem->text(), weather::ForecastSettingsProblem({9000, weather::THemisphere::North}));
    const QByteArray file = testsupport::ReadFileBytes(settings::MeteostationFileName);
    EXPECT_TRUE(file.contains("humidity_low=40")) << file.toStdString();
    EXPECT_FALSE(file.contains("9000")) << file.toStdString();
    EXPECT_EQ(settings::LoadAlarmSettings().Settings.HumidityLowPercent, 40);
}

} // namespace
