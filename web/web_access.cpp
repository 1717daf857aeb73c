#include "web/web_access.h"

#include <QCryptographicHash>
#include <cstddef>

namespace web {

bool IsLoopbackAddress(const QHostAddress& address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    return isIpv4 ? QHostAddress(ipv4).isLoopback() : address.isLoopback();
}

bool NeedsCode(const TWebSettings& settings, const QHostAddress& peer)
{
    if (settings.Scope == TWebScope::ThisComputer)
        return false; // only this computer can reach the port
    bool isIpv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIpv4);
    const QHostAddress plain = isIpv4 ? QHostAddress(ipv4) : peer;
    return settings.IsThisComputer ? !settings.IsThisComputer(plain) : !IsLoopbackAddress(plain);
}

QByteArray AccessToken(const QString& code)
{
    // A fixed prefix: the digest stands for this program's code, so it is no plain hash of it.
    return QCryptographicHash::hash("meteostation web access\n" + code.toUtf8(), QCryptographicHash::Sha256).toHex();
}

bool SameSecret(const QByteArray& given, const QByteArray& expected)
{
    // Digests of equal length: the loop's time says nothing of the texts' lengths or contents.
    const QByteArray a = QCryptographicHash::hash(given, QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(expected, QCryptographicHash::Sha256);
    unsigned difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned>(static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]));
    return difference == 0;
}

QByteArray CookieValue(const QByteArray& cookieHeader, const QByteArray& name)
{
    for (const QByteArray& pair : cookieHeader.split(';')) {
        const QByteArray trimmed = pair.trimmed();
        const qsizetype equals = trimmed.indexOf('=');
        if (equals > 0 && trimmed.left(equals) == name)
            return trimmed.mid(equals + 1);
    }
    return {};
}

QByteArray AccessCookie(const QString& code)
{
    return QByteArray(AccessCookieName) + '=' + AccessToken(code) +
        "; Path=/; Max-Age=31536000; HttpOnly; SameSite=Strict";
}

bool TCodeAttempts::Allowed(const QHostAddress& peer, qint64 nowMs)
{
    // Old tries of every address go, so the map stays as small as the home network.
    for (auto it = FWrong.begin(); it != FWrong.end();) {
        std::deque<qint64>& tries = it->second;
        while (!tries.empty() && nowMs - tries.front() >= WindowMs)
            tries.pop_front();
        it = tries.empty() ? FWrong.erase(it) : std::next(it);
    }
    const auto it = FWrong.find(peer.toString());
    return it == FWrong.end() || it->second.size() < static_cast<std::size_t>(MaxWrong);
}

void TCodeAttempts::Wrong(const QHostAddress& peer, qint64 nowMs)
{
    FWrong[peer.toString()].push_back(nowMs);
}

} // namespace web
