// The exchange over the real network with Qt Network's sockets: HTTP(S) GETs (http_dialogue.h),
// narodmon's and CWOP's TCP dialogues (tcp_dialogue.h). All of it is asynchronous on the thread
// that owns the object (the main thread): nothing waits.
//
// Redirects are not followed (an address with a key in it goes nowhere it was not sent), and no
// error text of Qt's reaches a message, since those quote the address and with it the key.
#pragma once

#include "publish/networks/exchange.h"

#include <QObject>

namespace publish {

// How long a request may take from the start to the whole reply.
constexpr int DefaultExchangeTimeoutMs = 30000;

class TNetworkExchange : public QObject, public TExchange
{
    Q_OBJECT
public:
    explicit TNetworkExchange(int timeoutMs = DefaultExchangeTimeoutMs, QObject* parent = nullptr);
    void Send(const TOutgoingRequest& request, TDone done) override;

private:
    int FTimeoutMs;
};

} // namespace publish
