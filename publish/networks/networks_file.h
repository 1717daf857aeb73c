// The weather networks' settings in the data folder's "publish.ini": one group per service (its
// queue position's name: narodmon, wunderground, windy, wow, pwsweather, cwop, own) with whether it
// is on, the station id, the interval, the address that points it at a stand-in ("address", e.g.
// http://127.0.0.1:8080/update; empty for the service's own) and «свой адрес»'s template, and the
// group "networks" with what every service shares. Keys and passwords never go in the file: they
// are kept in the password store under SecretName. An address is taken only from a file that no one
// but the user may change; otherwise the service's own is used, and the entry says why.
#pragma once

#include "publish/networks/service_settings.h"
#include "settings/settings_reader.h"

#include <vector>

namespace publish {

struct TNetworkEntry
{
    bool Enabled = false;
    TServiceSettings Settings; // without the key
    // Why the file's address for the service was not taken, in Russian; empty when it was, or
    // there was none.
    QString AddressRefusal{};
    friend bool operator==(const TNetworkEntry&, const TNetworkEntry&) = default;
};

// The services as the page shows them, one each: narodmon by TCP (the setting "protocol" may
// choose HTTP), Weather Underground, Windy, WOW, PWSweather, CWOP, «свой адрес». A value of the
// wrong kind or out of range gives way to the default, and the entry's problem tells which key
// held what; that the file as a whole is damaged is PublishFileProblem's to tell.
std::vector<settings::TLoaded<TNetworkEntry>> LoadNetworkEntries(const QString& dataFolder);
settings::TLoaded<TPublishSettings> LoadNetworksCommon(const QString& dataFolder);

// Empty when written, otherwise the program's message naming the file.
QString SaveNetworkEntry(const QString& dataFolder, const TNetworkEntry& entry);
QString SaveNetworksCommon(const QString& dataFolder, const TPublishSettings& common);

// The name of a service's key in the password store, for the station of `stationId`.
QString SecretName(TServiceKind kind, const QString& stationId);

} // namespace publish
