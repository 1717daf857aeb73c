// One reading of the station as the publishers send it: each value in the unit the window shows,
// empty where the station reported none, and the moment the reading was taken.
#pragma once

#include <QDateTime>
#include <optional>

namespace publish {

struct TWeatherReading
{
    std::optional<double> IndoorCelsius;
    std::optional<double> OutdoorCelsius;
    std::optional<double> PressureMmHg;
    std::optional<double> HumidityPercent;
    QDateTime Time; // with its offset from UTC
};

} // namespace publish
