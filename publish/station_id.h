// The station's id in topics and home-automation entities. The station has no serial number, so
// the id is made once per data folder (12 random hexadecimal digits) and kept in its
// "publish.ini": the program and the demo, with their own folders, are two devices.
#pragma once

#include <QString>

namespace publish {

struct TStationId
{
    QString Id;
    // Empty, or why the new id could not be kept (then the next start makes another).
    QString Error;
};

// The folder's id, made and written on the first call.
TStationId LoadOrCreateStationId(const QString& dataFolder);

// Whether `id` is one this program makes: 12 lower-case hexadecimal digits.
bool IsStationId(const QString& id);

} // namespace publish
