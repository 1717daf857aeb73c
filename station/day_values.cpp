#include "station/day_values.h"

#include "archive/archive_types.h"
#include "station/readings_text.h"

#include <algorithm>

QString DiagramTitle(std::uint8_t quantity)
{
    // The diagram's quantities are the archive's, in the same order (archive_records.cpp).
    if (quantity > HumidityQuantity)
        return QString();
    return archive::QuantityTitle(static_cast<archive::TQuantity>(quantity));
}

std::int16_t ShownValue(std::uint8_t quantity, std::uint8_t stored)
{
    if (stored == HistoryMissing)
        return HourMissing;
    if (quantity == OutdoorTemperatureQuantity && stored > 127)
        return static_cast<std::int16_t>(128 - stored);
    if (quantity == PressureQuantity)
        return static_cast<std::int16_t>(PressureBase - stored);
    return stored;
}

THourValues DayHourValues(const THistoryImage& image, const TSelectedDate& date, std::uint8_t quantity)
{
    THourValues values;
    values.fill(HourMissing);
    if (quantity > HumidityQuantity)
        return values;
    for (int r = 0; r < HistoryRecordCount; ++r) {
        const std::uint8_t* record = image.data() + static_cast<std::size_t>(r) * HistoryRecordSize;
        const HistoryRecord fields = HistoryRecordAt(image, r);
        if (fields.Day != date.Day || fields.Month != date.Month || fields.Year != date.Year || fields.Hour >= DayHours)
            continue;
        values[fields.Hour] = ShownValue(quantity, record[quantity]);
    }
    return values;
}

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
