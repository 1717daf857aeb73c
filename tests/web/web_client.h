// A plain HTTP client for the web server's tests: one request as raw bytes on a QTcpSocket, the
// answer read until the server closes the connection (it closes after every answer).
#pragma once

#include "tests/support/test_support.h"
#include "web/web_server.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>

namespace webtest {

struct TAnswer
{
    int Status = 0;
    QByteArray Head;
    QByteArray Body;
    QByteArray Header(const QByteArray& name) const
    {
        for (const QByteArray& line : Head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
};

// A client of these tests: straight to the server, never through the system's proxy settings, whose
// lookup runs on a thread of Qt's own (libproxy) that ThreadSanitizer cannot follow.
class TClientSocket : public QTcpSocket
{
public:
    TClientSocket() { setProxy(QNetworkProxy::NoProxy); }
};

inline TAnswer Parse(const QByteArray& bytes)
{
    TAnswer answer;
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    answer.Head = bytes.left(end);
    answer.Body = end < 0 ? QByteArray() : bytes.mid(end + 4);
    const QList<QByteArray> status = answer.Head.left(answer.Head.indexOf('\r')).split(' ');
    answer.Status = status.size() > 1 ? status[1].toInt() : 0;
    return answer;
}

// `request` as it is, from `from` (any local address when null).
inline TAnswer Ask(quint16 port, const QByteArray& request, const QHostAddress& from = {})
{
    TClientSocket socket;
    if (!from.isNull())
        socket.bind(from);
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    QByteArray bytes;
    testsupport::PumpUntil([&] {
        bytes += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    });
    return Parse(bytes + socket.readAll());
}

inline TAnswer Get(quint16 port, const QByteArray& target, const QByteArray& headers = {},
                   const QHostAddress& from = {})
{
    return Ask(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n", from);
}

// A running server on a free port of 127.0.0.1 (or every interface for the home network).
inline web::TWebSettings TestSettings()
{
    web::TWebSettings settings;
    settings.Enabled = true;
    settings.Port = 0;
    return settings;
}

} // namespace webtest
