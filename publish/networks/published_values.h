// The values a reading goes out with: humidity and dew point placed indoors or outdoors as the
// owner says, pressure reduced to sea level, and each in the units the services want. Every
// service's request takes its numbers from here, and every conversion from weather/units.h.
#pragma once

#include "publish/networks/publish_reading.h"

#include <optional>

namespace publish {

struct TPublishedValues
{
    QDateTime Time;
    std::optional<double> OutdoorC;
    std::optional<double> IndoorC;
    // Exactly one of the two humidities is set (when the reading has one).
    std::optional<double> OutdoorHumidity;
    std::optional<double> IndoorHumidity;
    // Of the outdoor air only: needs the outdoor temperature and an outdoor humidity.
    std::optional<double> DewPointC;
    std::optional<double> SeaLevelMmHg;
    // What CWOP's reports carry: the altimeter setting.
    std::optional<double> AltimeterHpa;

    std::optional<double> OutdoorF() const;
    std::optional<double> IndoorF() const;
    std::optional<double> DewPointF() const;
    std::optional<double> SeaLevelHpa() const;
    std::optional<double> SeaLevelInHg() const;
    std::optional<double> SeaLevelPa() const;
};

TPublishedValues PublishedValues(const TPublishReading& reading, const TPublishSettings& settings);

} // namespace publish
