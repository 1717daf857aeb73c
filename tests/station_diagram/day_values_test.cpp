#include "station/day_values.h"

#include <gtest/gtest.h>

namespace {

THistoryImage EmptyImage()
{
    THistoryImage image;
    image.fill(HistoryMissing);
    return image;
}

void PutRecord(THistoryImage& image, int index, std::array<std::uint8_t, 8> bytes)
{
    std::copy(bytes.begin(), bytes.end(), image.begin() + index * HistoryRecordSize);
}

TSelectedDate Date(int day, int month, int year)
{
    return {static_cast<std::uint8_t>(day), static_cast<std::uint8_t>(month), static_cast<std::uint8_t>(year)};
}

TSelectedDate Step(TSelectedDate date, int by)
{
    date.Day = static_cast<std::uint8_t>(date.Day + by);
    NormalizeDay(date);
    return date;
}

} // namespace

TEST(DayValues, QuantitiesDecodeTheirBytes)
{
    EXPECT_EQ(ShownValue(OutdoorTemperatureQuantity, 5), 5);
    EXPECT_EQ(ShownValue(OutdoorTemperatureQuantity, 133), -5);
    EXPECT_EQ(ShownValue(OutdoorTemperatureQuantity, 128), 0);
    EXPECT_EQ(ShownValue(OutdoorTemperatureQuantity, 127), 127);
    EXPECT_EQ(ShownValue(OutdoorTemperatureQuantity, 254), -126);
    EXPECT_EQ(ShownValue(PressureQuantity, 140), 745);
    EXPECT_EQ(ShownValue(PressureQuantity, 0), 885);
    EXPECT_EQ(ShownValue(IndoorTemperatureQuantity, 200), 200);
    for (std::uint8_t q = 0; q < 4; ++q)
        EXPECT_EQ(ShownValue(q, 255), HourMissing);
    EXPECT_EQ(DiagramTitle(2), QStringLiteral("Атмосферное давление"));
    EXPECT_TRUE(DiagramTitle(4).isEmpty());
}

TEST(DayValues, HoursOfTheDayWithTheLaterRecordWinning)
{
    THistoryImage image = EmptyImage();
    PutRecord(image, 0, {21, 5, 140, 40, 7, 5, 1, 17});
    PutRecord(image, 1, {22, 133, 141, 41, 8, 5, 1, 17});
    PutRecord(image, 2, {30, 128, 142, 42, 7, 5, 1, 17}); // hour 7 again: this one counts
    PutRecord(image, 3, {99, 99, 99, 99, 9, 6, 1, 17});   // another day
    PutRecord(image, 4, {99, 99, 99, 99, 24, 5, 1, 17});  // no such hour
    PutRecord(image, 5, {255, 255, 255, 255, 10, 5, 1, 17});
    const THourValues indoor = DayHourValues(image, Date(5, 1, 17), IndoorTemperatureQuantity);
    EXPECT_EQ(indoor[7], 30);
    EXPECT_EQ(indoor[8], 22);
    EXPECT_EQ(indoor[9], HourMissing);
    EXPECT_EQ(indoor[10], HourMissing);
    EXPECT_EQ(DayHourValues(image, Date(5, 1, 17), OutdoorTemperatureQuantity)[8], -5);
    EXPECT_EQ(DayHourValues(image, Date(5, 1, 17), PressureQuantity)[7], 743);
    EXPECT_EQ(DayHourValues(image, Date(5, 1, 17), HumidityQuantity)[8], 41);
    // An unknown quantity shows nothing rather than reading a date byte.
    EXPECT_EQ(DayHourValues(image, Date(5, 1, 17), 4)[7], HourMissing);
}

TEST(DayValues, RangeIsOneBeyondTheValues)
{
    THourValues values;
    values.fill(HourMissing);
    TDayRange range = DayRange(values);
    EXPECT_EQ(range.Count, 0);
    EXPECT_EQ(range.Minimum, 0);
    EXPECT_EQ(range.Maximum, 0);
    values[4] = 21;
    range = DayRange(values);
    EXPECT_EQ(range.Minimum, 20);
    EXPECT_EQ(range.Maximum, 22);
    values[5] = -5;
    values[6] = 5;
    values[7] = 0;
    values[4] = HourMissing;
    range = DayRange(values);
    EXPECT_EQ(range.Minimum, -6);
    EXPECT_EQ(range.Maximum, 6);
}

TEST(DayValues, CalendarStepsAcrossMonthsYearsAndLeapYears)
{
    EXPECT_EQ(Step(Date(31, 12, 16), 1), Date(1, 1, 17));
    EXPECT_EQ(Step(Date(28, 2, 16), 1), Date(29, 2, 16));
    EXPECT_EQ(Step(Date(28, 2, 17), 1), Date(1, 3, 17));
    EXPECT_EQ(Step(Date(30, 4, 16), 1), Date(1, 5, 16));
    EXPECT_EQ(Step(Date(1, 3, 16), -1), Date(29, 2, 16));
    EXPECT_EQ(Step(Date(1, 3, 17), -1), Date(28, 2, 17));
    EXPECT_EQ(Step(Date(1, 1, 16), -1), Date(31, 12, 15));
    EXPECT_EQ(Step(Date(1, 5, 16), -1), Date(30, 4, 16));
    EXPECT_EQ(DaysInMonth(2, 0), 29);
    EXPECT_EQ(DaysInMonth(2, 99), 28);
    EXPECT_EQ(DaysInMonth(11, 20), 30);
}

TEST(DayValues, DamagedMonthsGiveThirtyOneDaysAndStepBackToRealDates)
{
    EXPECT_EQ(DaysInMonth(0, 17), 31);
    EXPECT_EQ(DaysInMonth(13, 17), 31);
    EXPECT_EQ(DaysInMonth(200, 17), 31);
    EXPECT_EQ(Step(Date(31, 13, 17), 1), Date(1, 1, 18));
    EXPECT_EQ(Step(Date(31, 0, 17), 1), Date(1, 1, 17));
    EXPECT_EQ(Step(Date(1, 0, 17), -1), Date(31, 12, 16));
    EXPECT_EQ(Step(Date(1, 200, 17), -1), Date(31, 12, 17));
    EXPECT_EQ(Step(Date(31, 255, 17), 1), Date(1, 1, 18));
}

TEST(DayValues, DateTextHasTwoDigitParts)
{
    EXPECT_EQ(DiagramDateText(Date(5, 1, 17)), QStringLiteral("05.01.17"));
    EXPECT_EQ(DiagramDateText(Date(31, 12, 99)), QStringLiteral("31.12.99"));
    EXPECT_TRUE(DateBefore(Date(31, 12, 15), Date(1, 1, 16)));
    EXPECT_FALSE(DateBefore(Date(1, 1, 16), Date(1, 1, 16)));
}
