// The exchange over the real network; see network_exchange.h.
#include "publish/networks/network_exchange.h"

#include "publish/networks/software_identity.h"
#include "publish/networks/tcp_dialogue.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>

namespace publish {

namespace {

TExchangeFailure FailureOf(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return TExchangeFailure::ConnectionRefused;
    case QNetworkReply::HostNotFoundError:
        return TExchangeFailure::HostNotFound;
    case QNetworkReply::TimeoutError:
        return TExchangeFailure::TimedOut;
    case QNetworkReply::RemoteHostClosedError:
        return TExchangeFailure::ClosedWithoutReply;
    case QNetworkReply::SslHandshakeFailedError:
        return TExchangeFailure::Tls;
    default:
        return TExchangeFailure::Network;
    }
}

} // namespace

TNetworkExchange::TNetworkExchange(int timeoutMs, QObject* parent)
    : QObject(parent)
    , FManager(new QNetworkAccessManager(this))
    , FTimeoutMs(timeoutMs)
{
}

void TNetworkExchange::Send(const TOutgoingRequest& request, TDone done)
{
    if (request.Transport == TTransport::HttpGet)
        SendHttp(request, std::move(done));
    else
        TTcpDialogue::Start(request, FTimeoutMs, std::move(done));
}

void TNetworkExchange::SendHttp(const TOutgoingRequest& request, TDone done)
{
    QNetworkRequest message(request.Url);
    message.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
    message.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    for (const auto& [name, value] : request.Headers)
        message.setRawHeader(name, value);
    QNetworkReply* reply = FManager->get(message);

    // Why the reply was cut short, when it was the program that cut it.
    auto cut = std::make_shared<TExchangeFailure>(TExchangeFailure::None);
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply, [reply, cut] {
        *cut = TExchangeFailure::TimedOut;
        reply->abort();
    });
    timer->start(FTimeoutMs);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, cut](qint64 received, qint64) {
        if (received > ReplyLimitBytes && *cut == TExchangeFailure::None) {
            *cut = TExchangeFailure::UnexpectedReply;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, cut, done = std::move(done)] {
        reply->deleteLater();
        TExchangeResult result;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (*cut != TExchangeFailure::None) {
            result.Failure = *cut;
        } else if (status.isValid()) {
            // The server answered; whatever it said is for the service's rules to judge.
            result.HttpStatus = status.toInt();
            result.Body = reply->read(ReplyLimitBytes);
            result.RetryAfterHeader = reply->rawHeader("Retry-After");
        } else {
            result.Failure = FailureOf(reply->error());
            result.NetworkErrorCode = static_cast<int>(reply->error());
        }
        done(result);
    });
}

} // namespace publish
