// The window's uploads to the weather networks: each service's settings from "publish.ini" and its
// key from the password store, an uploader per service that is on, sending the weather archive's
// samples through the asynchronous network exchange on the main thread's event loop (nothing
// waits), and each service's state for the page. Nothing runs and no file is written until the
// owner turns a service on.
#pragma once

#include "publish/networks/network_exchange.h"
#include "publish/networks/networks_file.h"
#include "publish/networks/service_uploader.h"
#include "publish/networks/upload_clock.h"
#include "publish/networks/upload_queue.h"
#include "publish/secret_store.h"

#include <QObject>
#include <memory>
#include <vector>

class TNetworkPublishing : public QObject
{
    Q_OBJECT

public:
    TNetworkPublishing(const QString& dataFolder, publish::TSecretStore& secrets, QObject* parent = nullptr);
    ~TNetworkPublishing() override;

    // The kept settings are read when it is made. Load reads the keys; then the services that are
    // on start, sending the readings of `source` and keeping their positions in `positions` (both
    // outlive this; the archive's queue fails with the reason while it is not open, and the
    // services wait). Loaded says when all is known.
    void Load(publish::TReadingSource& source, publish::TPositionStore& positions);
    bool IsLoaded() const { return FLoaded; }

    int Count() const { return static_cast<int>(Services.size()); }
    const publish::TNetworkEntry& Entry(int index) const { return Service(index).Entry; }
    const QString& Key(int index) const { return Service(index).Key; }
    // The uploader's state; none while the service is off.
    const publish::TUploadState* State(int index) const;
    const publish::TPublishSettings& Common() const { return FCommon; }
    // What "publish.ini" held for the service, or for all of them, that was not taken; for its
    // block to tell once.
    const QString& LoadProblem(int index) const { return Service(index).LoadProblem; }
    const QString& CommonLoadProblem() const { return FCommonLoadProblem; }

    // Settings that passed the entry checks: in effect at once, saved, the key kept in the store
    // when it changed. What could not be kept is said through Problem.
    void Accept(int index, const publish::TNetworkEntry& entry, const QString& key);
    void AcceptCommon(const publish::TPublishSettings& common);

signals:
    void Loaded();
    void StateChanged(int index);
    // index -1: the settings every service shares.
    void Problem(int index, const QString& message);

private:
    struct TService
    {
        publish::TNetworkEntry Entry;
        QString Key;
        std::unique_ptr<publish::TServiceUploader> Uploader;
        QString LoadProblem;
    };
    const TService& Service(int index) const { return Services[static_cast<std::size_t>(index)]; }
    TService& Service(int index) { return Services[static_cast<std::size_t>(index)]; }
    // The service's key name in the store; the station's id is made on the first call.
    QString SecretName(int index);
    void ReadKeys(std::size_t next);
    // Starts, changes or stops the service's uploader after its settings.
    void Apply(int index);
    publish::TServiceSettings WithKey(int index) const;

    QString DataFolder;
    publish::TSecretStore& Secrets;
    publish::TReadingSource* Source = nullptr;
    publish::TPositionStore* Positions = nullptr;
    publish::TNetworkExchange Exchange;
    publish::TSystemClock Clock;
    publish::TPublishSettings FCommon;
    QString FCommonLoadProblem;
    std::vector<TService> Services;
    QString FStationId;
    bool FLoaded = false;
};
