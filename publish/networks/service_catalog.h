// The weather networks the program uploads to, and what each of them allows: where it listens,
// how often it may be sent to, how old a reading it still takes and whether a reading sent twice
// would count twice. One row per service, so that a fact learnt on first live contact is changed
// in one place.
#pragma once

#include "publish/networks/service_kind.h"

#include <QString>
#include <chrono>
#include <vector>

namespace publish {

enum class TTransport {
    HttpGet,     // one request per call, the reply decides
    NarodmonTcp, // a text packet, one reply line
    AprsIs,      // banner, login, login reply, one packet; the server acknowledges nothing
};

struct TServiceFacts
{
    TServiceKind Kind = TServiceKind::OwnAddress;
    // The queue position's name in the archive; both narodmon transports share theirs.
    const char* PositionKey = "";
    QString Title{};
    TTransport Transport = TTransport::HttpGet;
    // METEO_<SERVICE>_URL: points the service elsewhere (tests, a stand-in); see service_settings.h.
    const char* EnvironmentVariable = "";
    const char* DefaultEndpoint = ""; // none for «свой адрес», whose address is the owner's template
    int MinimumIntervalMinutes = 1;
    int DefaultIntervalMinutes = 5;
    // The least time between the starts of two requests, also while catching up and retrying.
    std::chrono::seconds Spacing{0};
    // How old a reading may be for the service to still take it; older ones are skipped and counted.
    // How far back the services that take past readings go is not documented: a week is assumed.
    std::chrono::seconds AcceptsPast{7 * 24 * 60 * 60};
    // The service takes only the present: of the waiting readings the newest goes, the rest are skipped.
    bool OnlyNewest = false;
    // A reading sent twice would count twice (no time stamp the service deduplicates by): the queue
    // position is written before the request goes, so a kill can lose the reading but never double it.
    bool PositionBeforeSending = false;
    // Readings one request may carry at the most (the packet's size limit may cut it further).
    int ReadingsPerRequest = 1;
    // Requests go at one second of each 5-minute span, fixed by the station's id, away from the
    // marks of the clock where every station sends.
    bool SpreadOverMarks = false;
};

// A service that takes the present only takes no reading older than this.
inline constexpr std::chrono::seconds PresentAge{10 * 60};

const TServiceFacts& Facts(TServiceKind kind);
const std::vector<TServiceKind>& AllServices();

} // namespace publish
