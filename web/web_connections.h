// The web server's TCP side, handed to Qt's HTTP server through bind(): what Qt HttpServer 6.4 does
// not enforce itself. Each new socket gets this object's byte inspector connected before the HTTP
// parser's slot, so every chunk is looked at (peeked, not read) before the parser takes it: a
// request line, headers or a declared body past the limits is answered 414, 431 or 413 and closed,
// and the parser never sees it. A request not whole within the time-out is answered 408 and closed,
// however steadily its bytes trickle in. Past the connection limit a newcomer is answered 503 at once.
#pragma once

#include "web/web_settings.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <map>

namespace web {

class TWebTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    TWebTcpServer(const TWebLimits& limits, QObject* parent);

    // The request on `socket` is whole and handled: its time-out ends, and the parser reads no more
    // of it (every answer closes the connection, a live stream included when it ends).
    void RequestTaken(QTcpSocket* socket);
    int OpenConnections();

protected:
    void incomingConnection(qintptr handle) override;

private:
    struct TConnection
    {
        QPointer<QTcpSocket> Socket;
        QDeadlineTimer Deadline;
        QByteArray Head; // the request line and headers as they came, until their blank line
        bool HeadDone = false;
        bool Taken = false;
    };

    void Inspect(TConnection& connection);
    // What the whole head says is wrong with it (400, 411 or 413), or 0.
    int HeadProblem(const QByteArray& head) const;
    void Refuse(TConnection& connection, int status);
    void Sweep();

    TWebLimits FLimits;
    std::map<QTcpSocket*, TConnection> FConnections;
    QTimer FSweep;
};

} // namespace web
