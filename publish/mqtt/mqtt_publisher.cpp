// The main thread's side of the MQTT publisher.
#include "publish/mqtt/mqtt_publisher.h"

#include <mutex>

namespace publish {

// Where the link's thread posts the state: cleared before the publisher goes, so no post can
// reach a publisher that is gone.
struct TMqttPublisher::TReceiver
{
    std::mutex Mutex;
    TMqttPublisher* Publisher = nullptr;
};

TMqttPublisher::TMqttPublisher(const TMqttIdentity& identity, QObject* parent, const TMqttTimings& timings)
    : QObject(parent)
    , FIdentity(identity)
    , Receiver(std::make_shared<TReceiver>())
{
    Receiver->Publisher = this;
    Link = std::make_unique<TMqttLink>(
        [receiver = Receiver](const TMqttStatus& status) {
            const std::lock_guard lock(receiver->Mutex);
            if (TMqttPublisher* publisher = receiver->Publisher)
                QMetaObject::invokeMethod(
                    publisher, [publisher, status] { publisher->TakeStatus(status); }, Qt::QueuedConnection);
        },
        timings);
}

TMqttPublisher::~TMqttPublisher()
{
    {
        const std::lock_guard lock(Receiver->Mutex);
        Receiver->Publisher = nullptr;
    }
    Link.reset();
}

void TMqttPublisher::Apply(const TMqttSettings& settings, const QString& password)
{
    Publishing = settings.Enabled;
    Link->Apply({settings, password, FIdentity});
}

void TMqttPublisher::Publish(const TWeatherReading& reading)
{
    if (Publishing)
        Link->Publish(reading);
}

void TMqttPublisher::TakeStatus(const TMqttStatus& status)
{
    FStatus = status;
    emit StatusChanged(status);
}

} // namespace publish
