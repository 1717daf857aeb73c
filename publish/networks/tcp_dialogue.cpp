// One TCP conversation with narodmon or an APRS-IS server; see tcp_dialogue.h.
#include "publish/networks/tcp_dialogue.h"

#include "publish/networks/socket_failure.h"

#include <QTcpSocket>

namespace publish {

void TTcpDialogue::Start(const TOutgoingRequest& request, int timeoutMs, TExchange::TDone done)
{
    new TTcpDialogue(request, timeoutMs, std::move(done));
}

TTcpDialogue::TTcpDialogue(const TOutgoingRequest& request, int timeoutMs, TExchange::TDone done)
    : FRequest(request)
    , FDone(std::move(done))
    , FSocket(new QTcpSocket(this))
{
    // Read in slices below the limit, so that a server that floods is cut off before it is held.
    FSocket->setReadBufferSize(ReplyLimitBytes / 4);
    connect(FSocket, &QTcpSocket::connected, this, &TTcpDialogue::Connected);
    connect(FSocket, &QTcpSocket::readyRead, this, &TTcpDialogue::Readable);
    connect(FSocket, &QTcpSocket::bytesWritten, this, &TTcpDialogue::Written);
    connect(FSocket, &QTcpSocket::disconnected, this, &TTcpDialogue::Closed);
    connect(FSocket, &QTcpSocket::errorOccurred, this, &TTcpDialogue::Failed);
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, [this] { Finish(TExchangeFailure::TimedOut); });
    FTimer.start(timeoutMs);
    FSocket->connectToHost(request.Url.host(), static_cast<quint16>(request.Url.port()));
}

void TTcpDialogue::Connected()
{
    if (FRequest.Transport == TTransport::NarodmonTcp) {
        // The server closes 10 s after the connection: everything goes at once.
        FStep = TStep::Replying;
        FSocket->write(FRequest.Packet);
    } else {
        FStep = TStep::Banner;
    }
}

void TTcpDialogue::Readable()
{
    while (FStep != TStep::Done && FSocket->bytesAvailable() > 0) {
        FPending += FSocket->read(ReplyLimitBytes / 4);
        qsizetype end;
        while (FStep != TStep::Done && (end = FPending.indexOf('\n')) >= 0) {
            const QByteArray line = FPending.left(end + 1);
            FPending.remove(0, end + 1);
            FLines += line;
            TakeLine(line.trimmed());
        }
        if (FStep != TStep::Done && FLines.size() + FPending.size() > ReplyLimitBytes)
            Finish(TExchangeFailure::ReplyTooLong);
    }
}

void TTcpDialogue::TakeLine(const QByteArray& line)
{
    switch (FStep) {
    case TStep::Replying:
        Finish(TExchangeFailure::None);
        break;
    case TStep::Banner:
        if (!line.startsWith('#')) {
            Finish(TExchangeFailure::UnexpectedReply);
            break;
        }
        FStep = TStep::LoginReply;
        FSocket->write(FRequest.Login);
        break;
    case TStep::LoginReply:
        if (line.startsWith(AprsLoginReplyPrefix)) {
            FStep = TStep::Sending;
            FSocket->write(FRequest.Packet);
        } else if (!line.startsWith('#')) { // other comment lines may come first
            Finish(TExchangeFailure::UnexpectedReply);
        }
        break;
    default:
        break; // lines after the packet mean nothing
    }
}

void TTcpDialogue::Written()
{
    if (FStep == TStep::Sending && FSocket->bytesToWrite() == 0) {
        // A graceful close, so that the packet is not lost behind a reset.
        FStep = TStep::Closing;
        FSocket->disconnectFromHost();
    }
}

void TTcpDialogue::Closed()
{
    Readable(); // what came just before the close
    if (FStep == TStep::Done)
        return;
    if (FStep == TStep::Closing) {
        Finish(TExchangeFailure::None);
        return;
    }
    FLines += FPending; // narodmon's reply may lack its line end
    if (FStep == TStep::Replying && !FLines.isEmpty())
        Finish(TExchangeFailure::None);
    else
        Finish(FLines.isEmpty() ? TExchangeFailure::ClosedWithoutReply : TExchangeFailure::UnexpectedReply);
}

void TTcpDialogue::Failed(QAbstractSocket::SocketError error)
{
    // A close is no failure by itself: Closed() decides.
    if (const std::optional<TExchangeFailure> failure = SocketFailure(error))
        Finish(*failure);
}

void TTcpDialogue::Finish(TExchangeFailure failure)
{
    if (FStep == TStep::Done)
        return;
    FStep = TStep::Done;
    FTimer.stop();
    TExchangeResult result;
    result.Failure = failure;
    result.Body = FLines;
    if (failure == TExchangeFailure::Network)
        result.NetworkErrorCode = static_cast<int>(FSocket->error());
    FSocket->disconnect(this);
    if (FSocket->state() != QAbstractSocket::UnconnectedState)
        FSocket->abort();
    deleteLater();
    FDone(result);
}

} // namespace publish
