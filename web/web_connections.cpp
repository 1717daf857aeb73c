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
    case 505:
        return QStringLiteral("Эта версия HTTP не поддерживается");
    default:
        return QStringLiteral("Неверный запрос");
    }
}

} // namespace

TWebTcpServer::TWebTcpServer(const TWebLimits& limits, QObject* parent)
    : QTcpServer(parent)
    , FLimits(limits)
{
    // Deadlines and closed sockets are looked at a few times a second.
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
    // Qt reads no more than this ahead of Read, which takes it all: a client that floods costs a
    // head's worth of memory before it is refused, not what it sent.
    socket->setReadBufferSize(FLimits.HeaderBytes);
    TConnection& connection = FConnections[socket];
    connection = TConnection{socket, QDeadlineTimer(FLimits.RequestTimeoutMs), {}, false, {}, false};
    // Not added as a pending connection: no one takes it from there, and the pending ones would
    // stop the listening at their maximum.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const auto found = FConnections.find(socket);
        if (found != FConnections.end())
            Read(found->second);
    });
}

void TWebTcpServer::Read(TConnection& connection)
{
    QTcpSocket* socket = connection.Socket;
    if (connection.Taken) {
        // A live stream's client, or one being refused, has nothing more to say: what it sends is
        // dropped rather than kept.
        socket->skip(socket->bytesAvailable());
        return;
    }
    connection.Bytes += socket->readAll();
    if (!connection.HeadDone) {
        const QByteArray& bytes = connection.Bytes;
        const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
        const qsizetype lineEnd = bytes.indexOf('\n');
        if ((lineEnd < 0 ? bytes.size() : lineEnd) > FLimits.RequestLineBytes)
            return Refuse(connection, 414);
        if ((headEnd < 0 ? bytes.size() : headEnd + 4) > FLimits.HeaderBytes)
            return Refuse(connection, 431);
        // Lines end in CRLF only (ParseRequestHead says why): a bare LF is answered at once, not
        // left to wait for a blank line that, for this server, never comes.
        const qsizetype headBytes = headEnd < 0 ? bytes.size() : headEnd;
        for (qsizetype lf = bytes.indexOf('\n'); lf >= 0 && lf < headBytes; lf = bytes.indexOf('\n', lf + 1))
            if (lf == 0 || bytes[lf - 1] != '\r')
                return Refuse(connection, 400);
        if (headEnd < 0)
            return;
        TParsedHead parsed = ParseRequestHead(bytes.first(headEnd));
        if (parsed.Status == 0)
            parsed.Status = HeadProblem(parsed.Request);
        if (parsed.Status != 0)
            return Refuse(connection, parsed.Status);
        connection.Request = std::move(parsed.Request);
        connection.Bytes.remove(0, headEnd + 4);
        connection.HeadDone = true;
    }
    // The body is read to its end even though no route wants it: a connection closed with unread
    // bytes is reset, and the reset can reach the client before it has read the answer.
    if (connection.Bytes.size() < connection.Request.BodyLength)
        return; // the rest is on its way, within the time-out
    TWebRequest request = std::move(connection.Request);
    request.Body = connection.Bytes.first(request.BodyLength);
    request.Peer = socket->peerAddress();
    connection.Bytes.clear();
    connection.Taken = true;
    emit RequestArrived(request, socket);
}

int TWebTcpServer::HeadProblem(const TWebRequest& request) const
{
    // Nothing here serves WebSockets or any other protocol a connection could be switched to.
    if (request.HasHeader("Upgrade"))
        return 400;
    // A body of unknown length cannot be held to the limit before it comes.
    if (request.HasHeader("Transfer-Encoding"))
        return 411;
    if (request.BodyLength > FLimits.BodyBytes)
        return 413;
    return 0;
}

void TWebTcpServer::Refuse(TConnection& connection, int status)
{
    QTcpSocket* socket = connection.Socket;
    connection.Taken = true;
    connection.Bytes.clear();
    socket->write(ResponseBytes(ErrorResponse(status, RefusalText(status)), false));
    socket->disconnectFromHost();
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
