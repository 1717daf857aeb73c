#include "core/day_hours.h"

#include <algorithm>

TDayRange DayRange(const THourValues& values)
{
    TDayRange range;
    int largest = -100;
    int smallest = 1000;
    for (const std::int16_t v : values) {
        if (v == HourMissing)
            continue;
        ++range.Count;
        largest = std::max<int>(largest, v);
        smallest = std::min<int>(smallest, v);
    }
    if (range.Count == 0) {
        largest = -1;
        smallest = 1;
    }
    range.Maximum = largest + 1;
    range.Minimum = smallest - 1;
    return range;
}
