// A real browser for the web page's tests and benchmark: Debian's chromium, headless, in a profile
// folder of its own, driven over its DevTools protocol (one WebSocket, the page's session on it).
// It opens pages, evaluates JavaScript in them, waits in the page for a condition, takes pictures
// and collects what the page's console would have shown as errors.
#pragma once

#include "tests/support/child_program.h"
#include "tests/support/test_support.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QTemporaryDir>
#include <QWebSocket>
#include <map>
#include <memory>
#include <optional>

namespace testsupport {

// The page's size in CSS pixels. A phone's is laid out as on a touch screen: its viewport meta tag
// counts and the screen reports itself as mobile.
struct TViewport
{
    const char* Name;
    int Width;
    int Height;
    bool Phone;
};

class THeadlessBrowser
{
public:
    // Why no browser can run on this machine; empty when chromium is installed.
    static QString Unavailable();

    explicit THeadlessBrowser(const TViewport& viewport);
    ~THeadlessBrowser();
    THeadlessBrowser(const THeadlessBrowser&) = delete;
    THeadlessBrowser& operator=(const THeadlessBrowser&) = delete;

    // Attached to its page; Problem() says why not.
    bool Ready() const { return !FSession.isEmpty(); }
    // What went wrong last: the start, a navigation, an expression that threw.
    const QString& Problem() const { return FProblem; }

    // Opens `url` and waits for its load event: the milliseconds from the navigation's start to that
    // event as the page's own clock measured them; none when it did not load.
    std::optional<double> Open(const QString& url);
    // The value of a JavaScript expression (a promise is awaited); undefined when it threw.
    QJsonValue Evaluate(const QString& expression);
    // Waits until `expression` holds in the page, checked again at every change of the document and
    // every 20 ms; true as soon as it does, false after `timeoutMs`. A navigation on the way (a form
    // sent, a redirect) is waited out and the check goes on in the new page.
    bool WaitUntil(const QString& expression, int timeoutMs = EventDeadlineMs);
    // The whole page, beyond the viewport too, as a PNG file.
    bool SaveScreenshot(const QString& path);
    // The page as the browser shows it where the system prefers a dark look (or not).
    bool PreferDark(bool dark);
    // What the console showed as errors since the last call: uncaught exceptions, console.error,
    // failed or blocked loads.
    QStringList TakeErrors();

private:
    bool Start(const TViewport& viewport);
    bool Attach(const TViewport& viewport);
    // Sends a command (to the page's session unless `toBrowser`) and waits for its answer: the
    // result, none when it failed (Problem says why).
    std::optional<QJsonObject> Call(const QString& method, const QJsonObject& params = {}, bool toBrowser = false,
                                    int timeoutMs = EventDeadlineMs);
    void Receive(const QString& message);
    void TakeEvent(const QString& method, const QJsonObject& params);

    QTemporaryDir FProfile;
    std::unique_ptr<TChildProgram> FChromium;
    QWebSocket FSocket;
    QString FSession;
    int FLastId = 0;
    std::map<int, QJsonObject> FAnswers;
    int FLoads = 0; // load events of the page's main frame
    QStringList FErrors;
    QString FProblem;
};

} // namespace testsupport
