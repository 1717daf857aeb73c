// Carrying one request to a service and bringing back what came of it, without blocking: the
// uploader hands a request over and is called back on the main thread once, with the reply or
// the failure. Tests give the real exchange a stand-in server on 127.0.0.1.
#pragma once

#include "publish/networks/outgoing_request.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace publish {

enum class TExchangeFailure {
    None,
    TimedOut, // no (complete) reply in time
    ConnectionRefused,
    HostNotFound,
    Tls, // the secure connection could not be made or checked
    ClosedWithoutReply,
    UnexpectedReply, // off its script (CWOP's banner or login reply), or cut short
    ReplyTooLong,    // more than a service ever answers: cut off as it arrived
    Network,         // anything else on the way
};

// The most of a reply that is kept, checked as it arrives; a longer one cannot be a service's answer.
constexpr int ReplyLimitBytes = 64 * 1024;

struct TExchangeResult
{
    TExchangeFailure Failure = TExchangeFailure::None;
    int HttpStatus = 0;
    QByteArray Body; // the HTTP body, or the lines the TCP server sent
    QByteArray RetryAfterHeader;
    QByteArray LocationHeader; // where a redirect points
    // Qt's error code where the failure was the network's, for the message.
    int NetworkErrorCode = 0;
    // What the exchange found out about a failure, in Russian (the certificate it refused).
    QString FailureDetail;
};

class TExchange
{
public:
    using TDone = std::function<void(const TExchangeResult&)>;
    virtual ~TExchange() = default;
    // `done` runs exactly once, later, from the event loop.
    virtual void Send(const TOutgoingRequest& request, TDone done) = 0;
};

} // namespace publish
