// One reading of the station as every publisher sends it: each value in the unit the window shows,
// empty where the station reported none, and the moment it was taken. The MQTT state shows that
// moment with the offset of the clock that took it; the uploads compare moments and send UTC.
#pragma once

#include "base/station_reading.h"

#include <QDateTime>
#include <optional>

namespace publish {

struct TWeatherReading
{
    QDateTime Time;
    std::optional<double> IndoorCelsius;
    std::optional<double> OutdoorCelsius;
    std::optional<double> PressureMmHg;
    std::optional<double> HumidityPercent;
    friend bool operator==(const TWeatherReading&, const TWeatherReading&) = default;
};

// The station's reading as the publishers send it.
inline TWeatherReading WeatherReadingOf(const base::TStationReading& reading)
{
    auto value = [&reading](base::TQuantity quantity) -> std::optional<double> {
        if (const std::optional<int> measured = reading.Value(quantity))
            return *measured;
        return std::nullopt;
    };
    return {reading.Time, value(base::TQuantity::IndoorTemperature), value(base::TQuantity::OutdoorTemperature),
            value(base::TQuantity::Pressure), value(base::TQuantity::Humidity)};
}

} // namespace publish
