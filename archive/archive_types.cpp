#include "archive/archive_types.h"

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

TUtcMinute UtcMinuteOf(const QDateTime& time)
{
    return FloorDiv(time.toSecsSinceEpoch() - EpochSeconds, 60);
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
