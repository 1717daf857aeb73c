// Who may read the web page: this computer always; other computers of the home network with the
// access code, given once as ?code= and then kept by the browser as a cookie. The cookie carries a
// digest of the code, never the code itself; every comparison takes the same time whatever matches.
#pragma once

#include "web/web_settings.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

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

} // namespace web
