// The exchange over the real network; see network_exchange.h.
#include "publish/networks/network_exchange.h"

#include "publish/networks/http_dialogue.h"
#include "publish/networks/tcp_dialogue.h"

namespace publish {

TNetworkExchange::TNetworkExchange(int timeoutMs, QObject* parent)
    : QObject(parent)
    , FTimeoutMs(timeoutMs)
{
}

void TNetworkExchange::Send(const TOutgoingRequest& request, TDone done)
{
    if (request.Transport == TTransport::HttpGet)
        THttpDialogue::Start(request, FTimeoutMs, std::move(done));
    else
        TTcpDialogue::Start(request, FTimeoutMs, std::move(done));
}

} // namespace publish
