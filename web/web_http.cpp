#include "web/web_http.h"

#include <QJsonDocument>

namespace web {
namespace {

QByteArray StatusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Internal Server Error";
    }
}

QByteArray CommonHeaders()
{
    // The pages load their scripts and styles from here alone; the code's cookie and the readings
    // are no one's cache entry.
    return "Content-Security-Policy: default-src 'self'\r\n"
           "X-Content-Type-Options: nosniff\r\n"
           "Referrer-Policy: no-referrer\r\n"
           "Cache-Control: no-store\r\n";
}

} // namespace

QByteArray ResponseBytes(const TWebResponse& response, bool headOnly)
{
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(response.Status) + ' ' + StatusText(response.Status) + "\r\n";
    bytes += CommonHeaders();
    if (!response.ContentType.isEmpty())
        bytes += "Content-Type: " + response.ContentType + "\r\n";
    for (const auto& [name, value] : response.Headers)
        bytes += name + ": " + value + "\r\n";
    bytes += "Content-Length: " + QByteArray::number(response.Body.size()) + "\r\nConnection: close\r\n\r\n";
    if (!headOnly)
        bytes += response.Body;
    return bytes;
}

QByteArray StreamHead()
{
    return "HTTP/1.1 200 OK\r\n" + CommonHeaders() +
        "Content-Type: text/event-stream; charset=utf-8\r\nConnection: close\r\n\r\n";
}

TWebResponse JsonResponse(const QJsonObject& object, int status)
{
    return {status, "application/json; charset=utf-8", QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

TWebResponse ErrorResponse(int status, const QString& text)
{
    return JsonResponse(QJsonObject{{QStringLiteral("error"), text}}, status);
}

TWebResponse TextResponse(const QString& text, const QByteArray& contentType)
{
    return {200, contentType, text.toUtf8(), {}};
}

} // namespace web
