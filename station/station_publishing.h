// The publishing behind the window's interface: the password store, the MQTT publishing and the
// weather networks' uploads of the data folder, and the «Публикация» page that shows and changes
// them. The programs get it from the module, tests and tools built in.
#pragma once

#include "publish/secret_store.h"
#include "station/mqtt_publishing.h"
#include "station/network_publishing.h"
#include "station/publishing_module.h"

#include <memory>

class TMqttBlock;
class TPublishPage;

class TStationPublishing : public TPublishingModule
{
public:
    QWidget* CreatePage(QWidget* parent, const QString& dataFolder) override;
    QString SettingsFileProblem() const override { return FSettingsFileProblem; }
    void StartUploads(publish::TReadingSource& source, publish::TPositionStore& positions) override;
    void Publish(const base::TStationReading& reading) override;

    // Made by CreatePage; the page's blocks are owned by the page.
    TPublishPage* Page = nullptr;
    TMqttBlock* MqttBlock = nullptr;
    std::unique_ptr<publish::TSecretStore> Secrets;
    std::unique_ptr<TMqttPublishing> Mqtt;
    std::unique_ptr<TNetworkPublishing> Networks;

private:
    QString FSettingsFileProblem;
};
