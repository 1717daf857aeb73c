// Where a service is sent. The real service's address unless something points it elsewhere, so
// that tests and the demo can play the service with a stand-in on this computer:
//   - an environment variable of the service's, first (endpoint_variables.h; e.g.
//     METEO_CWOP_URL=tcp://127.0.0.1:14580, METEO_WINDY_URL=http://127.0.0.1:8080/update);
//   - then the service's own setting (TServiceSettings::EndpointOverride), in the same form.
// HTTP services take an http:// or https:// address to which the request's query is added;
// narodmon's TCP and CWOP take tcp://host:port.
#pragma once

#include "publish/networks/service_settings.h"

#include <QUrl>

namespace publish {

struct TEndpoint
{
    QUrl Url;
    // What is wrong with an address given by a variable or setting, in Russian; empty when usable.
    QString Problem;
};

TEndpoint ResolveEndpoint(const TServiceSettings& settings);

} // namespace publish
