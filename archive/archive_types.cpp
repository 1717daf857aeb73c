#include "archive/archive_types.h"

namespace archive {
namespace {

const qint64 EpochDay = QDate(2000, 1, 1).toJulianDay();

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

QString QuantityTitle(TQuantity quantity)
{
    switch (quantity) {
    case TQuantity::IndoorTemperature:
        return QStringLiteral("Температура в доме");
    case TQuantity::OutdoorTemperature:
        return QStringLiteral("Температура на улице");
    case TQuantity::Pressure:
        return QStringLiteral("Атмосферное давление");
    case TQuantity::Humidity:
        return QStringLiteral("Относительная влажность");
    }
    return {};
}

QString QuantityUnit(TQuantity quantity)
{
    switch (quantity) {
    case TQuantity::IndoorTemperature:
    case TQuantity::OutdoorTemperature:
        return QStringLiteral("°C");
    case TQuantity::Pressure:
        return QStringLiteral("мм рт.ст.");
    case TQuantity::Humidity:
        return QStringLiteral("%");
    }
    return {};
}

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

} // namespace archive
