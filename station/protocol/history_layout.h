// The station's history memory: 4096 hourly records of 8 bytes, filled from record 0 upwards and
// sent as 512 blocks of one input report each.
#pragma once

#include "station/protocol/report_layout.h"

#include <algorithm>
#include <cstdint>

constexpr int HistoryRecordCount = 4096;
constexpr int HistoryRecordSize = 8;
constexpr int HistoryImageSize = HistoryRecordCount * HistoryRecordSize; // 32768
constexpr int HistoryBlockSize = ReportImageSize;                        // one input report
constexpr int HistoryBlockCount = HistoryImageSize / HistoryBlockSize;   // 512
constexpr std::uint8_t HistoryMissing = NoValue;                         // a missing value in any byte

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
};
static_assert(sizeof(HistoryRecord) == HistoryRecordSize);
