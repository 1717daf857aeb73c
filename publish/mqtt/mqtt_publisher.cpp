// The main thread's side of the MQTT publisher.
#include "publish/mqtt/mqtt_publisher.h"

#include <QCoreApplication>
#include <QEvent>
#include <deque>
#include <mutex>

namespace publish {

// Where the link's thread leaves the states: the publisher is cleared before it goes, so no event
// can reach a publisher that is gone.
struct TMqttPublisher::TReceiver
{
    std::mutex Mutex;
    TMqttPublisher* Publisher = nullptr;
    std::deque<TMqttStatus> Statuses; // not yet taken by the publisher
};

TMqttPublisher::TMqttPublisher(const TMqttIdentity& identity, QObject* parent, const TMqttTimings& timings)
    : QObject(parent)
    , FIdentity(identity)
    , Receiver(std::make_shared<TReceiver>())
{
    Receiver->Publisher = this;
    Link = std::make_unique<TMqttLink>(
        [receiver = Receiver](const TMqttStatus& status) {
            // Posted under the lock that the publisher takes before it looks at anything: that
            // orders the state and the event before their use and Qt's freeing of the event.
            const std::lock_guard lock(receiver->Mutex);
            if (TMqttPublisher* publisher = receiver->Publisher) {
                receiver->Statuses.push_back(status);
                QCoreApplication::postEvent(publisher, new QEvent(QEvent::User));
            }
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

void TMqttPublisher::customEvent(QEvent*)
{
    std::deque<TMqttStatus> statuses;
    {
        const std::lock_guard lock(Receiver->Mutex);
        statuses.swap(Receiver->Statuses);
    }
    for (const TMqttStatus& status : statuses)
        TakeStatus(status);
}

void TMqttPublisher::TakeStatus(const TMqttStatus& status)
{
    FStatus = status;
    emit StatusChanged(status);
}

} // namespace publish
