#include "web/web_connections.h"

#include "web/web_http.h"

namespace web {
namespace {

QString RefusalText(int status)
{
    switch (status) {
    case 408:
        return QStringLiteral("Запрос не пришёл целиком вовремя");
    case 411:
        return QStringLiteral("Тело запроса без длины не принимается");
    case 413:
        return QStringLiteral("Тело запроса слишком велико");
    case 414:
        return QStringLiteral("Строка запроса слишком длинная");
    case 431:
        return QStringLiteral("Заголовки запроса слишком велики");
    case 503:
        return QStringLiteral("Слишком много подключений, повторите позже");
    default:
        return QStringLiteral("Неверный запрос");
    }
}

} // namespace

TWebTcpServer::TWebTcpServer(const TWebLimits& limits, QObject* parent)
    : QTcpServer(parent)
    , FLimits(limits)
{
    // Deadlines and sockets the parser gave up on (it disconnects their signals, so no one else
    // would close or delete them) are looked at a few times a second.
    FSweep.setInterval(250);
    connect(&FSweep, &QTimer::timeout, this, &TWebTcpServer::Sweep);
    FSweep.start();
}

void TWebTcpServer::incomingConnection(qintptr handle)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    if (OpenConnections() >= FLimits.Connections) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->write(ResponseBytes(ErrorResponse(503, RefusalText(503)), false));
        socket->disconnectFromHost();
        return;
    }
    TConnection& connection = FConnections[socket];
    connection = TConnection{socket, QDeadlineTimer(FLimits.RequestTimeoutMs), {}, false, false};
    // Connected before the HTTP server connects its parser (when it takes the pending socket), so
    // this slot runs first on every chunk.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const auto found = FConnections.find(socket);
        if (found != FConnections.end() && !found->second.Taken)
            Inspect(found->second);
    });
    addPendingConnection(socket);
}

void TWebTcpServer::Inspect(TConnection& connection)
{
    QTcpSocket* socket = connection.Socket;
    if (connection.HeadDone)
        return; // a declared body was judged with the head; its bytes are the parser's
    // The parser keeps what it read in its transaction: what is available now is the new chunk.
    connection.Head += socket->peek(socket->bytesAvailable());
    const qsizetype headEnd = connection.Head.indexOf("\r\n\r\n");
    const qsizetype lineEnd = connection.Head.indexOf('\n');
    if ((lineEnd < 0 ? connection.Head.size() : lineEnd) > FLimits.RequestLineBytes)
        return Refuse(connection, 414);
    if ((headEnd < 0 ? connection.Head.size() : headEnd + 4) > FLimits.HeaderBytes)
        return Refuse(connection, 431);
    if (headEnd < 0)
        return;
    connection.HeadDone = true;
    const int problem = HeadProblem(connection.Head.left(headEnd));
    connection.Head.clear();
    if (problem != 0)
        Refuse(connection, problem);
}

int TWebTcpServer::HeadProblem(const QByteArray& head) const
{
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        // Qt's parser would hand an upgrade to its own WebSocket server, which nothing here serves.
        if (name == "upgrade")
            return 400;
        // A body of unknown length cannot be held to the limit before it comes.
        if (name == "transfer-encoding")
            return 411;
        if (name == "content-length") {
            bool ok = false;
            const qlonglong length = value.toLongLong(&ok);
            if (!ok || length < 0)
                return 400;
            if (length > FLimits.BodyBytes)
                return 413;
        }
    }
    return 0;
}

void TWebTcpServer::Refuse(TConnection& connection, int status)
{
    QTcpSocket* socket = connection.Socket;
    connection.Taken = true;
    // The parser's slot (and this one) let go of the socket: nothing more of it is parsed, even
    // the rest of the chunk at hand.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->write(ResponseBytes(ErrorResponse(status, RefusalText(status)), false));
    socket->disconnectFromHost();
}

void TWebTcpServer::RequestTaken(QTcpSocket* socket)
{
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    const auto found = FConnections.find(socket);
    if (found != FConnections.end())
        found->second.Taken = true;
}

int TWebTcpServer::OpenConnections()
{
    Sweep();
    return static_cast<int>(FConnections.size());
}

void TWebTcpServer::Sweep()
{
    for (auto i = FConnections.begin(); i != FConnections.end();) {
        TConnection& connection = i->second;
        if (connection.Socket.isNull()) {
            i = FConnections.erase(i);
            continue;
        }
        if (connection.Socket->state() == QAbstractSocket::UnconnectedState) {
            connection.Socket->deleteLater();
            i = FConnections.erase(i);
            continue;
        }
        if (!connection.Taken && connection.Deadline.hasExpired())
            Refuse(connection, 408);
        ++i;
    }
}

} // namespace web
