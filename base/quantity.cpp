#include "base/quantity.h"

namespace base {

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

} // namespace base
