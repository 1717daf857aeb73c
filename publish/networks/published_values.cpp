// The values a reading goes out with; see published_values.h.
#include "publish/networks/published_values.h"

#include "weather/units.h"

namespace publish {

namespace {

// The temperature the sea-level reduction assumes when the reading has no outdoor temperature:
// the standard atmosphere's.
constexpr double StandardTemperatureC = 15.0;

template <typename F>
std::optional<double> Converted(const std::optional<double>& value, F convert)
{
    if (!value)
        return std::nullopt;
    return convert(*value);
}

} // namespace

std::optional<double> TPublishedValues::OutdoorF() const
{
    return Converted(OutdoorC, weather::CelsiusToFahrenheit);
}

std::optional<double> TPublishedValues::IndoorF() const
{
    return Converted(IndoorC, weather::CelsiusToFahrenheit);
}

std::optional<double> TPublishedValues::DewPointF() const
{
    return Converted(DewPointC, weather::CelsiusToFahrenheit);
}

std::optional<double> TPublishedValues::SeaLevelHpa() const
{
    return Converted(SeaLevelMmHg, weather::MmHgToHpa);
}

std::optional<double> TPublishedValues::SeaLevelInHg() const
{
    return Converted(SeaLevelMmHg, weather::MmHgToInHg);
}

std::optional<double> TPublishedValues::SeaLevelPa() const
{
    return Converted(SeaLevelHpa(), weather::HpaToPa);
}

TPublishedValues PublishedValues(const TPublishReading& reading, const TPublishSettings& settings)
{
    TPublishedValues values;
    values.Time = reading.Time;
    values.OutdoorC = reading.OutdoorC;
    values.IndoorC = reading.IndoorC;
    if (settings.HumidityPlace == THumidityPlace::Outdoor) {
        values.OutdoorHumidity = reading.Humidity;
        if (reading.OutdoorC && reading.Humidity)
            values.DewPointC = weather::DewPointCelsius(*reading.OutdoorC, *reading.Humidity);
    } else {
        values.IndoorHumidity = reading.Humidity;
    }
    if (reading.PressureMmHg) {
        const TStationPlace& place = settings.Place;
        const double shownHpa = weather::MmHgToHpa(*reading.PressureMmHg);
        if (place.PressureAtSeaLevel) {
            values.SeaLevelMmHg = reading.PressureMmHg;
            values.AltimeterHpa = shownHpa;
        } else {
            const double celsius = reading.OutdoorC.value_or(StandardTemperatureC);
            values.SeaLevelMmHg = weather::HpaToMmHg(weather::SeaLevelPressureHpa(shownHpa, celsius, place.ElevationM));
            values.AltimeterHpa = weather::AltimeterSettingHpa(shownHpa, place.ElevationM);
        }
    }
    return values;
}

} // namespace publish
