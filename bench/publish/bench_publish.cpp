// What MQTT publishing costs the main thread, each figure beside its baseline from the same run:
// the main thread's processor time per reading handed to the publisher (publishing to a broker on
// 127.0.0.1 against publishing off), and the longest stall of the main thread's event loop while
// the broker hangs (a listener that accepts and never answers, and a real broker frozen in the
// middle of the session) against the same loop with publishing off.
#include "bench/support/measures.h"
#include "bench/support/stall_probe.h"
#include "publish/mqtt/mqtt_publisher.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using namespace publish;

constexpr int Batch = 4000;
constexpr int HangMilliseconds = 6000;

struct TFigures
{
    double MainCpuNanosPerReading = 0;
    double LongestStallMs = 0;
};
TFigures Off;
TFigures On;
TFigures SilentOff;
TFigures Silent;
TFigures Frozen;
double FrozenClosingMs = 0;

TWeatherReading Reading(int i)
{
    return {QDateTime::currentDateTime(), 21.0 + i % 3, -5.0 - i % 7, 745.0 + i % 2, 60.0 + i % 5};
}

TMqttSettings Settings(int port, bool enabled)
{
    TMqttSettings settings;
    settings.Enabled = enabled;
    settings.Host = QStringLiteral("127.0.0.1");
    settings.Port = port;
    settings.User = testsupport::TMqttBroker::User;
    settings.IntervalSeconds = 0; // every reading: the most the link can be asked to do
    return settings;
}

// Hands a batch of readings over as the window would, one per turn of the event loop, and keeps
// the main thread's processor time per reading.
void HandOver(benchmark::State& state, TMqttPublisher& publisher, TFigures& figures)
{
    std::vector<double> cpu;
    int i = 0;
    for (auto _ : state) {
        const double start = benchsupport::CpuSeconds();
        for (int n = 0; n < Batch; ++n) {
            publisher.Publish(Reading(++i));
            QCoreApplication::processEvents();
        }
        cpu.push_back((benchsupport::CpuSeconds() - start) * 1e9 / Batch);
    }
    state.SetItemsProcessed(state.iterations() * Batch);
    figures.MainCpuNanosPerReading = benchsupport::Median(cpu);
    state.counters["main_cpu_ns_per_reading"] = figures.MainCpuNanosPerReading;
}

void BM_HandOverPublishingOff(benchmark::State& state)
{
    TMqttPublisher publisher({QStringLiteral("0123456789ab")});
    publisher.Apply(Settings(1883, false), {});
    HandOver(state, publisher, Off);
}

void BM_HandOverPublishingOn(benchmark::State& state)
{
    QTemporaryDir folder;
    testsupport::TMqttBroker broker(folder.path());
    if (!broker.Start()) {
        state.SkipWithError(broker.Why().toStdString().c_str());
        return;
    }
    TMqttPublisher publisher({QStringLiteral("0123456789ab")});
    publisher.Apply(Settings(broker.Port(), true), testsupport::TMqttBroker::Password);
    if (!testsupport::PumpUntil([&] { return publisher.Status().State == TMqttState::Connected; })) {
        state.SkipWithError("the publisher did not connect");
        return;
    }
    HandOver(state, publisher, On);
}

// Runs the event loop for a while with a reading every millisecond and new settings every
// 700 ms (each a goodbye and a new attempt on the link's thread); the longest time between two
// turns of the loop.
double LongestStall(TMqttPublisher& publisher, const TMqttSettings& settings, const QString& password)
{
    int i = 0;
    benchsupport::TStallProbe probe([&] { publisher.Publish(Reading(++i)); });
    QTimer changes;
    bool discovery = settings.Discovery;
    QObject::connect(&changes, &QTimer::timeout, [&] {
        TMqttSettings changed = settings;
        changed.Discovery = discovery = !discovery;
        publisher.Apply(changed, password);
    });
    QElapsedTimer clock;
    clock.start();
    probe.Start();
    changes.start(700);
    testsupport::PumpUntil([&] { return clock.elapsed() >= HangMilliseconds; }, HangMilliseconds * 2);
    probe.Stop();
    return probe.LongestMs();
}

