#include "core/history_state.h"

#include <algorithm>
#include <cstring>

HistoryRecord HistoryRecordAt(const THistoryImage& image, int index)
{
    HistoryRecord record;
    std::memcpy(&record, image.data() + static_cast<std::size_t>(index) * HistoryRecordSize, HistoryRecordSize);
    return record;
}

THistoryScan ScanHistory(const THistoryImage& image, const QDate& today)
{
    THistoryScan scan;
    for (int r = 0; r < HistoryRecordCount; ++r)
        if (HistoryRecordAt(image, r).HasDate())
            ++scan.RecordCount;

    TSelectedDate& date = scan.SelectedDate;
    if (scan.RecordCount >= 1) {
        const HistoryRecord newest = HistoryRecordAt(image, static_cast<int>(scan.RecordCount) - 1);
        date = {newest.Day, newest.Month, newest.Year};
    }
    const HistoryRecord first = HistoryRecordAt(image, 0);
    if (scan.RecordCount == 0 ||
        (first.Day == HistoryMissing && first.Month == HistoryMissing && first.Year == HistoryMissing))
        date = {static_cast<std::uint8_t>(today.day()), static_cast<std::uint8_t>(today.month()),
                static_cast<std::uint8_t>(today.year() % 100)};
    // The diagram cannot step before 2016.
    if (date.Year < 16)
        date = {31, 12, 15};
    if (date.Year > 99)
        date = {31, 12, 99};

    scan.RecordCountText = QStringLiteral("%1 (%2)").arg(scan.RecordCount).arg(HistoryRecordCount);
    return scan;
}

QString ScanHistory(THistoryState& state, const QDate& today)
{
    const THistoryScan scan = ScanHistory(state.HistoryImage, today);
    state.RecordCount = scan.RecordCount;
    state.SelectedDate = scan.SelectedDate;
    return scan.RecordCountText;
}

THistoryImage FirstRecords(const THistoryImage& image, int count)
{
    THistoryImage first;
    first.fill(HistoryMissing);
    const auto bytes = static_cast<std::size_t>(std::clamp(count, 0, HistoryRecordCount)) * HistoryRecordSize;
    std::copy_n(image.begin(), bytes, first.begin());
    return first;
}

int HistoryProgressPercent(int blockCount)
{
    const int scaled = blockCount * 100;
    int percent = scaled / HistoryBlockCount;
    const int twiceRest = 2 * (scaled % HistoryBlockCount);
    if (twiceRest > HistoryBlockCount || (twiceRest == HistoryBlockCount && percent % 2 == 1))
        ++percent;
    return percent;
}

bool StoreHistoryBlock(THistoryImage& image, int blockIndex, const std::uint8_t* block)
{
    if (blockIndex < 0 || blockIndex >= HistoryBlockCount || block == nullptr)
        return false;
    std::memcpy(image.data() + static_cast<std::size_t>(blockIndex) * HistoryBlockSize, block, HistoryBlockSize);
    return true;
}
