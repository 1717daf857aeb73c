// The program's copy of the station's history memory: 4096 hourly records of 8 bytes, the day the
// diagram shows and the quantity it shows, and what is derived from them (record count, newest day).
#pragma once

#include <QDate>
#include <QString>
#include <array>
#include <cstdint>

constexpr int HistoryRecordCount = 4096;
constexpr int HistoryRecordSize = 8;
constexpr int HistoryImageSize = HistoryRecordCount * HistoryRecordSize; // 32768
constexpr int HistoryBlockSize = 64;                                     // one input report
constexpr int HistoryBlockCount = HistoryImageSize / HistoryBlockSize;   // 512
constexpr std::uint8_t HistoryMissing = 255;                            // a missing value in any byte

// One measurement hour. 255 in a byte means the value is missing.
struct HistoryRecord
{
    std::uint8_t IndoorTemp;      // whole degrees Celsius, unsigned
    std::uint8_t OutdoorTemp;     // sign and magnitude: 0..127 is +v, 128..254 is -(v - 128)
    std::uint8_t PressureCode;    // 885 minus the pressure in mm Hg
    std::uint8_t HumidityPercent;
    std::uint8_t Hour;            // 0..23
    std::uint8_t Day;
    std::uint8_t Month;
    std::uint8_t Year;            // two digits, 16 is 2016

    bool IsEmpty() const;  // all eight bytes 255
    bool HasDate() const;  // day, month and year all other than 255
};
static_assert(sizeof(HistoryRecord) == HistoryRecordSize);

using THistoryImage = std::array<std::uint8_t, HistoryImageSize>;

HistoryRecord HistoryRecordAt(const THistoryImage& image, int index);

// The day the diagram shows (two-digit year).
struct TSelectedDate
{
    std::uint8_t Day = 0;
    std::uint8_t Month = 0;
    std::uint8_t Year = 0;
    friend bool operator==(const TSelectedDate&, const TSelectedDate&) = default;
};

// What the diagram shows; the stored byte may hold other values from a damaged file.
enum TDiagramQuantity : std::uint8_t
{
    IndoorTemperatureQuantity = 0,
    OutdoorTemperatureQuantity = 1,
    PressureQuantity = 2,
    HumidityQuantity = 3
};

// The history state, one for the whole run, owned by the window.
struct THistoryState
{
    THistoryImage HistoryImage{}; // all 0 until the history file is loaded
    std::uint8_t DiagramQuantity = IndoorTemperatureQuantity;
    TSelectedDate SelectedDate{};
    std::uint32_t RecordCount = 0; // records with a date
};

struct THistoryScan
{
    std::uint32_t RecordCount = 0;
    TSelectedDate SelectedDate{};
    QString RecordCountText; // «N (4096)»
};

// The record count and the newest day: the date of record RecordCount - 1 (the station fills its
// memory from record 0 upwards), today when there is no record or record 0 is undated, and kept
// within 31.12.15 .. 31.12.99.
THistoryScan ScanHistory(const THistoryImage& image, const QDate& today);

// The same, stored into the state; returns the text for the record count field.
QString ScanHistory(THistoryState& state, const QDate& today = QDate::currentDate());

// Progress of a download or clear in whole percent of 512 reports, a half going to the even
// neighbour (64 -> 12, 192 -> 38).
int HistoryProgressPercent(int blockCount);

// Puts one downloaded 64-byte block at its place in the image. Returns false (and changes
// nothing) for a block index outside 0..511.
bool StoreHistoryBlock(THistoryImage& image, int blockIndex, const std::uint8_t* block);
