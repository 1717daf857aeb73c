// The alarms kept up with the core: each reading of the stream, the archive's writes and a clock
// tick go into the alarm rules, with the pressure's change over three hours from the trend and
// forecast this watch keeps as well (the rules need it, and the readings page and tray show it).
// What starts or ends is kept in the archive's history and told to whoever shows it (the readings
// page's line, the desktop's notifications). The choices are kept in "meteostation.ini".
#pragma once

#include "base/station_reading.h"
#include "core/outlook_feed.h"
#include "weather/alarm_engine.h"

#include <QObject>
#include <QString>
#include <utility>
#include <vector>

class QTimer;
class TStationCore;

// The alarm's name in the archive's history and its notification's key.
QString AlarmKey(weather::TAlarmKind kind);

class TAlarmWatch : public QObject
{
    Q_OBJECT

public:
    // How often the alarms' clock ticks: a silent station is noticed within this, and the trend
    // follows the archive.
    static constexpr int TickMs = 5000;

    explicit TAlarmWatch(TStationCore& core, QObject* parent = nullptr);

    // Reads the alarms' and the forecast's settings and starts the clock; what could not be read,
    // in Russian (empty when all was read).
    QString Start();
    // The alarms' clock: a station silent while it should stream rings; the trend as of now.
    void Tick();

    // The user's choice, kept and applied; why it could not be kept (empty when it was). Settings the
    // rules refuse are neither kept nor applied.
    QString ChooseAlarms(const weather::TAlarmSettings& settings);
    QString ChooseForecast(const weather::TForecastSettings& settings);

    const weather::TAlarmEngine& Alarms() const { return FAlarms; }
    const TWeatherOutlook& Outlook() const { return FOutlook.Outlook(); }
    // The line of the ringing alarms: the newest one's, and how many more ring; empty when none.
    QString AlarmLine() const;

signals:
    // Alarms started or ended (never empty), already in the archive's history.
    void AlarmsChanged(const std::vector<weather::TAlarmChange>& changes);
    // The trend or forecast line changed.
    void OutlookChanged();

private:
    void TakeReading(const base::TStationReading& reading);
    void TakeArchiveResult(bool ok, const QString& message);
    void Apply(const std::vector<weather::TAlarmChange>& changes);
    void RefreshOutlook();

    TStationCore& Core;
    weather::TAlarmEngine FAlarms;
    TOutlookFeed FOutlook;
    QTimer* FClock = nullptr;
    // The line of each ringing alarm, the newest last.
    std::vector<std::pair<weather::TAlarmKind, QString>> FRinging;
};
