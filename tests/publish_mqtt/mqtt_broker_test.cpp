// The publisher against a real mosquitto broker of the test's own: discovery, states, Home
// Assistant's restart, the broker's restart and death, the last will of a killed program, every
// fault's message, and TLS with certificates the test makes.
#include "publish/mqtt/mqtt_publisher.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/test_support.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

namespace {

using namespace publish;
using testsupport::TMqttBroker;
using testsupport::TMqttSeen;
using testsupport::TMqttWatcher;

const QString StationId = QStringLiteral("0123456789ab");
const QByteArray StateTopic = "meteostation/0123456789ab/state";
const QByteArray AvailabilityTopic = "meteostation/0123456789ab/availability";
const QByteArray ConfigTopics[] = {"homeassistant/sensor/0123456789ab/indoor_temperature/config",
                                   "homeassistant/sensor/0123456789ab/outdoor_temperature/config",
                                   "homeassistant/sensor/0123456789ab/pressure_mmhg/config",
                                   "homeassistant/sensor/0123456789ab/humidity/config"};

// Short pauses where the test would otherwise wait for the defaults (seconds of silence).
TMqttTimings TestTimings()
{
    TMqttTimings timings;
    timings.ConnackTimeout = std::chrono::milliseconds(1500);
    timings.BirthDelayMin = std::chrono::milliseconds(0);
    timings.BirthDelayMax = std::chrono::milliseconds(200);
    return timings;
}

TMqttSettings BrokerSettings(int port)
{
    TMqttSettings settings;
    settings.Enabled = true;
    settings.Host = QStringLiteral("127.0.0.1");
    settings.Port = port;
    settings.User = TMqttBroker::User;
    settings.IntervalSeconds = 0;
    return settings;
}

QJsonObject Json(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object();
}

bool WaitForState(const TMqttPublisher& publisher, TMqttState state)
{
    return testsupport::PumpUntil([&] { return publisher.Status().State == state; }, 30000);
}

// New settings make the publisher connect anew: waits for a Connecting and then a Connected among
// the states it tells from now on.
bool WaitForReconnection(const std::vector<TMqttStatus>& told)
{
    const std::size_t from = told.size();
    return testsupport::PumpUntil(
        [&] {
            bool connecting = false;
            for (std::size_t i = from; i < told.size(); ++i) {
                connecting = connecting || told[i].State == TMqttState::Connecting;
                if (connecting && told[i].State == TMqttState::Connected)
                    return true;
            }
            return false;
        },
        30000);
}

// Whether the watcher has seen, from message `from` on, each config topic with a payload
// `match` accepts.
bool WaitForAllConfigs(TMqttWatcher& watcher, const std::function<bool(const TMqttSeen&)>& match, std::size_t from = 0)
{
    for (const QByteArray& topic : ConfigTopics)
        if (!watcher.WaitFor(topic, match, from))
            return false;
    return true;
}

bool IsConfig(const TMqttSeen& seen)
{
    return Json(seen.Payload)["unique_id"].toString().startsWith("meteostation_0123456789ab_");
}

TEST(MqttBroker, DiscoveryStatesAndTheBrokersUpsAndDowns)
{
    QTemporaryDir folder;
    TMqttBroker broker(folder.path());
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    TMqttWatcher watcher(broker.Port());
    ASSERT_TRUE(watcher.WaitSubscribed());

    TMqttPublisher publisher({StationId}, nullptr, TestTimings());
    std::vector<TMqttStatus> told;
    QObject::connect(&publisher, &TMqttPublisher::StatusChanged, [&](const TMqttStatus& s) { told.push_back(s); });
    TMqttSettings settings = BrokerSettings(broker.Port());
    publisher.Apply(settings, TMqttBroker::Password);
    ASSERT_TRUE(WaitForState(publisher, TMqttState::Connected)) << MqttStatusText(publisher.Status(), {}).toStdString();
    EXPECT_EQ(MqttStatusText(publisher.Status(), {}), "Подключено к 127.0.0.1:" + QString::number(broker.Port()));
    ASSERT_TRUE(WaitForAllConfigs(watcher, IsConfig));
    ASSERT_TRUE(watcher.WaitFor(AvailabilityTopic, [](const TMqttSeen& s) { return s.Payload == "online"; }));

    // States follow the readings; what the station did not report is left out.
    const QDateTime time(QDate(2026, 1, 15), QTime(7, 30), Qt::OffsetFromUTC, 3 * 3600);
    publisher.Publish({time, 22, -14, 748, 81});
    ASSERT_TRUE(watcher.WaitFor(StateTopic, [](const TMqttSeen& s) {
        return Json(s.Payload) ==
            Json(R"({"indoor_temperature":22,"outdoor_temperature":-14,"pressure_mmhg":748,)"
                 R"("pressure_hpa":997.3,"humidity":81,"time":"2026-01-15T07:30:00+03:00"})");
    }));
    publisher.Publish({time.addSecs(1), 21, {}, 749, {}});
    ASSERT_TRUE(watcher.WaitFor(StateTopic, [](const TMqttSeen& s) {
        const QJsonObject state = Json(s.Payload);
        return state["indoor_temperature"].toInt() == 21 && !state.contains("outdoor_temperature") &&
            !state.contains("humidity") && state.contains("pressure_hpa");
    }));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return publisher.Status().LastSent.isValid(); }));

    // With an interval of a second, readings every 50 ms give a state a second, and the last
    // one of them goes out too.
    std::size_t from = watcher.Count();
    settings.IntervalSeconds = 1;
    publisher.Apply(settings, TMqttBroker::Password);
    ASSERT_TRUE(WaitForReconnection(told));
    QElapsedTimer feeding;
    feeding.start();
    int fed = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        publisher.Publish({time.addSecs(2 + fed), 100.0 + fed, {}, 749, {}});
        if (++fed == 30)
            feed.stop();
    });
    feed.start(50);
    ASSERT_TRUE(watcher.WaitFor(
        StateTopic, [](const TMqttSeen& s) { return Json(s.Payload)["indoor_temperature"].toInt() == 129; }, from));
    const std::vector<TMqttSeen> seen = watcher.Seen();
    const auto states = std::count_if(seen.begin() + static_cast<std::ptrdiff_t>(from), seen.end(),
                                      [](const TMqttSeen& s) { return s.Topic == StateTopic; });
    // The state the reconnection repeats, one a second, and the newest.
    EXPECT_LE(states, 2 + feeding.elapsed() / 1000) << feeding.elapsed() << " ms";
    settings.IntervalSeconds = 0;
    publisher.Apply(settings, TMqttBroker::Password);
    ASSERT_TRUE(WaitForReconnection(told));
    publisher.Publish({time.addSecs(40), 23, {}, 749, {}});
    ASSERT_TRUE(watcher.WaitFor(
        StateTopic, [](const TMqttSeen& s) { return Json(s.Payload)["indoor_temperature"].toInt() == 23; }, from));

    // Everything a newcomer needs is retained: configs, availability, the newest state.
    {
        TMqttWatcher newcomer(broker.Port());
        ASSERT_TRUE(newcomer.WaitSubscribed());
        EXPECT_TRUE(WaitForAllConfigs(newcomer, [](const TMqttSeen& s) { return s.Retain && IsConfig(s); }));
        EXPECT_TRUE(
            newcomer.WaitFor(AvailabilityTopic, [](const TMqttSeen& s) { return s.Retain && s.Payload == "online"; }));
        EXPECT_TRUE(newcomer.WaitFor(StateTopic, [](const TMqttSeen& s) {
            return s.Retain && Json(s.Payload)["indoor_temperature"].toInt() == 23;
        }));
    }

    // Home Assistant says it started: the configs come again.
    from = watcher.Count();
    watcher.Publish("homeassistant/status", "online");
    EXPECT_TRUE(WaitForAllConfigs(watcher, IsConfig, from));

    // The broker goes away: the page says so and when the next attempt comes; the readings of the
    // meantime are not queued, only the newest goes out once the broker is back.
    broker.Stop();
    ASSERT_TRUE(WaitForState(publisher, TMqttState::Waiting));
    const QString away = MqttStatusText(publisher.Status(), QDateTime::currentDateTimeUtc());
    EXPECT_TRUE(away.startsWith("Нет связи с 127.0.0.1:" + QString::number(broker.Port()) + ": "))
        << away.toStdString();
    EXPECT_TRUE(away.contains(QRegularExpression(QStringLiteral(", следующая попытка через \\d+ с$"))))
        << away.toStdString();
    for (int i = 0; i < 50; ++i)
        publisher.Publish({time.addSecs(60 + i), static_cast<double>(i), {}, 750, {}});
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    TMqttWatcher afterRestart(broker.Port());
    ASSERT_TRUE(afterRestart.WaitSubscribed());
    ASSERT_TRUE(WaitForState(publisher, TMqttState::Connected));
    // The restarted broker kept nothing (no persistence): what it has now was sent again.
    EXPECT_TRUE(WaitForAllConfigs(afterRestart, IsConfig));
    EXPECT_TRUE(afterRestart.WaitFor(
        StateTopic, [](const TMqttSeen& s) { return Json(s.Payload)["indoor_temperature"].toInt() == 49; }));
    EXPECT_LE(afterRestart.SeenOn(StateTopic).size(), 2u);

    // Discovery turned off: the entities are removed (empty retained configs); a newcomer finds none.
    from = afterRestart.Count();
    settings.Discovery = false;
    publisher.Apply(settings, TMqttBroker::Password);
    EXPECT_TRUE(WaitForAllConfigs(
        afterRestart, [](const TMqttSeen& s) { return s.Payload.isEmpty(); }, from));
    ASSERT_TRUE(WaitForState(publisher, TMqttState::Connected));
    {
        TMqttWatcher newcomer(broker.Port());
        ASSERT_TRUE(newcomer.WaitSubscribed());
        ASSERT_TRUE(newcomer.WaitFor(AvailabilityTopic, [](const TMqttSeen& s) { return s.Payload == "online"; }));
        // None kept for it; the removals the link sends again as it connects may pass by live.
        for (const QByteArray& topic : ConfigTopics)
            for (const TMqttSeen& message : newcomer.SeenOn(topic))
                EXPECT_TRUE(!message.Retain && message.Payload.isEmpty())
                    << topic.toStdString() << ": " << message.Payload.constData();
    }

    // Publishing turned off says «offline» itself: no last will is needed for a clean goodbye.
    from = afterRestart.Count();
    settings.Enabled = false;
    publisher.Apply(settings, TMqttBroker::Password);
    EXPECT_TRUE(afterRestart.WaitFor(
        AvailabilityTopic, [](const TMqttSeen& s) { return s.Payload == "offline"; }, from));
    ASSERT_TRUE(WaitForState(publisher, TMqttState::Off));
    settings.Enabled = true;
    publisher.Apply(settings, TMqttBroker::Password);
    ASSERT_TRUE(WaitForState(publisher, TMqttState::Connected));

    // The broker killed in the middle of the session.
    broker.Kill();
    ASSERT_TRUE(WaitForState(publisher, TMqttState::Waiting));
    EXPECT_EQ(publisher.Status().Reason, "связь с брокером прервалась");
    // No state the page was told ever carried the password.
    for (const TMqttStatus& status : told)
        EXPECT_FALSE(MqttStatusText(status, {}).contains(TMqttBroker::Password));
}

