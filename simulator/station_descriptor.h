// The station's HID report descriptor: a vendor-defined page with one 64-byte input and one 64-byte
// output report, no report ids (so the system adds the id byte 0 in front: 65/65).
#pragma once

#include <cstdint>
#include <vector>

namespace simulator {

inline const std::vector<std::uint8_t> StationReportDescriptor = {
    0x06, 0x00, 0xFF, // Usage Page (vendor-defined 0xFF00)
    0x09, 0x01,       // Usage (1)
    0xA1, 0x01,       // Collection (Application)
    0x15, 0x00,       //   Logical Minimum (0)
    0x26, 0xFF, 0x00, //   Logical Maximum (255)
    0x75, 0x08,       //   Report Size (8 bits)
    0x95, 0x40,       //   Report Count (64)
    0x09, 0x01,       //   Usage (1)
    0x81, 0x02,       //   Input (Data, Variable, Absolute)
    0x95, 0x40,       //   Report Count (64)
    0x09, 0x01,       //   Usage (1)
    0x91, 0x02,       //   Output (Data, Variable, Absolute)
    0xC0,             // End Collection
};

} // namespace simulator
