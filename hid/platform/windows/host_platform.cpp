#include "hid/platform/host_platform.h"

#include "hid/platform/windows/windows_platform.h"

namespace hidplatform {

std::unique_ptr<Platform> CreateHostPlatform()
{
    return std::make_unique<WindowsPlatform>();
}

} // namespace hidplatform
