// The window's tray icon: the outdoor temperature as its picture, the readings, trend and time of
// the last report as its tooltip, a menu to open, to choose closing into the tray and to quit; the
// desktop's notifications of the alarms; the window hidden in the tray and shown again. Without a
// tray (checked at start and every few seconds) the window works as it always did.
#pragma once

#include "base/station_reading.h"
#include "desktop/desktop_notifier.h"
#include "desktop/tray_picture.h"
#include "protocol/report_layout.h"
#include "settings/meteostation_file.h"
#include "weather/alarm_engine.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCloseEvent;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QWidget;
class TAlarmWatch;
class TStationCore;
namespace gui {
class TFramePacedCall;
}

class TTraySide : public QObject
{
    Q_OBJECT
public:
    // How often the tray's presence is checked.
    static constexpr int TrayCheckMs = 5000;

    // The tray of `window`, which shows `core`'s readings; `showReadings` turns the window to a page
    // where the station streams (its readings go on into the tooltip while the window is hidden).
    TTraySide(QWidget& window, TStationCore& core, TAlarmWatch& watch, std::function<void()> showReadings);
    ~TTraySide() override;

    // Reads the tray's settings (what could not be read, in Russian; empty when all was) and shows
    // the icon where there is a tray.
    QString Start();

    // The desktop's notifier is made with the first alarm; tests put one on a bus of their own
    // first. And tests say whether there is a tray.
    void SetNotifier(std::unique_ptr<desktop::TDesktopNotifier> notifier);
    using TTrayCheck = std::function<bool()>;
    void SetTrayCheck(TTrayCheck check);
    bool TrayAvailable() const;
    // Whether there is a tray now: the icon, the page's switches and the window follow.
    void CheckTray();

    const settings::TTraySettings& Settings() const { return FSettings; }
    // The user's choice, from the menu or the page: kept in "meteostation.ini" and shown in both.
    void SetCloseToTray(bool on);

    // The window is being closed: true when it went into the tray instead (the user closed it, the
    // setting is on and there is a tray). A close by the program or a signal always closes.
    bool HideOnClose(const QCloseEvent& event);
    // `--tray`: the window starts hidden when there is a tray; false when it must be shown.
    bool StartInTray();
    void HideInTray();
    void ShowWindow();
    // The window has closed for good: the program ends, also when it was hidden in the tray.
    void Closed();

    // Why the last notification was not shown; empty when it was.
    const QString& NotificationProblem() const { return FNotificationProblem; }

    QSystemTrayIcon* Tray = nullptr;
    QMenu* TrayMenu = nullptr;
    QAction* OpenAction = nullptr;        // «Открыть»
    QAction* CloseToTrayAction = nullptr; // «Свернуть в трей при закрытии»
    QAction* QuitAction = nullptr;        // «Выход»

signals:
    // Whether there is a tray changed (also at the first check).
    void TrayAvailabilityChanged(bool available);
    // The close-to-tray setting changed, with why it could not be kept (empty when it was).
    void SettingsChanged(const settings::TTraySettings& settings, const QString& problem);
    // A notification was not shown; `reason` says why, in Russian.
    void NotificationFailed(const QString& reason);

private:
    void TakeReading(const base::TStationReading& reading);
    void Notify(const std::vector<weather::TAlarmChange>& changes);
    void RefreshTooltip();
    // The last report in the tray's picture and tooltip; at most once a frame (FShowReport).
    void ShowReport();
    void Quit();

    QWidget& Window;
    TStationCore& Core;
    TAlarmWatch& Watch;
    std::function<void()> FShowReadings;
    std::unique_ptr<desktop::TDesktopNotifier> FNotifier;
    TTrayCheck FTrayCheck;
    std::optional<bool> FTrayShown; // none before the first check
    QTimer* FTrayCheckTimer = nullptr;
    desktop::TTrayPicture FPicture;
    gui::TFramePacedCall* FShowReport = nullptr;
    settings::TTraySettings FSettings;
    // The latest report's values, for the tooltip and the time of the last report.
    TReportImage FImage{};
    QDateTime FLastReport;
    std::optional<int> FOutdoor;
    QString FTooltip;
    QString FNotificationProblem;
    bool FQuitting = false;
};
