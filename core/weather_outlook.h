// The pressure's three-hour trend and the local forecast the readings page and the tray show, from
// the archive's hours and live samples and the station's latest pressure. Reading the archive costs
// a query, so the outlook is worked out anew at most once a minute, or when the archive changed,
// never for every report.
#pragma once

#include "weather/pressure_trend.h"
#include "weather/zambretti.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace archive {
class TArchiveStore;
}

struct TOutlookInput
{
    QDateTime Now;
    std::optional<int> PressureMmHg; // the station's latest reading
    std::optional<int> OutdoorC;
};

class TWeatherOutlook
{
public:
    static constexpr qint64 RefreshSeconds = 60;

    void SetSettings(const weather::TForecastSettings& settings);
    const weather::TForecastSettings& Settings() const { return FSettings; }
    // The archive changed (a sample or a download went in): the next Refresh reads it again.
    void ArchiveChanged() { FStale = true; }
    // Works the outlook out when it is stale or a minute old; true when its text changed.
    // `store` may be null (no archive): then only the live pressure is known.
    bool Refresh(archive::TArchiveStore* store, const TOutlookInput& input);

    const std::optional<weather::TPressureTrend>& Trend() const { return FTrend; }
    const std::optional<weather::TForecast>& Forecast() const { return FForecast; }
    // «Давление: +1,3 мм рт.ст. за 3 часа, растёт» or «Давление: недостаточно данных».
    QString TrendLine() const;
    // «Прогноз: …», or «Прогноз: недостаточно данных».
    QString ForecastLine() const;

private:
    weather::TForecastSettings FSettings;
    std::optional<weather::TPressureTrend> FTrend;
    std::optional<weather::TForecast> FForecast;
    QDateTime FLastRefresh;
    qint64 FLastRefreshMs = 0; // the same, as the clock counts: a local time costs to convert
    bool FStale = true;
};
