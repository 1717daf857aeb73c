// The headless chromium of the web page's tests, over its DevTools protocol.
#include "tests/support/headless_browser.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>
#include <utility>

namespace testsupport {
namespace {

const QString ChromiumPath = QStringLiteral("/usr/bin/chromium");
// A first start on a busy machine unpacks and loads a lot.
constexpr int StartDeadlineMs = 30'000;

// Everything that would reach past this machine is off: no updates, reports or lookups, and no name
// resolves but the loopback's, so the page talks to the test's server alone.
QStringList Arguments(const QString& profile, const TViewport& viewport)
{
    return {QStringLiteral("--headless=new"),
            QStringLiteral("--remote-debugging-port=0"),
            QStringLiteral("--user-data-dir=") + profile,
            QStringLiteral("--no-sandbox"),
            QStringLiteral("--window-size=%1,%2").arg(viewport.Width).arg(viewport.Height),
            QStringLiteral("--no-first-run"),
            QStringLiteral("--no-default-browser-check"),
            QStringLiteral("--disable-extensions"),
            QStringLiteral("--disable-background-networking"),
            QStringLiteral("--disable-component-update"),
            QStringLiteral("--disable-domain-reliability"),
            QStringLiteral("--disable-sync"),
            QStringLiteral("--no-pings"),
            QStringLiteral("--password-store=basic"),
            QStringLiteral("--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1"),
            QStringLiteral("about:blank")};
}

QString ExceptionText(const QJsonObject& details)
{
    const QString description = details[QStringLiteral("exception")][QStringLiteral("description")].toString();
    return description.isEmpty() ? details[QStringLiteral("text")].toString() : description;
}

} // namespace

QString THeadlessBrowser::Unavailable()
{
    if (QFileInfo(ChromiumPath).isExecutable())
        return {};
    return ChromiumPath + QStringLiteral(" is not installed (scripts/install-deps test installs it)");
}

THeadlessBrowser::THeadlessBrowser(const TViewport& viewport)
{
    QObject::connect(&FSocket, &QWebSocket::textMessageReceived, [this](const QString& text) { Receive(text); });
    if (Start(viewport) && !Attach(viewport))
        FSession.clear();
}

THeadlessBrowser::~THeadlessBrowser()
{
    if (FSocket.state() == QAbstractSocket::ConnectedState) {
        // Closed in order, so that its helper processes go with it; killed below if it does not.
        FSocket.sendTextMessage(QStringLiteral(R"({"id":0,"method":"Browser.close"})"));
        FSocket.flush();
        FChromium->Wait(EventDeadlineMs);
    }
    FSocket.abort();
    FChromium.reset();
}

bool THeadlessBrowser::Start(const TViewport& viewport)
{
    if (!FProfile.isValid()) {
        FProblem = QStringLiteral("no folder for the browser's profile");
        return false;
    }
    FChromium = std::make_unique<TChildProgram>(ChromiumPath, Arguments(FProfile.path(), viewport));
    // The browser writes the port it took and its own socket's path there once it listens.
    const QString portFile = FProfile.filePath(QStringLiteral("DevToolsActivePort"));
    QStringList lines;
    PumpUntil(
        [&] {
            lines = QString::fromLatin1(ReadFileBytes(portFile)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            return lines.size() >= 2 || !FChromium->Running();
        },
        StartDeadlineMs);
    if (lines.size() < 2) {
        FProblem = QStringLiteral("chromium did not start: ") + QString::fromLocal8Bit(FChromium->Output().right(2000));
        return false;
    }
    FSocket.open(QUrl(QStringLiteral("ws://127.0.0.1:") + lines[0] + lines[1]));
    if (!PumpUntil([this] { return FSocket.state() == QAbstractSocket::ConnectedState; })) {
        FProblem = QStringLiteral("no DevTools connection: ") + FSocket.errorString();
        return false;
    }
    return true;
}

bool THeadlessBrowser::Attach(const TViewport& viewport)
{
    const std::optional<QJsonObject> targets = Call(QStringLiteral("Target.getTargets"), {}, true);
    if (!targets)
        return false;
    QString page;
    for (const QJsonValue target : (*targets)[QStringLiteral("targetInfos")].toArray())
        if (target[QStringLiteral("type")].toString() == QLatin1String("page"))
            page = target[QStringLiteral("targetId")].toString();
    const std::optional<QJsonObject> attached =
        Call(QStringLiteral("Target.attachToTarget"),
             {{QStringLiteral("targetId"), page}, {QStringLiteral("flatten"), true}}, true);
    if (!attached)
        return false;
    FSession = (*attached)[QStringLiteral("sessionId")].toString();
    const QJsonObject metrics{{QStringLiteral("width"), viewport.Width},
                              {QStringLiteral("height"), viewport.Height},
                              {QStringLiteral("deviceScaleFactor"), 1},
                              {QStringLiteral("mobile"), viewport.Phone}};
    return Call(QStringLiteral("Page.enable")) && Call(QStringLiteral("Runtime.enable")) &&
        Call(QStringLiteral("Log.enable")) && Call(QStringLiteral("Emulation.setDeviceMetricsOverride"), metrics) &&
        Call(QStringLiteral("Emulation.setTouchEmulationEnabled"), {{QStringLiteral("enabled"), viewport.Phone}});
}

std::optional<QJsonObject> THeadlessBrowser::Call(const QString& method, const QJsonObject& params, bool toBrowser,
                                                  int timeoutMs)
{
    const int id = ++FLastId;
    QJsonObject command{{QStringLiteral("id"), id}, {QStringLiteral("method"), method}};
    if (!params.isEmpty())
        command[QStringLiteral("params")] = params;
    if (!toBrowser)
        command[QStringLiteral("sessionId")] = FSession;
    FSocket.sendTextMessage(QString::fromUtf8(QJsonDocument(command).toJson(QJsonDocument::Compact)));
    PumpUntil([&] { return FAnswers.contains(id) || FSocket.state() != QAbstractSocket::ConnectedState; }, timeoutMs);
    const auto answer = FAnswers.find(id);
    if (answer == FAnswers.end()) {
        FProblem = method + QStringLiteral(": no answer from the browser");
        return std::nullopt;
    }
    const QJsonObject reply = answer->second;
    FAnswers.erase(answer);
    if (reply.contains(QStringLiteral("error"))) {
        FProblem = method + QStringLiteral(": ") + reply[QStringLiteral("error")][QStringLiteral("message")].toString();
        return std::nullopt;
    }
    return reply[QStringLiteral("result")].toObject();
}

void THeadlessBrowser::Receive(const QString& message)
{
    const QJsonObject json = QJsonDocument::fromJson(message.toUtf8()).object();
    if (json.contains(QStringLiteral("id")))
        FAnswers[json[QStringLiteral("id")].toInt()] = json;
    else
        TakeEvent(json[QStringLiteral("method")].toString(), json[QStringLiteral("params")].toObject());
}

void THeadlessBrowser::TakeEvent(const QString& method, const QJsonObject& params)
{
    if (method == QLatin1String("Page.loadEventFired")) {
        ++FLoads;
    } else if (method == QLatin1String("Runtime.exceptionThrown")) {
        FErrors << ExceptionText(params[QStringLiteral("exceptionDetails")].toObject());
    } else if (method == QLatin1String("Runtime.consoleAPICalled") &&
               params[QStringLiteral("type")].toString() == QLatin1String("error")) {
        const QJsonValue first = params[QStringLiteral("args")][0];
        FErrors << (first[QStringLiteral("value")].isString() ? first[QStringLiteral("value")].toString()
                                                              : first[QStringLiteral("description")].toString());
    } else if (method == QLatin1String("Log.entryAdded")) {
        const QJsonObject entry = params[QStringLiteral("entry")].toObject();
        if (entry[QStringLiteral("level")].toString() == QLatin1String("error"))
            FErrors << entry[QStringLiteral("text")].toString() + QStringLiteral(" (") +
                    entry[QStringLiteral("url")].toString() + QLatin1Char(')');
    }
}

std::optional<double> THeadlessBrowser::Open(const QString& url)
{
    const int loads = FLoads;
    const std::optional<QJsonObject> navigated = Call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}});
    if (!navigated)
        return std::nullopt;
    if (navigated->contains(QStringLiteral("errorText"))) {
        FProblem = url + QStringLiteral(": ") + (*navigated)[QStringLiteral("errorText")].toString();
        return std::nullopt;
    }
    if (!PumpUntil([&] { return FLoads > loads; })) {
        FProblem = url + QStringLiteral(": no load event");
        return std::nullopt;
    }
    const QJsonValue load = Evaluate(QStringLiteral("performance.getEntriesByType('navigation')[0].loadEventStart"));
    return load.isDouble() ? std::optional<double>(load.toDouble()) : std::nullopt;
}

