// The 24 hourly values of one day as the daily diagram holds them, and the range its left axis
// takes from them. Apart from the history, so that the diagram's chart (day_chart) needs nothing else.
#pragma once

#include <array>
#include <cstdint>

constexpr int DayHours = 24;
constexpr std::int16_t HourMissing = 255; // an hour without a value
using THourValues = std::array<std::int16_t, DayHours>;

// The left axis' ends for the values: one beyond the largest and the smallest value, 0..0 for a
// day without values.
struct TDayRange
{
    int Count = 0;
    int Minimum = 0;
    int Maximum = 0;
};
TDayRange DayRange(const THourValues& values);
