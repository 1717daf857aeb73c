// The platform layer of the system the program is built for: each system's backend defines it, and
// the build links the one backend that fits.
#pragma once

#include "hid/platform/hid_platform.h"

#include <memory>

namespace hidplatform {

std::unique_ptr<Platform> CreateHostPlatform();

} // namespace hidplatform
