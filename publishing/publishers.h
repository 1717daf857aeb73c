// Everything that takes the station's readings beyond the program, as the data folder sets it up:
// the password store, the MQTT publishing, the weather networks' uploads and the web page. The
// window's publishing shows them on its page; the service runs them with no window.
#pragma once

#include "base/station_reading.h"
#include "publish/secret_store.h"
#include "publishing/mqtt_publishing.h"
#include "publishing/network_publishing.h"

#include <QString>
#include <memory>

namespace publish {
class TPositionStore;
class TReadingSource;
} // namespace publish
class TWebPublishing;

class TPublishers
{
public:
    TPublishers();
    ~TPublishers();
    TPublishers(const TPublishers&) = delete;
    TPublishers& operator=(const TPublishers&) = delete;

    // The publishers of `dataFolder`, made with their settings read but nothing loaded from the
    // password store yet: whoever shows them connects first, then calls Load.
    void Open(const QString& dataFolder);
    void Load();
    // Why "publish.ini" cannot be read or is damaged (Russian); empty when it read whole.
    const QString& SettingsFileProblem() const { return FSettingsFileProblem; }

    // The archive is open: the uploads send the readings of `source`, keeping how far each service
    // got in `positions` (both outlive the publishers), and the web page reads `archivePath`.
    void StartArchive(publish::TReadingSource& source, publish::TPositionStore& positions, const QString& archivePath);

    // A reading of the stream; the station's presence; the trend and forecast lines.
    void Publish(const base::TStationReading& reading);
    void TakeStationPresence(base::TStationPresence presence);
    void TakeOutlook(const QString& trend, const QString& forecast);

    std::unique_ptr<publish::TSecretStore> Secrets;
    std::unique_ptr<TMqttPublishing> Mqtt;
    std::unique_ptr<TNetworkPublishing> Networks;
    std::unique_ptr<TWebPublishing> Web; // none where the build has no web server

private:
    QString FSettingsFileProblem;
};
