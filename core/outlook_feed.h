// The trend and forecast kept up with the core: the pressure and outdoor temperature of each
// reading, and the archive's new samples and merges, which the trend is read from. The window's
// readings page and tray and the service's publishers show its lines.
#pragma once

#include "base/station_reading.h"
#include "core/weather_outlook.h"

#include <QDateTime>
#include <QObject>
#include <optional>

class TStationCore;

class TOutlookFeed : public QObject
{
    Q_OBJECT

public:
    explicit TOutlookFeed(TStationCore& core, QObject* parent = nullptr);

    void SetSettings(const weather::TForecastSettings& settings);
    // A reading of the stream, handed on by whoever shows the outlook, so that what it does next
    // sees the outlook of this reading: true when the lines changed.
    bool TakeReading(const base::TStationReading& reading);
    // The archive changed in a way the core does not tell (it was just opened): read it again.
    void ArchiveChanged() { FOutlook.ArchiveChanged(); }
    // Works the outlook out as of `now` (the core's clock when invalid); true when its lines changed.
    bool Refresh(const QDateTime& now = QDateTime());

    const TWeatherOutlook& Outlook() const { return FOutlook; }
    const std::optional<int>& OutdoorC() const { return FOutdoor; }

private:
    TStationCore& Core;
    TWeatherOutlook FOutlook;
    std::optional<int> FPressure;
    std::optional<int> FOutdoor;
};
