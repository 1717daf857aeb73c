// The libraries the Windows zip ships for publishing readings, used under wine by a program that
// runs from a copy of the installed folder, so that every library comes from there:
// - Qt Network: a GET from a stand-in HTTP server of the test's own on 127.0.0.1, a refused
//   connection, and its Schannel TLS backend loaded and shaking hands;
// - libmosquitto: its client, on its own network thread, connects to the mosquitto broker that
//   the test's script started on 127.0.0.1 (port in METEO_MQTT_PORT) and gets back what it
//   published; a port where nothing listens is refused;
// - the program's publisher connects to that broker and sends a reading's state, says why a port
//   where nothing listens fails in the same words as on Linux, and the secret
//   store keeps a secret in the credential store.
#include "publish/mqtt/mqtt_publisher.h"
#include "publish/mqtt/mqtt_status.h"
#include "publish/secret_store.h"
#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <mosquitto.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace {

// Far beyond need (wine starts slowly): every wait ends as soon as its condition holds.
constexpr int DeadlineMs = 30000;

bool PumpUntil(const std::function<bool()>& done)
{
    return testsupport::PumpUntil(done, DeadlineMs);
}

// A port on 127.0.0.1 where nothing listens: one the system just gave out and took back.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Answers every request whose head is whole with one fixed reply and closes; a connection that does
// not start with an HTTP request (a TLS greeting) is closed at once. Keeps the last request line.
class TStandInHttpServer
{
public:
    explicit TStandInHttpServer(QByteArray body)
        : Body(std::move(body))
    {
        QObject::connect(&Server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = Server.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { Answer(socket); });
        });
        Listening = Server.listen(QHostAddress::LocalHost, 0);
    }

    bool Listening = false;
    QByteArray RequestLine;

    quint16 Port() const { return Server.serverPort(); }

private:
    void Answer(QTcpSocket* socket)
    {
        const QByteArray head = socket->peek(socket->bytesAvailable());
        if (!QByteArray("GET ").startsWith(head.left(4))) {
            socket->disconnectFromHost();
            return;
        }
        if (!head.contains("\r\n\r\n"))
            return;
        RequestLine = head.left(head.indexOf("\r\n"));
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                      QByteArray::number(Body.size()) + "\r\n\r\n" + Body);
        socket->disconnectFromHost();
    }

    QTcpServer Server;
    QByteArray Body;
};

struct TReplyResult
{
    QNetworkReply::NetworkError Error = QNetworkReply::NoError;
    int Status = 0;
    QByteArray Body;
};

TReplyResult Get(QNetworkAccessManager& network, const QString& url)
{
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(url)));
    const bool finished = PumpUntil([reply] { return reply->isFinished(); });
    EXPECT_TRUE(finished) << url.toStdString();
    TReplyResult result{reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                        reply->readAll()};
    reply->deleteLater();
    return result;
}

TEST(QtNetwork, FetchesOverHttpAndHasSchannel)
{
    TStandInHttpServer server("23.5 C");
    ASSERT_TRUE(server.Listening);
    QNetworkAccessManager network;
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.Port());

    const TReplyResult fetched = Get(network, base + QStringLiteral("/readings?station=1"));
    EXPECT_EQ(fetched.Error, QNetworkReply::NoError);
    EXPECT_EQ(fetched.Status, 200);
    EXPECT_EQ(fetched.Body, "23.5 C");
    EXPECT_EQ(server.RequestLine, "GET /readings?station=1 HTTP/1.1");

    EXPECT_EQ(Get(network, QStringLiteral("http://127.0.0.1:%1/").arg(ClosedPort())).Error,
              QNetworkReply::ConnectionRefusedError);

    // The TLS backend is a plugin in the folder's tls/: without it Qt knows no https at all.
    EXPECT_TRUE(QSslSocket::availableBackends().contains(QStringLiteral("schannel")))
        << QSslSocket::availableBackends().join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(QSslSocket::activeBackend().toStdString(), "schannel");
    EXPECT_TRUE(QSslSocket::supportsSsl());
    // A TLS greeting to a server that speaks plain HTTP: Schannel starts the handshake and it fails.
    const QNetworkReply::NetworkError tlsError =
        Get(network, QStringLiteral("https://127.0.0.1:%1/").arg(server.Port())).Error;
    EXPECT_NE(tlsError, QNetworkReply::NoError);
    EXPECT_NE(tlsError, QNetworkReply::ProtocolUnknownError);
}

