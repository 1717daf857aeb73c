#include "archive/archive_types.h"

#include <QTimeZone>

namespace archive {
namespace {

const qint64 EpochDay = QDate(2000, 1, 1).toJulianDay();
// 2000-01-01 00:00 UTC in seconds since 1970.
constexpr qint64 EpochSeconds = 946684800;

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

TUtcMinute UtcMinuteOf(const QDateTime& time)
{
    return FloorDiv(time.toSecsSinceEpoch() - EpochSeconds, 60);
}

QDateTime TimeOfUtcMinute(TUtcMinute minute)
{
    return QDateTime::fromSecsSinceEpoch(EpochSeconds + minute * 60, Qt::UTC);
}

namespace {

// This computer's offset from universal time, in seconds, at a moment given in seconds since 2000.
qint64 LocalOffsetAt(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(EpochSeconds + seconds).offsetFromUtc();
}

} // namespace

TMinuteKey WallMinuteOfUtc(TUtcMinute minute)
{
    return minute + FloorDiv(LocalOffsetAt(minute * 60), 60);
}

TUtcMinute UtcMinuteOfWall(TMinuteKey wallMinute)
{
    // The offsets in effect a day before and a day after: a zone changes its offset at most once
    // in between, and each offset that gives back this wall minute is one of its showings.
    const qint64 wall = wallMinute * 60;
    const qint64 before = LocalOffsetAt(wall - 86400);
    const qint64 after = LocalOffsetAt(wall + 86400);
    std::optional<qint64> first;
    for (const qint64 offset : {before, after}) {
        const qint64 utc = wall - offset;
        if (LocalOffsetAt(utc) == offset && (!first || utc < *first))
            first = utc;
    }
    return FloorDiv(first.value_or(wall - before), 60);
}

} // namespace archive