QJsonValue THeadlessBrowser::Evaluate(const QString& expression)
{
    const std::optional<QJsonObject> result = Call(QStringLiteral("Runtime.evaluate"),
                                                   {{QStringLiteral("expression"), expression},
                                                    {QStringLiteral("returnByValue"), true},
                                                    {QStringLiteral("awaitPromise"), true}});
    if (!result)
        return QJsonValue::Undefined;
    if (result->contains(QStringLiteral("exceptionDetails"))) {
        FProblem =
            expression + QStringLiteral(": ") + ExceptionText((*result)[QStringLiteral("exceptionDetails")].toObject());
        return QJsonValue::Undefined;
    }
    return (*result)[QStringLiteral("result")][QStringLiteral("value")];
}

bool THeadlessBrowser::WaitUntil(const QString& expression, int timeoutMs)
{
    // The waiting is the page's own, so it ends at the change itself rather than at a poll from here.
    static const QString waiter = QStringLiteral(R"(new Promise((resolve) => {
  const holds = () => { try { return Boolean(%1); } catch (error) { return false; } };
  if (holds()) return resolve(true);
  const finish = (value) => { observer.disconnect(); clearInterval(ticker); clearTimeout(deadline); resolve(value); };
  const observer = new MutationObserver(() => { if (holds()) finish(true); });
  observer.observe(document, { subtree: true, childList: true, characterData: true, attributes: true });
  const ticker = setInterval(() => { if (holds()) finish(true); }, 20);
  const deadline = setTimeout(() => finish(false), %2);
}))");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        const std::optional<QJsonObject> result =
            Call(QStringLiteral("Runtime.evaluate"),
                 {{QStringLiteral("expression"), waiter.arg(expression, QString::number(left))},
                  {QStringLiteral("returnByValue"), true},
                  {QStringLiteral("awaitPromise"), true}},
                 false, static_cast<int>(left) + EventDeadlineMs);
        if (result && !result->contains(QStringLiteral("exceptionDetails")))
            return (*result)[QStringLiteral("result")][QStringLiteral("value")].toBool();
        // The page went away under the wait: check again once the next one has loaded.
        const int loads = FLoads;
        PumpUntil([&] { return FLoads != loads; }, 100);
    }
}

