#include "hid/platform/host_platform.h"

#include "hid/platform/linux/linux_platform.h"

namespace hidplatform {

std::unique_ptr<Platform> CreateHostPlatform()
{
    return std::make_unique<LinuxPlatform>();
}

} // namespace hidplatform
