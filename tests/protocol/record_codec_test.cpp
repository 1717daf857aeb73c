// How a history record holds its values: the byte layouts checked against literal bytes, every
// value of each quantity through encode and decode, and the ends where a value could turn into the
// 255 marker.
#include "protocol/history_layout.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using base::TQuantity;

HistoryRecord RecordOf(const std::uint8_t (&bytes)[HistoryRecordSize])
{
    HistoryRecord record;
    std::memcpy(&record, bytes, HistoryRecordSize);
    return record;
}

TEST(RecordCodec, ValuesOfLiteralRecords)
{
    // 05.12.16 14:00: +23 °C, -5 °C, 745 mm Hg, 45 %.
    const HistoryRecord full = RecordOf({0x17, 0x85, 0x8C, 0x2D, 0x0E, 0x05, 0x0C, 0x10});
    EXPECT_EQ(full.Value(TQuantity::IndoorTemperature), 23);
    EXPECT_EQ(full.Value(TQuantity::OutdoorTemperature), -5);
    EXPECT_EQ(full.Value(TQuantity::Pressure), 745);
    EXPECT_EQ(full.Value(TQuantity::Humidity), 45);
    // Each value byte answers for its own quantity only: 255 in one leaves the others.
    const HistoryRecord partial = RecordOf({0xFF, 0x80, 0xFF, 0x00, 0x0F, 0x05, 0x0C, 0x10});
    EXPECT_EQ(partial.Value(TQuantity::IndoorTemperature), std::nullopt);
    EXPECT_EQ(partial.Value(TQuantity::OutdoorTemperature), 0);
    EXPECT_EQ(partial.Value(TQuantity::Pressure), std::nullopt);
    EXPECT_EQ(partial.Value(TQuantity::Humidity), 0);
}

TEST(RecordCodec, BytesAtTheEndsOfEachQuantity)
{
    struct TCase
    {
        TQuantity Quantity;
        std::uint8_t Byte;
        std::optional<int> Value;
    };
    const TCase cases[] = {
        {TQuantity::IndoorTemperature, 0x00, 0},
        {TQuantity::IndoorTemperature, 0xFE, 254},
        {TQuantity::IndoorTemperature, 0xFF, {}},
        {TQuantity::OutdoorTemperature, 0x00, 0},
        {TQuantity::OutdoorTemperature, 0x7F, 127},
        {TQuantity::OutdoorTemperature, 0x80, 0},
        {TQuantity::OutdoorTemperature, 0x81, -1},
        {TQuantity::OutdoorTemperature, 0xFE, -126},
        {TQuantity::OutdoorTemperature, 0xFF, {}},
        {TQuantity::Pressure, 0x00, 885},
        {TQuantity::Pressure, 0x8C, 745},
        {TQuantity::Pressure, 0xFE, 631},
        {TQuantity::Pressure, 0xFF, {}},
        {TQuantity::Humidity, 0x64, 100},
        {TQuantity::Humidity, 0xFF, {}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(DecodeRecordValue(c.Quantity, c.Byte), c.Value)
            << "quantity " << base::QuantityNumber(c.Quantity) << ", byte " << int(c.Byte);
}

TEST(RecordCodec, EveryValueRoundTripsAndNoneBecomesTheMarker)
{
    struct TRange
    {
        TQuantity Quantity;
        int Lowest;
        int Highest;
    };
    for (const TRange range :
         {TRange{TQuantity::IndoorTemperature, 0, 254}, TRange{TQuantity::OutdoorTemperature, -126, 127},
          TRange{TQuantity::Pressure, 631, 885}, TRange{TQuantity::Humidity, 0, 254}}) {
        for (int value = range.Lowest; value <= range.Highest; ++value)
            ASSERT_EQ(DecodeRecordValue(range.Quantity, EncodeRecordValue(range.Quantity, value)), value)
                << "quantity " << base::QuantityNumber(range.Quantity);
        // Beyond what the byte holds, the nearest end: never the marker of a missing value.
        EXPECT_EQ(DecodeRecordValue(range.Quantity, EncodeRecordValue(range.Quantity, range.Lowest - 1000)),
                  range.Lowest);
        EXPECT_EQ(DecodeRecordValue(range.Quantity, EncodeRecordValue(range.Quantity, range.Highest + 1000)),
                  range.Highest);
        EXPECT_EQ(EncodeRecordValue(range.Quantity, std::nullopt), HistoryMissing);
    }
    // The readings report uses the same pressure code.
    EXPECT_EQ(EncodePressure(745), 0x8C);
    EXPECT_EQ(DecodePressure(0x8C), 745);
}

} // namespace
