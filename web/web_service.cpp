#include "web/web_service.h"

#include "web/port_holder.h"
#include "web/web_access.h"
#include "web/web_climate.h"

#include <QFile>
#include <QJsonDocument>
#include <QTcpSocket>
#include <algorithm>

namespace web {
namespace {

const QString StreamPath = QStringLiteral("/api/v1/stream");

bool IsApi(const QString& path)
{
    return path.startsWith(QLatin1String("/api/"));
}

// The code's own page needs its style and icon before the code is given; neither tells anything.
bool OpensWithoutCode(const QString& path)
{
    return path == QLatin1String("/style.css") || path == QLatin1String("/favicon.svg");
}

// The small page that asks for the code: a form that sends it back as ?code=.
TWebResponse CodePage(const QString& path, bool wrong)
{
    if (IsApi(path))
        return ErrorResponse(401, wrong ? QStringLiteral("Неверный код доступа") : QStringLiteral("Нужен код доступа"));
    const QString text = wrong ? QStringLiteral("Код не подошёл. Введите код доступа ещё раз.")
                               : QStringLiteral("Введите код доступа, заданный в программе «Метеостанция».");
    const QString html =
        QStringLiteral("<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<title>Метеостанция: код доступа</title><link rel=\"stylesheet\" href=\"/style.css\">"
                       "<link rel=\"icon\" href=\"/favicon.svg\" type=\"image/svg+xml\">"
                       "</head><body><main><h1>Метеостанция</h1><p>%1</p>"
                       "<form class=\"controls\" method=\"get\" action=\"/\"><label>Код доступа "
                       "<input name=\"code\" type=\"password\" autocomplete=\"current-password\" required>"
                       "</label> <button>Войти</button></form></main></body></html>")
            .arg(text);
    return {401, "text/html; charset=utf-8", html.toUtf8(), {}};
}

} // namespace

TWebService::TWebService(const QString& archivePath, const TWebCurrent& current)
    : FArchivePath(archivePath)
    , FCurrent(current)
{
    FClock.start();
    connect(&FHeartbeat, &QTimer::timeout, this, [this] { SendToStreams(": heartbeat\n\n"); });
}

TWebService::~TWebService() = default;

const std::vector<TWebService::TRoute>& TWebService::Routes()
{
    // Every path the server answers; nothing else is ever looked up, least of all a file.
    static const std::vector<TRoute> routes{
        {"/", &TWebService::NowPage},
        {"/archive", &TWebService::ArchivePage},
        {"/records", &TWebService::RecordsPage},
        {"/style.css", &TWebService::Style},
        {"/favicon.svg", &TWebService::Icon},
        {"/common.js", &TWebService::CommonScript},
        {"/now.js", &TWebService::NowScript},
        {"/archive.js", &TWebService::ArchiveScript},
        {"/records.js", &TWebService::RecordsScript},
        {"/api/v1/current", &TWebService::Current},
        {"/api/v1/hours", &TWebService::Hours},
        {"/api/v1/samples", &TWebService::Samples},
        {"/api/v1/chart", &TWebService::Chart},
        {"/api/v1/records", &TWebService::Records},
        {"/api/v1/summary/month", &TWebService::MonthSummary},
        {"/api/v1/summary/year", &TWebService::YearSummary},
    };
    return routes;
}

TWebStartResult TWebService::Listen(const TWebSettings& settings)
{
    FSettings = settings;
    if (settings.Scope == TWebScope::HomeNetwork && settings.AccessCode.isEmpty())
        return {false, QStringLiteral("Для доступа из домашней сети задайте код доступа"), 0};
    FTcp = new TWebTcpServer(settings.Limits, this);
    // A burst of clients waits in the system's queue rather than having its handshakes dropped and
    // retried seconds later; those past the limit are then answered 503 at once.
    FTcp->setListenBacklogSize(std::max(256, 4 * settings.Limits.Connections));
    const QHostAddress address =
        settings.Scope == TWebScope::ThisComputer ? QHostAddress(QHostAddress::LocalHost) : QHostAddress::Any;
    if (!FTcp->listen(address, settings.Port)) {
        QString problem;
        if (FTcp->serverError() == QAbstractSocket::AddressInUseError) {
            problem = QStringLiteral("Порт %1 уже занят другой программой").arg(settings.Port);
            if (const std::optional<QString> holder = PortHolder(settings.Port))
                problem += QStringLiteral(": %1").arg(*holder);
        } else {
            problem = QStringLiteral("Порт %1 не открыт: %2").arg(settings.Port).arg(FTcp->errorString());
        }
        delete FTcp;
        FTcp = nullptr;
        return {false, problem, 0};
    }
    connect(FTcp, &TWebTcpServer::RequestArrived, this, &TWebService::Take);
    FHeartbeat.start(settings.Limits.HeartbeatMs);
    return {true, {}, FTcp->serverPort()};
}

void TWebService::TakeCurrents(const std::vector<TWebCurrent>& currents)
{
    QByteArray events;
    for (const TWebCurrent& current : currents)
        events +=
            "event: current\ndata: " + QJsonDocument(CurrentJson(current)).toJson(QJsonDocument::Compact) + "\n\n";
    FCurrent = currents.back();
    SendToStreams(events);
}

void TWebService::Take(const TWebRequest& request, QTcpSocket* socket)
{
    bool stream = false;
    const TWebResponse response = Answer(request, stream);
    if (stream) {
        StartStream(socket);
        return;
    }
    socket->write(ResponseBytes(response, request.Method == "HEAD"));
    socket->disconnectFromHost();
}

TWebResponse TWebService::Answer(const TWebRequest& request, bool& stream)
{
    const bool head = request.Method == "HEAD";
    if (!head && request.Method != "GET") {
        TWebResponse response = ErrorResponse(405, QStringLiteral("Страница только для чтения: GET или HEAD"));
        response.Headers.emplace_back("Allow", "GET, HEAD");
        return response;
    }
    if (std::optional<TWebResponse> access = AccessAnswer(request))
        return *access;
    const QString& path = request.Path;
    if (path == StreamPath) {
        stream = !head;
        return {200, "text/event-stream; charset=utf-8", {}, {}};
    }
    for (const TRoute& route : Routes())
        if (path == QLatin1String(route.Path))
            return (this->*route.Handler)(request.Query);
    return ErrorResponse(404, QStringLiteral("Такой страницы нет"));
}

std::optional<TWebResponse> TWebService::AccessAnswer(const TWebRequest& request)
{
    const QString& path = request.Path;
    const QUrlQuery& query = request.Query;
    const bool needsCode = NeedsCode(FSettings, request.Peer);
    if (query.hasQueryItem(QStringLiteral("code"))) {
        const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
        if (needsCode && !FCodeAttempts.Allowed(request.Peer, FClock.elapsed()))
            return ErrorResponse(429, QStringLiteral("Слишком много неверных кодов. Попробуйте снова через 10 минут"));
        if (needsCode && !SameSecret(code.toUtf8(), FSettings.AccessCode.toUtf8())) {
            FCodeAttempts.Wrong(request.Peer, FClock.elapsed());
            return CodePage(path, true);
        }
        // The code leaves the address at once (history, bookmarks): back to one of our own paths.
        QUrlQuery rest = query;
        rest.removeAllQueryItems(QStringLiteral("code"));
        const bool known = path == StreamPath ||
            std::any_of(Routes().begin(), Routes().end(),
                        [&](const TRoute& route) { return path == QLatin1String(route.Path); });
        QByteArray location = known ? path.toUtf8() : QByteArray("/");
        if (known && !rest.isEmpty())
            location += '?' + rest.toString(QUrl::FullyEncoded).toUtf8();
        TWebResponse redirect{303, {}, {}, {{"Location", location}}};
        if (needsCode)
            redirect.Headers.emplace_back("Set-Cookie", AccessCookie(FSettings.AccessCode));
        return redirect;
    }
    if (!needsCode || OpensWithoutCode(path))
        return std::nullopt;
    const QByteArray token = CookieValue(request.Header("Cookie"), AccessCookieName);
    if (SameSecret(token, AccessToken(FSettings.AccessCode)))
        return std::nullopt;
    return CodePage(path, false);
}

void TWebService::StartStream(QTcpSocket* socket)
{
    socket->write(StreamHead());
    // The browser comes back by itself 3 s after a loss; the page says so meanwhile.
    socket->write("retry: 3000\n\nevent: current\ndata: " +
                  QJsonDocument(CurrentJson(FCurrent)).toJson(QJsonDocument::Compact) + "\n\n");
    FStreams.emplace_back(socket);
}

void TWebService::SendToStreams(const QByteArray& bytes)
{
    std::erase_if(FStreams, [](const QPointer<QTcpSocket>& socket) {
        return socket.isNull() || socket->state() != QAbstractSocket::ConnectedState;
    });
    for (const QPointer<QTcpSocket>& socket : FStreams) {
        // A client that reads nothing is not kept at the cost of memory.
        if (socket->bytesToWrite() > FSettings.Limits.StreamBacklogBytes)
            socket->abort();
        else if (socket->write(bytes) > 0)
            // Out now, as far as the system takes it: what stays behind is what the client has not
            // read, not what waited for the socket's turn while more readings came.
            socket->flush();
    }
}

archive::TArchiveReader& TWebService::Reader()
{
    // Opened afresh while there is no archive yet: the program may make one later.
    if (!FReader || !FReader->IsOpen())
        FReader = std::make_unique<archive::TArchiveReader>(FArchivePath);
    return *FReader;
}

TWebResponse TWebService::Page(const QString& resource, const QByteArray& type) const
{
    QFile file(QStringLiteral(":/web/") + resource);
    if (!file.open(QIODevice::ReadOnly))
        return ErrorResponse(500, QStringLiteral("Страница не собрана в программу"));
    return {200, type, file.readAll(), {}};
}

TWebResponse TWebService::MonthSummary(const QUrlQuery& query)
{
    return MonthSummaryAnswer(Reader(), query);
}

TWebResponse TWebService::YearSummary(const QUrlQuery& query)
{
    return YearSummaryAnswer(Reader(), query);
}

} // namespace web
