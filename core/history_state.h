// The program's copy of the station's history memory, the day the diagram shows and the quantity
// it shows, and what is derived from them (record count, newest day).
#pragma once

#include "protocol/history_layout.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>

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

// The history state, one for the whole run, owned by the window.
struct THistoryState
{
    THistoryImage HistoryImage{}; // all 0 until the history file is loaded
    // What the diagram shows: a quantity's number (base::TQuantity), as "met.mtb" stores it; a
    // damaged file may give another.
    std::uint8_t DiagramQuantity = 0;
    TSelectedDate SelectedDate{};
    std::uint32_t RecordCount = 0; // records with a date
    // When the last complete download ended, kept with the weather archive across runs; invalid
    // while none is known. The clear's question names it.
    QDateTime LastCompleteDownload;
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

// The image with only its first `count` records (0..4096): the rest are empty slots.
THistoryImage FirstRecords(const THistoryImage& image, int count);

// Progress of a download or clear in whole percent of 512 reports, a half going to the even
// neighbour (64 -> 12, 192 -> 38).
int HistoryProgressPercent(int blockCount);

// Puts one downloaded 64-byte block at its place in the image. Returns false (and changes
// nothing) for a block index outside 0..511.
bool StoreHistoryBlock(THistoryImage& image, int blockIndex, const std::uint8_t* block);
