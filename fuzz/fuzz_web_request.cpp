// The web page's request reader on any bytes: it answers a status or a request, never crashes, and a
// request it takes holds only what its grammar lets through. The headers it read, written back as a
// head of their own, read the same again; the same head with one CRLF made a bare LF is refused.
#include "web/web_request.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace web;

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_web_request: %s\n", what);
        std::abort();
    }
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray head(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TParsedHead parsed = ParseRequestHead(head);
    Require(parsed.Status == 0 || parsed.Status == 400 || parsed.Status == 505, "a status the reader never gives");
    if (parsed.Status != 0)
        return 0;
    const TWebRequest& request = parsed.Request;

    // Nothing a taken head holds is a control byte, but the CRLFs between its lines and tabs.
    const QByteArray lines = QByteArray(head).replace("\r\n", "");
    for (const char c : lines) {
        const auto byte = static_cast<unsigned char>(c);
        Require(byte == '\t' || (byte >= ' ' && byte != 0x7F), "a control byte in a head taken");
    }
    Require(!request.Method.isEmpty() && head.startsWith(request.Method + ' '), "the method is not the line's start");
    Require(request.Path.startsWith(u'/'), "a path not from /");
    Require(request.BodyLength >= 0, "a negative body length");
    Require(request.Peer.isNull() && request.Body.isEmpty(), "the server's fields filled by the reader");

    QByteArray again = "GET / HTTP/1.1";
    for (const auto& [name, value] : request.Headers) {
        Require(!name.isEmpty() && !name.contains(' ') && !name.contains(':'), "a name that is no token");
        Require(value.isEmpty() || (!IsBlank(value.front()) && !IsBlank(value.back())), "blanks around a value");
        Require(request.HasHeader(name.toLower()) && request.HasHeader(name.toUpper()), "a header not found by name");
        again += "\r\n" + name + ": " + value;
    }
    const TParsedHead reread = ParseRequestHead(again);
    Require(reread.Status == 0 && reread.Request.Headers == request.Headers, "headers read differently again");
    Require(reread.Request.BodyLength == request.BodyLength, "the body's length read differently again");

    if (const qsizetype crlf = head.indexOf("\r\n"); crlf >= 0)
        Require(ParseRequestHead(QByteArray(head).remove(crlf, 1)).Status == 400, "a bare LF taken");
    return 0;
}
