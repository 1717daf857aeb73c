// Stand-ins for the weather networks; see network_stand_in.h.
#include "tests/support/network_stand_in.h"

#include <QUrlQuery>
#include <memory>

namespace testsupport {

THttpStandIn::THttpStandIn()
{
    Script = [](const QByteArray&) { return TStandInReply{200, "success\n", {}, false}; };
    FServer.setParent(this); // moves with the stand-in to another thread
    FServer.listen(QHostAddress::LocalHost);
    connect(&FServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = FServer.nextPendingConnection())
            Take(socket);
    });
}

QString THttpStandIn::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(FServer.serverPort()).arg(path);
}

void THttpStandIn::Take(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto received = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
        *received += socket->readAll();
        const qsizetype end = received->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray request = received->left(end + 4);
        received->clear();
        Requests.append(request);
        const TStandInReply reply = Script(request);
        if (reply.Hang)
            return;
        if (reply.CloseSilently) {
            socket->disconnectFromHost();
            return;
        }
        if (reply.Endless) {
            SendEndlessly(socket);
            return;
        }
        QByteArray answer = "HTTP/1.1 " + QByteArray::number(reply.Status) +
            " Stand-in\r\nContent-Length: " + QByteArray::number(reply.Body.size()) + "\r\nConnection: close\r\n";
        for (const auto& [name, value] : reply.Headers)
            answer += name + ": " + value + "\r\n";
        socket->write(answer + "\r\n" + reply.Body);
        socket->disconnectFromHost();
    });
}

void THttpStandIn::SendEndlessly(QTcpSocket* socket)
{
    constexpr qint64 Chunk = 16 * 1024;
    constexpr qint64 Most = 64LL * 1024 * 1024; // the stand-in stops by itself all the same
    socket->write("HTTP/1.1 200 Stand-in\r\nTransfer-Encoding: chunked\r\n\r\n");
    auto sent = std::make_shared<qint64>(0);
    const auto more = [socket, sent] {
        while (socket->bytesToWrite() < 4 * Chunk && *sent < Most) {
            socket->write(QByteArray::number(Chunk, 16) + "\r\n" + QByteArray(Chunk, 'x') + "\r\n");
            *sent += Chunk;
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, more);
    more();
}

QByteArray THttpStandIn::RequestLine(const QByteArray& request)
{
    return request.left(request.indexOf("\r\n"));
}

QByteArray THttpStandIn::Header(const QByteArray& request, const QByteArray& name)
{
    for (const QByteArray& line : request.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QString THttpStandIn::QueryValue(const QByteArray& request, const QString& name)
{
    const QByteArray target = RequestLine(request).split(' ').value(1);
    const QUrlQuery query(QString::fromLatin1(target.mid(target.indexOf('?') + 1)));
    return query.queryItemValue(name, QUrl::FullyDecoded);
}

TTcpStandIn::TTcpStandIn(TRole role)
    : FRole(role)
{
    Script = [](const QByteArray&) { return QByteArray("OK\n"); };
    FServer.setParent(this); // moves with the stand-in to another thread
    FServer.listen(QHostAddress::LocalHost);
    connect(&FServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = FServer.nextPendingConnection())
            Take(socket);
    });
}

QString TTcpStandIn::Url() const
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(FServer.serverPort());
}

void TTcpStandIn::Take(QTcpSocket* socket)
{
    auto received = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, this, [this, socket, received] {
        *received += socket->readAll();
        Sessions.append(*received);
        socket->deleteLater();
    });
    if (FRole == TRole::AprsIs)
        socket->write(Banner());
    auto loggedIn = std::make_shared<bool>(false);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, received, loggedIn] {
        *received += socket->readAll();
        if (FRole == TRole::Narodmon) {
            if (received->endsWith("##")) {
                const QByteArray reply = Script(*received);
                if (!reply.isNull()) {
                    socket->write(reply);
                    socket->disconnectFromHost();
                }
            }
        } else if (!*loggedIn && received->contains("\r\n")) {
            *loggedIn = true;
            const QByteArray call = received->split(' ').value(1);
            socket->write("# logresp " + call + " unverified, server T2STANDIN\r\n");
        }
    });
}

} // namespace testsupport
