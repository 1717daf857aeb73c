// The web page in a real browser (headless chromium) on the loopback, each figure measured by the
// page's own clock: the now page's load, from the navigation's start to the load event (goal
// <= 100 ms), beside an empty page's from a bare server in the same run; and a reading handed to the
// server to the page's next frame showing it (goal <= 1 s), beside a change made in the page
// through DevTools to its next frame.
#include "tests/support/headless_browser.h"
#include "web/web_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

using testsupport::THeadlessBrowser;

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "web browser bench: %s\n", what);
        std::abort();
    }
}

// Answers every request with the same empty page and closes: the least a page load can cost.
class TBareServer
{
public:
    TBareServer()
    {
        Require(FServer.listen(QHostAddress::LocalHost), "no port for the bare server");
        QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = FServer.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    socket->readAll();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 15\r\n"
                                  "Connection: close\r\n\r\n<!DOCTYPE html>");
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString Address() const { return QStringLiteral("http://127.0.0.1:%1/").arg(FServer.serverPort()); }

private:
    QTcpServer FServer;
};

// The server on an empty archive, the bare one and a desktop-sized browser, shared by the runs.
struct TRig
{
    TRig()
    {
        Require(Browser.Ready(), "no browser (scripts/install-deps test installs chromium)");
        web::TWebSettings settings;
        settings.Enabled = true;
        settings.Port = 0;
        Require(Server.Start(settings).Ok, "the web server did not start");
        Address = QStringLiteral("http://127.0.0.1:%1/").arg(Server.Port());
    }

    QTemporaryDir Folder;
    web::TWebServer Server{QDir(Folder.path()).filePath(QStringLiteral("archive.sqlite"))};
    TBareServer Bare;
    THeadlessBrowser Browser{{"desktop", 1280, 800, false}};
    QString Address;
};

// Made at first use and gone before the application object, which its browser's goodbye needs.
std::unique_ptr<TRig> TheRig;
TRig& Rig()
{
    if (!TheRig)
        TheRig = std::make_unique<TRig>();
    return *TheRig;
}

void PageLoad(benchmark::State& st, const QString& url)
{
    for (auto _ : st) {
        // Each load a first one: from a blank page, with nothing of the last one left to unload.
        Require(Rig().Browser.Open(QStringLiteral("about:blank")).has_value(), "no blank page");
        const std::optional<double> ms = Rig().Browser.Open(url);
        Require(ms.has_value(), "a page did not load");
        st.SetIterationTime(*ms / 1000);
    }
}

void BM_NowPageLoad(benchmark::State& st)
{
    PageLoad(st, Rig().Address);
    st.SetLabel("goal <= 100 ms");
}
BENCHMARK(BM_NowPageLoad)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_BaselineEmptyPageLoad(benchmark::State& st)
{
    PageLoad(st, Rig().Bare.Address());
    st.SetLabel("baseline");
}
BENCHMARK(BM_BaselineEmptyPageLoad)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

// The now page open and live, with a probe that notes the moment of the frame after each change of
// the reading's time.
void OpenProbedNowPage()
{
    THeadlessBrowser& browser = Rig().Browser;
    Require(browser.Open(Rig().Address).has_value(), "the now page did not load");
    Require(browser.WaitUntil(QStringLiteral("document.body.dataset.stream === 'open'")), "no live stream");
    browser.Evaluate(QStringLiteral(R"(window.shownAt = []; new MutationObserver(() => requestAnimationFrame(() =>
        shownAt.push(performance.timeOrigin + performance.now())))
        .observe(document.getElementById('time'), {childList: true, subtree: true, characterData: true}))"));
}

// Runs `change` once per iteration, timed from just before it to the page's frame after it.
void ChangeToScreen(benchmark::State& st, const std::function<void(int)>& change)
{
    OpenProbedNowPage();
    int shown = 0;
    for (auto _ : st) {
        const auto sent = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
        change(shown);
        Require(Rig().Browser.WaitUntil(QStringLiteral("shownAt.length > %1").arg(shown)), "nothing shown");
        const double at = Rig().Browser.Evaluate(QStringLiteral("shownAt[%1]").arg(shown)).toDouble();
        shown = Rig().Browser.Evaluate(QStringLiteral("shownAt.length")).toInt();
        st.SetIterationTime((at - sent) / 1000);
    }
}

void BM_ReadingToScreen(benchmark::State& st)
{
    ChangeToScreen(st, [](int n) {
        base::TStationReading reading;
        reading.Time = QDateTime::currentDateTime().addSecs(n);
        reading.Values = {21, -3 + n % 5, 745, 50};
        Rig().Server.TakeReading(reading);
    });
    st.SetLabel("goal <= 1000 ms");
}
BENCHMARK(BM_ReadingToScreen)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_BaselineDevToolsChangeToScreen(benchmark::State& st)
{
    ChangeToScreen(st, [](int n) {
        Rig().Browser.Evaluate(QStringLiteral("document.getElementById('time').textContent = 'change %1'").arg(n));
    });
    st.SetLabel("baseline");
}
BENCHMARK(BM_BaselineDevToolsChangeToScreen)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString why = THeadlessBrowser::Unavailable(); !why.isEmpty()) {
        std::printf("web browser bench skipped: %s\n", qPrintable(why));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TheRig.reset();
    return 0;
}
