// The web server's TCP side: it reads each request itself and hands it on whole. The request line,
// the headers and a declared body are held to the limits as their bytes come: past them the client
// is answered 414, 431 or 413 and closed, and a head that breaks HTTP's grammar 400 (505 for another
// version of HTTP). A request not whole within the time-out is answered 408 and closed, however
// steadily its bytes trickle in. Past the connection limit a newcomer is answered 503 at once.
#pragma once

#include "web/web_request.h"
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

    int OpenConnections();

signals:
    // A whole request, its body read off the socket. The socket is the receiver's to answer and
    // close (every answer closes the connection, a live stream when it ends); nothing more of what
    // the client sends is read.
    void RequestArrived(const web::TWebRequest& request, QTcpSocket* socket);

protected:
    void incomingConnection(qintptr handle) override;

private:
    struct TConnection
    {
        QPointer<QTcpSocket> Socket;
        QDeadlineTimer Deadline;
        QByteArray Bytes; // the head as it came until its blank line, then the body
        bool HeadDone = false;
        TWebRequest Request; // once the head is done
        bool Taken = false;  // answered or handed on: nothing more is read
    };

    void Read(TConnection& connection);
    // What the parsed head asks that is not served (400, 411 or 413), or 0.
    int HeadProblem(const TWebRequest& request) const;
    void Refuse(TConnection& connection, int status);
    void Sweep();

    TWebLimits FLimits;
    std::map<QTcpSocket*, TConnection> FConnections;
    QTimer FSweep;
};

} // namespace web
