// How the station presents itself on USB: the product string and the ids it is matched by.
#pragma once

#include <cstdint>
#include <string>

inline const std::u16string StationProductName = u"Метеостанция";
constexpr std::uint16_t StationVendorID = 0x2112;
constexpr std::uint16_t StationProductID = 0x1212;
