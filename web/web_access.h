// Who may read the web page: this computer always; other computers of the home network with the
// access code, given once as ?code= and then kept by the browser as a cookie. The cookie carries a
// digest of the code, never the code itself; every comparison takes the same time whatever matches.
#pragma once

#include "web/web_settings.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <deque>
#include <map>

namespace web {

inline constexpr char AccessCookieName[] = "meteo_access";

// A loopback address, an IPv4 one written as IPv6 (::ffff:127.0.0.1) included.
bool IsLoopbackAddress(const QHostAddress& address);
// Whether a request from `peer` must show the code.
bool NeedsCode(const TWebSettings& settings, const QHostAddress& peer);
// The cookie's value for a code: a digest that opens the page but does not give the code away.
QByteArray AccessToken(const QString& code);
// Equal in a time that does not depend on where they differ (both are hashed first).
bool SameSecret(const QByteArray& given, const QByteArray& expected);
// The value of the cookie `name` in a Cookie header; empty when absent.
QByteArray CookieValue(const QByteArray& cookieHeader, const QByteArray& name);
// The Set-Cookie header's value that keeps the code's token for a year.
QByteArray AccessCookie(const QString& code);

// Wrong codes from one address: past a few, that address is refused for a while, so the code cannot
// be guessed by trying, however many tries a client could make.
class TCodeAttempts
{
public:
    static constexpr int MaxWrong = 10;
    static constexpr qint64 WindowMs = 10 * 60 * 1000;

    // Whether `peer` may try a code now (`nowMs`: a monotonic clock).
    bool Allowed(const QHostAddress& peer, qint64 nowMs);
    void Wrong(const QHostAddress& peer, qint64 nowMs);

private:
    // Each address's wrong tries within the window, oldest first.
    std::map<QString, std::deque<qint64>> FWrong;
};

} // namespace web
