// Unit conversions and values derived from the station's readings. Every constant the program
// sends to home automation or a weather network comes from here, so one correction fixes all.
#pragma once

#include <optional>

namespace weather {

// Conventional conversion constants (hPa per mmHg, hPa per inHg).
inline constexpr double HpaPerMmHg = 1.33322387415;
inline constexpr double MmHgPerHpa = 0.750061683;
inline constexpr double HpaPerInHg = 33.8638866667;
inline constexpr double MmPerInch = 25.4;

constexpr double CelsiusToFahrenheit(double celsius)
{
    return celsius * 9.0 / 5.0 + 32.0;
}
constexpr double FahrenheitToCelsius(double fahrenheit)
{
    return (fahrenheit - 32.0) * 5.0 / 9.0;
}
constexpr double MmHgToHpa(double mmHg)
{
    return mmHg * HpaPerMmHg;
}
constexpr double HpaToMmHg(double hpa)
{
    return hpa * MmHgPerHpa;
}
constexpr double HpaToInHg(double hpa)
{
    return hpa / HpaPerInHg;
}
constexpr double MmHgToInHg(double mmHg)
{
    return mmHg / MmPerInch;
}
constexpr double HpaToPa(double hpa)
{
    return hpa * 100.0;
}

// Dew point by the Magnus formula (a = 17.27, b = 237.7 °C); none for a humidity of 0 % or less,
// where the logarithm has no value, or above 100 %.
std::optional<double> DewPointCelsius(double celsius, double relativeHumidity);

// Station pressure reduced to sea level for a station `elevationM` metres high, at the station's
// temperature.
double SeaLevelPressureHpa(double stationHpa, double celsius, double elevationM);

// The altimeter setting that CWOP's weather reports carry (NOAA's formula).
double AltimeterSettingHpa(double stationHpa, double elevationM);

} // namespace weather
