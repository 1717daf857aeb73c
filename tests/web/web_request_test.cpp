// The request reader: heads good and bad, each read by the pure parse and then sent to a running
// server, which must refuse the same heads with the same status and route the good ones.
#include "tests/web/web_client.h"
#include "web/web_request.h"

#include <gtest/gtest.h>

namespace {

// A head with NUL bytes in it, as written.
template <std::size_t N>
QByteArray Bytes(const char (&text)[N])
{
    return QByteArray(text, static_cast<qsizetype>(N) - 1);
}

TEST(WebRequest, HeadsAreReadStrictlyAndTheServerAgrees)
{
    struct TCase
    {
        const char* What;
        QByteArray Head;
        int Status; // of the parse: 0 when read
        const char* Method = "";
        QString Path = {};
        const char* Key = ""; // a query item or (with ':') a header looked up in another case
        QString Value = {};
        int ServerStatus = 0;
        QByteArray After = "\r\n\r\n"; // what follows the head on the socket
    };
    const QString none;
    const TCase cases[] = {
        {"a page", Bytes("GET / HTTP/1.1\r\nHost: 127.0.0.1"), 0, "GET", "/", "host:", "127.0.0.1", 200},
        {"HEAD, headers in any case, blanks around values",
         Bytes("HEAD /api/v1/current?x=1 HTTP/1.0\r\nHost: a\r\n"
               "X-Thing: \t spaced  value \t\r\nCOOKIE: a=b"),
         0, "HEAD", "/api/v1/current", "x-thing:", "spaced  value", 200},
        {"a decoded path and query",
         Bytes("GET /%D0%BF%D1%83%D1%82%D1%8C/a%2Fb?q=%D1%81%D0%BE%D1%81%D0%BD%D0%B0%2042 HTTP/1.1"), 0, "GET",
         QStringLiteral("/путь/a/b"), "q", QStringLiteral("сосна 42"), 404},
        {"no Host", Bytes("GET /api/v1/current HTTP/1.1"), 0, "GET", "/api/v1/current", "host:", none, 200},
        {"a body, its length said twice alike",
         Bytes("POST /api/v1/current HTTP/1.1\r\nContent-Length: 2\r\ncontent-length: 2"), 0, "POST", "/api/v1/current",
         "content-length:", "2", 405, "\r\n\r\n{}"},
        {"a method in lower case is another method", Bytes("get / HTTP/1.1"), 0, "get", "/", "", none, 405},
        {".. is left as it is", Bytes("GET /archive/../records HTTP/1.1"), 0, "GET", "/archive/../records", "", none,
         404},
        {"characters a typed address keeps", Bytes("GET /api/v1/hours?from={x}|y^ HTTP/1.1"), 0, "GET", "/api/v1/hours",
         "from", "{x}|y^", 400},
        {"a length past any number", Bytes("GET / HTTP/1.1\r\nContent-Length: 99999999999999999999999"), 0, "GET", "/",
         "", none, 413},

        {"nothing", Bytes(""), 400},
        {"an empty line first", Bytes("\r\nGET / HTTP/1.1"), 400},
        {"no version", Bytes("GET /"), 400},
        {"two spaces", Bytes("GET  / HTTP/1.1"), 400},
        {"a space in the target", Bytes("GET /a b HTTP/1.1"), 400},
        {"a space after the version", Bytes("GET / HTTP/1.1 "), 400},
        {"a method that is no token", Bytes("G(T / HTTP/1.1"), 400},
        {"absolute form", Bytes("GET http://a/ HTTP/1.1"), 400},
        {"asterisk form", Bytes("OPTIONS * HTTP/1.1"), 400},
        {"a broken escape", Bytes("GET /%4g HTTP/1.1"), 400},
        {"an escape cut short", Bytes("GET /a%4 HTTP/1.1"), 400},
        {"a fragment", Bytes("GET /#top HTTP/1.1"), 400},
        {"raw UTF-8 in the target", Bytes("GET /путь HTTP/1.1"), 400},
        {"a version in lower case", Bytes("GET / http/1.1"), 400},
        {"a version of three digits", Bytes("GET / HTTP/1.10"), 400},
        {"HTTP/2.0", Bytes("GET / HTTP/2.0"), 505},
        {"HTTP/1.2", Bytes("GET / HTTP/1.2"), 505},
        {"a space before the colon", Bytes("GET / HTTP/1.1\r\nHost : a"), 400},
        {"no colon", Bytes("GET / HTTP/1.1\r\nHost"), 400},
        {"no name", Bytes("GET / HTTP/1.1\r\n: a"), 400},
        {"a folded header", Bytes("GET / HTTP/1.1\r\nX-A: a\r\n b"), 400},
        {"a NUL in a value", Bytes("GET / HTTP/1.1\r\nX-A: a\0b"), 400},
        {"a NUL in the target", Bytes("GET /\0 HTTP/1.1"), 400},
        {"a control character", Bytes("GET / HTTP/1.1\r\nX-A: a\x01z"), 400},
        {"DEL", Bytes("GET / HTTP/1.1\r\nX-A: a\x7f"), 400},
        {"a bare CR", Bytes("GET / HTTP/1.1\r\nX-A: a\rb"), 400},
        // Without the blank line of CRLFs the server must see the bare LF at once, not time out.
        {"bare LF line ends", Bytes("GET / HTTP/1.1\nHost: a"), 400, "", none, "", none, 400, "\n\n"},
        {"two Hosts", Bytes("GET / HTTP/1.1\r\nHost: a\r\nHost: b"), 400},
        {"two lengths", Bytes("GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2"), 400},
        {"a list of lengths", Bytes("GET / HTTP/1.1\r\nContent-Length: 2, 2"), 400},
        {"a negative length", Bytes("GET / HTTP/1.1\r\nContent-Length: -1"), 400},
    };

    web::TWebSettings settings = webtest::TestSettings();
    settings.Limits.RequestTimeoutMs = 60'000; // longer than a client waits: a 408 is no answer here
    web::TWebServer server(QStringLiteral("no-archive.sqlite"));
    const web::TWebStartResult started = server.Start(settings);
    ASSERT_TRUE(started.Ok);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const web::TParsedHead parsed = web::ParseRequestHead(c.Head);
        EXPECT_EQ(parsed.Status, c.Status);
        if (c.Status == 0) {
            EXPECT_EQ(parsed.Request.Method, c.Method);
            EXPECT_EQ(parsed.Request.Path, c.Path);
            const QByteArray key = c.Key;
            if (key.endsWith(':')) {
                EXPECT_EQ(parsed.Request.Header(key.chopped(1)), c.Value.toUtf8());
            } else if (!key.isEmpty()) {
                EXPECT_EQ(parsed.Request.Query.queryItemValue(c.Key, QUrl::FullyDecoded), c.Value);
            }
        }
        const int serverStatus = c.Status == 0 ? c.ServerStatus : c.Status;
        EXPECT_EQ(webtest::Ask(started.Port, c.Head + c.After).Status, serverStatus);
    }
}

} // namespace
