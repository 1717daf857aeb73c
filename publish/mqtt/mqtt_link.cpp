// The link's thread: one libmosquitto client per connection attempt. The thread sleeps on the
// client's socket and the window's wake-up handle together, and drives libmosquitto's reads,
// writes and keep-alive itself, so that a quiet link costs no wake-ups.
#include "publish/mqtt/mqtt_link.h"

#include "publish/mqtt/mqtt_link_thread.h"
#include "publish/mqtt/mqtt_reasons.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <optional>
#include <utility>

namespace publish {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the main thread leaves for the link's thread.
struct TMqttLink::TShared
{
    std::mutex Mutex;
    TLinkWake Wake;
    // The link's thread sleeps on the handle: only a request left now needs to signal it, so a
    // burst of readings costs no system call each.
    bool Sleeping = false;
    // Whether a reading left now must wake the sleeping thread: only on a connection, and only when
    // the thread would sleep past the moment the reading's state may go.
    bool ReadingWakes = true;
    std::optional<TMqttLinkConfig> NewConfig;
    std::optional<TWeatherReading> NewReading;
    bool Stop = false;
    bool Finished = false;
    std::condition_variable Done;
};

namespace {

// How often the thread looks for requests when the system gave no wake-up handle.
constexpr milliseconds NoWakeSlice{100};
// «При каждом отчёте» sends every report of a station (one a second); a burst of reports (a faulty
// device) goes as the newest state ten times a second, so that the broker and the home automation
// behind it are never flooded.
constexpr milliseconds LeastStateSpacing{100};

// libmosquitto's initialisation also starts the system's sockets, which the wake-up handle needs.
void InitialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

bool SameLink(const TMqttLinkConfig& a, const TMqttLinkConfig& b)
{
    return a.Settings == b.Settings && a.Password == b.Password && a.Identity.StationId == b.Identity.StationId &&
        a.Identity.DeviceName == b.Identity.DeviceName && a.Identity.Version == b.Identity.Version;
}

QString BrokerName(const TMqttSettings& settings)
{
    return settings.Host + QLatin1Char(':') + QString::number(settings.Port);
}

} // namespace

class TMqttLink::TWorker
{
public:
    TWorker(std::shared_ptr<TShared> shared, TStatusSink sink, const TMqttTimings& timings)
        : Shared(std::move(shared))
        , Sink(std::move(sink))
        , Timings(timings)
        , Backoff(timings.FirstRetry)
    {
    }

    void Run()
    {
        PrepareLinkThread();
        for (;;) {
            if (!TakeRequests())
                break;
            Step();
        }
        Goodbye(false);
        const std::lock_guard lock(Shared->Mutex);
        Shared->Finished = true;
        Shared->Done.notify_all();
    }

private:
    enum class TPhase { Idle, Backoff, Connecting, Connected };

    // Takes what the window left; false once the link is to stop.
    bool TakeRequests()
    {
        std::unique_lock lock(Shared->Mutex);
        if (Shared->Stop)
            return false;
        std::optional<TMqttLinkConfig> config = std::exchange(Shared->NewConfig, std::nullopt);
        if (std::optional<TWeatherReading> reading = std::exchange(Shared->NewReading, std::nullopt)) {
            Latest = std::move(reading);
            StatePending = true;
        }
        lock.unlock();
        if (config)
            Reconfigure(std::move(*config));
        return true;
    }

    void Step()
    {
        switch (Phase) {
        case TPhase::Idle:
            Wait(-1, false, std::nullopt);
            return;
        case TPhase::Backoff:
            if (TClock::now() >= NextAttempt)
                Attempt();
            else
                Wait(-1, false, NextAttempt);
            return;
        case TPhase::Connecting:
        case TPhase::Connected:
            Service();
            return;
        }
    }

