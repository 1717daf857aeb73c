// What a service's reply means; see reply_verdict.h.
#include "publish/networks/reply_verdict.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <algorithm>

namespace publish {

namespace {

TVerdict Retry(const QString& reason)
{
    return {TVerdictKind::RetryLater, {}, reason};
}

TVerdict Accepted()
{
    return {TVerdictKind::Accepted, {}, {}};
}

TVerdict KeyRefused(const QString& reason = QStringLiteral("сервис не принял идентификатор станции или ключ"))
{
    return {TVerdictKind::KeyRefused, {}, reason};
}

TVerdict Garbage(const TExchangeResult& result)
{
    const QString status = result.HttpStatus ? QStringLiteral(" (HTTP %1)").arg(result.HttpStatus) : QString();
    return Retry(QStringLiteral("непонятный ответ сервиса%1: «%2»").arg(status, ReplyExcerpt(result.Body)));
}

// Redirects are not followed, as the address carries the key: the owner is told where it points,
// by the server's name alone.
TVerdict Redirected(const TExchangeResult& result)
{
    const QString host = QUrl(QString::fromLatin1(result.LocationHeader)).host();
    const QString where =
        host.isEmpty() ? QString() : QStringLiteral(" на сервер «%1»").arg(ReplyExcerpt(host.toUtf8()));
    return Retry(QStringLiteral("сервис перенаправляет запрос%1 (HTTP %2); по перенаправлениям программа не "
                                "отправляет: проверьте адрес сервиса")
                     .arg(where)
                     .arg(result.HttpStatus));
}

QString FailureReason(const TExchangeResult& result)
{
    switch (result.Failure) {
    case TExchangeFailure::TimedOut:
        return QStringLiteral("сервис не ответил вовремя");
    case TExchangeFailure::ConnectionRefused:
        return QStringLiteral("сервер отказал в соединении");
    case TExchangeFailure::HostNotFound:
        return QStringLiteral("адрес сервера не найден (нет сети или DNS не отвечает)");
    case TExchangeFailure::Tls:
        if (!result.FailureDetail.isEmpty())
            return QStringLiteral("не удалось установить защищённое соединение: %1").arg(result.FailureDetail);
        return QStringLiteral("не удалось установить защищённое соединение");
    case TExchangeFailure::ClosedWithoutReply:
        return QStringLiteral("сервер закрыл соединение, не ответив");
    case TExchangeFailure::UnexpectedReply:
        return QStringLiteral("непонятный ответ сервера: «%1»").arg(ReplyExcerpt(result.Body));
    case TExchangeFailure::ReplyTooLong:
        return QStringLiteral("сервер прислал больше %1 КБ — это не ответ сервиса; ответ прерван")
            .arg(ReplyLimitBytes / 1024);
    default:
        return QStringLiteral("ошибка сети (код %1)").arg(result.NetworkErrorCode);
    }
}

// When a 429 says to come back: Windy's JSON retry_after, else the Retry-After header (seconds or
// an HTTP date), else the default; never later than the longest wait.
QDateTime RetryTime(const TExchangeResult& result, const QDateTime& now)
{
    QDateTime at;
    const QJsonDocument json = QJsonDocument::fromJson(result.Body);
    if (json.isObject())
        at = QDateTime::fromString(json.object().value(QLatin1String("retry_after")).toString(), Qt::ISODateWithMs);
    const QByteArray header = result.RetryAfterHeader.trimmed();
    bool seconds = false;
    const qint64 delay = header.toLongLong(&seconds);
    if (!at.isValid() && seconds && delay >= 0)
        at = now.addSecs(delay);
    if (!at.isValid() && !header.isEmpty()) {
        // An HTTP date ends in "GMT", which Qt's RFC 2822 reading does not take.
        QString date = QString::fromLatin1(header);
        if (date.endsWith(QLatin1String(" GMT")))
            date = date.chopped(3) + QLatin1String("+0000");
        at = QDateTime::fromString(date, Qt::RFC2822Date);
    }
    if (!at.isValid())
        at = now.addSecs(DefaultRetryAfter.count());
    return std::clamp(at.toUTC(), now, now.addSecs(LongestRetryAfter.count()));
}

// Narodmon's error reply: one short line of text. HTML or binary is not the service speaking.
bool IsTextLine(const QByteArray& body)
{
    const QString text = QString::fromUtf8(body);
    return !text.isEmpty() && text.size() <= 200 && !text.startsWith(QLatin1Char('<')) &&
        std::none_of(text.begin(), text.end(),
                     [](QChar c) { return c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter; });
}

TVerdict NarodmonReply(const TExchangeResult& result)
{
    const QByteArray line = result.Body.trimmed();
    if (line.compare("OK", Qt::CaseInsensitive) == 0)
        return Accepted();
    if (IsTextLine(line))
        return {TVerdictKind::Dropped, {}, QStringLiteral("сервис ответил: «%1»").arg(ReplyExcerpt(line))};
    return Garbage(result);
}

// PWSweather answers 200 whatever came of it, and its success page has no fixed word: a reply is
// its error only where a line starts with "ERROR" or the word "invalid" appears.
TVerdict PwsWeatherReply(const QByteArray& body)
{
    for (const QByteArray& line : body.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith("ERROR") || trimmed.toLower().contains("invalid"))
            return KeyRefused(QStringLiteral("сервис ответил: «%1»").arg(ReplyExcerpt(trimmed)));
    }
    return Accepted();
}

bool IsJson(const QByteArray& body)
{
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError;
}

TVerdict SuccessReply(TServiceKind kind, const TExchangeResult& result)
{
    const QByteArray body = result.Body.trimmed();
    switch (kind) {
    case TServiceKind::WeatherUnderground:
        return body.toLower().startsWith("success") ? Accepted() : Garbage(result);
    case TServiceKind::PwsWeather:
        return PwsWeatherReply(body);
    case TServiceKind::Wow:
        return IsJson(body) ? Accepted() : Garbage(result);
    case TServiceKind::Windy:
        return body.isEmpty() || IsJson(body) ? Accepted() : Garbage(result);
    case TServiceKind::NarodmonHttp:
        return NarodmonReply(result);
    default:
        return Accepted(); // the owner's own server: its 2xx is its word
    }
}

TVerdict HttpReply(TServiceKind kind, const TExchangeResult& result, const QDateTime& now)
{
    const int status = result.HttpStatus;
    // Weather Underground names a wrong key in the body, with 200 as often as with 401.
    const QByteArray lower = result.Body.trimmed().toLower();
    if (kind == TServiceKind::WeatherUnderground &&
        (lower.contains("invalidpasswordid") || lower.startsWith("unauthorized")))
        return KeyRefused();
    if (status == 401 || status == 403)
        return KeyRefused();
    if (status == 429) {
        // WOW's 429 without a time is a reading it already has.
        if (kind == TServiceKind::Wow && result.RetryAfterHeader.isEmpty())
            return Accepted();
        const QDateTime at = RetryTime(result, now);
        return {TVerdictKind::RetryAt, at, QStringLiteral("сервис просит отправлять реже")};
    }
    if (status == 409 && kind == TServiceKind::Windy)
        return Accepted(); // already stored
    if (status >= 500 && status <= 599)
        return Retry(QStringLiteral("ошибка сервера (HTTP %1)").arg(status));
    if (status >= 200 && status <= 299)
        return SuccessReply(kind, result);
    if (status >= 300 && status <= 399)
        return Redirected(result);
    if (status >= 400 && status <= 499)
        return {TVerdictKind::Refused,
                {},
                QStringLiteral("сервис отклонил запрос (HTTP %1): «%2»").arg(status).arg(ReplyExcerpt(result.Body))};
    return Garbage(result);
}

} // namespace

TVerdict ClassifyReply(TServiceKind kind, const TExchangeResult& result, const QDateTime& now)
{
    if (result.Failure != TExchangeFailure::None)
        return Retry(FailureReason(result));
    switch (kind) {
    case TServiceKind::NarodmonTcp:
        return NarodmonReply(result);
    case TServiceKind::Cwop:
        return Accepted(); // the packet went after the login reply; APRS-IS acknowledges nothing more
    default:
        return HttpReply(kind, result, now);
    }
}

QString ReplyExcerpt(const QByteArray& body)
{
    QString text = QString::fromUtf8(body.trimmed()).section(QLatin1Char('\n'), 0, 0).trimmed();
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return text.size() > 80 ? text.left(80) + QStringLiteral("…") : text;
}

} // namespace publish
