#include "station/archive_records.h"

#include <QDate>

std::optional<archive::THourKey> ArchiveHourOfRecord(const HistoryRecord& record)
{
    if (record.Hour > 23 || record.Year > 99 || record.Month < 1 || record.Month > 12 || record.Day < 1)
        return std::nullopt;
    const QDate date(2000 + record.Year, record.Month, record.Day);
    if (!date.isValid())
        return std::nullopt;
    return archive::HourKey(date, record.Hour);
}

TImageHours ArchiveHoursOfImage(const THistoryImage& image)
{
    TImageHours result;
    result.Hours.reserve(HistoryRecordCount);
    for (int r = 0; r < HistoryRecordCount; ++r) {
        const HistoryRecord record = HistoryRecordAt(image, r);
        if (record.IsEmpty()) {
            ++result.Empty;
            continue;
        }
        const std::optional<archive::THourKey> hour = ArchiveHourOfRecord(record);
        if (!hour) {
            ++result.Skipped;
            continue;
        }
        archive::THourRecord& out = result.Hours.emplace_back();
        out.Hour = *hour;
        for (const base::TQuantity quantity : base::Quantities)
            out.Values[static_cast<std::size_t>(base::QuantityNumber(quantity))] = record.Value(quantity);
    }
    return result;
}

archive::TReading ArchiveReadingOfReport(const TReportImage& image)
{
    archive::TReading reading;
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
