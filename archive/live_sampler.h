// The live stream boiled down to one sample per 5 minutes (of universal time, which the wall clock's
// 5 minutes match): per quantity the mean of the readings that had a value and their number, and
// the number of readings.
#pragma once

#include "archive/archive_types.h"
#include "base/station_reading.h"

#include <QDateTime>
#include <array>
#include <optional>

namespace archive {

class TLiveSampler
{
public:
    // Takes one reading at its time. A reading of another interval than the ones taken so far
    // (the next one, or an earlier one after the clock was set back) closes their sample, which
    // is returned for storing; the reading then starts the new interval.
    std::optional<TSample> Add(const base::TStationReading& reading);
    // Closes the sample of the readings taken so far (the stream stops, the window closes); none
    // when there are none.
    std::optional<TSample> Flush();
    bool Empty() const { return FReports == 0; }

private:
    TUtcMinute FStart = 0;
    int FReports = 0;
    std::array<std::int64_t, base::QuantityCount> FSums{};
    std::array<int, base::QuantityCount> FCounts{};
};

// The first minute, in universal time, of the 5-minute interval that holds `time`.
TUtcMinute SampleStart(const QDateTime& time);

} // namespace archive