    void Reconfigure(TMqttLinkConfig config)
    {
        if (Config && SameLink(*Config, config))
            return;
        // Entities the owner no longer wants, or that move to other topics, go from the broker.
        const bool removeConfigs = Config && Config->Settings.Discovery &&
            (!config.Settings.Discovery || config.Settings.DiscoveryPrefix != Config->Settings.DiscoveryPrefix ||
             config.Identity.StationId != Config->Identity.StationId);
        Goodbye(removeConfigs);
        Config = std::move(config);
        const TMqttSettings& settings = Config->Settings;
        Backoff = Timings.FirstRetry;
        const QDateTime lastSent = Status.LastSent;
        Status = {};
        Status.LastSent = lastSent;
        Status.Broker = BrokerName(settings);
        if (const QString problem = MqttSettingsProblem(settings, !Config->Password.isEmpty()); !problem.isEmpty()) {
            Phase = TPhase::Idle;
            Status.State = TMqttState::Invalid;
            Status.Reason = problem;
        } else if (!settings.Enabled) {
            Phase = TPhase::Idle;
            Status.State = TMqttState::Off;
        } else {
            Phase = TPhase::Backoff;
            NextAttempt = TClock::now();
            Status.State = TMqttState::Connecting;
        }
        Emit();
    }

