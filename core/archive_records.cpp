#include "core/archive_records.h"

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
