// How the station presents itself on USB: the product string and the ids it is matched by.
#pragma once

#include <cstdint>
#include <string>

inline const std::u16string StationProductName = u"Метеостанция";
constexpr std::uint16_t StationVendorID = 0x2112;
constexpr std::uint16_t StationProductID = 0x1212;

// The station is the device with exactly this product string (whole, case-sensitive) and ids.
inline bool IsStationIdentity(const std::u16string& productName, std::uint16_t vendorID, std::uint16_t productID)
{
    return productName == StationProductName && productID == StationProductID && vendorID == StationVendorID;
}
