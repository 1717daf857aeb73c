// The publishing behind the window's interface; see station_publishing.h.
#include "station/station_publishing.h"

#include "publish/publish_file.h"
#include "publish/weather_reading.h"
#include "station/mqtt_block.h"
#include "station/network_block.h"
#include "station/publish_page.h"

QWidget* TStationPublishing::CreatePage(QWidget* parent, const QString& dataFolder)
{
    // Told once here, though both publishers read the file.
    FSettingsFileProblem = publish::PublishFileProblem(dataFolder);
    Secrets = std::make_unique<publish::TSecretStore>(dataFolder);
    Mqtt = std::make_unique<TMqttPublishing>(dataFolder, *Secrets);
    Page = new TPublishPage(parent);
    MqttBlock = new TMqttBlock(*Mqtt);
    Page->AddBlock(MqttBlock);
    Mqtt->Load();
    Networks = std::make_unique<TNetworkPublishing>(dataFolder, *Secrets);
    Page->AddBlock(new TNetworksCommonBlock(*Networks));
    for (int index = 0; index < Networks->Count(); ++index)
        Page->AddBlock(new TNetworkBlock(*Networks, index));
    return Page;
}

void TStationPublishing::StartUploads(publish::TReadingSource& source, publish::TPositionStore& positions)
{
    Networks->Load(source, positions);
}

void TStationPublishing::Publish(const base::TStationReading& reading)
{
    if (Mqtt && Mqtt->Publishing())
        Mqtt->Publish(publish::WeatherReadingOf(reading));
}
