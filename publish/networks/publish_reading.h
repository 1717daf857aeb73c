// What the uploaders send: one reading of the station with its UTC time, and the owner's
// settings that every service shares (where the humidity sensor sits, where the station stands).
#pragma once

#include <QDateTime>
#include <optional>

namespace publish {

// One reading as the archive keeps it (a 5-minute sample or a station hour), in the units the
// window shows; an absent value is empty. Time is UTC.
struct TPublishReading
{
    QDateTime Time;
    std::optional<double> IndoorC;
    std::optional<double> OutdoorC;
    std::optional<double> PressureMmHg;
    std::optional<double> Humidity;
    friend bool operator==(const TPublishReading&, const TPublishReading&) = default;
};

// «Влажность измеряется: в доме / на улице». Most stations of this kind carry the humidity sensor
// in the base unit, so indoors is the default.
enum class THumidityPlace { Indoor, Outdoor };

// Where the station stands. The pressure the station shows is the owner's corrected reading,
// normally set to match the weather report, hence reduced to sea level by default; an owner who
// left it at station level gives the elevation so that it can be reduced here.
struct TStationPlace
{
    std::optional<double> Latitude;  // decimal degrees, north positive
    std::optional<double> Longitude; // decimal degrees, east positive
    double ElevationM = 0.0;
    bool PressureAtSeaLevel = true;
};

// The settings all services share.
struct TPublishSettings
{
    THumidityPlace HumidityPlace = THumidityPlace::Indoor;
    TStationPlace Place;
};

} // namespace publish
