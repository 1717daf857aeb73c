#include "web/web_request.h"

#include <QByteArrayView>
#include <algorithm>
#include <limits>

namespace web {
namespace {

// Bytes past ASCII are negative as char: none of these takes them.
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsTokenChar(char c)
{
    if (IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

// A method or a header's name.
bool IsToken(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

// An origin-form target: a path from '/' and perhaps a query. Visible ASCII only, no '#' (a fragment
// is never sent), every '%' the start of two hex digits: decoding cannot then be read two ways. The
// characters a browser leaves as they are in a typed address ('|', '{', '^'...) pass.
bool IsOriginTarget(QByteArrayView target)
{
    if (target.isEmpty() || target.front() != '/')
        return false;
    for (qsizetype i = 0; i < target.size(); ++i) {
        const auto c = static_cast<unsigned char>(target[i]);
        if (c <= ' ' || c >= 0x7F || c == '#')
            return false;
        if (c == '%' && !(i + 2 < target.size() && IsHexDigit(target[i + 1]) && IsHexDigit(target[i + 2])))
            return false;
    }
    return true;
}

// A header's value: visible characters, blanks and bytes past ASCII (a name in a User-Agent); no
// control character, NUL and CR included.
bool IsFieldValue(QByteArrayView value)
{
    return std::all_of(value.begin(), value.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c == '\t' || (c >= ' ' && c != 0x7F);
    });
}

QByteArray TrimBlanks(QByteArrayView value)
{
    while (!value.isEmpty() && (value.front() == ' ' || value.front() == '\t'))
        value = value.sliced(1);
    while (!value.isEmpty() && (value.back() == ' ' || value.back() == '\t'))
        value.chop(1);
    return value.toByteArray();
}

// 1*DIGIT, held at the largest length past it (which no limit lets through); -1 when not digits.
std::int64_t ContentLength(QByteArrayView value)
{
    if (value.isEmpty() || !std::all_of(value.begin(), value.end(), IsDigit))
        return -1;
    constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
    std::int64_t length = 0;
    for (const char c : value) {
        const int digit = c - '0';
        if (length > (most - digit) / 10)
            return most;
        length = length * 10 + digit;
    }
    return length;
}

// 0, 400 or 505 for "HTTP/x.y".
int VersionStatus(QByteArrayView version)
{
    if (version.size() != 8 || !version.startsWith("HTTP/") || !IsDigit(version[5]) || version[6] != '.' ||
        !IsDigit(version[7]))
        return 400;
    return version == "HTTP/1.1" || version == "HTTP/1.0" ? 0 : 505;
}

} // namespace

QByteArray TWebRequest::Header(const QByteArray& name) const
{
    for (const auto& [key, value] : Headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

bool TWebRequest::HasHeader(const QByteArray& name) const
{
    return std::any_of(Headers.begin(), Headers.end(),
                       [&](const auto& header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
}

TParsedHead ParseRequestHead(const QByteArray& head)
{
    // Lines end in CRLF and nothing else. A bare LF is refused rather than taken as a line's end:
    // a proxy before this server could read the same bytes as one line where this reads two, and
    // the browsers and tools that reach this page all send CRLF. A bare CR is refused likewise.
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const bool last = i + 1 == lines.size();
        const qsizetype crs = line.count('\r');
        if (last ? crs != 0 : (crs != 1 || !line.endsWith('\r')))
            return {400, {}};
    }

    TParsedHead parsed;
    TWebRequest& request = parsed.Request;
    const QByteArrayView requestLine = QByteArrayView(lines.front()).chopped(lines.size() > 1 ? 1 : 0);
    const qsizetype firstSpace = requestLine.indexOf(' ');
    const qsizetype secondSpace = firstSpace < 0 ? -1 : requestLine.indexOf(' ', firstSpace + 1);
    if (secondSpace < 0)
        return {400, {}};
    const QByteArrayView method = requestLine.first(firstSpace);
    const QByteArrayView target = requestLine.sliced(firstSpace + 1, secondSpace - firstSpace - 1);
    if (!IsToken(method) || !IsOriginTarget(target))
        return {400, {}};
    // The version is checked last: a line that is no request at all is malformed, whatever it ends with.
    if (const int status = VersionStatus(requestLine.sliced(secondSpace + 1)); status != 0)
        return {status, {}};
    request.Method = method.toByteArray();
    const qsizetype question = target.indexOf('?');
    const QByteArrayView path = question < 0 ? target : target.first(question);
    request.Path = QString::fromUtf8(QByteArray::fromPercentEncoding(path.toByteArray()));
    if (question >= 0)
        request.Query = QUrlQuery(QString::fromLatin1(target.sliced(question + 1)));

    int hosts = 0;
    bool lengthSeen = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayView line = QByteArrayView(lines[i]).chopped(i + 1 < lines.size() ? 1 : 0);
        // A line that starts with a blank continues the one before (obsolete folding): refused, as
        // is an empty line, which the server never leaves inside a head.
        if (line.isEmpty() || line.front() == ' ' || line.front() == '\t')
            return {400, {}};
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || !IsToken(line.first(colon)) || !IsFieldValue(line.sliced(colon + 1)))
            return {400, {}};
        QByteArray name = line.first(colon).toByteArray();
        QByteArray value = TrimBlanks(line.sliced(colon + 1));
        if (name.compare("Host", Qt::CaseInsensitive) == 0 && ++hosts > 1)
            return {400, {}};
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            // Two lengths that differ leave the body's end in doubt; the same one twice does not.
            const std::int64_t length = ContentLength(value);
            if (length < 0 || (lengthSeen && length != request.BodyLength))
                return {400, {}};
            request.BodyLength = length;
            lengthSeen = true;
        }
        request.Headers.emplace_back(std::move(name), std::move(value));
    }
    return parsed;
}

} // namespace web
