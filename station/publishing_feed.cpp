#include "station/publishing_feed.h"

#include "core/station_core.h"
#include "core/weather_outlook.h"

#include <QDir>

TPublishingFeed::TPublishingFeed(TStationCore& core, std::unique_ptr<TPublishingModule> module, QObject* parent)
    : QObject(parent)
    , Core(core)
    , FModule(std::move(module))
{
    connect(&Core, &TStationCore::Reading, this,
            [this](const base::TStationReading& reading) { FModule->Publish(reading); });
    FModule->TakeStationPresence(Core.Presence());
    connect(&Core, &TStationCore::PresenceChanged, this,
            [this](base::TStationPresence presence) { FModule->TakeStationPresence(presence); });
}

TPublishingFeed::~TPublishingFeed() = default;

void TPublishingFeed::TakeOutlook(const TWeatherOutlook& outlook)
{
    FModule->TakeOutlook(outlook.TrendLine(), outlook.ForecastLine());
}

void TPublishingFeed::StartArchive()
{
    const archive::TArchiveStore* store = Core.Archive();
    FModule->StartArchive(Core.UploadQueue(), Core.UploadQueue(),
                          store != nullptr ? store->Path()
                                           : QDir::current().absoluteFilePath(archive::ArchiveFileName));
}
