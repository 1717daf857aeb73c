// The tray icon through the real window: without a tray its settings are off with a hint; with
// one, the menu's switch is the page's and the file's, the user's close hides the window in the
// tray where the station keeps streaming into the tooltip, a click or a vanished tray brings the
// window back, and «Выход» (a close by the program) really closes.
#include "core/alarm_watch.h"
#include "gui/bring_forward.h"
#include "station/alarms_page.h"
#include "station/tray_side.h"
#include "tests/support/e2e_support.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QSystemTrayIcon>

namespace {

using testsupport::PumpUntil;

class WindowTray : public e2e::StationE2E
{
protected:
    void SetUp() override
    {
        StationE2E::SetUp();
        CreateForm();
        Form->TraySide->SetTrayCheck([this] { return TrayThere; });
        ConnectStation();
    }

    // The close button of the window's frame: an event from the window system (Qt's test library
    // marks it so).
    void UserCloses()
    {
        QCloseEvent event;
        QSpontaneKeyEvent::setSpontaneous(&event);
        QCoreApplication::instance()->notify(Form.get(), &event);
    }

    bool TrayThere = false;
};

TEST_F(WindowTray, ClosingIntoTheTrayAndBack)
{
    TAlarmsPage* page = Form->AlarmsPage1;
    TTraySide* tray = Form->TraySide;
    // No tray: the switches that need one are off, the hint says why, closing still closes.
    EXPECT_FALSE(page->CloseToTray->isEnabled());
    EXPECT_TRUE(page->TrayHint->isVisibleTo(page));
    EXPECT_FALSE(tray->StartInTray());
    EXPECT_TRUE(Form->isVisible());

    TrayThere = true;
    tray->CheckTray();
    EXPECT_TRUE(page->CloseToTray->isEnabled());
    EXPECT_FALSE(page->TrayHint->isVisibleTo(page));
    // The switch is the same in the menu, on the page and in the file.
    tray->CloseToTrayAction->trigger();
    EXPECT_TRUE(page->CloseToTray->isChecked());
    EXPECT_TRUE(testsupport::ReadFileBytes(settings::MeteostationFileName).contains("close_to_tray=true"));
    Click(page->CloseToTray);
    EXPECT_FALSE(tray->CloseToTrayAction->isChecked());
    Click(page->CloseToTray);
    ASSERT_TRUE(tray->CloseToTrayAction->isChecked());

    // Closed from the help page, where the station is quiet: the window waits in the tray on the
    // readings page, and the station streams on into the tooltip.
    ClickTab(TFormPage::Help);
    ASSERT_EQ(LastCode(), 5); // quiet
    UserCloses();
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Form->Station.Closing, 0);
    EXPECT_EQ(Form->PageControl1->ActivePageIndex(), PageIndex(TFormPage::Readings));
    EXPECT_EQ(LastCode(), 1);
    simulator::TInputReport report = Station->Model().ReadingsReport();
    report[InField::OutdoorStatus] = 16, report[InField::OutdoorTemperature] = 4, report[InField::OutdoorSign] = 0;
    ASSERT_TRUE(Inject(report));
    // The tray shows the last report within a frame.
    ASSERT_TRUE(testsupport::PumpUntil(
        [&] { return tray->Tray->toolTip().contains(QStringLiteral("Температура на улице: -4°C")); }));
    const QString tooltip = tray->Tray->toolTip();
    EXPECT_TRUE(tooltip.contains(QStringLiteral("Температура на улице: -4°C"))) << tooltip.toStdString();
    EXPECT_TRUE(tooltip.contains(Form->AlarmWatch->Outlook().TrendLine())) << tooltip.toStdString();
    EXPECT_TRUE(tooltip.contains(QStringLiteral("Последние данные: 18:42"))) << tooltip.toStdString();
    EXPECT_FALSE(tray->Tray->icon().isNull());

    // A click on the icon brings it back; a second start of the program and a tray that vanishes do too.
    emit tray->Tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(Form->isVisible());
    UserCloses();
    ASSERT_FALSE(Form->isVisible());
    gui::BringWindowsForward(); // what a second start's request runs
    EXPECT_TRUE(Form->isVisible());
    UserCloses();
    ASSERT_FALSE(Form->isVisible());
    TrayThere = false;
    tray->CheckTray();
    EXPECT_TRUE(Form->isVisible());
    EXPECT_FALSE(page->CloseToTray->isEnabled());

    // «Выход» ends the program, tray or not.
    TrayThere = true;
    tray->CheckTray();
    UserCloses();
    ASSERT_FALSE(Form->isVisible());
    tray->QuitAction->trigger();
    EXPECT_EQ(Form->Station.Closing, 1);
    EXPECT_EQ(LastCode(), 5);
}

TEST_F(WindowTray, AProgramsCloseIsNeverTakenForTheUsers)
{
    TrayThere = true;
    Form->TraySide->CheckTray();
    Form->TraySide->CloseToTrayAction->trigger();
    // As the termination signals close it.
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(Form->Station.Closing, 1);
}

} // namespace