    void Attempt()
    {
        const TMqttSettings& settings = Config->Settings;
        const QByteArray clientId = ("meteostation-" + Config->Identity.StationId).toUtf8();
        Client = mosquitto_new(clientId.constData(), true, this);
        if (Client == nullptr) {
            Fail(QStringLiteral("недостаточно памяти"));
            return;
        }
        ConnackCode = 0;
        JustConnected = false;
        CertificateRejected = false;
        mosquitto_int_option(Client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(Client, &TWorker::OnConnect);
        mosquitto_publish_callback_set(Client, &TWorker::OnPublish);
        mosquitto_message_callback_set(Client, &TWorker::OnMessage);
        mosquitto_log_callback_set(Client, &TWorker::OnLog);
        if (!settings.User.isEmpty()) {
            const QByteArray user = settings.User.toUtf8();
            const QByteArray password = Config->Password.toUtf8();
            mosquitto_username_pw_set(Client, user.constData(), password.isEmpty() ? nullptr : password.constData());
        }
        const QByteArray availability = MqttAvailabilityTopic(settings, Config->Identity.StationId);
        mosquitto_will_set(Client, availability.constData(), static_cast<int>(std::strlen(MqttOffline)), MqttOffline, 1,
                           true);
        if (settings.Tls) {
            int rc = MOSQ_ERR_SUCCESS;
            if (settings.CaFile.isEmpty()) {
                rc = mosquitto_int_option(Client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            } else {
                const QByteArray caFile = settings.CaFile.toLocal8Bit();
                rc = mosquitto_tls_set(Client, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
            }
            if (rc != MOSQ_ERR_SUCCESS) {
                Fail(MqttCaFileReason(settings.CaFile));
                return;
            }
        }
        Phase = TPhase::Connecting;
        Status.State = TMqttState::Connecting;
        Emit();
        const QByteArray host = settings.Host.toUtf8();
        errno = 0;
        const int rc =
            mosquitto_connect_async(Client, host.constData(), settings.Port, static_cast<int>(KeepAliveTime().count()));
        const int error = errno;
        if (rc != MOSQ_ERR_SUCCESS) {
            Fail(MqttConnectFailureReason(rc, error, CertificateRejected, settings.Host));
            return;
        }
        ConnackDeadline = TClock::now() + Timings.ConnackTimeout;
    }

    // Sleeps until the window leaves a request or `until` comes (none: no limit); with `socket`
    // (not -1) also until it is ready. Whether the socket was ready.
    bool Wait(int socket, bool write, std::optional<TClock::time_point> until, bool wakeable = true)
    {
        std::optional<milliseconds> timeout;
        if (until)
            timeout = std::max(milliseconds(0), std::chrono::ceil<milliseconds>(*until - TClock::now()));
        if (!Shared->Wake.Valid() && wakeable)
            timeout = std::min(timeout.value_or(NoWakeSlice), NoWakeSlice);
        const bool readingWakes = ReadingWakes(until);
        if (wakeable) {
            const std::lock_guard lock(Shared->Mutex);
            if (Shared->Stop || Shared->NewConfig || (Shared->NewReading && readingWakes)) {
                timeout = milliseconds(0);
            } else {
                Shared->Sleeping = true;
                Shared->ReadingWakes = readingWakes;
            }
        }
        const TLinkReady ready =
            WaitForLink(wakeable ? &Shared->Wake : nullptr, socket, write, timeout.value_or(milliseconds(-1)));
        if (wakeable) {
            const std::lock_guard lock(Shared->Mutex);
            Shared->Sleeping = false;
        }
        if (ready.Woken)
            Shared->Wake.Clear();
        return ready.Socket;
    }

    // One turn of libmosquitto's network loop, as mosquitto_loop does it but on the thread's own
    // wait: reads (which also carry a TLS handshake on), writes while anything waits to go, and
    // the keep-alive, until `until` at the latest.
    int Exchange(std::optional<TClock::time_point> until, bool wakeable = true)
    {
        // libmosquitto pings once the keep-alive passed without a packet; looking at least every
        // quarter of it keeps the ping well within the one and a half keep-alives a broker allows.
        const TClock::time_point housekeeping =
            TClock::now() + std::max<milliseconds>(std::chrono::seconds(1), KeepAliveTime() / 4);
        if (!until || housekeeping < *until)
            until = housekeeping;
        const int socket = mosquitto_socket(Client);
        if (Wait(socket, mosquitto_want_write(Client), until, wakeable)) {
            // A refused connection is told by the socket itself, on every system alike.
            if (Phase == TPhase::Connecting && socket != -1)
                if (const int failure = PendingSocketError(socket); failure != 0) {
                    errno = failure;
                    return MOSQ_ERR_ERRNO;
                }
            int rc = mosquitto_loop_read(Client, 1);
            if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(Client) == -1)
                return rc;
            if (mosquitto_want_write(Client)) {
                rc = mosquitto_loop_write(Client, 1);
                if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(Client) == -1)
                    return rc;
            }
        }
        return mosquitto_loop_misc(Client);
    }

    std::chrono::seconds KeepAliveTime() const { return std::max(std::chrono::seconds(5), Timings.KeepAlive); }

    // The least time between two states: the owner's interval, and never less than a tenth of a second.
    milliseconds StateSpacing() const
    {
        return std::max<milliseconds>(std::chrono::seconds(Config->Settings.IntervalSeconds), LeastStateSpacing);
    }

    // Whether a new reading must cut short a sleep until `until` (none: no limit).
    bool ReadingWakes(std::optional<TClock::time_point> until) const
    {
        if (Phase != TPhase::Connected)
            return false; // the newest reading is taken when the connection is made
        const TClock::time_point stateMayGo = LastStateAt ? *LastStateAt + StateSpacing() : TClock::time_point::min();
        return !until || *until > stateMayGo;
    }

    // The next moment something is due on a connection besides the socket.
    std::optional<TClock::time_point> NextDue() const
    {
        if (Phase == TPhase::Connecting)
            return ConnackDeadline;
        std::optional<TClock::time_point> due = BirthResendAt;
        if (StatePending && Latest && !mosquitto_want_write(Client)) {
            const TClock::time_point state = LastStateAt ? *LastStateAt + StateSpacing() : TClock::now();
            if (!due || state < *due)
                due = state;
        }
        return due;
    }

    void Service()
    {
        errno = 0;
        const int rc = Exchange(NextDue());
        const int error = errno;
        if (ConnackCode != 0) {
            Fail(MqttRefusalReason(ConnackCode));
            return;
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            Fail(MqttFailureReason(rc, error, CertificateRejected, Config->Settings.Host));
            return;
        }
        if (JustConnected) {
            JustConnected = false;
            OnConnected();
        }
        if (Phase == TPhase::Connecting && TClock::now() >= ConnackDeadline) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Timings.ConnackTimeout).count();
            Fail(MqttNoAnswerReason(static_cast<int>(std::max<decltype(seconds)>(1, seconds))));
            return;
        }
        if (Phase == TPhase::Connected)
            PublishDue();
        Emit();
    }

