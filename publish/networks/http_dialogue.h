// One HTTP(S) GET to a service, from connecting to the whole reply; it reports once and deletes
// itself. Written here on a socket rather than through Qt's network access manager for two
// reasons: the manager sends a request again on its own when the server closes the connection
// without a reply (so one attempt reached the service twice), and it buffers what arrives before a
// size limit can act (an endless reply swelled the program by gigabytes). Here one attempt is one
// request, and no more than the limit of a reply is ever held.
//
// The request asks the server to close after the reply; the body is read by Content-Length, in
// chunks, or up to the close. Redirects are not followed (see network_exchange.h). Over HTTPS the
// server's certificate is checked for the host's name against the system's authorities, and a
// refused certificate is named in the message.
#pragma once

#include "publish/networks/exchange.h"

#include <QAbstractSocket>
#include <QObject>
#include <QSslError>
#include <QTimer>

class QTcpSocket;

namespace publish {

class THttpDialogue : public QObject
{
    Q_OBJECT
public:
    static void Start(const TOutgoingRequest& request, int timeoutMs, TExchange::TDone done);

    // The request as it goes on the wire.
    static QByteArray RequestBytes(const TOutgoingRequest& request);
    // Why a certificate was refused, in Russian, naming it; empty when no error names one.
    static QString CertificateProblem(const QList<QSslError>& errors);

private:
    THttpDialogue(const TOutgoingRequest& request, int timeoutMs, TExchange::TDone done);
    void Connected();
    void Readable();
    void Closed();
    void Failed(QAbstractSocket::SocketError error);
    // Takes apart what has arrived; false once the reply is whole or cannot be one.
    bool TakeHead();
    bool TakeBody();
    bool TakeChunks();
    void Finish(TExchangeFailure failure);

    enum class TStep { Connecting, Head, Body, Done };
    TOutgoingRequest FRequest;
    TExchange::TDone FDone;
    QTcpSocket* FSocket;
    QTimer FTimer;
    TExchangeFailure FTimerEnds = TExchangeFailure::TimedOut; // what the timer's end means
    TStep FStep = TStep::Connecting;
    qint64 FReceivedBytes = 0; // all of the reply so far, head and framing included
    QByteArray FPending;       // received, not yet taken apart
    TExchangeResult FResult;
    qint64 FContentLength = -1; // -1: up to the close
    bool FChunked = false;
    qint64 FChunkLeft = -1; // -1: a chunk's size line is next
    QList<QSslError> FSslErrors;
};

} // namespace publish
