// The station's history image as the weather archive keeps it: hours keyed by their date and time,
// values in degrees, mm Hg and percent.
#pragma once

#include "archive/archive_types.h"
#include "core/history_state.h"

#include <vector>

struct TImageHours
{
    std::vector<archive::THourRecord> Hours; // in memory order
    int Skipped = 0;                         // records with an impossible date or hour
    int Empty = 0;                           // empty slots (all eight bytes 255)
};

// Every record with a real date and hour (month 1..12, a day that the month has, hour 0..23, the
// year 2000 + yy for yy 0..99) becomes an archive hour; a 255 value byte is an empty value.
TImageHours ArchiveHoursOfImage(const THistoryImage& image);

// A record's date and hour as an archive hour, none when they are not a real one.
std::optional<archive::THourKey> ArchiveHourOfRecord(const HistoryRecord& record);
