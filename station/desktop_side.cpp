// The tray icon, the alarms with their notifications and history, the trend and forecast line and
// the «Оповещения» page's choices.
#include "station/desktop_side.h"
#include "archive/archive_store.h"
#include "core/readings_text.h"
#include "desktop/autostart.h"
#include "gui/bring_forward.h"
#include "gui/error_box.h"
#include "gui/repaint_pacing.h"
#include "station/alarms_page.h"
#include "station/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// The program's desktop entry and icon, as the notification service and autostart know them.
const QString ProgramName = QStringLiteral("meteostation");
const QString DisplayName = QStringLiteral("Метеостанция");
// The launcher the Linux package installs beside the program: it starts the program in the user's
// data folder. Where it is not (Windows, a build folder), the entry starts the program itself.
const QString LauncherName = QStringLiteral("meteostation-launcher");

// The alarm's name in the history and the notification's key.
QString AlarmKey(weather::TAlarmKind kind)
{
    static const char* const keys[weather::AlarmKindCount] = {"frost",    "heat",    "pressure_fall",
                                                              "humidity", "silence", "archive_failure"};
    return QLatin1String(keys[static_cast<int>(kind)]);
}

desktop::TAutostartEntry AutostartEntry(bool inTray)
{
    desktop::TAutostartEntry entry;
    entry.Name = ProgramName;
    entry.DisplayName = DisplayName;
    entry.Comment = QStringLiteral("Показания домашней метеостанции");
    entry.IconName = ProgramName;
    const QString launcher = QCoreApplication::applicationDirPath() + QLatin1Char('/') + LauncherName;
    if (QFileInfo(launcher).isExecutable()) {
        entry.Program = launcher;
        entry.Arguments << QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    } else {
        entry.Program = QCoreApplication::applicationFilePath();
    }
    if (inTray)
        entry.Arguments << desktop::StartInTrayArgument;
    return entry;
}

} // namespace

TDesktopSide::TDesktopSide(TForm1& form)
    : QObject(&form)
    , Form(form)
    , FTrayCheck([] { return QSystemTrayIcon::isSystemTrayAvailable(); })
    , FPicture(form.windowIcon())
    , FAlarms({}, weather::TAlarmEngine::TClock::now())
    , FOutlook(form.Core)
{
    Tray = new QSystemTrayIcon(this);
    Tray->setObjectName(QStringLiteral("Tray"));
    TrayMenu = new QMenu(&form);
    TrayMenu->setObjectName(QStringLiteral("TrayMenu"));
    OpenAction = TrayMenu->addAction(QStringLiteral("Открыть"), this, &TDesktopSide::ShowWindow);
    CloseToTrayAction = TrayMenu->addAction(QStringLiteral("Свернуть в трей при закрытии"));
    CloseToTrayAction->setCheckable(true);
    connect(CloseToTrayAction, &QAction::toggled, this, &TDesktopSide::SetCloseToTray);
    TrayMenu->addSeparator();
    QuitAction = TrayMenu->addAction(QStringLiteral("Выход"), this, &TDesktopSide::Quit);
    Tray->setContextMenu(TrayMenu);
    connect(Tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            ShowWindow();
    });
    FPicture.Update(std::nullopt);
    Tray->setIcon(FPicture.Icon());
    FShowReport = new gui::TFramePacedCall(this, [this] { ShowReport(); });
    ClockTick = new QTimer(this);
    ClockTick->setInterval(TickMs);
    connect(ClockTick, &QTimer::timeout, this, &TDesktopSide::Tick);
    connect(&form.Core, &TStationCore::Reading, this, &TDesktopSide::TakeReading);
    connect(&form.Core, &TStationCore::SampleWritten, this, &TDesktopSide::TakeArchiveResult);
    connect(&form.Core, &TStationCore::DownloadMerged, this,
            [this](const archive::TMergeResult& result, int) { TakeArchiveResult(result.Ok, result.Message); });
}

TDesktopSide::~TDesktopSide() = default;

void TDesktopSide::Start()
{
    QStringList problems;
    const auto alarms = settings::LoadAlarmSettings();
    const auto forecast = settings::LoadForecastSettings();
    const auto tray = settings::LoadTraySettings();
    for (const QString& problem : {alarms.Problem, forecast.Problem, tray.Problem})
        if (!problem.isEmpty())
            problems << problem;
    Apply(FAlarms.SetSettings(alarms.Settings));
    FOutlook.SetSettings(forecast.Settings);
    FTraySettings = tray.Settings;

    TAlarmsPage* page = Form.AlarmsPage1;
    page->ShowAlarmSettings(alarms.Settings);
    page->ShowForecastSettings(forecast.Settings);
    page->ShowTraySettings(FTraySettings);
    {
        const QSignalBlocker blocker(CloseToTrayAction);
        CloseToTrayAction->setChecked(FTraySettings.CloseToTray);
    }
    ShowAutostartState();
    connect(page, &TAlarmsPage::AlarmSettingsChosen, this, &TDesktopSide::ChooseAlarms);
    connect(page, &TAlarmsPage::ForecastSettingsChosen, this, &TDesktopSide::ChooseForecast);
    connect(page, &TAlarmsPage::TraySettingsChosen, this,
            [this](const settings::TTraySettings& settings) { SetCloseToTray(settings.CloseToTray); });
    connect(page, &TAlarmsPage::AutostartChosen, this, &TDesktopSide::ChooseAutostart);

    // A report before now had the outlook worked out without the archive, which the window has
    // just opened.
    FOutlook.ArchiveChanged();
    RefreshOutlook();
    Tick();
    ClockTick->start();
    if (!problems.isEmpty())
        gui::ShowErrorBoxLater(&Form, problems.join(QLatin1Char(' ')));
}

