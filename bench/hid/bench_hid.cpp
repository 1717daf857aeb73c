// Input reports per second through the whole path (sim device -> read thread -> hand-over to the
// main thread -> a data handler that copies the 64 bytes), beside the bare hand-over from a plain
// thread as the baseline, measured in the same run.
#include "base/main_thread_call.h"
#include "bench/support/bare_hid_path.h"
#include "protocol/station_identity.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr int Batch = 2000;
double PathRate = 0;
double BaselineRate = 0;

struct Sink
{
    std::uint8_t Copy[64] = {};
    int Count = 0;
    int Target = 0;
    QEventLoop* Loop = nullptr;
    void Take(const std::uint8_t* data, std::size_t size)
    {
        std::memcpy(Copy, data, std::min<std::size_t>(size, sizeof Copy));
        benchmark::DoNotOptimize(Copy);
        if (++Count == Target && Loop != nullptr)
            Loop->quit();
    }
};

// Per iteration, `deliver` brings one batch of reports to the sink and runs the loop until the
// sink has taken them; the result is reports per second over all iterations.
template <class Deliver>
double ReportsPerSecond(benchmark::State& state, Sink& sink, Deliver deliver)
{
    double seconds = 0;
    for (auto _ : state) {
        QEventLoop loop;
        sink.Loop = &loop;
        sink.Target = sink.Count + Batch;
        const auto start = std::chrono::steady_clock::now();
        deliver(loop);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetItemsProcessed(state.iterations() * Batch);
    const double rate = seconds > 0 ? state.iterations() * Batch / seconds : 0;
    state.counters["reports_per_s"] = rate;
    return rate;
}

void BM_ReportsThroughController(benchmark::State& state)
{
    Sink sink;
    benchsupport::TBareHidPath path([&sink](const std::uint8_t* data, std::uint16_t size) { sink.Take(data, size); });
    std::vector<std::uint8_t> report(StationReportByteLength, 0x5a);
    report[0] = 0;
    PathRate = ReportsPerSecond(state, sink, [&](QEventLoop& loop) {
        for (int i = 0; i < Batch; ++i)
            path.Platform().QueueInputReport(path.Device(), report);
        loop.exec();
    });
}

void BM_BareHandOverBaseline(benchmark::State& state)
{
    Sink sink;
    std::uint8_t report[65] = {};
    std::memset(report, 0x5a, sizeof report);
    BaselineRate = ReportsPerSecond(state, sink, [&](QEventLoop& loop) {
        std::thread worker([&] {
            for (int i = 0; i < Batch; ++i)
                base::RunOnMainThread([&] { sink.Take(report + 1, 64); });
        });
        loop.exec();
        worker.join();
    });
}

BENCHMARK(BM_BareHandOverBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportsThroughController)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (BaselineRate > 0 && PathRate > 0)
        std::printf("\nreports/s through the controller: %.0f   bare hand-over baseline: %.0f   baseline/path: %.2fx\n",
                    PathRate, BaselineRate, BaselineRate / PathRate);
    return 0;
}
