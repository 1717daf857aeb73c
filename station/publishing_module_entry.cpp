// The publishing module's one exported function. Everything else in the module stays hidden, so its
// own copies of the libraries the program links too never meet the program's.
#include "station/station_publishing.h"

#include <QtGlobal>
#include <cstring>

extern "C" Q_DECL_EXPORT TPublishingModule* MeteoCreatePublishing(const char* programVersion)
{
    // The interface is C++: a module of another build would not match it.
    if (programVersion == nullptr || std::strcmp(programVersion, METEO_PROGRAM_VERSION) != 0)
        return nullptr;
    return new TStationPublishing;
}
