// How the program names itself to the weather networks; see software_identity.h.
#include "publish/networks/software_identity.h"

namespace publish {

namespace {
constexpr const char* ProgramName = "meteostation";
}

QString SoftwareType()
{
    return QStringLiteral("%1 %2").arg(QLatin1String(ProgramName), QLatin1String(METEO_PROGRAM_VERSION));
}

QByteArray UserAgent()
{
    return QByteArray(ProgramName) + '/' + METEO_PROGRAM_VERSION;
}

} // namespace publish
