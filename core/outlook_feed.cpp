#include "core/outlook_feed.h"

#include "core/station_core.h"

TOutlookFeed::TOutlookFeed(TStationCore& core, QObject* parent)
    : QObject(parent)
    , Core(core)
{
    connect(&Core, &TStationCore::SampleWritten, this, [this](bool ok, const QString&) {
        if (ok)
            FOutlook.ArchiveChanged();
    });
    connect(&Core, &TStationCore::DownloadMerged, this, [this](const archive::TMergeResult& result, int) {
        if (result.Ok)
            FOutlook.ArchiveChanged();
    });
}

void TOutlookFeed::SetSettings(const weather::TForecastSettings& settings)
{
    FOutlook.SetSettings(settings);
}

bool TOutlookFeed::TakeReading(const base::TStationReading& reading)
{
    FPressure = reading.Value(base::TQuantity::Pressure);
    FOutdoor = reading.Value(base::TQuantity::OutdoorTemperature);
    // The reading's own time: the clock is read once per report, it costs.
    return Refresh(reading.Time);
}

bool TOutlookFeed::Refresh(const QDateTime& now)
{
    return FOutlook.Refresh(Core.Archive(), {now.isValid() ? now : Core.Now(), FPressure, FOutdoor});
}
