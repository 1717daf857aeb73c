// The station's history memory: 4096 hourly records of 8 bytes, filled from record 0 upwards and
// sent as 512 blocks of one input report each; and how a record's value bytes hold the four
// quantities.
#pragma once

#include "base/quantity.h"
#include "protocol/report_layout.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

constexpr int HistoryRecordCount = 4096;
constexpr int HistoryRecordSize = 8;
constexpr int HistoryImageSize = HistoryRecordCount * HistoryRecordSize; // 32768
constexpr int HistoryBlockSize = ReportImageSize;                        // one input report
constexpr int HistoryBlockCount = HistoryImageSize / HistoryBlockSize;   // 512
constexpr std::uint8_t HistoryMissing = NoValue;                         // a missing value in any byte

// The outdoor temperature of a record in sign and magnitude: 0..127 is +n, 128 + n is -n (so 128
// is 0 again).
constexpr int DecodeOutdoorTemperature(std::uint8_t stored)
{
    return stored <= 127 ? stored : 128 - stored;
}
// The byte of -126..127 °C; beyond that, the nearest end (-127 would read as the 255 marker).
constexpr std::uint8_t EncodeOutdoorTemperature(int celsius)
{
    const int clamped = std::clamp(celsius, -126, 127);
    return static_cast<std::uint8_t>(clamped < 0 ? 128 - clamped : clamped);
}

// A value byte of a record in the window's units (°C, mm Hg, %); none for the 255 marker. The
// indoor temperature and the humidity are stored as they are.
constexpr std::optional<int> DecodeRecordValue(base::TQuantity quantity, std::uint8_t stored)
{
    if (stored == HistoryMissing)
        return std::nullopt;
    switch (quantity) {
    case base::TQuantity::OutdoorTemperature:
        return DecodeOutdoorTemperature(stored);
    case base::TQuantity::Pressure:
        return DecodePressure(stored);
    case base::TQuantity::IndoorTemperature:
    case base::TQuantity::Humidity:
        break;
    }
    return stored;
}
// The byte of a value, the 255 marker for none; beyond what the byte holds, the nearest value
// that is not the marker.
constexpr std::uint8_t EncodeRecordValue(base::TQuantity quantity, std::optional<int> value)
{
    if (!value)
        return HistoryMissing;
    switch (quantity) {
    case base::TQuantity::OutdoorTemperature:
        return EncodeOutdoorTemperature(*value);
    case base::TQuantity::Pressure:
        return EncodePressure(*value);
    case base::TQuantity::IndoorTemperature:
    case base::TQuantity::Humidity:
        break;
    }
    return static_cast<std::uint8_t>(std::clamp(*value, 0, 254));
}

// What the bytes can carry is what base::MeasurableRange takes for the station's.
static_assert(base::MeasurableRange(base::TQuantity::Pressure).Min == DecodePressure(254) &&
              base::MeasurableRange(base::TQuantity::Pressure).Max == DecodePressure(0));
static_assert(base::MeasurableRange(base::TQuantity::IndoorTemperature).Max == 254 &&
              base::MeasurableRange(base::TQuantity::Humidity).Max == 254);

// One measurement hour. 255 in a byte means the value is missing.
struct HistoryRecord
{
    std::uint8_t IndoorTemp;   // whole degrees Celsius, unsigned
    std::uint8_t OutdoorTemp;  // sign and magnitude: 0..127 is +v, 128..254 is -(v - 128)
    std::uint8_t PressureCode; // PressureBase minus the pressure in mm Hg
    std::uint8_t HumidityPercent;
    std::uint8_t Hour; // 0..23
    std::uint8_t Day;
    std::uint8_t Month;
    std::uint8_t Year; // two digits, 16 is 2016

    // All eight bytes 255.
    bool IsEmpty() const
    {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(this);
        return std::all_of(bytes, bytes + HistoryRecordSize, [](std::uint8_t b) { return b == HistoryMissing; });
    }
    // Day, month and year all other than 255.
    bool HasDate() const { return Day != HistoryMissing && Month != HistoryMissing && Year != HistoryMissing; }
    // The quantity's value, none where the station had none.
    std::optional<int> Value(base::TQuantity quantity) const
    {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(this);
        return DecodeRecordValue(quantity, bytes[base::QuantityNumber(quantity)]);
    }
};
static_assert(sizeof(HistoryRecord) == HistoryRecordSize);
// The value bytes come in the quantities' order.
static_assert(offsetof(HistoryRecord, IndoorTemp) == base::QuantityNumber(base::TQuantity::IndoorTemperature));
static_assert(offsetof(HistoryRecord, OutdoorTemp) == base::QuantityNumber(base::TQuantity::OutdoorTemperature));
static_assert(offsetof(HistoryRecord, PressureCode) == base::QuantityNumber(base::TQuantity::Pressure));
static_assert(offsetof(HistoryRecord, HumidityPercent) == base::QuantityNumber(base::TQuantity::Humidity));
