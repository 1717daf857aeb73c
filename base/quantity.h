// The four quantities the station measures, numbered as everywhere in the program: the value bytes
// of a history record, the diagram's quantity in "met.mtb", the archive's columns and the selectors
// of the diagram and archive pages all count them 0 to 3 in this order. With the names and units
// the window shows.
#pragma once

#include <QString>
#include <array>
#include <optional>

namespace base {

enum class TQuantity : int { IndoorTemperature = 0, OutdoorTemperature = 1, Pressure = 2, Humidity = 3 };
constexpr int QuantityCount = 4;
constexpr std::array<TQuantity, QuantityCount> Quantities{TQuantity::IndoorTemperature, TQuantity::OutdoorTemperature,
                                                          TQuantity::Pressure, TQuantity::Humidity};

constexpr int QuantityNumber(TQuantity quantity)
{
    return static_cast<int>(quantity);
}

// The quantity a stored number names; none for a number other than 0..3, which only a damaged
// file gives.
constexpr std::optional<TQuantity> QuantityOfNumber(int number)
{
    if (number < 0 || number >= QuantityCount)
        return std::nullopt;
    return static_cast<TQuantity>(number);
}

// The widest values the station's bytes can carry, in the window's units (°C, mm Hg, %). A stored
// value outside them cannot be the station's: it comes from a damaged or hand-edited file and
// counts as missing, so it is never shown, charted or sent as a number.
struct TValueRange
{
    double Min;
    double Max;
};
constexpr TValueRange MeasurableRange(TQuantity quantity)
{
    switch (quantity) {
    case TQuantity::IndoorTemperature:
        return {0.0, 254.0};
    case TQuantity::OutdoorTemperature:
        return {-254.0, 254.0};
    case TQuantity::Pressure:
        return {631.0, 885.0};
    case TQuantity::Humidity:
        break;
    }
    return {0.0, 254.0};
}
// The value where it is a number within the range, none otherwise (NaN and infinities included).
constexpr std::optional<double> Measurable(TQuantity quantity, double value)
{
    const TValueRange range = MeasurableRange(quantity);
    if (!(value >= range.Min && value <= range.Max))
        return std::nullopt;
    return value;
}

// "Температура в доме" and the like, as the diagram page names them.
QString QuantityTitle(TQuantity quantity);
// "°C", "мм рт.ст.", "%".
QString QuantityUnit(TQuantity quantity);

} // namespace base
