// A local forecast for the next hours by the Zambretti method: the sea-level pressure, its change
// over three hours and the season pick one of 26 forecasts, lettered A (settled fine) to Z (stormy,
// much rain). The station has no wind sensor, so the wind correction of the method is left out.
#pragma once

#include "weather/pressure_trend.h"

#include <QString>
#include <optional>

namespace weather {

enum class THemisphere { North, South };

// The barometer's range the method's tables are drawn for, in hPa.
inline constexpr double ZambrettiUpperHpa = 1050.0;
inline constexpr double ZambrettiLowerHpa = 950.0;
// A change of at least 0.1 hPa per hour is rising (or, negative, falling); less is steady. Kept
// as the change over three hours, so that 0.3 hPa is not lost to rounding in a division.
inline constexpr double ZambrettiTrendHpaPer3h = 0.3;

// The letter of the forecast for the sea-level pressure, its change over three hours (both hPa)
// and the month (1..12).
char ZambrettiLetter(double seaLevelHpa, double change3hHpa, int month, THemisphere hemisphere);
// The forecast of a letter A..Z in Russian; empty for anything else.
QString ZambrettiText(char letter);

// Where the station stands: its height above sea level turns its pressure into sea-level pressure.
struct TForecastSettings
{
    int ElevationM = 0;
    THemisphere Hemisphere = THemisphere::North;
    friend bool operator==(const TForecastSettings&, const TForecastSettings&) = default;
};
// The heights a station may stand at: the shore of the Dead Sea to the highest settlements.
inline constexpr int MinElevationM = -450;
inline constexpr int MaxElevationM = 5500;
// What is wrong with the settings, in Russian; empty when nothing is.
QString ForecastSettingsProblem(const TForecastSettings& settings);

struct TForecast
{
    char Letter = 'B';
    QString Text;
};

// The forecast from the station's pressure (mm Hg) now, its three-hour trend and the outdoor
// temperature (for the reduction to sea level; 15 °C when unknown); none without a trend.
std::optional<TForecast> LocalForecast(double stationMmHg, const std::optional<TPressureTrend>& trend,
                                       std::optional<double> outdoorCelsius, int month,
                                       const TForecastSettings& settings);

} // namespace weather
