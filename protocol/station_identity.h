// How the station presents itself on USB: the product string and the ids it is matched by, and the
// report descriptor it gives the system (one 64-byte input and one 64-byte output report).
#pragma once

#include "protocol/report_layout.h"

#include <cstdint>
#include <string>
#include <vector>

inline const std::u16string StationProductName = u"Метеостанция";
constexpr std::uint16_t StationVendorID = 0x2112;
constexpr std::uint16_t StationProductID = 0x1212;
// The version the station gives (1.00); nothing is matched by it.
constexpr std::uint16_t StationVersionNumber = 0x0100;

// The station is the device with exactly this product string (whole, case-sensitive) and ids.
inline bool IsStationIdentity(const std::u16string& productName, std::uint16_t vendorID, std::uint16_t productID)
{
    return productName == StationProductName && productID == StationProductID && vendorID == StationVendorID;
}

// A vendor-defined page with one 64-byte input and one 64-byte output report and no report ids, so
// the system puts the id byte 0 in front of each.
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

// The report lengths the system gives for that descriptor: the id byte and the 64 data bytes.
constexpr std::uint16_t StationReportByteLength = ReportImageSize + 1;
