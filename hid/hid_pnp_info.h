// How to reach one HID interface: the instance of its device (new for every connection) and
// the path every handle is opened on.
#pragma once

#include <cstdint>
#include <string>

struct THidPnPInfo
{
    // Two device objects stand for the same device exactly when their instances are equal.
    std::uint32_t DeviceInstance = 0;
    std::string DevicePath;
};
