// Derived weather values; see units.h.
#include "weather/units.h"

#include <cmath>

namespace weather {

std::optional<double> DewPointCelsius(double celsius, double relativeHumidity)
{
    if (!(relativeHumidity > 0.0) || relativeHumidity > 100.0)
        return std::nullopt;
    constexpr double A = 17.27;
    constexpr double B = 237.7;
    const double gamma = A * celsius / (B + celsius) + std::log(relativeHumidity / 100.0);
    return B * gamma / (A - gamma);
}

double SeaLevelPressureHpa(double stationHpa, double celsius, double elevationM)
{
    const double lapse = 0.0065 * elevationM;
    return stationHpa * std::pow(1.0 - lapse / (celsius + lapse + 273.15), -5.257);
}

double AltimeterSettingHpa(double stationHpa, double elevationM)
{
    constexpr double N = 0.190284;
    const double p = stationHpa - 0.3;
    const double k = std::pow(1013.25, N) * 0.0065 / 288.0;
    return p * std::pow(1.0 + k * elevationM / std::pow(p, N), 1.0 / N);
}

} // namespace weather