void TDesktopSide::SetNotifier(std::unique_ptr<desktop::TDesktopNotifier> notifier)
{
    FNotifier = std::move(notifier);
    if (!FNotifier)
        return;
    connect(FNotifier.get(), &desktop::TDesktopNotifier::NotificationShown, this,
            [this] { FNotificationProblem.clear(); });
    // The alarm is on the readings page all the same; the line's tooltip says why no notification.
    connect(FNotifier.get(), &desktop::TDesktopNotifier::NotificationFailed, this, [this](const QString& reason) {
        FNotificationProblem = reason;
        Form.AlarmLabel->setToolTip(reason);
    });
}

void TDesktopSide::SetTrayCheck(TTrayCheck check)
{
    FTrayCheck = std::move(check);
    // Before the start, Start's own tick weighs it.
    if (ClockTick->isActive())
        Tick();
}

bool TDesktopSide::TrayAvailable() const
{
    return FTrayCheck && FTrayCheck();
}

// ---- The station's reports and the archive ----

void TDesktopSide::TakeReading(const base::TStationReading& reading)
{
    // The tooltip shows the readings as the readings page does, from the report they came in.
    FImage = Form.Station.ReportImage;
    // The reading's own time: the clock is read once per report, it costs.
    FLastReport = reading.Time;
    FOutdoor = reading.Value(base::TQuantity::OutdoorTemperature);
    if (FOutlook.TakeReading(reading))
        ShowOutlook();

    weather::TAlarmReadings readings;
    if (FOutdoor)
        readings.OutdoorC = *FOutdoor;
    if (const auto humidity = reading.Value(base::TQuantity::Humidity))
        readings.HumidityPercent = *humidity;
    if (const auto& trend = FOutlook.Outlook().Trend())
        readings.PressureChange3hMmHg = trend->ChangeMmHg;
    Apply(FAlarms.TakeReport(readings, weather::TAlarmEngine::TClock::now()));

    // Drawing the tray's picture costs more than all the rest of a report: a station that sends
    // faster than the screen shows has it drawn once a frame, for the last report.
    FShowReport->Request();
}

void TDesktopSide::ShowReport()
{
    std::optional<double> outdoor;
    if (FOutdoor)
        outdoor = *FOutdoor;
    if (FPicture.Update(outdoor))
        Tray->setIcon(FPicture.Icon());
    RefreshTooltip();
}

void TDesktopSide::TakeArchiveResult(bool ok, const QString& message)
{
    // The outlook has taken it already (it subscribed first).
    Apply(FAlarms.TakeArchiveResult(ok, message));
}

void TDesktopSide::Tick()
{
    const auto now = weather::TAlarmEngine::TClock::now();
    if (Form.StreamingReadings())
        Apply(FAlarms.Tick(now));
    else if (!FAlarms.Ringing(weather::TAlarmKind::Silence))
        // The station was told to be quiet: its silence is not one to ring about.
        Apply(FAlarms.TakeReport({}, now));
    RefreshOutlook();

    const bool available = TrayAvailable();
    if (FTrayShown != available) {
        FTrayShown = available;
        Tray->setVisible(available);
        Form.AlarmsPage1->SetTrayAvailable(available);
        // A tray that went away must not leave the window unreachable.
        if (!available && Form.isHidden() && !FQuitting)
            ShowWindow();
    }
}

void TDesktopSide::RefreshOutlook()
{
    if (FOutlook.Refresh())
        ShowOutlook();
}

void TDesktopSide::ShowOutlook()
{
    const TWeatherOutlook& outlook = FOutlook.Outlook();
    Form.OutlookLabel->setText(outlook.TrendLine() + QLatin1Char('\n') + outlook.ForecastLine());
    RefreshTooltip();
    emit OutlookChanged();
}

void TDesktopSide::RefreshTooltip()
{
    QString text = DisplayName;
    if (FLastReport.isValid()) {
        text += QLatin1Char('\n') + IndoorTemperatureText(FImage) + QLatin1Char('\n') + OutdoorTemperatureText(FImage) +
            QLatin1Char('\n') + PressureText(FImage) + QLatin1Char('\n') + HumidityText(FImage);
    }
    text += QLatin1Char('\n') + FOutlook.Outlook().TrendLine();
    if (FLastReport.isValid())
        text += QStringLiteral("\nПоследние данные: ") + FLastReport.toString(QStringLiteral("HH:mm"));
    else
        text += QStringLiteral("\nДанных от метеостанции пока нет");
    // Set only when it changed: a report a second must not make the tray redraw its tooltip.
    if (text == FTooltip)
        return;
    FTooltip = text;
    Tray->setToolTip(text);
}

