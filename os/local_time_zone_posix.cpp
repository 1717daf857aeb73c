#include "os/local_time_zone.h"

#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace os {

void ReadLocalTimeZoneOnce()
{
    constexpr const char* SystemZoneFile = "/etc/localtime";
    if (std::getenv("TZ") != nullptr || access(SystemZoneFile, R_OK) != 0)
        return;
    setenv("TZ", ":/etc/localtime", 0);
    tzset();
}

} // namespace os
