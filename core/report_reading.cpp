#include "core/report_reading.h"

base::TStationReading ReadingOfReport(const TReportImage& image, const QDateTime& time)
{
    base::TStationReading reading;
    reading.Time = time;
    auto put = [&reading](base::TQuantity quantity, bool present, std::uint8_t byte, int value) {
        if (present && byte != NoValue)
            reading.Values[static_cast<std::size_t>(quantity)] = value;
    };
    const std::uint8_t indoor = image[InField::IndoorTemperature];
    put(base::TQuantity::IndoorTemperature, image[InField::IndoorStatus] == TemperaturePresent, indoor, indoor);
    const std::uint8_t outdoor = image[InField::OutdoorTemperature];
    put(base::TQuantity::OutdoorTemperature, image[InField::OutdoorStatus] == TemperaturePresent, outdoor,
        image[InField::OutdoorSign] == OutdoorBelowZero ? -outdoor : outdoor);
    const std::uint8_t pressure = image[InField::PressureRaw];
    put(base::TQuantity::Pressure, image[InField::PressureOn] == MarkerOn, pressure, DecodePressure(pressure));
    const std::uint8_t humidity = image[InField::Humidity];
    put(base::TQuantity::Humidity, image[InField::HumidityOn] == MarkerOn, humidity, humidity);
    return reading;
}
