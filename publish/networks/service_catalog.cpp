// The table of services; see service_catalog.h. Where a limit is the service's custom rather than
// its documented rule, the row keeps the custom.
#include "publish/networks/service_catalog.h"

#include "publish/networks/endpoint_variables.h"

#include <array>

namespace publish {

namespace {

using namespace std::chrono_literals;

// Rows name only what differs from the defaults in service_catalog.h.
const std::array<TServiceFacts, 8>& Table()
{
    static const std::array<TServiceFacts, 8> table{{
        // Sending more often than once a minute gets a narodmon device banned; one TCP packet may
        // carry many past readings, each with its own time, within 4 KB.
        {.Kind = TServiceKind::NarodmonTcp,
         .PositionKey = "narodmon",
         .Title = QStringLiteral("Народный мониторинг"),
         .Transport = TTransport::NarodmonTcp,
         .EnvironmentVariable = EndpointVariable(TServiceKind::NarodmonTcp),
         .DefaultEndpoint = "tcp://narodmon.ru:8283",
         .Spacing = 60s,
         .ReadingsPerRequest = 200},
        {.Kind = TServiceKind::NarodmonHttp,
         .PositionKey = "narodmon",
         .Title = QStringLiteral("Народный мониторинг"),
         .EnvironmentVariable = EndpointVariable(TServiceKind::NarodmonHttp),
         .DefaultEndpoint = "https://narodmon.ru/get",
         .Spacing = 60s},
        {.Kind = TServiceKind::WeatherUnderground,
         .PositionKey = "wunderground",
         .Title = QStringLiteral("Weather Underground"),
         .EnvironmentVariable = EndpointVariable(TServiceKind::WeatherUnderground),
         .DefaultEndpoint = "https://weatherstation.wunderground.com/weatherstation/updateweatherstation.php"},
        // At most one upload per station every 5 minutes: too slow to ever catch up, so the present only.
        {.Kind = TServiceKind::Windy,
         .PositionKey = "windy",
         .Title = QStringLiteral("Windy"),
         .EnvironmentVariable = EndpointVariable(TServiceKind::Windy),
         .DefaultEndpoint = "https://stations.windy.com/api/v2/observation/update",
         .MinimumIntervalMinutes = 5,
         .Spacing = 300s,
         .AcceptsPast = PresentAge,
         .OnlyNewest = true},
        // Every 5 minutes is the custom. WOW answers a repeated reading with 429 as well as a rate
        // limit: a short pause between catch-up requests keeps the two apart.
        {.Kind = TServiceKind::Wow,
         .PositionKey = "wow",
         .Title = QStringLiteral("WOW (Met Office)"),
         .EnvironmentVariable = EndpointVariable(TServiceKind::Wow),
         .DefaultEndpoint = "https://wow.metoffice.gov.uk/automaticreading",
         .MinimumIntervalMinutes = 5,
         .Spacing = 2s},
        // The documented address is plain HTTP; the key must not cross the net in clear, so HTTPS.
        {.Kind = TServiceKind::PwsWeather,
         .PositionKey = "pwsweather",
         .Title = QStringLiteral("PWSweather"),
         .EnvironmentVariable = EndpointVariable(TServiceKind::PwsWeather),
         .DefaultEndpoint = "https://www.pwsweather.com/pwsupdate/pwsupdate.php",
         .MinimumIntervalMinutes = 5},
        // Not more than one packet per 5 minutes, 10 suggested, away from the 5-minute marks and
        // spread over the span by the station; no past readings at all.
        {.Kind = TServiceKind::Cwop,
         .PositionKey = "cwop",
         .Title = QStringLiteral("CWOP"),
         .Transport = TTransport::AprsIs,
         .EnvironmentVariable = EndpointVariable(TServiceKind::Cwop),
         .DefaultEndpoint = "tcp://cwop.aprs.net:14580",
         .MinimumIntervalMinutes = 5,
         .DefaultIntervalMinutes = 10,
         .Spacing = 300s,
         .AcceptsPast = PresentAge,
         .OnlyNewest = true,
         .PositionBeforeSending = true,
         .SpreadOverMarks = true},
        {.Kind = TServiceKind::OwnAddress, .PositionKey = "own", .Title = QStringLiteral("Свой адрес")},
    }};
    return table;
}

} // namespace

const TServiceFacts& Facts(TServiceKind kind)
{
    return Table()[static_cast<std::size_t>(kind)];
}

const std::vector<TServiceKind>& AllServices()
{
    static const std::vector<TServiceKind> all = [] {
        std::vector<TServiceKind> kinds;
        for (const TServiceFacts& facts : Table())
            kinds.push_back(facts.Kind);
        return kinds;
    }();
    return all;
}

} // namespace publish
