// The publishing behind the window's interface: the data folder's publishers (the password store,
// the MQTT publishing, the weather networks' uploads, the web page) and the «Публикация» page that
// shows and changes them. The programs get it from the module, tests and tools built in.
#pragma once

#include "publishing/publishers.h"
#include "station/publishing_module.h"

class TMqttBlock;
class TPublishPage;

class TStationPublishing : public TPublishingModule, public TPublishers
{
public:
    QWidget* CreatePage(QWidget* parent, const QString& dataFolder) override;
    void OpenWithoutPage(const QString& dataFolder, std::function<void(const QString&)> tell) override;
    QString SettingsFileProblem() const override { return TPublishers::SettingsFileProblem(); }
    void StartArchive(publish::TReadingSource& source, publish::TPositionStore& positions,
                      const QString& archivePath) override
    {
        TPublishers::StartArchive(source, positions, archivePath);
    }
    void Publish(const base::TStationReading& reading) override { TPublishers::Publish(reading); }
    void TakeStationPresence(base::TStationPresence presence) override { TPublishers::TakeStationPresence(presence); }
    void TakeOutlook(const QString& trend, const QString& forecast) override
    {
        TPublishers::TakeOutlook(trend, forecast);
    }

    // Made by CreatePage; the page's blocks are owned by the page.
    TPublishPage* Page = nullptr;
    TMqttBlock* MqttBlock = nullptr;
};
