// The connection to the broker on a thread of its own: libmosquitto's network loop, connecting,
// the back-off between attempts (1 s doubling to 60 s), the last will, discovery and the state.
// Every call returns at once: it leaves its request for the link's thread and wakes it; the
// thread sleeps until a request, the broker or the next thing due (keep-alive included) wakes it. Only the
// newest reading is kept, so nothing piles up while the broker is away. The state goes back
// through the sink, called on the link's thread.
#pragma once

#include "publish/mqtt/mqtt_messages.h"
#include "publish/mqtt/mqtt_settings.h"
#include "publish/mqtt/mqtt_status.h"
#include "publish/weather_reading.h"

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace publish {

struct TMqttLinkConfig
{
    TMqttSettings Settings;
    QString Password;
    TMqttIdentity Identity;
};

// How long the link waits for things. The defaults suit a home broker; tests shorten some.
struct TMqttTimings
{
    std::chrono::milliseconds ConnackTimeout{10000}; // a broker that took the connection and is silent
    std::chrono::seconds KeepAlive{30};              // libmosquitto takes no less than 5

    std::chrono::milliseconds FirstRetry{1000};
    std::chrono::milliseconds LastRetry{60000};
    // Home automation that has just started gets the configs after a short random pause, so that
    // it is not flooded by every device at once.
    std::chrono::milliseconds BirthDelayMin{1000};
    std::chrono::milliseconds BirthDelayMax{3000};
    // For «offline» to go out before a disconnect: milliseconds to a broker that works, and all
    // the window waits for when it closes while the broker hangs.
    std::chrono::milliseconds Goodbye{1000};
};

class TMqttLink
{
public:
    using TStatusSink = std::function<void(const TMqttStatus&)>;

    explicit TMqttLink(TStatusSink sink, const TMqttTimings& timings = {});
    // Says «offline» and disconnects, waiting no longer than twice the goodbye time; a thread still
    // stuck in the system (a name look-up) is left to end by itself.
    ~TMqttLink();
    TMqttLink(const TMqttLink&) = delete;
    TMqttLink& operator=(const TMqttLink&) = delete;

    // New settings: the link says goodbye to the broker it has and starts anew with them.
    void Apply(const TMqttLinkConfig& config);
    // The newest reading; any not yet sent is replaced.
    void Publish(const TWeatherReading& reading);

private:
    struct TShared;
    class TWorker;
    std::shared_ptr<TShared> Shared;
    std::chrono::milliseconds GoodbyeTime;
    std::thread Thread;
};

} // namespace publish
