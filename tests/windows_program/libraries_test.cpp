// The libraries the Windows zip ships for publishing readings, used under wine by a program that
// runs from a copy of the installed folder, so that every library comes from there:
// - Qt Network: a GET from a stand-in HTTP server of the test's own on 127.0.0.1, a refused
//   connection, and its Schannel TLS backend loaded and shaking hands;
// - libmosquitto: its client, on its own network thread, connects to the mosquitto broker that
//   the test's script started on 127.0.0.1 (port in METEO_MQTT_PORT) and gets back what it
//   published; a port where nothing listens is refused.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>
#include <mosquitto.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace {

// Far beyond need: every wait ends as soon as its condition holds.
constexpr int DeadlineMs = 30000;

bool PumpUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > DeadlineMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
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

// What the client's callbacks, run on its own network thread, have seen.
struct TMqttEvents
{
    std::atomic<int> ConnectResult{-1};
    std::atomic<bool> Subscribed{false};
    std::mutex Lock;
    std::string Topic;
    std::string Payload;
};

TEST(Mosquitto, ClientPublishesAndReceivesThroughTheBroker)
{
    const int port = qEnvironmentVariableIntValue("METEO_MQTT_PORT");
    ASSERT_GT(port, 0) << "METEO_MQTT_PORT names the broker's port";
    int major = 0;
    int minor = 0;
    int revision = 0;
    mosquitto_lib_version(&major, &minor, &revision);
    EXPECT_EQ(major, 2);
    ASSERT_EQ(mosquitto_lib_init(), MOSQ_ERR_SUCCESS);

    TMqttEvents events;
    mosquitto* client = mosquitto_new("meteostation-windows-test", true, &events);
    ASSERT_NE(client, nullptr);
    mosquitto_connect_callback_set(client, [](mosquitto* self, void* data, int result) {
        static_cast<TMqttEvents*>(data)->ConnectResult = result;
        if (result == 0)
            mosquitto_subscribe(self, nullptr, "meteostation/test/#", 1);
    });
    mosquitto_subscribe_callback_set(client, [](mosquitto*, void* data, int, int, const int*) {
        static_cast<TMqttEvents*>(data)->Subscribed = true;
    });
    mosquitto_message_callback_set(client, [](mosquitto*, void* data, const mosquitto_message* message) {
        auto* seen = static_cast<TMqttEvents*>(data);
        const std::lock_guard<std::mutex> guard(seen->Lock);
        seen->Topic = message->topic;
        seen->Payload.assign(static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen));
    });

    EXPECT_NE(mosquitto_connect(client, "127.0.0.1", ClosedPort(), 30), MOSQ_ERR_SUCCESS);
    ASSERT_EQ(mosquitto_connect(client, "127.0.0.1", port, 30), MOSQ_ERR_SUCCESS);
    // The network thread: built with mingw's winpthreads.
    ASSERT_EQ(mosquitto_loop_start(client), MOSQ_ERR_SUCCESS);
    ASSERT_TRUE(PumpUntil([&] { return events.Subscribed.load(); })) << "connect result " << events.ConnectResult;
    EXPECT_EQ(events.ConnectResult, 0);

    const std::string reading = "{\"temperature\": -12.5}";
    EXPECT_EQ(mosquitto_publish(client, nullptr, "meteostation/test/reading", static_cast<int>(reading.size()),
                                reading.data(), 1, false),
              MOSQ_ERR_SUCCESS);
    EXPECT_TRUE(PumpUntil([&] {
        const std::lock_guard<std::mutex> guard(events.Lock);
        return !events.Payload.empty();
    }));
    {
        const std::lock_guard<std::mutex> guard(events.Lock);
        EXPECT_EQ(events.Topic, "meteostation/test/reading");
        EXPECT_EQ(events.Payload, reading);
    }

    EXPECT_EQ(mosquitto_disconnect(client), MOSQ_ERR_SUCCESS);
    EXPECT_EQ(mosquitto_loop_stop(client, false), MOSQ_ERR_SUCCESS);
    mosquitto_destroy(client);
    mosquitto_lib_cleanup();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
