#include "archive/live_sampler.h"

namespace archive {

TUtcMinute SampleStart(const QDateTime& time)
{
    // In universal time: the hour the wall clock repeats in autumn is an hour of its own.
    const TUtcMinute minute = UtcMinuteOf(time);
    return minute - ((minute % SampleMinutes) + SampleMinutes) % SampleMinutes;
}

std::optional<TSample> TLiveSampler::Add(const base::TStationReading& reading)
{
    const TMinuteKey start = SampleStart(reading.Time);
    std::optional<TSample> closed;
    if (FReports > 0 && start != FStart)
        closed = Flush();
    FStart = start;
    ++FReports;
    for (std::size_t q = 0; q < base::QuantityCount; ++q) {
        if (!reading.Values[q])
            continue;
        FSums[q] += *reading.Values[q];
        ++FCounts[q];
    }
    return closed;
}

std::optional<TSample> TLiveSampler::Flush()
{
    if (FReports == 0)
        return std::nullopt;
    TSample sample;
    sample.Start = FStart;
    sample.Reports = FReports;
    for (std::size_t q = 0; q < base::QuantityCount; ++q) {
        sample.Count[q] = FCounts[q];
        if (FCounts[q] > 0)
            sample.Mean[q] = static_cast<double>(FSums[q]) / FCounts[q];
    }
    FReports = 0;
    FSums.fill(0);
    FCounts.fill(0);
    return sample;
}

} // namespace archive
