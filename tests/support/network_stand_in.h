// Stand-ins for the weather networks on 127.0.0.1, for the upload tests and benchmark: an HTTP
// server and a TCP server (narodmon's packet, or an APRS-IS login and packet for CWOP). Each
// records what it was sent, byte for byte, and answers as the test scripts it. A stand-in may be
// moved to a thread of its own (QObject::moveToThread) to answer beside the thread under test.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

namespace testsupport {

struct TStandInReply
{
    int Status = 200;
    QByteArray Body{};
    QList<QPair<QByteArray, QByteArray>> Headers{};
    bool Hang = false;          // keep the connection open and say nothing
    bool CloseSilently = false; // close the connection without a word
    bool Endless = false;       // a chunked body that never ends (until the client goes, or 64 MB)
};

class THttpStandIn : public QObject
{
    Q_OBJECT
public:
    THttpStandIn();
    // http://127.0.0.1:<port><path>
    QString Url(const QString& path) const;

    // The head of each request received (request line and headers), in order.
    QList<QByteArray> Requests;
    // The reply to a request; the default answers 200 with "success".
    std::function<TStandInReply(const QByteArray& request)> Script;

    // "GET /path?query HTTP/1.1"
    static QByteArray RequestLine(const QByteArray& request);
    // The value of a header of the request; empty when it has none.
    static QByteArray Header(const QByteArray& request, const QByteArray& name);
    // The value of a query field, percent-decoded.
    static QString QueryValue(const QByteArray& request, const QString& name);

private:
    void Take(QTcpSocket* socket);
    static void SendEndlessly(QTcpSocket* socket);
    QTcpServer FServer;
};

class TTcpStandIn : public QObject
{
    Q_OBJECT
public:
    enum class TRole { Narodmon, AprsIs };
    explicit TTcpStandIn(TRole role);
    // tcp://127.0.0.1:<port>
    QString Url() const;

    // All bytes each finished connection sent, in order.
    QList<QByteArray> Sessions;
    // Narodmon: the reply to a whole packet (default "OK\n"); a null array: no reply at all.
    std::function<QByteArray(const QByteArray& packet)> Script;
    // APRS-IS: the first line to every connection.
    std::function<QByteArray()> Banner = [] { return QByteArray("# aprsc 2.1.14-g5e22b37\r\n"); };

private:
    void Take(QTcpSocket* socket);
    TRole FRole;
    QTcpServer FServer;
};

} // namespace testsupport
