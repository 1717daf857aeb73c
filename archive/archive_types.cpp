#include "archive/archive_types.h"

#include <optional>

namespace archive {
namespace {

// The Julian day of 2000-01-01, as a constant: a key made while another file's globals are set up
// (before this file's would be) must not count from day 0.
constexpr qint64 EpochDay = 2451545;
// 2000-01-01 00:00 UTC in seconds since 1970.
constexpr qint64 EpochSeconds = 946684800;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// This computer's offset from universal time, in seconds, at a moment given in seconds since 2000:
// from a moment, never from a local time, whose conversion by the C library chooses in the hour
// shown twice by the call before.
qint64 LocalOffsetAt(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(EpochSeconds + seconds).offsetFromUtc();
}

// The first moment, in seconds since 2000 UTC, at which this computer's clock shows `wall` (seconds
// since 2000 on the wall clock); none for a time the clock skips when it is put forward. The
// offsets in effect a day before and a day after are the candidates: a zone changes its offset at
// most once in between, and each offset that gives back this wall time is one of its showings.
std::optional<qint64> FirstShowing(qint64 wall)
{
    std::optional<qint64> first;
    for (const qint64 offset : {LocalOffsetAt(wall - 86400), LocalOffsetAt(wall + 86400)}) {
        const qint64 utc = wall - offset;
        if (LocalOffsetAt(utc) == offset && (!first || utc < *first))
            first = utc;
    }
    return first;
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
    if (const std::optional<qint64> first = FirstShowing(minute * 60))
        return QDateTime::fromSecsSinceEpoch(EpochSeconds + *first, Qt::UTC);
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

TMinuteKey WallMinuteOfUtc(TUtcMinute minute)
{
    return minute + FloorDiv(LocalOffsetAt(minute * 60), 60);
}

TUtcMinute UtcMinuteOfWall(TMinuteKey wallMinute)
{
    const qint64 wall = wallMinute * 60;
    return FloorDiv(FirstShowing(wall).value_or(wall - LocalOffsetAt(wall - 86400)), 60);
}

} // namespace archive
