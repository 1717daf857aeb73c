// The window's side of the alarms and the tray: the readings page's trend, forecast and alarm
// lines, and the «Оповещения» page, which shows what the alarms, the tray and the autostart entry
// keep and hands them the user's choices.
#include "core/alarm_watch.h"
#include "desktop/autostart.h"
#include "desktop/program_entry.h"
#include "gui/error_box.h"
#include "station/alarms_page.h"
#include "station/main_form.h"
#include "station/tray_side.h"

#include <QLabel>
#include <QStringList>

namespace {

// The page shows what the system has, also when a change could not be made.
void ShowAutostartState(TAlarmsPage& page)
{
    const desktop::TAutostartState state = desktop::ReadAutostart(desktop::ProgramName);
    page.ShowAutostart(state.Enabled, state.StartsInTray());
}

} // namespace

void TForm1::ConnectAlarmWatch()
{
    connect(AlarmWatch, &TAlarmWatch::OutlookChanged, this, [this] {
        const TWeatherOutlook& outlook = AlarmWatch->Outlook();
        OutlookLabel->setText(outlook.TrendLine() + QLatin1Char('\n') + outlook.ForecastLine());
    });
    connect(AlarmWatch, &TAlarmWatch::AlarmsChanged, this, [this] {
        const QString line = AlarmWatch->AlarmLine();
        AlarmLabel->setText(line);
        AlarmLabel->setVisible(!line.isEmpty());
    });
    // The alarm is on the readings page all the same; the line's tooltip says why no notification.
    connect(TraySide, &TTraySide::NotificationFailed, AlarmLabel, &QLabel::setToolTip);
}

void TForm1::ConnectAlarmsPage()
{
    TAlarmsPage* page = AlarmsPage1;
    connect(page, &TAlarmsPage::AlarmSettingsChosen, this, [this, page](const weather::TAlarmSettings& settings) {
        page->ShowProblem(AlarmWatch->ChooseAlarms(settings));
    });
    connect(page, &TAlarmsPage::ForecastSettingsChosen, this, [this, page](const weather::TForecastSettings& settings) {
        page->ShowProblem(AlarmWatch->ChooseForecast(settings));
    });
    connect(page, &TAlarmsPage::TraySettingsChosen, TraySide,
            [this](const settings::TTraySettings& settings) { TraySide->SetCloseToTray(settings.CloseToTray); });
    connect(TraySide, &TTraySide::SettingsChanged, page,
            [page](const settings::TTraySettings& settings, const QString& problem) {
                page->ShowTraySettings(settings);
                page->ShowProblem(problem);
            });
    connect(TraySide, &TTraySide::TrayAvailabilityChanged, page, &TAlarmsPage::SetTrayAvailable);
    connect(page, &TAlarmsPage::AutostartChosen, this, [page](bool enabled, bool inTray) {
        page->ShowProblem(enabled ? desktop::EnableAutostart(desktop::ProgramAutostartEntry(inTray))
                                  : desktop::DisableAutostart(desktop::ProgramName));
        ShowAutostartState(*page);
    });
}

void TForm1::StartAlarmsAndTray()
{
    QStringList problems;
    for (const QString& problem : {AlarmWatch->Start(), TraySide->Start()})
        if (!problem.isEmpty())
            problems << problem;
    AlarmsPage1->ShowAlarmSettings(AlarmWatch->Alarms().Settings());
    AlarmsPage1->ShowForecastSettings(AlarmWatch->Outlook().Settings());
    ShowAutostartState(*AlarmsPage1);
    if (!problems.isEmpty())
        gui::ShowErrorBoxLater(this, problems.join(QLatin1Char(' ')));
}
