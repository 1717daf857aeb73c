// The exchange over the real network with Qt Network: HTTP(S) GETs through one
// QNetworkAccessManager, narodmon's and CWOP's TCP dialogues through QTcpSocket. All of it is
// asynchronous on the thread that owns the object (the main thread): nothing waits.
//
// Redirects are not followed (an address with a key in it goes nowhere it was not sent), and no
// error text of Qt's reaches a message, since those quote the address and with it the key.
#pragma once

#include "publish/networks/exchange.h"

#include <QObject>

class QNetworkAccessManager;

namespace publish {

// How long a request may take from the start to the whole reply.
constexpr int DefaultExchangeTimeoutMs = 30000;
// The most of a reply that is read; a longer one cannot be a service's answer.
constexpr int ReplyLimitBytes = 64 * 1024;
// The line with which an APRS-IS server answers the login; the packet goes after it.
inline constexpr char AprsLoginReplyPrefix[] = "# logresp";

class TNetworkExchange : public QObject, public TExchange
{
    Q_OBJECT
public:
    explicit TNetworkExchange(int timeoutMs = DefaultExchangeTimeoutMs, QObject* parent = nullptr);
    void Send(const TOutgoingRequest& request, TDone done) override;

private:
    void SendHttp(const TOutgoingRequest& request, TDone done);
    QNetworkAccessManager* FManager;
    int FTimeoutMs;
};

} // namespace publish
