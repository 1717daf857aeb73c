#include "station/tray_side.h"

#include "core/alarm_watch.h"
#include "core/readings_text.h"
#include "core/station_core.h"
#include "desktop/program_entry.h"
#include "gui/bring_forward.h"
#include "gui/repaint_pacing.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QSignalBlocker>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

TTraySide::TTraySide(QWidget& window, TStationCore& core, TAlarmWatch& watch, std::function<void()> showReadings)
    : QObject(&window)
    , Window(window)
    , Core(core)
    , Watch(watch)
    , FShowReadings(std::move(showReadings))
    , FTrayCheck([] { return QSystemTrayIcon::isSystemTrayAvailable(); })
    , FPicture(window.windowIcon())
{
    Tray = new QSystemTrayIcon(this);
    Tray->setObjectName(QStringLiteral("Tray"));
    TrayMenu = new QMenu(&window);
    TrayMenu->setObjectName(QStringLiteral("TrayMenu"));
    OpenAction = TrayMenu->addAction(QStringLiteral("Открыть"), this, &TTraySide::ShowWindow);
    CloseToTrayAction = TrayMenu->addAction(QStringLiteral("Свернуть в трей при закрытии"));
    CloseToTrayAction->setCheckable(true);
    connect(CloseToTrayAction, &QAction::toggled, this, &TTraySide::SetCloseToTray);
    TrayMenu->addSeparator();
    QuitAction = TrayMenu->addAction(QStringLiteral("Выход"), this, &TTraySide::Quit);
    Tray->setContextMenu(TrayMenu);
    connect(Tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            ShowWindow();
    });
    FPicture.Update(std::nullopt);
    Tray->setIcon(FPicture.Icon());
    FShowReport = new gui::TFramePacedCall(this, [this] { ShowReport(); });
    FTrayCheckTimer = new QTimer(this);
    FTrayCheckTimer->setInterval(TrayCheckMs);
    connect(FTrayCheckTimer, &QTimer::timeout, this, &TTraySide::CheckTray);
    connect(&core, &TStationCore::Reading, this, &TTraySide::TakeReading);
    connect(&watch, &TAlarmWatch::AlarmsChanged, this, &TTraySide::Notify);
    connect(&watch, &TAlarmWatch::OutlookChanged, this, &TTraySide::RefreshTooltip);
}

TTraySide::~TTraySide() = default;

QString TTraySide::Start()
{
    const auto loaded = settings::LoadTraySettings();
    FSettings = loaded.Settings;
    {
        const QSignalBlocker blocker(CloseToTrayAction);
        CloseToTrayAction->setChecked(FSettings.CloseToTray);
    }
    emit SettingsChanged(FSettings, {});
    RefreshTooltip();
    CheckTray();
    FTrayCheckTimer->start();
    return loaded.Problem;
}

void TTraySide::SetNotifier(std::unique_ptr<desktop::TDesktopNotifier> notifier)
{
    FNotifier = std::move(notifier);
    if (!FNotifier)
        return;
    connect(FNotifier.get(), &desktop::TDesktopNotifier::NotificationShown, this,
            [this] { FNotificationProblem.clear(); });
    connect(FNotifier.get(), &desktop::TDesktopNotifier::NotificationFailed, this, [this](const QString& reason) {
        FNotificationProblem = reason;
        emit NotificationFailed(reason);
    });
}

void TTraySide::SetTrayCheck(TTrayCheck check)
{
    FTrayCheck = std::move(check);
    // Before the start, Start's own check weighs it.
    if (FTrayCheckTimer->isActive())
        CheckTray();
}

bool TTraySide::TrayAvailable() const
{
    return FTrayCheck && FTrayCheck();
}

void TTraySide::CheckTray()
{
    const bool available = TrayAvailable();
    if (FTrayShown == available)
        return;
    FTrayShown = available;
    Tray->setVisible(available);
    emit TrayAvailabilityChanged(available);
    // A tray that went away must not leave the window unreachable.
    if (!available && Window.isHidden() && !FQuitting)
        ShowWindow();
}

// ---- The readings and the alarms ----

void TTraySide::TakeReading(const base::TStationReading& reading)
{
    // The tooltip shows the readings as the readings page does, from the report they came in.
    FImage = Core.Station.ReportImage;
    FLastReport = reading.Time;
    FOutdoor = reading.Value(base::TQuantity::OutdoorTemperature);
    // Drawing the tray's picture costs more than all the rest of a report: a station that sends
    // faster than the screen shows has it drawn once a frame, for the last report.
    FShowReport->Request();
}

void TTraySide::ShowReport()
{
    std::optional<double> outdoor;
    if (FOutdoor)
        outdoor = *FOutdoor;
    if (FPicture.Update(outdoor))
        Tray->setIcon(FPicture.Icon());
    RefreshTooltip();
}

void TTraySide::RefreshTooltip()
{
    QString text = desktop::ProgramDisplayName;
    if (FLastReport.isValid()) {
        text += QLatin1Char('\n') + IndoorTemperatureText(FImage) + QLatin1Char('\n') + OutdoorTemperatureText(FImage) +
            QLatin1Char('\n') + PressureText(FImage) + QLatin1Char('\n') + HumidityText(FImage);
    }
    text += QLatin1Char('\n') + Watch.Outlook().TrendLine();
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

void TTraySide::Notify(const std::vector<weather::TAlarmChange>& changes)
{
    // The desktop's notifier is reached for only when there is something to tell.
    if (!FNotifier)
        SetNotifier(desktop::CreateDesktopNotifier(desktop::ProgramName, desktop::ProgramName, Tray));
    for (const weather::TAlarmChange& change : changes)
        FNotifier->Notify(AlarmKey(change.Kind), change.Summary, change.Body);
}

// ---- The window and the tray ----

bool TTraySide::HideOnClose(const QCloseEvent& event)
{
    if (FQuitting || !event.spontaneous() || !FSettings.CloseToTray || !TrayAvailable())
        return false;
    HideInTray();
    return true;
}

bool TTraySide::StartInTray()
{
    if (!TrayAvailable())
        return false;
    HideInTray();
    return true;
}

void TTraySide::HideInTray()
{
    // While hidden, closing a message box must not end the program as its last window.
    QApplication::setQuitOnLastWindowClosed(false);
    // The tray shows the readings and the alarms weigh them: the station must stream.
    FShowReadings();
    Window.hide();
    // A second start of the program brings it back from the tray, unless it is ending.
    gui::ShowOnBringForward(&Window, [this] {
        if (!FQuitting)
            ShowWindow();
    });
}

void TTraySide::ShowWindow()
{
    gui::ShowOnBringForward(&Window, nullptr);
    QApplication::setQuitOnLastWindowClosed(true);
    if (Window.isMinimized())
        Window.showNormal();
    else
        Window.show();
    Window.raise();
    Window.activateWindow();
}

void TTraySide::Quit()
{
    FQuitting = true;
    if (!Window.close())
        FQuitting = false;
}

void TTraySide::Closed()
{
    // A window closed while hidden in the tray (by «Выход» or a termination signal) is no last
    // window closing for Qt: the program ends here instead.
    QApplication::setQuitOnLastWindowClosed(true);
    if (Window.isHidden())
        QCoreApplication::quit();
}

void TTraySide::SetCloseToTray(bool on)
{
    const settings::TTraySettings settings{on};
    if (settings == FSettings)
        return;
    FSettings = settings;
    {
        const QSignalBlocker blocker(CloseToTrayAction);
        CloseToTrayAction->setChecked(on);
    }
    emit SettingsChanged(settings, settings::SaveTraySettings(settings));
}
