// The weather networks the program uploads to, by name only: what the stand-in variables
// (endpoint_variables.h) are listed by without the services' facts (service_catalog.h).
#pragma once

namespace publish {

// Narodmon has two ways in; both keep one queue position, so the owner may switch between them.
enum class TServiceKind { NarodmonTcp, NarodmonHttp, WeatherUnderground, Windy, Wow, PwsWeather, Cwop, OwnAddress };

} // namespace publish
