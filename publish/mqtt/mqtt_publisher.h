// The MQTT publisher as the window uses it, on the main thread: new settings and readings go in
// and return at once; the link's states come back in order through an event to the publisher, handed
// over under a lock of ours so that thread checkers see them ordered, and go out as a signal. All
// network work runs on the link's own thread (mqtt_link.h).
#pragma once

#include "publish/mqtt/mqtt_link.h"

#include <QObject>
#include <memory>

namespace publish {

class TMqttPublisher : public QObject
{
    Q_OBJECT

public:
    explicit TMqttPublisher(const TMqttIdentity& identity, QObject* parent = nullptr, const TMqttTimings& timings = {});
    ~TMqttPublisher() override;

    // Starts, restarts or stops publishing; settings that cannot be used give the Invalid state
    // with the reason.
    void Apply(const TMqttSettings& settings, const QString& password);
    // Hands the newest reading to the link; nothing when publishing is off.
    void Publish(const TWeatherReading& reading);

    const TMqttStatus& Status() const { return FStatus; }
    const TMqttIdentity& Identity() const { return FIdentity; }

signals:
    void StatusChanged(const publish::TMqttStatus& status);

protected:
    // The link's states that have come (the event itself is not looked at).
    void customEvent(QEvent* event) override;

private:
    struct TReceiver;
    void TakeStatus(const TMqttStatus& status);

    TMqttIdentity FIdentity;
    std::shared_ptr<TReceiver> Receiver;
    std::unique_ptr<TMqttLink> Link;
    TMqttStatus FStatus;
    bool Publishing = false;
};

} // namespace publish
