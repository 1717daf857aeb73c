// Catching up a week of 5-minute samples (2,016) per service against a stand-in on 127.0.0.1 that
// answers at once, goal 10 s each, beside a baseline in the same run: as many bare requests (a
// bare QNetworkAccessManager GET, or a bare socket dialogue for the TCP services) one after the
// other. Also the main thread's longest stall while it runs (goal 16 ms): the longest gap
// between the ticks of a 1 ms timer on the main thread, in both.
//
// The uploaders' clock is moved forward by the benchmark, so the wall time is the program's own
// work; the time the same catch-up takes at the spacing each service allows is printed as well.
// Services that take only the present (Windy, CWOP) send the newest sample and skip the rest.
#include "bench/support/stall_probe.h"
#include "gui/error_box.h"
#include "tests/support/upload_rig.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>

using namespace uploadtest;

namespace {

constexpr int WeekOfSamples = 7 * 24 * 12;

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "publish bench: %s\n", what);
        std::abort();
    }
}

QByteArray Label(TServiceKind kind)
{
    QString label = Facts(kind).Title;
    if (kind == TServiceKind::NarodmonTcp || kind == TServiceKind::NarodmonHttp)
        label += kind == TServiceKind::NarodmonTcp ? QStringLiteral(" TCP") : QStringLiteral(" HTTP");
    return label.leftJustified(24).toUtf8();
}

struct TFigures
{
    double Seconds = 0;
    double StallMs = 0;
    double StallCpuMs = 0;
    qsizetype Requests = 0;
    qint64 ServiceSeconds = 0; // the catch-up at the service's own spacing
    double BaselineSeconds = 0;
    double BaselineStallMs = 0;
    double BaselineStallCpuMs = 0;
};
std::map<TServiceKind, TFigures> Figures;

void CatchUp(benchmark::State& state, TServiceKind kind)
{
    for (auto _ : state) {
        TUploadRig rig;
        // When the last request came, on the uploader's clock: the catch-up at the service's spacing.
        QDateTime lastRequest;
        rig.Http.Script = [&](const QByteArray&) {
            lastRequest = rig.Clock.NowUtc();
            return Accepting(kind);
        };
        rig.Narodmon.Script = [&](const QByteArray&) {
            lastRequest = rig.Clock.NowUtc();
            return QByteArray("OK\n");
        };
        rig.Aprs.Banner = [&] {
            lastRequest = rig.Clock.NowUtc();
            return QByteArray("# aprsc\r\n");
        };
        const QDateTime now = rig.Clock.NowUtc();
        for (int i = WeekOfSamples - 1; i >= 0; --i)
            rig.Source.Add({now.addSecs(-300LL * i), 21.0, -3.5 + i % 7, 745.0 + i % 5, 60.0 + i % 30});
        const QString key = QLatin1String(Facts(kind).PositionKey);
        rig.Positions.Advance(key, now.addSecs(-300LL * WeekOfSamples));
        rig.Clock.FastForward = true;

        benchsupport::TStallProbe meter;
        meter.Start();
        QElapsedTimer elapsed;
        elapsed.start();
        auto uploader = rig.Uploader(kind);
        Require(testsupport::PumpUntil([&] { return rig.Positions.Position(key).SentUpTo >= now; }, 600000),
                "the catch-up did not end");
        state.SetIterationTime(static_cast<double>(elapsed.nsecsElapsed()) / 1e9);
        const TUploadState& done = uploader->State();
        Require(done.Sent + done.Skipped == WeekOfSamples, "a sample was lost or doubled");
        TFigures& figures = Figures[kind];
        figures.Seconds = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
        figures.StallMs = meter.LongestMs();
        figures.StallCpuMs = meter.LongestBusyMs();
        figures.Requests = rig.Received();
        figures.ServiceSeconds = now.secsTo(lastRequest);
    }
}

// The same number of bare requests to the same stand-in, one after the other.
void Baseline(benchmark::State& state, TServiceKind kind)
{
    const TFigures& catchUp = Figures[kind];
    for (auto _ : state) {
        TUploadRig rig;
        rig.Http.Script = [kind](const QByteArray&) { return Accepting(kind); };
        const QUrl url(rig.SettingsFor(kind).EndpointOverride);
        QNetworkAccessManager manager;
        benchsupport::TStallProbe meter;
        meter.Start();
        QElapsedTimer elapsed;
        elapsed.start();
        for (qsizetype i = 0; i < catchUp.Requests; ++i) {
            bool finished = false;
            if (Facts(kind).Transport == TTransport::HttpGet) {
                QNetworkReply* reply = manager.get(QNetworkRequest(
                    kind == TServiceKind::OwnAddress ? QUrl(rig.Http.Url(QStringLiteral("/wx"))) : url));
                QObject::connect(reply, &QNetworkReply::finished, [&] {
                    reply->deleteLater();
                    finished = true;
                });
            } else {
                auto* socket = new QTcpSocket;
                QObject::connect(socket, &QTcpSocket::connected, [&] {
                    socket->write(kind == TServiceKind::Cwop ? "user CW1234 pass -1 vers x\r\n" : "#1\n#T1#1\n##");
                });
                QObject::connect(socket, &QTcpSocket::readyRead, [&] {
                    socket->readAll();
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, [&] {
                    socket->deleteLater();
                    finished = true;
                });
                socket->connectToHost(url.host(), static_cast<quint16>(url.port()));
            }
            Require(testsupport::PumpUntil([&] { return finished; }), "a bare request did not end");
        }
        state.SetIterationTime(static_cast<double>(elapsed.nsecsElapsed()) / 1e9);
        Figures[kind].BaselineSeconds = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
        Figures[kind].BaselineStallMs = meter.LongestMs();
        Figures[kind].BaselineStallCpuMs = meter.LongestBusyMs();
    }
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    gui::TApplication app(argc, argv);
    for (const TServiceKind kind : AllServices()) {
        const std::string name =
            QString(Facts(kind).PositionKey).toStdString() + "/" + std::to_string(static_cast<int>(kind));
        benchmark::RegisterBenchmark(("CatchUpAWeek/" + name).c_str(), CatchUp, kind)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BaselineBareRequests/" + name).c_str(), Baseline, kind)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("catching up %d samples (goals: 10 s per service, main-thread stall 16 ms); stalls are the "
                "longest gaps of a 1 ms timer, wall clock / main thread's processor time:\n",
                WeekOfSamples);
    for (const auto& [kind, f] : Figures)
        std::printf("  %s %5.2f s, %4lld requests, stall %5.1f / %4.1f ms; bare requests %5.2f s, stall %5.1f / "
                    "%4.1f ms; at the service's spacing %lld min\n",
                    Label(kind).constData(), f.Seconds, static_cast<long long>(f.Requests), f.StallMs, f.StallCpuMs,
                    f.BaselineSeconds, f.BaselineStallMs, f.BaselineStallCpuMs,
                    static_cast<long long>(f.ServiceSeconds / 60));
    return 0;
}