    void OnConnected()
    {
        Phase = TPhase::Connected;
        Backoff = Timings.FirstRetry;
        BirthResendAt.reset();
        for (const QByteArray& topic : MqttBirthTopics(Config->Settings))
            mosquitto_subscribe(Client, nullptr, topic.constData(), 1);
        Announce();
        Status.State = TMqttState::Connected;
        Status.Reason.clear();
        Status.NextAttempt = {};
        Status.RetrySeconds = 0;
    }

    // Availability, the entities (or their removal) and the newest state: what a broker that
    // just (re)connected, or home automation that just started, needs.
    void Announce()
    {
        const TMqttSettings& settings = Config->Settings;
        const QString& id = Config->Identity.StationId;
        Send({MqttAvailabilityTopic(settings, id), MqttOnline, true, 1});
        // With discovery off the removals go out at every connection, so entities turned off while
        // the broker was away go too.
        for (const TMqttMessage& message : settings.Discovery ? MqttDiscoveryConfigs(settings, Config->Identity)
                                                              : MqttDiscoveryRemovals(settings, id))
            Send(message);
        if (Latest)
            SendState();
    }

    void PublishDue()
    {
        const auto now = TClock::now();
        if (BirthResendAt && now >= *BirthResendAt) {
            BirthResendAt.reset();
            Announce();
        }
        // While earlier messages still wait for the socket, the newest state waits in Latest.
        if (StatePending && Latest && !mosquitto_want_write(Client) &&
            (!LastStateAt || now - *LastStateAt >= StateSpacing()))
            SendState();
    }

    void SendState()
    {
        Send({MqttStateTopic(Config->Settings, Config->Identity.StationId), MqttStatePayload(*Latest), true, 0});
        StatePending = false;
        LastStateAt = TClock::now();
    }

    void Send(const TMqttMessage& message)
    {
        mosquitto_publish(Client, nullptr, message.Topic.constData(), static_cast<int>(message.Payload.size()),
                          message.Payload.isEmpty() ? nullptr : message.Payload.constData(), message.Qos,
                          message.Retain);
    }

    void Fail(const QString& reason)
    {
        EndSession();
        const milliseconds delay = Backoff;
        Backoff = std::min(Backoff * 2, Timings.LastRetry);
        Phase = TPhase::Backoff;
        NextAttempt = TClock::now() + delay;
        Status.State = TMqttState::Waiting;
        Status.Reason = reason;
        Status.RetrySeconds = static_cast<int>((delay.count() + 999) / 1000);
        Status.NextAttempt = QDateTime::currentDateTimeUtc().addMSecs(delay.count());
        Emit();
    }

    // A connected session says «offline» itself (a clean disconnect sends no last will).
    void Goodbye(bool removeConfigs)
    {
        if (Phase == TPhase::Connected) {
            if (removeConfigs)
                for (const TMqttMessage& message : MqttDiscoveryRemovals(Config->Settings, Config->Identity.StationId))
                    Send(message);
            Send({MqttAvailabilityTopic(Config->Settings, Config->Identity.StationId), MqttOffline, true, 1});
            mosquitto_disconnect(Client);
            // The window's requests wait meanwhile: the goodbye is short.
            const auto deadline = TClock::now() + Timings.Goodbye;
            while (TClock::now() < deadline && mosquitto_socket(Client) != -1 &&
                   Exchange(deadline, false) == MOSQ_ERR_SUCCESS) {}
        }
        EndSession();
        Phase = TPhase::Idle;
    }

    void EndSession()
    {
        if (Client != nullptr)
            mosquitto_destroy(Client);
        Client = nullptr;
    }

