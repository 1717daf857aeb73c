// Identification of a hidraw device from sysfs alone, so that it works without access rights to the
// device node: vendor and product from the HID device's uevent, the product string and version from
// the USB device above it (HID_NAME where there is none), the report descriptor from the HID device's
// report_descriptor.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace hidplatform {

constexpr std::uint32_t BusUsb = 0x03;

struct HidIdentity
{
    std::uint32_t Bus = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
    std::u16string ProductString; // empty when the device names none
    std::vector<std::uint8_t> ReportDescriptor;
    bool HasDescriptor = false;
};

// "KEY=VALUE" lines; lines without '=' are ignored, a trailing carriage return is dropped, the
// first value of a key is kept.
std::map<std::string, std::string> ParseUevent(std::string_view text);

// HID_ID "0003:00002112:00001212": bus, vendor, product in hexadecimal.
bool ParseHidId(std::string_view value, std::uint32_t& bus, std::uint16_t& vendor, std::uint16_t& product);

// The sequence number the kernel gives each HID device: the hexadecimal suffix of its sysfs name
// ("0003:2112:1212.000A" -> 0x000A).
bool InstanceFromSysName(std::string_view sysName, std::uint32_t& instance);

// bcdDevice "0100\n" -> 0x0100.
bool ParseBcdDevice(std::string_view text, std::uint16_t& version);

// A sysfs text attribute (UTF-8, newline-terminated) as UTF-16, ending at the first zero and cut
// to at most maxUnits code units without splitting a surrogate pair.
std::u16string DecodeSysfsText(std::string_view utf8, std::size_t maxUnits = 254);

// The HID device directory of the hidraw character device major:minor, found through
// <sysRoot>/dev/char; empty when that device is not a hidraw node.
std::string ResolveHidDirectory(const std::string& sysRoot, unsigned major, unsigned minor);

// Reads the identity from a HID device directory; false when its uevent has no valid HID_ID.
bool ReadHidIdentity(const std::string& hidDirectory, HidIdentity& out);

} // namespace hidplatform