// A libmosquitto client subscribed to `topic` on the broker of METEO_MQTT_PORT, on its own network
// thread (built with mingw's winpthreads), keeping the last message it got.
class TSubscriber
{
public:
    TSubscriber(int port, const char* clientId, const char* topic)
        : Topic(topic)
        , Client(mosquitto_new(clientId, true, this))
    {
        if (Client == nullptr)
            return;
        mosquitto_connect_callback_set(Client, [](mosquitto* self, void* data, int result) {
            auto* subscriber = static_cast<TSubscriber*>(data);
            subscriber->ConnectResult = result;
            if (result == 0)
                mosquitto_subscribe(self, nullptr, subscriber->Topic.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(Client, [](mosquitto*, void* data, int, int, const int*) {
            static_cast<TSubscriber*>(data)->Subscribed = true;
        });
        mosquitto_message_callback_set(Client, [](mosquitto*, void* data, const mosquitto_message* message) {
            auto* subscriber = static_cast<TSubscriber*>(data);
            const std::lock_guard<std::mutex> guard(subscriber->Lock);
            subscriber->LastTopic = message->topic;
            subscriber->LastPayload.assign(static_cast<const char*>(message->payload),
                                           static_cast<size_t>(message->payloadlen));
        });
        // A port where nothing listens is refused before the broker's is taken.
        RefusedElsewhere = mosquitto_connect(Client, "127.0.0.1", ClosedPort(), 30) != MOSQ_ERR_SUCCESS;
        Connected = mosquitto_connect(Client, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
            mosquitto_loop_start(Client) == MOSQ_ERR_SUCCESS;
    }
    ~TSubscriber()
    {
        if (Client == nullptr)
            return;
        mosquitto_disconnect(Client);
        mosquitto_loop_stop(Client, false);
        mosquitto_destroy(Client);
    }

    bool WaitSubscribed()
    {
        return Connected && PumpUntil([this] { return Subscribed.load(); });
    }
    // Waits for a message whose payload holds `part`; its topic and payload.
    std::pair<std::string, std::string> WaitFor(const std::string& part)
    {
        PumpUntil([&] {
            const std::lock_guard<std::mutex> guard(Lock);
            return LastPayload.find(part) != std::string::npos;
        });
        const std::lock_guard<std::mutex> guard(Lock);
        return {LastTopic, LastPayload};
    }
    mosquitto* Handle() const { return Client; }

    std::string Topic;
    std::atomic<int> ConnectResult{-1};
    bool RefusedElsewhere = false;

private:
    mosquitto* Client = nullptr;
    bool Connected = false;
    std::atomic<bool> Subscribed{false};
    std::mutex Lock;
    std::string LastTopic;
    std::string LastPayload;
};

int BrokerPort()
{
    return qEnvironmentVariableIntValue("METEO_MQTT_PORT");
}

TEST(Mosquitto, ClientPublishesAndReceivesThroughTheBroker)
{
    ASSERT_GT(BrokerPort(), 0) << "METEO_MQTT_PORT names the broker's port";
    int major = 0;
    int minor = 0;
    int revision = 0;
    mosquitto_lib_version(&major, &minor, &revision);
    EXPECT_EQ(major, 2);
    ASSERT_EQ(mosquitto_lib_init(), MOSQ_ERR_SUCCESS);
    {
        TSubscriber client(BrokerPort(), "meteostation-windows-test", "meteostation/test/#");
        EXPECT_TRUE(client.RefusedElsewhere);
        ASSERT_TRUE(client.WaitSubscribed()) << "connect result " << client.ConnectResult;
        EXPECT_EQ(client.ConnectResult, 0);

        const std::string reading = "{\"temperature\": -12.5}";
        EXPECT_EQ(mosquitto_publish(client.Handle(), nullptr, "meteostation/test/reading",
                                    static_cast<int>(reading.size()), reading.data(), 1, false),
                  MOSQ_ERR_SUCCESS);
        const auto [topic, payload] = client.WaitFor(reading);
        EXPECT_EQ(topic, "meteostation/test/reading");
        EXPECT_EQ(payload, reading);
    }
    mosquitto_lib_cleanup();
}

// The program's own publisher, as the window runs it, to the broker on the host's loopback: it
// connects, says it is online, and the state of a reading arrives.
TEST(Publishing, TheProgramsPublisherSendsTheState)
{
    ASSERT_GT(BrokerPort(), 0) << "METEO_MQTT_PORT names the broker's port";
    TSubscriber watcher(BrokerPort(), "meteostation-windows-watcher", "meteostation/0123456789ab/#");
    ASSERT_TRUE(watcher.WaitSubscribed()) << "connect result " << watcher.ConnectResult;

    publish::TMqttPublisher publisher({QStringLiteral("0123456789ab")});
    publish::TMqttSettings settings;
    settings.Enabled = true;
    settings.Host = QStringLiteral("127.0.0.1");
    settings.Port = BrokerPort();
    settings.IntervalSeconds = 0;
    publisher.Apply(settings, {});
    ASSERT_TRUE(PumpUntil([&] { return publisher.Status().State == publish::TMqttState::Connected; }))
        << publish::MqttStatusText(publisher.Status(), QDateTime::currentDateTimeUtc()).toStdString();
    publisher.Publish({QDateTime::currentDateTime(), 22.0, -12.0, 745.0, std::nullopt});
    const auto [topic, payload] = watcher.WaitFor("\"outdoor_temperature\":-12");
    EXPECT_EQ(topic, "meteostation/0123456789ab/state");
    EXPECT_NE(payload.find("\"pressure_mmhg\":745"), std::string::npos) << payload;
    EXPECT_EQ(payload.find("humidity"), std::string::npos) << payload;

    // Winsock's own codes come out in the same words as on Linux.
    publish::TMqttPublisher refused({QStringLiteral("0123456789ab")});
    settings.Port = ClosedPort();
    refused.Apply(settings, {});
    ASSERT_TRUE(PumpUntil([&] { return refused.Status().State == publish::TMqttState::Waiting; }));
    EXPECT_EQ(refused.Status().Reason.toStdString(), "брокер не принимает соединения на этом порту");
}

// The credential store backend: a secret written, read back as it was, removed, and gone; the
// system's store holds it, so no file is written beside the program.
TEST(Publishing, TheCredentialStoreKeepsASecret)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    publish::TSecretStore store(folder.path(), QStringLiteral("meteostation-windows-test"));
    const QString key = QStringLiteral("mqtt-password/0123456789ab");
    const QString secret = QStringLiteral("s3cret-Пароль");

    std::optional<QString> written;
    store.Write(key, secret, [&](const QString& error) { written = error; });
    ASSERT_TRUE(PumpUntil([&] { return written.has_value(); }));
    EXPECT_TRUE(written->isEmpty()) << written->toStdString();
    EXPECT_EQ(store.Backend(), publish::TSecretBackend::SystemStore);

    std::optional<publish::TSecretRead> read;
    store.Read(key, [&](const publish::TSecretRead& result) { read = result; });
    ASSERT_TRUE(PumpUntil([&] { return read.has_value(); }));
    EXPECT_EQ(read->Secret, std::optional<QString>(secret));
    EXPECT_TRUE(read->Error.isEmpty()) << read->Error.toStdString();

    std::optional<QString> removed;
    store.Remove(key, [&](const QString& error) { removed = error; });
    ASSERT_TRUE(PumpUntil([&] { return removed.has_value(); }));
    EXPECT_TRUE(removed->isEmpty()) << removed->toStdString();
    read.reset();
    store.Read(key, [&](const publish::TSecretRead& result) { read = result; });
    ASSERT_TRUE(PumpUntil([&] { return read.has_value(); }));
    EXPECT_FALSE(read->Secret.has_value());
    EXPECT_EQ(store.Backend(), publish::TSecretBackend::SystemStore);
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
