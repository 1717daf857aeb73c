// The window on the desktop: the tray icon (the outdoor temperature as its picture, the readings,
// trend and time of the last report as its tooltip, a menu to open, to choose closing into the tray
// and to quit), the alarm rules fed from the station's reports, the archive's writes and a clock
// tick, their notifications and history, the trend and forecast line of the readings page, and the
// «Оповещения» page's choices kept in "meteostation.ini" and the autostart entry. Without a tray
// (checked at start and on every tick) the window works as it always did.
#pragma once

#include "base/station_reading.h"
#include "core/outlook_feed.h"
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
namespace gui {
class TFramePacedCall;
}
class TForm1;

class TDesktopSide : public QObject
{
    Q_OBJECT
public:
    // How often the alarms' clock ticks and the tray's presence is checked.
    static constexpr int TickMs = 5000;

    explicit TDesktopSide(TForm1& form);
    ~TDesktopSide() override;

    // Reads the settings file and the autostart entry and shows the tray icon where there is a tray.
    void Start();

    // The desktop's notifier is made with the first alarm; tests put one on a bus of their own
    // first. And tests say whether there is a tray.
    void SetNotifier(std::unique_ptr<desktop::TDesktopNotifier> notifier);
    using TTrayCheck = std::function<bool()>;
    void SetTrayCheck(TTrayCheck check);
    bool TrayAvailable() const;

    // One reading of the station's stream (never a history block).
    void TakeReading(const base::TStationReading& reading);
    // How a write to the archive went, and that the archive has new values for the trend.
    void TakeArchiveResult(bool ok, const QString& message);
    // The alarms' clock and the tray's presence.
    void Tick();

    // The window is being closed: true when it went into the tray instead (the user closed it, the
    // setting is on and there is a tray). A close by the program or a signal always closes.
    bool HideOnClose(const QCloseEvent& event);
    // `--tray`: the window starts hidden when there is a tray; false when it must be shown.
    bool StartInTray();
    void HideInTray();
    void ShowWindow();
    // The window has closed for good: the program ends, also when it was hidden in the tray.
    void Closed();

    const weather::TAlarmEngine& Alarms() const { return FAlarms; }
    const TWeatherOutlook& Outlook() const { return FOutlook.Outlook(); }
    // Why the last notification was not shown; empty when it was.
    const QString& NotificationProblem() const { return FNotificationProblem; }

    QSystemTrayIcon* Tray = nullptr;
    QMenu* TrayMenu = nullptr;
    QAction* OpenAction = nullptr;        // «Открыть»
    QAction* CloseToTrayAction = nullptr; // «Свернуть в трей при закрытии»
    QAction* QuitAction = nullptr;        // «Выход»
    QTimer* ClockTick = nullptr;

signals:
    // The trend or forecast line changed.
    void OutlookChanged();

private:
    void Apply(const std::vector<weather::TAlarmChange>& changes);
    void ShowAlarmLine();
    // The trend and forecast as of now, shown when they changed.
    void RefreshOutlook();
    void ShowOutlook();
    void RefreshTooltip();
    // The last report in the tray's picture and tooltip; at most once a frame (FShowReport).
    void ShowReport();
    void SetCloseToTray(bool on);
    void ChooseAlarms(const weather::TAlarmSettings& settings);
    void ChooseForecast(const weather::TForecastSettings& settings);
    void ChooseAutostart(bool enabled, bool inTray);
    void ShowAutostartState();
    void Quit();

    TForm1& Form;
    std::unique_ptr<desktop::TDesktopNotifier> FNotifier;
    TTrayCheck FTrayCheck;
    std::optional<bool> FTrayShown; // none before the first check
    desktop::TTrayPicture FPicture;
    gui::TFramePacedCall* FShowReport = nullptr;
    weather::TAlarmEngine FAlarms;
    TOutlookFeed FOutlook;
    settings::TTraySettings FTraySettings;
    // The latest report's values, for the tooltip, the outlook and the time of the last report.
    TReportImage FImage{};
    QDateTime FLastReport;
    std::optional<int> FOutdoor;
    QString FTooltip;
    // The line of each ringing alarm, the newest last.
    std::vector<std::pair<weather::TAlarmKind, QString>> FRinging;
    QString FNotificationProblem;
    bool FQuitting = false;
};
