// One service's settings as the owner enters them, whether they will do, and what follows from
// them: the interval, the service's facts and where the requests go. What is wrong is said in
// Russian before anything is sent, including anything that could smuggle a line or a header into
// a request.
#pragma once

#include "publish/networks/publish_settings.h"
#include "publish/networks/service_catalog.h"

#include <QString>
#include <QUrl>

namespace publish {

struct TServiceSettings
{
    TServiceKind Kind = TServiceKind::NarodmonTcp;
    // Narodmon: the device id (normally a MAC address); WU, PWSweather, Windy: the station id;
    // WOW: the site id; CWOP: the CW number or call sign; «свой адрес»: whatever {id} should be.
    QString StationId{};
    // The station key or password, from the password store; never written into a message.
    QString Key{};
    // 0: the service's default. Below the service's minimum it is raised to the minimum.
    int IntervalMinutes = 0;
    // Points the service at another address (a stand-in); empty for the service's own.
    QString EndpointOverride{};
    // «Свой адрес» only.
    QString UrlTemplate{};
    friend bool operator==(const TServiceSettings&, const TServiceSettings&) = default;
};

// The longest interval between uploads an owner may set, in minutes.
inline constexpr int MaxIntervalMinutes = 24 * 60;

int EffectiveIntervalMinutes(const TServiceSettings& settings);

// The service's facts for these settings: «свой адрес» without a time in its template takes the
// present only.
TServiceFacts FactsFor(const TServiceSettings& settings);

// What is wrong with the settings, in Russian; empty when they will do.
QString SettingsProblem(const TServiceSettings& settings, const TPublishSettings& common);

// Where a service is sent. The real service's address unless something points it elsewhere, so
// that tests and the demo can play the service with a stand-in on this computer:
//   - an environment variable of the service's, first (endpoint_variables.h; e.g.
//     METEO_CWOP_URL=tcp://127.0.0.1:14580, METEO_WINDY_URL=http://127.0.0.1:8080/update);
//   - then the service's own setting (TServiceSettings::EndpointOverride), in the same form.
// HTTP services take an http:// or https:// address to which the request's query is added;
// narodmon's TCP and CWOP take tcp://host:port.
struct TEndpoint
{
    QUrl Url;
    // What is wrong with an address given by a variable or setting, in Russian; empty when usable.
    QString Problem;
};

TEndpoint ResolveEndpoint(const TServiceSettings& settings);

} // namespace publish
