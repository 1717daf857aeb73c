// The window's side of publishing: the password store and the MQTT publishing, made with the
// window in its data folder, the «Публикация» page that shows them, and each streamed reading
// handed on. The network work runs on the publisher's own thread, so a report costs the main
// thread one hand-over. Below it, a block per weather network, whose uploads send the archive's
// samples asynchronously on the main thread's event loop.
#include "station/main_form.h"
#include "station/mqtt_block.h"
#include "station/mqtt_publishing.h"
#include "station/network_block.h"
#include "station/network_publishing.h"
#include "station/publish_page.h"

#include <QDir>

namespace {

std::optional<double> ValueOf(const archive::TReading& reading, base::TQuantity quantity)
{
    if (const std::optional<int> value = reading.Values[static_cast<std::size_t>(quantity)])
        return *value;
    return std::nullopt;
}

publish::TWeatherReading WeatherReadingOf(const QDateTime& time, const archive::TReading& reading)
{
    return {time, ValueOf(reading, base::TQuantity::IndoorTemperature),
            ValueOf(reading, base::TQuantity::OutdoorTemperature), ValueOf(reading, base::TQuantity::Pressure),
            ValueOf(reading, base::TQuantity::Humidity)};
}

} // namespace

void TForm1::CreatePublishPage()
{
    const QString dataFolder = QDir::currentPath();
    PublishSecrets = std::make_unique<publish::TSecretStore>(dataFolder);
    MqttPublishing = std::make_unique<TMqttPublishing>(dataFolder, *PublishSecrets);
    PublishPage1 = new TPublishPage(TabSheet6);
    PublishPage1->setGeometry(0, 0, TabSheet6->width(), TabSheet6->height());
    PublishPage1->show(); // with its tab, also when the window was up before the page was made
    MqttBlock1 = new TMqttBlock(*MqttPublishing);
    PublishPage1->AddBlock(MqttBlock1);
    MqttPublishing->Load();
    NetworkPublishing = std::make_unique<TNetworkPublishing>(dataFolder, *PublishSecrets);
    PublishPage1->AddBlock(new TNetworksCommonBlock(*NetworkPublishing));
    for (int index = 0; index < NetworkPublishing->Count(); ++index)
        PublishPage1->AddBlock(new TNetworkBlock(*NetworkPublishing, index));
}

void TForm1::StartNetworkPublishing()
{
    NetworkPublishing->Load(Archive->IsOpen() ? Archive.get() : nullptr);
}

void TForm1::PublishReading(const QDateTime& time, const archive::TReading& reading)
{
    // Readings that come before the rest of the start are the window's alone.
    if (MqttPublishing && MqttPublishing->Publishing())
        MqttPublishing->Publish(WeatherReadingOf(time, reading));
}
