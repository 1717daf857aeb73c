// The environment variables that point a weather network at another server than its own (a
// stand-in on this computer, for tests and trials; see service_settings.h), with what the programs'
// --help says of each. Header only: the programs list them without linking the uploads.
#pragma once

#include "publish/networks/service_kind.h"

namespace publish {

struct TEndpointVariable
{
    TServiceKind Kind;
    const char* Name;
    const char* Meaning; // UTF-8
};

// In the order of the services; «свой адрес» has its address in the owner's template.
inline constexpr TEndpointVariable EndpointVariables[] = {
    {TServiceKind::NarodmonTcp, "METEO_NARODMON_TCP_URL",
     "сервер «Народного мониторинга» по TCP вместо настоящего: tcp://сервер:порт"},
    {TServiceKind::NarodmonHttp, "METEO_NARODMON_URL",
     "сервер «Народного мониторинга» по HTTP вместо настоящего: http(s)://сервер/путь"},
    {TServiceKind::WeatherUnderground, "METEO_WUNDERGROUND_URL",
     "сервер Weather Underground вместо настоящего: http(s)://сервер/путь"},
    {TServiceKind::Windy, "METEO_WINDY_URL", "сервер Windy вместо настоящего: http(s)://сервер/путь"},
    {TServiceKind::Wow, "METEO_WOW_URL", "сервер WOW (Met Office) вместо настоящего: http(s)://сервер/путь"},
    {TServiceKind::PwsWeather, "METEO_PWSWEATHER_URL", "сервер PWSweather вместо настоящего: http(s)://сервер/путь"},
    {TServiceKind::Cwop, "METEO_CWOP_URL", "сервер CWOP вместо настоящего: tcp://сервер:порт"},
};

// The variable of the service `kind`; empty for «свой адрес».
constexpr const char* EndpointVariable(TServiceKind kind)
{
    for (const TEndpointVariable& variable : EndpointVariables)
        if (variable.Kind == kind)
            return variable.Name;
    return "";
}

} // namespace publish
