// What each service's replies mean, and what the uploader does about them over the network:
// success, a refused key (also PWSweather's «ERROR» in a 200), 429 with its time, 500, a hang,
// garbage, narodmon's error text, an endless reply, a redirect, a certificate refused; one attempt
// is one request; and no message ever shows the key.
#include "publish/networks/reply_verdict.h"
#include "publish/networks/upload_clock.h"
#include "tests/support/upload_rig.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace uploadtest {
namespace {

using enum TVerdictKind;
using enum TServiceKind;

struct TReplyRow
{
    TServiceKind Kind;
    int Status;
    QByteArray Body;
    TVerdictKind Expected;
    qint64 RetryInSeconds = -1; // RetryAt only
    QByteArray RetryAfterHeader = {};
    TExchangeFailure Failure = TExchangeFailure::None;
};

TEST(PublishReplies, EachServiceReadsItsRepliesByItsOwnRules)
{
    const std::vector<TReplyRow> table{
        {WeatherUnderground, 200, "success\n", Accepted},
        {WeatherUnderground, 200, "INVALIDPASSWORDID|Password or key and/or id are incorrect\n", KeyRefused},
        {WeatherUnderground, 401, "unauthorized", KeyRefused},
        {WeatherUnderground, 200, "<html><body>Wi-Fi login</body></html>", RetryLater},
        {WeatherUnderground, 200, "", RetryLater},
        {WeatherUnderground, 429, "slow down", RetryAt, 120, "120"},
        {WeatherUnderground, 429, "", RetryAt, 3600, "Sat, 31 Jan 2026 13:34:56 GMT"},
        {WeatherUnderground, 503, "", RetryLater},
        {WeatherUnderground, 400, "bad dateutc", Refused},
        {WeatherUnderground, 302, "", RetryLater},
        {PwsWeather, 200, "ERROR: Not a valid Station ID", KeyRefused},
        {PwsWeather, 200, "", Accepted},
        {PwsWeather, 200, "Data Logged and posted: success", Accepted},
        {PwsWeather, 200, "<!DOCTYPE html><html><body>Data posted for Station KXXCITY12</body></html>", Accepted},
        {PwsWeather, 200, "<html>\nInvalid password for station\n</html>", KeyRefused},
        {Wow, 200, "{}", Accepted},
        {Wow, 200, "OK", RetryLater},
        {Wow, 429, "", Accepted}, // a reading it already has
        {Wow, 429, "", RetryAt, 60, "60"},
        {Wow, 403, "", KeyRefused},
        {Windy, 200, "", Accepted},
        {Windy, 409, "{\"error\":\"duplicate\"}", Accepted},
        {Windy, 401, "", KeyRefused},
        {Windy, 429, "{\"retry_after\":\"2026-01-31T12:51:56Z\"}", RetryAt, 17 * 60},
        {Windy, 429, "", RetryAt, 5 * 60},
        {Windy, 429, "{\"retry_after\":\"2026-02-05T00:00:00Z\"}", RetryAt, 24 * 3600},
        {Windy, 429, "{\"retry_after\":\"2026-01-30T00:00:00Z\"}", RetryAt, 0},
        {Windy, 400, "{\"error\":\"temp out of range\"}", Refused},
        {Windy, 500, "", RetryLater},
        {NarodmonTcp, 0, "OK\n", Accepted},
        {NarodmonTcp, 0, "ERROR: device not registered\n", Dropped},
        {NarodmonTcp, 0, QByteArray("\x01\x02\xff garbage", 11), RetryLater},
        {NarodmonTcp, 0, "", RetryLater, -1, {}, TExchangeFailure::ClosedWithoutReply},
        {NarodmonHttp, 200, "OK", Accepted},
        {NarodmonHttp, 200, "<html>", RetryLater},
        {Cwop, 0, "# aprsc\r\n# logresp CW1234 unverified\r\n", Accepted},
        {Cwop, 0, "HTTP/1.0 400 Bad\r\n", RetryLater, -1, {}, TExchangeFailure::UnexpectedReply},
        {OwnAddress, 204, "", Accepted},
        {OwnAddress, 500, "", RetryLater},
        {WeatherUnderground, 0, "", RetryLater, -1, {}, TExchangeFailure::TimedOut},
        {Windy, 0, "", RetryLater, -1, {}, TExchangeFailure::Tls},
    };
    for (const TReplyRow& row : table) {
        TExchangeResult result;
        result.Failure = row.Failure;
        result.HttpStatus = row.Status;
        result.Body = row.Body;
        result.RetryAfterHeader = row.RetryAfterHeader;
        const TVerdict verdict = ClassifyReply(row.Kind, result, Start);
        SCOPED_TRACE(Facts(row.Kind).Title.toStdString() + " " + std::to_string(row.Status) + " " +
                     row.Body.toStdString());
        EXPECT_EQ(verdict.Kind, row.Expected) << verdict.Reason.toStdString();
        if (row.Expected == RetryAt) {
            EXPECT_EQ(Start.secsTo(verdict.RetryAt), row.RetryInSeconds);
        }
        if (row.Expected != Accepted) {
            EXPECT_FALSE(verdict.Reason.isEmpty());
        }
    }
}

struct TReactionRow
{
    const char* Name;
    TServiceKind Kind;
    TStandInReply Reply;
    QByteArray NarodmonReply; // for narodmon's TCP; null: it never answers
    bool Stops;
    bool Advances;
    qint64 NextInSeconds; // from the attempt; -1 when stopped
    const char* Error;    // a piece of the last error; empty: none
    int TimeoutMs = DefaultExchangeTimeoutMs;
};

TEST(PublishReplies, TheUploaderActsOnEachReplyOverTheNetwork)
{
    const QByteArray echoed = "400 for ID=KXXCITY12&PASSWORD=" + AwkwardKey.toUtf8();
    const std::vector<TReactionRow> table{
        {"success", WeatherUnderground, {200, "success"}, {}, false, true, 5 * 60, ""},
        {"refused key",
         WeatherUnderground,
         {200, "INVALIDPASSWORDID|Password or key and/or id are incorrect"},
         {},
         true,
         false,
         -1,
         "не принял идентификатор станции или ключ"},
        {"refused key on PWSweather", PwsWeather, {200, "ERROR: wrong password"}, {}, true, false, -1, "ERROR"},
        {"429 with retry_after",
         Windy,
         {429, "{\"retry_after\":\"2026-01-31T12:56:56Z\"}"},
         {},
         false,
         false,
         22 * 60, // asked at once, 12:34:56: never sent to before
         "реже"},
        {"500", WeatherUnderground, {500, ""}, {}, false, false, 30, "HTTP 500"},
        {"garbage", Wow, {200, "<html>captive portal</html>"}, {}, false, false, 30, "непонятный ответ"},
        {"hang", WeatherUnderground, {200, "", {}, true}, {}, false, false, 30, "не ответил вовремя", 300},
        {"the key echoed in a refusal", WeatherUnderground, {400, echoed}, {}, true, false, -1, "PASSWORD=***"},
        {"narodmon's error text", NarodmonTcp, {}, "ERROR: device banned\n", false, true, 5 * 60, "device banned"},
        {"narodmon silent", NarodmonTcp, {}, QByteArray(), false, false, 60, "не ответил вовремя", 300},
        {"an endless reply", OwnAddress, {200, {}, {}, false, false, true}, {}, false, false, 30, "больше 64 КБ"},
        {"narodmon flooding", NarodmonTcp, {}, QByteArray(300000, 'x'), false, false, 60, "больше 64 КБ"},
        {"closed without a reply", Wow, {200, {}, {}, false, true}, {}, false, false, 30, "закрыл соединение"},
        {"a redirect",
         WeatherUnderground,
         {302, "", {{"Location", "https://elsewhere.example/x?PASSWORD=" + AwkwardKey.toUtf8()}}},
         {},
         false,
         false,
         30,
         "перенаправляет запрос на сервер «elsewhere.example» (HTTP 302)"},
    };
    for (const TReactionRow& row : table) {
        SCOPED_TRACE(row.Name);
        TUploadRig rig(row.TimeoutMs);
        rig.Http.Script = [&row](const QByteArray&) { return row.Reply; };
        rig.Narodmon.Script = [&row](const QByteArray&) { return row.NarodmonReply; };
        rig.Source.Add(FrostReading(Start.addSecs(-60)));
        auto uploader = rig.Uploader(row.Kind);
        const QDateTime attempt = rig.Clock.NextAlarm();
        ASSERT_TRUE(rig.Step(*uploader));
        const TUploadState& state = uploader->State();
        EXPECT_EQ(state.Stopped, row.Stops);
        EXPECT_EQ(rig.Positions.Writes, row.Advances ? 1 : 0);
        EXPECT_EQ(state.NextAttempt.isValid() ? attempt.secsTo(state.NextAttempt) : -1, row.NextInSeconds);
        const QString error = StateTexts(state).LastError;
        if (*row.Error == 0)
            EXPECT_EQ(error, QStringLiteral("Ошибок не было"));
        else
            EXPECT_TRUE(error.contains(QString::fromUtf8(row.Error))) << error.toStdString();
        EXPECT_FALSE(error.contains(AwkwardKey) || error.contains(QLatin1String("p%26ss"))) << error.toStdString();
        if (row.Stops) {
            EXPECT_TRUE(error.endsWith(QStringLiteral("Отправка остановлена до изменения настроек.")));
            EXPECT_FALSE(rig.Clock.NextAlarm().isValid());
        }
        EXPECT_EQ(state.Rejected, row.NarodmonReply.startsWith("ERROR") ? 1 : 0);
        // One attempt is one request, also where the server closed without a word.
        if (row.Kind != NarodmonTcp) {
            EXPECT_EQ(rig.Http.Requests.size(), 1);
        }
    }
}

TEST(PublishReplies, ARefusedConnectionAndAFailedHandshakeAreRetriedAndSaidInRussian)
{
    TUploadRig rig;
    QTcpServer closed; // a port that was free a moment ago and has nobody listening now
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 freePort = closed.serverPort();
    closed.close();
    QTcpServer plain; // answers TLS in plain text
    ASSERT_TRUE(plain.listen(QHostAddress::LocalHost));
    QObject::connect(&plain, &QTcpServer::newConnection, [&plain] {
        QTcpSocket* socket = plain.nextPendingConnection();
        socket->write("HTTP/1.1 400 Bad Request\r\n\r\n");
        socket->disconnectFromHost();
    });
    // A TLS server whose certificate signed itself, made by openssl for the test.
    QTemporaryDir folder;
    const QString certificate = folder.filePath(QStringLiteral("cert.pem"));
    const QString key = folder.filePath(QStringLiteral("key.pem"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("openssl"),
                                {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                                 "/CN=Meteo stand-in", "-keyout", key, "-out", certificate}),
              0);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(testsupport::ReadFileBytes(certificate)));
    configuration.setPrivateKey(QSslKey(testsupport::ReadFileBytes(key), QSsl::Rsa));
    QSslServer selfSigned;
    selfSigned.setSslConfiguration(configuration);
    ASSERT_TRUE(selfSigned.listen(QHostAddress::LocalHost));
    const std::vector<std::pair<QString, QString>> table{
        {QStringLiteral("http://127.0.0.1:%1/update").arg(freePort), QStringLiteral("сервер отказал в соединении")},
        {QStringLiteral("https://127.0.0.1:%1/update").arg(plain.serverPort()),
         QStringLiteral("не удалось установить защищённое соединение")},
        {QStringLiteral("https://127.0.0.1:%1/update").arg(selfSigned.serverPort()),
         QStringLiteral("не удалось установить защищённое соединение: сертификат сервера «Meteo stand-in» (выдан "
                        "«Meteo stand-in») не принят: он ")},
    };
    rig.Source.Add(FrostReading(Start.addSecs(-60)));
    for (const auto& [endpoint, reason] : table) {
        TServiceSettings settings = rig.SettingsFor(WeatherUnderground);
        settings.EndpointOverride = endpoint;
        auto uploader = rig.Uploader(settings);
        const QDateTime attempt = rig.Clock.NextAlarm();
        ASSERT_TRUE(rig.Step(*uploader));
        EXPECT_TRUE(uploader->State().LastError.contains(reason)) << uploader->State().LastError.toStdString();
        EXPECT_EQ(attempt.secsTo(uploader->State().NextAttempt), FirstBackOff.count());
        EXPECT_EQ(rig.Positions.Writes, 0);
    }
}

TEST(PublishReplies, TheSystemClocksAlarmFiresOnceAndNotWhenCancelled)
{
    int fired = 0;
    TSystemClock clock;
    const auto alarm = clock.NewAlarm([&] { ++fired; });
    alarm->Set(clock.NowUtc().addSecs(-5));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return fired == 1; }));
    alarm->Set(clock.NowUtc().addMSecs(20));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return fired == 2; }));
    alarm->Set(clock.NowUtc().addMSecs(1));
    alarm->Cancel();
    ASSERT_TRUE(testsupport::PumpPosted());
    QElapsedTimer waited;
    waited.start();
    testsupport::PumpUntil([&] { return waited.elapsed() > 50; });
    EXPECT_EQ(fired, 2);
}

} // namespace
} // namespace uploadtest