bool THeadlessBrowser::PreferDark(bool dark)
{
    const QJsonObject feature{{QStringLiteral("name"), QStringLiteral("prefers-color-scheme")},
                              {QStringLiteral("value"), dark ? QStringLiteral("dark") : QStringLiteral("light")}};
    return Call(QStringLiteral("Emulation.setEmulatedMedia"), {{QStringLiteral("features"), QJsonArray{feature}}})
        .has_value();
}

bool THeadlessBrowser::SaveScreenshot(const QString& path)
{
    const std::optional<QJsonObject> metrics = Call(QStringLiteral("Page.getLayoutMetrics"));
    if (!metrics)
        return false;
    const QJsonObject size = (*metrics)[QStringLiteral("cssContentSize")].toObject();
    const QJsonObject clip{{QStringLiteral("x"), 0},
                           {QStringLiteral("y"), 0},
                           {QStringLiteral("width"), size[QStringLiteral("width")]},
                           {QStringLiteral("height"), size[QStringLiteral("height")]},
                           {QStringLiteral("scale"), 1}};
    const std::optional<QJsonObject> shot = Call(QStringLiteral("Page.captureScreenshot"),
                                                 {{QStringLiteral("format"), QStringLiteral("png")},
                                                  {QStringLiteral("captureBeyondViewport"), true},
                                                  {QStringLiteral("clip"), clip}});
    return shot && WriteFileBytes(path, QByteArray::fromBase64((*shot)[QStringLiteral("data")].toString().toLatin1()));
}

QStringList THeadlessBrowser::TakeErrors()
{
    return std::exchange(FErrors, {});
}

} // namespace testsupport
