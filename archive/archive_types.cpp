#include "archive/archive_types.h"

#include <QTimeZone>

namespace archive {
namespace {

const qint64 EpochDay = QDate(2000, 1, 1).toJulianDay();

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

THourKey HourKey(const QDate& date, int hour)
{
    Q_ASSERT(date.isValid()); // an invalid date's Julian day is the lowest int64
    return (date.toJulianDay() - EpochDay) * 24 + hour;
}

QDate DateOfHour(THourKey hour)
{
    return QDate::fromJulianDay(EpochDay + FloorDiv(hour, 24));
}

int HourOfDay(THourKey hour)
{
    return static_cast<int>(hour - FloorDiv(hour, 24) * 24);
}

THourKey HourKeyOf(const QDateTime& wallClock)
{
    return HourKey(wallClock.date(), wallClock.time().hour());
}

TMinuteKey MinuteKeyOf(const QDateTime& wallClock)
{
    return HourKeyOf(wallClock) * 60 + wallClock.time().minute();
}

THourKey HourOfMinute(TMinuteKey minute)
{
    return FloorDiv(minute, 60);
}

QDateTime UtcOfMinute(TMinuteKey minute)
{
    const THourKey hour = HourOfMinute(minute);
    const QDateTime wall(DateOfHour(hour), QTime(HourOfDay(hour), static_cast<int>(minute - hour * 60)), Qt::UTC);
    // From the zone's rules, not the C library's local time, whose choice in the hour shown twice
    // depends on the call before. Of the moments that show this time (the zone's offsets a day
    // either side), the first: the hour shown twice when the clock is put back counts once.
    const QTimeZone zone = QTimeZone::systemTimeZone();
    if (!zone.isValid())
        return QDateTime(wall.date(), wall.time()).toUTC();
    std::optional<QDateTime> first;
    for (const int offset : {zone.offsetFromUtc(wall.addDays(-1)), zone.offsetFromUtc(wall.addDays(1))}) {
        const QDateTime moment = wall.addSecs(-offset);
        if (zone.offsetFromUtc(moment) == offset && (!first || moment < *first))
            first = moment;
    }
    if (first)
        return *first;
    // A minute the clock skips when it is put forward: the moment of the jump, so that the
    // moments never go back.
    return UtcOfMinute(minute + 1);
}

TMinuteKey FirstMinuteAfter(const QDateTime& utc)
{
    constexpr TMinuteKey Lowest = -(TMinuteKey{1} << 40);
    if (!utc.isValid())
        return Lowest;
    // A guess from the first key's offset, then a search: no clock has moved by two days since.
    constexpr TMinuteKey Slack = TMinuteKey{2} * 24 * 60;
    const TMinuteKey guess = UtcOfMinute(0).secsTo(utc) / 60;
    TMinuteKey low = guess - Slack;  // its moment is not after `utc`
    TMinuteKey high = guess + Slack; // its moment is after `utc`
    while (low + 1 < high) {
        const TMinuteKey middle = low + (high - low) / 2;
        if (UtcOfMinute(middle) > utc)
            high = middle;
        else
            low = middle;
    }
    return high;
}

} // namespace archive
