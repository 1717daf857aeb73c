// What the weather archive keeps: hours and 5-minute intervals on the wall clock, the four
// quantities, and the rows that go in and come out. Values are in the units the window shows
// (°C, mm Hg, %), so nothing here knows how the station encodes them.
#pragma once

#include "base/quantity.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace archive {

// An hour and a minute of the wall clock (no time zone, no daylight saving), counted from
// 1 January 2000, 00:00. The station's clock knows no more than that, and the views show it.
using THourKey = std::int64_t;
using TMinuteKey = std::int64_t;

THourKey HourKey(const QDate& date, int hour);
QDate DateOfHour(THourKey hour);
int HourOfDay(THourKey hour);
THourKey HourKeyOf(const QDateTime& wallClock);
TMinuteKey MinuteKeyOf(const QDateTime& wallClock);
THourKey HourOfMinute(TMinuteKey minute);

// The moment a wall-clock minute key stands for, in UTC (the station's hours count on the wall
// clock). Never decreasing with the key.
QDateTime UtcOfMinute(TMinuteKey minute);
// The first minute key whose moment is after `utc` (the first key of all for an invalid time),
// found through UtcOfMinute alone.
TMinuteKey FirstMinuteAfter(const QDateTime& utc);

// A minute of universal time counted from 1 January 2000, 00:00 UTC: how the live samples are
// kept, so that the hour the clock repeats when summer time ends is not the same minutes twice.
using TUtcMinute = std::int64_t;

TUtcMinute UtcMinuteOf(const QDateTime& time);
QDateTime TimeOfUtcMinute(TUtcMinute minute);
// The wall-clock minute, by this computer's time zone rules, of a minute of universal time.
TMinuteKey WallMinuteOfUtc(TUtcMinute minute);
// The minute of universal time a wall-clock minute stands for. A minute the clock shows twice (the
// hour repeated when summer time ends) is taken as its first showing; one it skips (the hour
// left out when summer time begins) counts with the offset in effect before the change.
TUtcMinute UtcMinuteOfWall(TMinuteKey wallMinute);

// A missing value in the rows that come out: not a number.
constexpr double MissingValue = std::numeric_limits<double>::quiet_NaN();
inline bool HasValue(double value)
{
    return !std::isnan(value);
}

// One hour as the station logged it; a value the station did not have is empty.
struct THourRecord
{
    THourKey Hour = 0;
    std::array<std::optional<int>, base::QuantityCount> Values{};
    friend bool operator==(const THourRecord&, const THourRecord&) = default;
};

// One hour as the archive shows it: the station's value where it logged one, otherwise the mean
// of the live samples of that hour, otherwise MissingValue.
struct TArchiveHour
{
    THourKey Hour = 0;
    std::array<double, base::QuantityCount> Values{MissingValue, MissingValue, MissingValue, MissingValue};
    double Value(base::TQuantity quantity) const { return Values[static_cast<std::size_t>(quantity)]; }
};

// The live stream of one 5-minute interval: per quantity the mean of the readings that had it and
// their number, and the number of readings in all.
struct TSample
{
    TUtcMinute Start = 0; // the interval's first minute in universal time, a multiple of 5
    int Reports = 0;
    std::array<double, base::QuantityCount> Mean{MissingValue, MissingValue, MissingValue, MissingValue};
    std::array<int, base::QuantityCount> Count{};
};

constexpr int SampleMinutes = 5;

// One value at a minute of the wall clock.
struct TMinuteValue
{
    TMinuteKey Minute = 0;
    double Value = MissingValue;
};

// An alarm that started or ended: when (on the computer's clock), which (a short ASCII name), and
// what the user was told.
struct TAlarmEntry
{
    TMinuteKey Minute = 0;
    QString Kind;
    bool Started = true;
    QString Summary;
    QString Body;
    friend bool operator==(const TAlarmEntry&, const TAlarmEntry&) = default;
};

// One reading as the uploads to the weather networks take it: a live sample (its interval's
// start) or a station hour, dated in UTC; a value the archive lacks is empty.
struct TUploadReading
{
    QDateTime TimeUtc;
    std::array<std::optional<double>, base::QuantityCount> Values{};
};

} // namespace archive
