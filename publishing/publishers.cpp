#include "publishing/publishers.h"

#include "publish/publish_file.h"
#include "publish/weather_reading.h"
#ifdef METEO_WEB_PAGE
#include "publishing/web_publishing.h"
#endif

TPublishers::TPublishers() = default;

TPublishers::~TPublishers() = default;

void TPublishers::Open(const QString& dataFolder)
{
    // Told once here, though every publisher reads the file.
    FSettingsFileProblem = publish::PublishFileProblem(dataFolder);
    Secrets = std::make_unique<publish::TSecretStore>(dataFolder);
    Mqtt = std::make_unique<TMqttPublishing>(dataFolder, *Secrets);
    Networks = std::make_unique<TNetworkPublishing>(dataFolder, *Secrets);
#ifdef METEO_WEB_PAGE
    Web = std::make_unique<TWebPublishing>(dataFolder, *Secrets);
#endif
}

void TPublishers::Load()
{
    Mqtt->Load();
#ifdef METEO_WEB_PAGE
    Web->Load();
#endif
}

void TPublishers::StartArchive(publish::TReadingSource& source, publish::TPositionStore& positions,
                               const QString& archivePath)
{
    Networks->Load(source, positions);
#ifdef METEO_WEB_PAGE
    Web->SetArchive(archivePath);
#else
    (void)archivePath;
#endif
}

void TPublishers::Publish(const base::TStationReading& reading)
{
    if (Mqtt->Publishing())
        Mqtt->Publish(publish::WeatherReadingOf(reading));
#ifdef METEO_WEB_PAGE
    Web->TakeReading(reading);
#endif
}

void TPublishers::TakeStationPresence(base::TStationPresence presence)
{
#ifdef METEO_WEB_PAGE
    Web->TakeStationPresence(presence);
#else
    (void)presence;
#endif
}

void TPublishers::TakeOutlook(const QString& trend, const QString& forecast)
{
#ifdef METEO_WEB_PAGE
    Web->TakeOutlook(trend, forecast);
#else
    (void)trend;
    (void)forecast;
#endif
}