    void Emit()
    {
        if (Status == Emitted)
            return;
        Emitted = Status;
        if (Sink)
            Sink(Status);
    }

    static TWorker& Self(void* data) { return *static_cast<TWorker*>(data); }

    static void OnConnect(mosquitto*, void* data, int rc)
    {
        if (rc == 0)
            Self(data).JustConnected = true;
        else
            Self(data).ConnackCode = rc;
    }

    // In whole seconds, as the page shows it: while messages flow, the window hears of them at most
    // once a second, not once a message.
    static void OnPublish(mosquitto*, void* data, int)
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        Self(data).Status.LastSent = now.addMSecs(-now.time().msec());
    }

    static void OnMessage(mosquitto*, void* data, const mosquitto_message* message)
    {
        TWorker& self = Self(data);
        const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
        if (payload != MqttOnline || !self.Config->Settings.Discovery || self.BirthResendAt)
            return;
        const milliseconds low = self.Timings.BirthDelayMin;
        const milliseconds spread = std::max(milliseconds(0), self.Timings.BirthDelayMax - low);
        const auto extra = QRandomGenerator::global()->bounded(static_cast<quint64>(spread.count()) + 1);
        self.BirthResendAt = TClock::now() + low + milliseconds(static_cast<milliseconds::rep>(extra));
    }

    static void OnLog(mosquitto*, void* data, int level, const char* text)
    {
        // libmosquitto reports what OpenSSL found only in its log.
        if (level == MOSQ_LOG_ERR && std::strstr(text, "certificate verify failed") != nullptr)
            Self(data).CertificateRejected = true;
    }

    std::shared_ptr<TShared> Shared;
    TStatusSink Sink;
    TMqttTimings Timings;

    std::optional<TMqttLinkConfig> Config;
    TPhase Phase = TPhase::Idle;
    mosquitto* Client = nullptr;
    milliseconds Backoff;
    TClock::time_point NextAttempt;
    TClock::time_point ConnackDeadline;
    int ConnackCode = 0;
    bool JustConnected = false;
    bool CertificateRejected = false;

    std::optional<TWeatherReading> Latest;
    bool StatePending = false;
    std::optional<TClock::time_point> LastStateAt;
    std::optional<TClock::time_point> BirthResendAt;

    TMqttStatus Status;
    TMqttStatus Emitted;
};

TMqttLink::TMqttLink(TStatusSink sink, const TMqttTimings& timings)
    : Shared((InitialiseLibrary(), std::make_shared<TShared>()))
    , GoodbyeTime(timings.Goodbye)
{
    Thread = std::thread([shared = Shared, sink = std::move(sink), timings]() mutable {
        TWorker(std::move(shared), std::move(sink), timings).Run();
    });
}

TMqttLink::~TMqttLink()
{
    std::unique_lock lock(Shared->Mutex);
    Shared->Stop = true;
    if (std::exchange(Shared->Sleeping, false))
        Shared->Wake.Signal();
    // The goodbye, and as much again to spare.
    const bool finished =
        Shared->Done.wait_for(lock, 2 * GoodbyeTime + 2 * NoWakeSlice, [this] { return Shared->Finished; });
    lock.unlock();
    if (finished)
        Thread.join();
    else
        Thread.detach();
}

void TMqttLink::Apply(const TMqttLinkConfig& config)
{
    const std::lock_guard lock(Shared->Mutex);
    Shared->NewConfig = config;
    if (std::exchange(Shared->Sleeping, false))
        Shared->Wake.Signal();
}

void TMqttLink::Publish(const TWeatherReading& reading)
{
    bool wake = false;
    {
        const std::lock_guard lock(Shared->Mutex);
        // A reading the thread has not taken yet is replaced by the newer one; a thread that wakes
        // in time for it anyway is left asleep.
        wake = Shared->Sleeping && Shared->ReadingWakes;
        if (wake)
            Shared->Sleeping = false;
        Shared->NewReading = reading;
    }
    if (wake)
        Shared->Wake.Signal();
}

} // namespace publish
