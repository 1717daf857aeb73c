// One TCP conversation with narodmon or an APRS-IS server (CWOP), from connecting to the reply;
// it reports once and deletes itself.
//   narodmon: connect, send the packet, read one reply line ("OK" or an error text);
//   APRS-IS:  connect, read the banner ("#..."), send the login, wait for the login reply, send
//             the packet, close. The server acknowledges nothing more.
#pragma once

#include "publish/networks/exchange.h"

#include <QAbstractSocket>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace publish {

// The line with which an APRS-IS server answers the login; the packet goes after it.
inline constexpr char AprsLoginReplyPrefix[] = "# logresp";

class TTcpDialogue : public QObject
{
    Q_OBJECT
public:
    static void Start(const TOutgoingRequest& request, int timeoutMs, TExchange::TDone done);

private:
    TTcpDialogue(const TOutgoingRequest& request, int timeoutMs, TExchange::TDone done);
    void Connected();
    void Readable();
    void TakeLine(const QByteArray& line);
    void Written();
    void Closed();
    void Failed(QAbstractSocket::SocketError error);
    void Finish(TExchangeFailure failure);

    enum class TStep { Connecting, Replying, Banner, LoginReply, Sending, Closing, Done };
    TOutgoingRequest FRequest;
    TExchange::TDone FDone;
    QTcpSocket* FSocket;
    QTimer FTimer;
    TStep FStep = TStep::Connecting;
    QByteArray FPending; // read, not yet a whole line
    QByteArray FLines;   // whole lines read
};

} // namespace publish
