// What a service's reply means for the queue, by each service's own rules: accepted; the key
// refused (the service stops until the owner changes it); the request refused for another reason
// (stops as well: sending it again would only be refused again); readings rejected for good
// (narodmon's error text: they are not sent again); or try again, at a time the service named or
// after a back-off. A reply that cannot be understood is never taken for a success.
#pragma once

#include "publish/networks/exchange.h"
#include "publish/networks/service_catalog.h"

#include <QDateTime>
#include <QString>
#include <chrono>

namespace publish {

enum class TVerdictKind { Accepted, KeyRefused, Refused, Dropped, RetryAt, RetryLater };

struct TVerdict
{
    TVerdictKind Kind = TVerdictKind::RetryLater;
    QDateTime RetryAt; // RetryAt only
    // Why, in Russian, for the owner: "сервер отказал в соединении", "ошибка сервера (HTTP 503)".
    QString Reason;
};

// PWSweather answers 200 whatever happened; these texts in the body mean it took the reading.
inline constexpr const char* PwsWeatherSuccessMarker = "success";
// The wait after a 429 that names no time.
inline constexpr std::chrono::seconds DefaultRetryAfter{5 * 60};
// The longest wait a service may ask for; a later time is taken for a mistake.
inline constexpr std::chrono::seconds LongestRetryAfter{24 * 60 * 60};

TVerdict ClassifyReply(TServiceKind kind, const TExchangeResult& result, const QDateTime& now);

// At most 80 characters of the first line of a reply, control characters replaced: for quoting
// what a service said.
QString ReplyExcerpt(const QByteArray& body);

} // namespace publish
