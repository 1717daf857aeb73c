// A request's head as the web page's server reads it: the request line and the headers, up to and
// without the blank line that ends them, held strictly to HTTP/1.1's grammar. What does not fit is
// refused with a status rather than guessed at, so no two readers of the same bytes could disagree
// on what was asked. Pure: no sockets, no clock; the server fills in the peer and the body.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QUrlQuery>
#include <cstdint>
#include <utility>
#include <vector>

namespace web {

struct TWebRequest
{
    QByteArray Method; // as sent: methods are case-sensitive, "get" is not GET
    QString Path;      // the target's path, every %XX decoded (UTF-8); always starts with '/'
    QUrlQuery Query;   // the target's query as sent, for QUrlQuery to decode
    std::vector<std::pair<QByteArray, QByteArray>> Headers; // in order; values without surrounding blanks
    std::int64_t BodyLength = 0;                            // what Content-Length declares (held at INT64_MAX past it)
    QHostAddress Peer;                                      // the server's to fill in
    QByteArray Body; // the server's to fill in: the declared body, which no route reads

    // The first header of that name, whatever its case; empty when there is none.
    QByteArray Header(const QByteArray& name) const;
    bool HasHeader(const QByteArray& name) const;
};

struct TParsedHead
{
    int Status = 0; // 0: Request is the request; 400 malformed, 505 an HTTP version other than 1.0 or 1.1
    TWebRequest Request;
};

// `head`: the bytes before the blank line (the last line without its CRLF).
TParsedHead ParseRequestHead(const QByteArray& head);

} // namespace web
