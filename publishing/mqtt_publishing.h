// The window's MQTT publishing: the settings kept in the data folder's "publish.ini", the password
// in the secret store, the station's id made on first use, and the publisher that takes each
// reading. Nothing of it runs, and no file is written, until the owner turns publishing on or
// gives a user name. The page's MQTT block shows it and changes it.
#pragma once

#include "publish/mqtt/mqtt_publisher.h"
#include "publish/secret_store.h"

#include <QObject>
#include <memory>

class TMqttPublishing : public QObject
{
    Q_OBJECT

public:
    TMqttPublishing(const QString& dataFolder, publish::TSecretStore& secrets, QObject* parent = nullptr);
    ~TMqttPublishing() override;

    // The kept settings; the password is read when one may be kept (a user is set), and publishing
    // starts when it is on. Loaded says when both are known.
    void Load();
    bool IsLoaded() const { return FLoaded; }
    const publish::TMqttSettings& Settings() const { return FSettings; }
    const QString& Password() const { return FPassword; }

    // Settings that passed the entry checks: in effect at once, saved, and the password kept in the
    // store when it changed. What could not be kept is said through Problem.
    void Accept(const publish::TMqttSettings& settings, const QString& password);

    // The newest reading, for the broker; nothing while publishing is off.
    bool Publishing() const { return FSettings.Enabled && Publisher != nullptr; }
    void Publish(const publish::TWeatherReading& reading) { Publisher->Publish(reading); }

    const publish::TMqttStatus& Status() const;
    // Where the password is kept, for the page: empty until the store has been asked.
    QString PasswordPlaceText() const;

signals:
    void Loaded();
    void StatusChanged(const publish::TMqttStatus& status);
    void PasswordPlaceChanged();
    void Problem(const QString& message);

private:
    // The station's id, made and kept on the first call.
    QString StationId();
    QString PasswordKey();
    void KeepPassword(const QString& password);
    // The publisher takes the settings in effect; it is made the first time publishing is on.
    void ApplyToPublisher();

    QString DataFolder;
    publish::TSecretStore& Secrets;
    publish::TMqttSettings FSettings;
    QString FPassword;
    QString FStationId;
    bool FLoaded = false;
    std::unique_ptr<publish::TMqttPublisher> Publisher;
};
