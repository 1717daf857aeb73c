// The request that sends waiting readings to a service: its address or packet, field names,
// units and query order, one function per service behind one entry.
#pragma once

#include "publish/networks/outgoing_request.h"
#include "publish/networks/published_values.h"
#include "publish/networks/service_settings.h"

#include <span>

namespace publish {

// The request for the first of `readings` (oldest first; narodmon's packet takes as many as fit).
// `endpoint` is the resolved address (none for «свой адрес»); the settings have been checked.
TOutgoingRequest BuildRequest(const TServiceSettings& settings, const TPublishSettings& common, const QUrl& endpoint,
                              std::span<const TPublishedValues> readings);

} // namespace publish
