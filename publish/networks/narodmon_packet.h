// Narodmon's sensors and its TCP text packet:
//   #<device id>\n
//   #T1#-12.7#1767225600\n      one line per sensor and reading, each with its UTC time
//   ...
//   ##
// Sensor ids: T1 outdoor and T2 indoor temperature, H1 outdoor or H2 indoor humidity, DP1 dew
// point, MMHG pressure in mm Hg (the site's own unit; "P*" would be taken for electric power).
#pragma once

#include "publish/networks/outgoing_request.h"
#include "publish/networks/published_values.h"

#include <span>
#include <utility>
#include <vector>

namespace publish {

// The packet's size limit on TCP.
constexpr int NarodmonPacketLimit = 4096;

// The sensors of one reading that have a value, as (id, value text).
std::vector<std::pair<const char*, QByteArray>> NarodmonSensors(const TPublishedValues& values);

// As many of the readings, oldest first, as fit one packet (at least one).
TOutgoingRequest NarodmonPacket(const QString& deviceId, const QUrl& endpoint,
                                std::span<const TPublishedValues> readings);

} // namespace publish