// ---- Alarms ----

void TDesktopSide::Apply(const std::vector<weather::TAlarmChange>& changes)
{
    if (changes.empty())
        return;
    // The desktop's notifier is reached for only when there is something to tell.
    if (!FNotifier)
        SetNotifier(desktop::CreateDesktopNotifier(ProgramName, ProgramName, Tray));
    for (const weather::TAlarmChange& change : changes) {
        std::erase_if(FRinging, [&change](const auto& ringing) { return ringing.first == change.Kind; });
        if (change.Started)
            FRinging.emplace_back(change.Kind, change.Summary + QStringLiteral(": ") + change.Body);
        FNotifier->Notify(AlarmKey(change.Kind), change.Summary, change.Body);
        // The history is kept where the archive can take it; an archive that fails is its own alarm.
        if (archive::TArchiveStore* store = Form.Core.Archive())
            store->AddAlarm(
                {archive::MinuteKeyOf(Form.Now()), AlarmKey(change.Kind), change.Started, change.Summary, change.Body});
    }
    ShowAlarmLine();
}

void TDesktopSide::ShowAlarmLine()
{
    QLabel* line = Form.AlarmLabel;
    if (FRinging.empty()) {
        line->clear();
        line->hide();
        return;
    }
    QString text = FRinging.back().second;
    if (FRinging.size() > 1)
        text += QStringLiteral(" (ещё сигналов: %1)").arg(FRinging.size() - 1);
    line->setText(text);
    line->show();
}

// ---- The window and the tray ----

bool TDesktopSide::HideOnClose(const QCloseEvent& event)
{
    if (FQuitting || !event.spontaneous() || !FTraySettings.CloseToTray || !TrayAvailable())
        return false;
    HideInTray();
    return true;
}

bool TDesktopSide::StartInTray()
{
    if (!TrayAvailable())
        return false;
    HideInTray();
    return true;
}

void TDesktopSide::HideInTray()
{
    // While hidden, closing a message box must not end the program as its last window.
    QApplication::setQuitOnLastWindowClosed(false);
    // The tray shows the readings and the alarms weigh them: the station must stream.
    Form.ShowReadingsPageIfFree();
    Form.hide();
    // A second start of the program brings it back from the tray, unless it is ending.
    gui::ShowOnBringForward(&Form, [this] {
        if (!FQuitting)
            ShowWindow();
    });
}

void TDesktopSide::ShowWindow()
{
    gui::ShowOnBringForward(&Form, nullptr);
    QApplication::setQuitOnLastWindowClosed(true);
    if (Form.isMinimized())
        Form.showNormal();
    else
        Form.show();
    Form.raise();
    Form.activateWindow();
}

void TDesktopSide::Quit()
{
    FQuitting = true;
    if (!Form.close())
        FQuitting = false;
}

void TDesktopSide::Closed()
{
    // A window closed while hidden in the tray (by «Выход» or a termination signal) is no last
    // window closing for Qt: the program ends here instead.
    QApplication::setQuitOnLastWindowClosed(true);
    if (Form.isHidden())
        QCoreApplication::quit();
}

// ---- The page's choices ----

void TDesktopSide::SetCloseToTray(bool on)
{
    const settings::TTraySettings settings{on};
    if (settings == FTraySettings)
        return;
    FTraySettings = settings;
    Form.AlarmsPage1->ShowTraySettings(settings);
    {
        const QSignalBlocker blocker(CloseToTrayAction);
        CloseToTrayAction->setChecked(on);
    }
    Form.AlarmsPage1->ShowProblem(settings::SaveTraySettings(settings));
}

void TDesktopSide::ChooseAlarms(const weather::TAlarmSettings& settings)
{
    Form.AlarmsPage1->ShowProblem(settings::SaveAlarmSettings(settings));
    Apply(FAlarms.SetSettings(settings));
}

void TDesktopSide::ChooseForecast(const weather::TForecastSettings& settings)
{
    Form.AlarmsPage1->ShowProblem(settings::SaveForecastSettings(settings));
    FOutlook.SetSettings(settings);
    RefreshOutlook();
}

void TDesktopSide::ChooseAutostart(bool enabled, bool inTray)
{
    const QString problem =
        enabled ? desktop::EnableAutostart(AutostartEntry(inTray)) : desktop::DisableAutostart(ProgramName);
    Form.AlarmsPage1->ShowProblem(problem);
    // The page shows what the system has, also when the change could not be made.
    ShowAutostartState();
}

void TDesktopSide::ShowAutostartState()
{
    const desktop::TAutostartState state = desktop::ReadAutostart(ProgramName);
    Form.AlarmsPage1->ShowAutostart(state.Enabled, state.StartsInTray());
}
