// What keeps the web server safe to leave running: the request limits, methods and paths, the access
// code from another computer, a client that trickles, 200 clients at once, and a port already taken.
#include "tests/web/web_client.h"
#include "web/web_access.h"

#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>

using webtest::Ask;
using webtest::Get;

namespace {

const QHostAddress OtherComputer(QStringLiteral("127.0.0.2"));

// A server without an archive file: what is tested here needs none.
struct TRunningServer
{
    explicit TRunningServer(web::TWebSettings settings = webtest::TestSettings()) { Started = Server.Start(settings); }
    web::TWebServer Server{QStringLiteral("no-archive.sqlite")};
    web::TWebStartResult Started;
};

TEST(WebSafety, BadRequestsGetTheirAnswerAndEveryAnswerItsHeaders)
{
    TRunningServer running;
    ASSERT_TRUE(running.Started.Ok);
    const quint16 port = running.Started.Port;
    struct TCase
    {
        const char* What;
        QByteArray Request;
        int Status;
    };
    const QByteArray host = " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    const TCase cases[] = {
        {"a page", "GET /" + host + "\r\n", 200},
        {"HEAD", "HEAD /api/v1/current" + host + "\r\n", 200},
        {"POST", "POST /api/v1/current" + host + "Content-Length: 2\r\n\r\n{}", 405},
        {"DELETE", "DELETE /" + host + "\r\n", 405},
        {"a long request line", "GET /?q=" + QByteArray(3000, 'a') + host + "\r\n", 414},
        {"a huge header", "GET /" + host + "X-Big: " + QByteArray(10000, 'b') + "\r\n\r\n", 431},
        {"a large body", "GET /" + host + "Content-Length: 100000\r\n\r\n", 413},
        {"a body of unknown length", "GET /" + host + "Transfer-Encoding: chunked\r\n\r\n", 411},
        {"a WebSocket upgrade", "GET /" + host + "Upgrade: websocket\r\nConnection: Upgrade\r\n\r\n", 400},
        {"a path with ..", "GET /../../../etc/passwd" + host + "\r\n", 404},
        {"an encoded ..", "GET /%2e%2e/%2e%2e/etc/passwd" + host + "\r\n", 404},
        {"a page's path with ..", "GET /archive/../records" + host + "\r\n", 404},
        {"a wrong date", "GET /api/v1/hours?from=2025-13-01&to=2025-13-02" + host + "\r\n", 400},
        {"a year of samples", "GET /api/v1/samples?from=2024-01-01&to=2024-12-31" + host + "\r\n", 400},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const webtest::TAnswer answer = Ask(port, c.Request);
        EXPECT_EQ(answer.Status, c.Status);
        EXPECT_EQ(answer.Header("Content-Security-Policy"), "default-src 'self'");
        EXPECT_EQ(answer.Header("X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(answer.Header("Referrer-Policy"), "no-referrer");
        EXPECT_EQ(answer.Header("Cache-Control"), "no-store");
        EXPECT_FALSE(answer.Body.contains("root:"));
        if (c.Request.startsWith("HEAD")) {
            EXPECT_TRUE(answer.Body.isEmpty() && answer.Header("Content-Length").toInt() > 0);
        }
    }
    // The server still answers after all of that.
    EXPECT_EQ(Get(port, "/api/v1/current").Status, 200);
}

TEST(WebSafety, AnotherComputerNeedsTheCodeOnceThenItsCookie)
{
    // Which addresses are this computer's, as the server asks it by default.
    struct TAddressCase
    {
        web::TWebScope Scope;
        const char* Address;
        bool NeedsCode;
    };
    const TAddressCase addresses[] = {
        {web::TWebScope::ThisComputer, "192.168.1.5", false}, {web::TWebScope::HomeNetwork, "127.0.0.1", false},
        {web::TWebScope::HomeNetwork, "::1", false},          {web::TWebScope::HomeNetwork, "::ffff:127.0.0.1", false},
        {web::TWebScope::HomeNetwork, "192.168.1.5", true},   {web::TWebScope::HomeNetwork, "::ffff:192.168.1.5", true},
        {web::TWebScope::HomeNetwork, "fe80::1", true},
    };
    for (const TAddressCase& c : addresses) {
        web::TWebSettings settings;
        settings.Scope = c.Scope;
        EXPECT_EQ(web::NeedsCode(settings, QHostAddress(QString::fromLatin1(c.Address))), c.NeedsCode) << c.Address;
    }

    // The home network's server, with 127.0.0.2 standing for another computer of it.
    web::TWebSettings settings = webtest::TestSettings();
    settings.Scope = web::TWebScope::HomeNetwork;
    settings.AccessCode = QStringLiteral("сосна 42");
    settings.IsThisComputer = [](const QHostAddress& address) { return address == QHostAddress::LocalHost; };
    TRunningServer running(settings);
    ASSERT_TRUE(running.Started.Ok);
    const quint16 port = running.Started.Port;
    const QByteArray code = QUrl::toPercentEncoding(settings.AccessCode);

    const webtest::TAnswer asked = Get(port, "/", {}, OtherComputer);
    EXPECT_EQ(asked.Status, 401);
    EXPECT_TRUE(QString::fromUtf8(asked.Body).contains("Введите код доступа"));
    EXPECT_EQ(Get(port, "/favicon.svg", {}, OtherComputer).Status, 200); // the code's page shows it
    EXPECT_EQ(Get(port, "/api/v1/current?code=1234", {}, OtherComputer).Status, 401);
    EXPECT_EQ(Get(port, "/api/v1/current", "Cookie: meteo_access=1234\r\n", OtherComputer).Status, 401);

    const webtest::TAnswer accepted = Get(port, "/archive?code=" + code + "&x=1", {}, OtherComputer);
    EXPECT_EQ(accepted.Status, 303);
    EXPECT_EQ(accepted.Header("Location"), "/archive?x=1");
    const QByteArray cookie = accepted.Header("Set-Cookie");
    EXPECT_TRUE(cookie.contains("; HttpOnly") && cookie.contains("; SameSite=Strict")) << cookie.toStdString();
    EXPECT_FALSE(cookie.contains(code));
    const QByteArray sent = "Cookie: other=1; " + cookie.left(cookie.indexOf(';')) + "\r\n";
    EXPECT_EQ(Get(port, "/api/v1/current", sent, OtherComputer).Status, 200);
    // The code never sends anyone elsewhere.
    EXPECT_EQ(Get(port, "//elsewhere.example/?code=" + code, {}, OtherComputer).Header("Location"), "/");
    EXPECT_EQ(Get(port, "/api/v1/current").Status, 200); // this computer needs no code

    // Guessing is cut short: past the wrong tries allowed, that address is refused even the right code.
    for (int wrong = 1; wrong < web::TCodeAttempts::MaxWrong; ++wrong)
        EXPECT_EQ(Get(port, "/?code=guess" + QByteArray::number(wrong), {}, OtherComputer).Status, 401) << wrong;
    EXPECT_EQ(Get(port, "/?code=" + code, {}, OtherComputer).Status, 429);
    EXPECT_EQ(Get(port, "/api/v1/current", sent, OtherComputer).Status, 200); // its cookie still opens it
}

TEST(WebSafety, ATricklingClientIsClosedWhileItStillSends)
{
    web::TWebSettings settings = webtest::TestSettings();
    settings.Limits.RequestTimeoutMs = 2000;
    TRunningServer running(settings);
    ASSERT_TRUE(running.Started.Ok);
    const QByteArray request = "GET /api/v1/current HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + QByteArray(200, 's');
    webtest::TClientSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, running.Started.Port);
    int sent = 0;
    QTimer trickle;
    QObject::connect(&trickle, &QTimer::timeout, [&] {
        if (socket.state() == QAbstractSocket::ConnectedState && sent < request.size())
            socket.write(request.mid(sent++, 1));
    });
    trickle.start(100);
    QByteArray bytes;
    ASSERT_TRUE(testsupport::PumpUntil(
        [&] { return (bytes += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState); }, 20000));
    EXPECT_LT(sent, request.size());
    EXPECT_EQ(webtest::Parse(bytes).Status, 408);
}

TEST(WebSafety, TwoHundredClientsAtOnce)
{
    web::TWebSettings settings = webtest::TestSettings();
    settings.Limits.Connections = 64;
    settings.Limits.RequestTimeoutMs = 120'000; // the held connections wait for the test, not the clock
    TRunningServer running(settings);
    ASSERT_TRUE(running.Started.Ok);
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<QByteArray> answers(200);
    for (int i = 0; i < 200; ++i) {
        clients.push_back(std::make_unique<webtest::TClientSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, running.Started.Port);
    }
    auto closedCount = [&] {
        int closed = 0;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            answers[i] += clients[i]->readAll();
            closed += clients[i]->state() == QAbstractSocket::UnconnectedState ? 1 : 0;
        }
        return closed;
    };
    // Those past the limit are turned away at once; the others are held, waiting for a request.
    ASSERT_TRUE(testsupport::PumpUntil([&] { return closedCount() == 200 - 64; }, 30000));
    for (std::size_t i = 0; i < clients.size(); ++i)
        if (clients[i]->state() == QAbstractSocket::ConnectedState)
            clients[i]->write("GET /api/v1/current HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_TRUE(testsupport::PumpUntil([&] { return closedCount() == 200; }, 30000));
    int served = 0;
    int refused = 0;
    for (const QByteArray& answer : answers) {
        served += webtest::Parse(answer).Status == 200 ? 1 : 0;
        refused += webtest::Parse(answer).Status == 503 ? 1 : 0;
    }
    EXPECT_EQ(served, 64);
    EXPECT_EQ(refused, 200 - 64);
    EXPECT_EQ(Get(running.Started.Port, "/api/v1/current").Status, 200);
}

TEST(WebSafety, APortTakenIsSaidWithTheProgramHoldingIt)
{
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost));
    web::TWebSettings settings = webtest::TestSettings();
    settings.Port = holder.serverPort();
    TRunningServer running(settings);
    EXPECT_FALSE(running.Started.Ok);
    EXPECT_FALSE(running.Server.IsRunning());
    const QString problem = running.Started.Problem;
    EXPECT_TRUE(problem.startsWith(QStringLiteral("Порт %1 уже занят другой программой").arg(holder.serverPort())))
        << problem.toStdString();
    EXPECT_TRUE(problem.contains(QStringLiteral("test_web (процесс %1)").arg(QCoreApplication::applicationPid())))
        << problem.toStdString();

    settings.Port = 0;
    settings.Scope = web::TWebScope::HomeNetwork;
    EXPECT_EQ(running.Server.Start(settings).Problem,
              QStringLiteral("Для доступа из домашней сети задайте код доступа"));
}

} // namespace