TMqttTimings HangTimings()
{
    // Short waits, so that many attempts, time-outs and goodbyes fall into the measured time.
    TMqttTimings timings;
    timings.ConnackTimeout = std::chrono::milliseconds(500);
    timings.FirstRetry = std::chrono::milliseconds(100);
    timings.LastRetry = std::chrono::milliseconds(400);
    timings.KeepAlive = std::chrono::seconds(5); // libmosquitto's shortest
    return timings;
}

void BM_StallPublishingOff(benchmark::State& state)
{
    for (auto _ : state) {
        TMqttPublisher publisher({QStringLiteral("0123456789ab")}, nullptr, HangTimings());
        SilentOff.LongestStallMs = LongestStall(publisher, Settings(1883, false), {});
    }
    state.counters["longest_stall_ms"] = SilentOff.LongestStallMs;
}

void BM_StallSilentBroker(benchmark::State& state)
{
    QTcpServer silent; // accepts (the system does) and never answers
    silent.listen(QHostAddress::LocalHost, 0);
    for (auto _ : state) {
        TMqttPublisher publisher({QStringLiteral("0123456789ab")}, nullptr, HangTimings());
        Silent.LongestStallMs =
            LongestStall(publisher, Settings(silent.serverPort(), true), testsupport::TMqttBroker::Password);
    }
    state.counters["longest_stall_ms"] = Silent.LongestStallMs;
}

void BM_StallFrozenBroker(benchmark::State& state)
{
    QTemporaryDir folder;
    testsupport::TMqttBroker broker(folder.path());
    if (!broker.Start()) {
        state.SkipWithError(broker.Why().toStdString().c_str());
        return;
    }
    for (auto _ : state) {
        QElapsedTimer closing;
        {
            TMqttPublisher publisher({QStringLiteral("0123456789ab")}, nullptr, HangTimings());
            const TMqttSettings settings = Settings(broker.Port(), true);
            publisher.Apply(settings, testsupport::TMqttBroker::Password);
            if (!testsupport::PumpUntil([&] { return publisher.Status().State == TMqttState::Connected; })) {
                state.SkipWithError("the publisher did not connect");
                return;
            }
            broker.Freeze();
            Frozen.LongestStallMs = LongestStall(publisher, settings, testsupport::TMqttBroker::Password);
            closing.start();
        }
        FrozenClosingMs = static_cast<double>(closing.elapsed());
        broker.Thaw();
    }
    state.counters["longest_stall_ms"] = Frozen.LongestStallMs;
    state.counters["closing_ms"] = FrozenClosingMs;
}

BENCHMARK(BM_HandOverPublishingOff)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_HandOverPublishingOn)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_StallPublishingOff)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StallSilentBroker)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StallFrozenBroker)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (Off.MainCpuNanosPerReading > 0 && On.MainCpuNanosPerReading > 0)
        std::printf("main thread per reading: publishing on %.0f ns, off %.0f ns; ratio %.2f\n",
                    On.MainCpuNanosPerReading, Off.MainCpuNanosPerReading,
                    On.MainCpuNanosPerReading / Off.MainCpuNanosPerReading);
    std::printf("longest main-thread stall over %d s: broker accepts and never answers %.1f ms, broker frozen "
                "mid-session %.1f ms, publishing off %.1f ms (goal: at most 16 ms)\n",
                HangMilliseconds / 1000, Silent.LongestStallMs, Frozen.LongestStallMs, SilentOff.LongestStallMs);
    std::printf("closing the publisher while the broker is frozen: %.0f ms (its goodbye is given at most %lld ms)\n",
                FrozenClosingMs, static_cast<long long>(TMqttTimings{}.Goodbye.count()));
    return 0;
}
