#include "core/day_values.h"

#include "core/readings_text.h"

#include <algorithm>

THourValues DayHourValues(const THistoryImage& image, const TSelectedDate& date, base::TQuantity quantity)
{
    THourValues values;
    values.fill(HourMissing);
    for (int r = 0; r < HistoryRecordCount; ++r) {
        const HistoryRecord record = HistoryRecordAt(image, r);
        if (record.Day != date.Day || record.Month != date.Month || record.Year != date.Year || record.Hour >= DayHours)
            continue;
        values[record.Hour] = static_cast<std::int16_t>(record.Value(quantity).value_or(HourMissing));
    }
    return values;
}

std::uint8_t DaysInMonth(std::uint8_t month, std::uint8_t year)
{
    switch (month) {
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    case 2:
        return (year & 3) == 0 ? 29 : 28;
    default:
        return 31;
    }
}

void NormalizeDay(TSelectedDate& date)
{
    if (date.Day > DaysInMonth(date.Month, date.Year)) {
        ++date.Month;
        if (date.Month > 12 || date.Month == 0) {
            date.Month = 1;
            ++date.Year;
        }
        date.Day = 1;
    }
    if (date.Day == 0) {
        if (date.Month > 12) {
            date.Month = 12; // a damaged month steps back into December of its year
        } else if (date.Month <= 1) {
            date.Month = 12;
            --date.Year;
        } else {
            --date.Month;
        }
        date.Day = DaysInMonth(date.Month, date.Year);
    }
}

QString DiagramDateText(const TSelectedDate& date)
{
    return TwoDigitText(date.Day) + QLatin1Char('.') + TwoDigitText(date.Month) + QLatin1Char('.') +
        TwoDigitText(date.Year);
}

bool DateBefore(const TSelectedDate& a, const TSelectedDate& b)
{
    if (a.Year != b.Year)
        return a.Year < b.Year;
    if (a.Month != b.Month)
        return a.Month < b.Month;
    return a.Day < b.Day;
}
