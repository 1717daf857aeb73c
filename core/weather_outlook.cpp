// The trend and forecast from the archive's pressure values of the last three and a half hours
// and the live reading of this minute.
#include "core/weather_outlook.h"
#include "archive/archive_store.h"

#include <vector>

void TWeatherOutlook::SetSettings(const weather::TForecastSettings& settings)
{
    if (settings == FSettings)
        return;
    FSettings = settings;
    FStale = true;
}

bool TWeatherOutlook::Refresh(archive::TArchiveStore* store, const TOutlookInput& input)
{
    // Asked with every report: the time is converted once.
    const qint64 nowMs = input.Now.toMSecsSinceEpoch();
    const qint64 since = (nowMs - FLastRefreshMs) / 1000;
    if (!FStale && FLastRefresh.isValid() && since >= 0 && since < RefreshSeconds)
        return false;
    FStale = false;
    // The first time counts as a change, so that the line is shown at all.
    const QString before = FLastRefresh.isValid() ? TrendLine() + ForecastLine() : QString();
    FLastRefresh = input.Now;
    FLastRefreshMs = nowMs;

    const archive::TMinuteKey now = archive::MinuteKeyOf(input.Now);
    const archive::TMinuteKey first = now - weather::TendencyPeriodMinutes - weather::TendencyToleranceMinutes;
    std::vector<weather::TTimedPressure> values;
    if (store != nullptr && store->IsOpen())
        for (const archive::TMinuteValue& value : store->PressureValues(first, now))
            if (archive::HasValue(value.Value))
                values.push_back({value.Minute, value.Value});
    if (input.PressureMmHg)
        values.push_back({now, static_cast<double>(*input.PressureMmHg)});

    FTrend = weather::PressureTrend(values, now);
    FForecast.reset();
    if (input.PressureMmHg) {
        std::optional<double> outdoor;
        if (input.OutdoorC)
            outdoor = *input.OutdoorC;
        FForecast = weather::LocalForecast(*input.PressureMmHg, FTrend, outdoor, input.Now.date().month(), FSettings);
    }
    return TrendLine() + ForecastLine() != before;
}

QString TWeatherOutlook::TrendLine() const
{
    return QStringLiteral("Давление: ") + weather::TrendText(FTrend);
}

QString TWeatherOutlook::ForecastLine() const
{
    return QStringLiteral("Прогноз: ") + (FForecast ? FForecast->Text : weather::TendencyText(std::nullopt));
}
