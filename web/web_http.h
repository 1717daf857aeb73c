// The answers of the web page's server as bytes on the socket: the status line, the headers every
// answer carries (no script or style from elsewhere, no guessing of types, no referrer, nothing kept
// in a cache) and the body. One request per connection: every answer closes it.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <utility>
#include <vector>

namespace web {

struct TWebResponse
{
    int Status = 200;
    QByteArray ContentType;
    QByteArray Body;
    std::vector<std::pair<QByteArray, QByteArray>> Headers; // beyond the ones every answer has
};

// The whole answer; the body left out for a HEAD request (its length still said).
QByteArray ResponseBytes(const TWebResponse& response, bool headOnly);
// The head of the live stream: it stays open, without a length.
QByteArray StreamHead();

TWebResponse JsonResponse(const QJsonObject& object, int status = 200);
// A problem with the request: `text` (Russian) as JSON {"error": text}.
TWebResponse ErrorResponse(int status, const QString& text);
TWebResponse TextResponse(const QString& text, const QByteArray& contentType = "text/plain; charset=utf-8");

} // namespace web
