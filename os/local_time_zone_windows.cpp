#include "os/local_time_zone.h"

namespace os {

void ReadLocalTimeZoneOnce()
{
}

} // namespace os
