// The table of services; see service_catalog.h. Where a limit is the service's custom rather than
// its documented rule, the row keeps the custom.
#include "publish/networks/service_catalog.h"

#include <array>

namespace publish {

namespace {

using namespace std::chrono_literals;

constexpr auto Week = std::chrono::seconds(7 * 24h);

const std::array<TServiceFacts, 8>& Table()
{
    static const std::array<TServiceFacts, 8> table{{
        // Sending more often than once a minute gets a narodmon device banned; one TCP packet may
        // carry many past readings, each with its own time, within 4 KB.
        {TServiceKind::NarodmonTcp, "narodmon", QStringLiteral("Народный мониторинг"), TTransport::NarodmonTcp,
         "METEO_NARODMON_TCP_URL", "tcp://narodmon.ru:8283", 1, 5, 60s, Week, false, false, 200},
        {TServiceKind::NarodmonHttp, "narodmon", QStringLiteral("Народный мониторинг"), TTransport::HttpGet,
         "METEO_NARODMON_URL", "https://narodmon.ru/get", 1, 5, 60s, Week, false, false, 1},
        {TServiceKind::WeatherUnderground, "wunderground", QStringLiteral("Weather Underground"), TTransport::HttpGet,
         "METEO_WUNDERGROUND_URL", "https://weatherstation.wunderground.com/weatherstation/updateweatherstation.php", 1,
         5, 0s, Week, false, false, 1},
        // At most one upload per station every 5 minutes: too slow to ever catch up, so the present only.
        {TServiceKind::Windy, "windy", QStringLiteral("Windy"), TTransport::HttpGet, "METEO_WINDY_URL",
         "https://stations.windy.com/api/v2/observation/update", 5, 5, 300s, PresentAge, true, false, 1},
        // WOW answers a repeated reading with 429 as well as a rate limit: a short pause between
        // catch-up requests keeps the two apart.
        {TServiceKind::Wow, "wow", QStringLiteral("WOW (Met Office)"), TTransport::HttpGet, "METEO_WOW_URL",
         "https://wow.metoffice.gov.uk/automaticreading", 5, 5, 2s, Week, false, false, 1},
        // The documented address is plain HTTP; the key must not cross the net in clear, so HTTPS.
        {TServiceKind::PwsWeather, "pwsweather", QStringLiteral("PWSweather"), TTransport::HttpGet,
         "METEO_PWSWEATHER_URL", "https://www.pwsweather.com/pwsupdate/pwsupdate.php", 5, 5, 0s, Week, false, false, 1},
        // Not more than one packet per 5 minutes, 10 suggested; no past readings at all.
        {TServiceKind::Cwop, "cwop", QStringLiteral("CWOP"), TTransport::AprsIs, "METEO_CWOP_URL",
         "tcp://cwop.aprs.net:14580", 5, 10, 300s, PresentAge, true, true, 1, 20s},
        {TServiceKind::OwnAddress, "own", QStringLiteral("Свой адрес"), TTransport::HttpGet, "", "", 1, 5, 0s, Week,
         false, false, 1},
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
