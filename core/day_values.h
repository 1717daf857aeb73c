// What the daily diagram shows, apart from the window: the 24 hourly values of one quantity for one
// day of the history image, the calendar steps and the texts.
#pragma once

#include "core/day_hours.h"
#include "core/history_state.h"

#include <QString>
#include <array>
#include <cstdint>

// The earliest and the latest day the diagram steps to: before 2016 the station did not exist, and
// a two-digit year ends with 99.
constexpr TSelectedDate FirstDiagramDate{31, 12, 15};
constexpr TSelectedDate LastDiagramDate{31, 12, 99};

// The values of every hour of the day, HourMissing where no record has one; a later record for an
// hour replaces an earlier one.
THourValues DayHourValues(const THistoryImage& image, const TSelectedDate& date, base::TQuantity quantity);

// Days of the month for a two-digit year (every year divisible by 4 is a leap year); 31 for a
// month outside 1..12, which only a damaged record gives.
std::uint8_t DaysInMonth(std::uint8_t month, std::uint8_t year);

// Brings a day that has become 0 or passed the month's end to a real date: the first of the next
// month, or the last of the month before. A month outside 1..12 is left for the next real month.
void NormalizeDay(TSelectedDate& date);

// «dd.mm.yy», each part with a "0" in front below 10.
QString DiagramDateText(const TSelectedDate& date);

bool DateBefore(const TSelectedDate& a, const TSelectedDate& b);