TEST(MqttBroker, EveryFaultGivesItsMessageAndTheBackOffGrows)
{
    QTemporaryDir folder;
    TMqttBroker broker(folder.path());
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    // A broker that takes the connection and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));

    struct TCase
    {
        const char* Name;
        std::function<void(TMqttSettings&, QString&)> Change;
        const char* Reason;
    };
    const TCase cases[] = {
        {"wrong password", [](TMqttSettings&, QString& password) { password = "wrong"; },
         "брокер отверг имя пользователя или пароль"},
        {"unknown user", [](TMqttSettings& s, QString&) { s.User = "nobody"; },
         "брокер отверг имя пользователя или пароль"},
        {"nobody on the port", [](TMqttSettings& s, QString&) { s.Port = testsupport::FreeLocalPort(); },
         "брокер не принимает соединения на этом порту"},
        {"wrong host", [](TMqttSettings& s, QString&) { s.Host = "no-such-broker.invalid"; },
         "адрес «no-such-broker.invalid» не найден"},
        {"silent broker", [&](TMqttSettings& s, QString&) { s.Port = silent.serverPort(); },
         "брокер принял соединение, но не ответил за 1 с"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMqttPublisher publisher({StationId}, nullptr, TestTimings());
        std::vector<TMqttStatus> waits;
        QObject::connect(&publisher, &TMqttPublisher::StatusChanged, [&](const TMqttStatus& s) {
            if (s.State == TMqttState::Waiting)
                waits.push_back(s);
        });
        TMqttSettings settings = BrokerSettings(broker.Port());
        QString password = TMqttBroker::Password;
        c.Change(settings, password);
        publisher.Apply(settings, password);
        // The second failure comes after the doubled pause.
        ASSERT_TRUE(testsupport::PumpUntil([&] { return waits.size() >= 2; }, 30000));
        for (const TMqttStatus& status : waits) {
            EXPECT_EQ(status.Reason, QString::fromUtf8(c.Reason));
            EXPECT_FALSE(MqttStatusText(status, {}).contains(password));
        }
        EXPECT_EQ(waits[0].RetrySeconds, 1);
        EXPECT_EQ(waits[1].RetrySeconds, 2);
        EXPECT_TRUE(
            MqttStatusText(waits[0], waits[0].NextAttempt.addMSecs(-900))
                .endsWith(QStringLiteral(": %1, следующая попытка через 1 с").arg(QString::fromUtf8(c.Reason))));
    }

    // A broker that stops answering in the middle of a quiet session is found out by the
    // keep-alive, which the link's thread runs while nothing else wakes it.
    {
        TMqttTimings timings = TestTimings();
        timings.KeepAlive = std::chrono::seconds(5);
        TMqttPublisher quiet({StationId}, nullptr, timings);
        quiet.Apply(BrokerSettings(broker.Port()), TMqttBroker::Password);
        ASSERT_TRUE(WaitForState(quiet, TMqttState::Connected));
        broker.Freeze();
        const bool waiting = WaitForState(quiet, TMqttState::Waiting);
        broker.Thaw();
        ASSERT_TRUE(waiting);
        EXPECT_EQ(quiet.Status().Reason, "брокер перестал отвечать");
    }

    // Settings that cannot be used never start a connection.
    TMqttPublisher publisher({StationId}, nullptr, TestTimings());
    TMqttSettings settings = BrokerSettings(broker.Port());
    settings.TopicPrefix = QStringLiteral("home/#");
    publisher.Apply(settings, TMqttBroker::Password);
    ASSERT_TRUE(WaitForState(publisher, TMqttState::Invalid));
    EXPECT_TRUE(publisher.Status().Reason.contains("«#» и «+»"));
}

TEST(MqttBroker, AKilledProgramLeavesItsLastWill)
{
    QTemporaryDir folder;
    TMqttBroker broker(folder.path());
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    TMqttWatcher watcher(broker.Port());
    ASSERT_TRUE(watcher.WaitSubscribed());

    testsupport::TChildProgram helper(QStringLiteral(MQTT_PUBLISHER_HELPER),
                                      {QString::number(broker.Port()), TMqttBroker::User, StationId}, {},
                                      {QStringLiteral("METEO_MQTT_PASSWORD=") + TMqttBroker::Password});
    ASSERT_TRUE(watcher.WaitFor(StateTopic, [](const TMqttSeen&) { return true; })) << helper.Output().toStdString();
    ASSERT_TRUE(watcher.WaitFor(AvailabilityTopic, [](const TMqttSeen& s) { return s.Payload == "online"; }));
    const std::size_t from = watcher.Count();
    helper.Signal(SIGKILL); // no goodbye of its own
    ASSERT_TRUE(helper.Wait(testsupport::EventDeadlineMs));
    EXPECT_TRUE(watcher.WaitFor(
        AvailabilityTopic, [](const TMqttSeen& s) { return s.Payload == "offline"; }, from));
}

TEST(MqttBroker, TlsConnectsWithTheRightAuthorityOnly)
{
    QTemporaryDir folder;
    const testsupport::TTestCertificates certificates = testsupport::MakeTestCertificates(folder.path());
    ASSERT_TRUE(certificates.Error.isEmpty()) << certificates.Error.toStdString();
    TMqttBroker broker(folder.path());
    ASSERT_TRUE(broker.Start(&certificates)) << broker.Why().toStdString();
    TMqttWatcher watcher(broker.PlainPort());
    ASSERT_TRUE(watcher.WaitSubscribed());

    TMqttSettings settings = BrokerSettings(broker.Port());
    settings.Tls = true;
    settings.CaFile = certificates.CaFile;
    {
        TMqttPublisher publisher({StationId}, nullptr, TestTimings());
        publisher.Apply(settings, TMqttBroker::Password);
        ASSERT_TRUE(WaitForState(publisher, TMqttState::Connected))
            << MqttStatusText(publisher.Status(), {}).toStdString();
        publisher.Publish({{}, 20, 10, 740, 50});
        EXPECT_TRUE(
            watcher.WaitFor(StateTopic, [](const TMqttSeen& s) { return Json(s.Payload)["humidity"].toInt() == 50; }));
    }
    settings.CaFile = certificates.OtherCaFile;
    TMqttPublisher publisher({StationId}, nullptr, TestTimings());
    publisher.Apply(settings, TMqttBroker::Password);
    ASSERT_TRUE(WaitForState(publisher, TMqttState::Waiting));
    EXPECT_EQ(publisher.Status().Reason, "сертификат брокера не прошёл проверку");
}

} // namespace
