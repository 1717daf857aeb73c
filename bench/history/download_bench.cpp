// Input reports per second during a history download on the diagram page, through the whole
// program (the stand-in station's 512 blocks queued on its virtual device as fast as the window
// takes them: read thread, hand-over, the window's data handler, progress caption, and at the end
// the rescan and the diagram's date), beside the bare HID path (the same virtual device, the
// controller, the read thread and a handler that only copies the 64 bytes), in the same run.
#include "bench/support/bare_hid_path.h"
#include "gui/error_box.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int Blocks = 512;
double WindowRate = 0;
double BareRate = 0;

void ProcessUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BM_BareHidPath(benchmark::State& state)
{
    std::uint8_t copy[64] = {};
    int count = 0;
    benchsupport::TBareHidPath path([&](const std::uint8_t* data, std::uint16_t size) {
        std::memcpy(copy, data, std::min<std::size_t>(size, sizeof copy));
        benchmark::DoNotOptimize(copy);
        ++count;
    });
    std::vector<std::uint8_t> report(65, 0x5a);
    report[0] = 0;
    double seconds = 0;
    for (auto _ : state) {
        const int target = count + Blocks;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < Blocks; ++i)
            path.Platform().QueueInputReport(path.Device(), report);
        ProcessUntil([&] { return count == target; });
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetItemsProcessed(state.iterations() * Blocks);
    BareRate = seconds > 0 ? state.iterations() * Blocks / seconds : 0;
    state.counters["reports_per_s"] = BareRate;
}

void BM_DownloadThroughWindow(benchmark::State& state)
{
    QTemporaryDir folder; // the window reads "met.mtb" from the current directory
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    {
        hidplatform::SimPlatform sim;
        simulator::TSimStation station(sim, 5, {2024, 3, 7, 14, 30, 0});
        station.Model().FillPlausibleHistory(170, {2024, 3, 7, 14, 0, 0}, 5);
        station.Model().SetBlockInterval(std::chrono::milliseconds(0)); // all 512 at once
        TForm1 form(sim);
        form.show();
        station.Plug();
        ProcessUntil([&] { return form.Station.StationDevice != nullptr; });
        form.PageControl1->SetActivePageIndex(PageIndex(TFormPage::Diagram));
        form.PageControl1Change(); // as the user's switch: the station goes quiet
        QCoreApplication::processEvents();

        double seconds = 0;
        for (auto _ : state) {
            const auto start = std::chrono::steady_clock::now();
            form.Button1Click();
            ProcessUntil([&] { return form.Station.DownloadActive == 0; });
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        if (form.History.HistoryImage != station.Model().HistoryMemory())
            state.SkipWithError("the downloaded copy differs from the station's memory");
        state.SetItemsProcessed(state.iterations() * Blocks);
        WindowRate = seconds > 0 ? state.iterations() * Blocks / seconds : 0;
        state.counters["reports_per_s"] = WindowRate;
    }
    QDir::setCurrent(previous);
}

BENCHMARK(BM_BareHidPath)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DownloadThroughWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    gui::TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Метеостанция"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (BareRate > 0 && WindowRate > 0)
        std::printf("\nreports/s during a download through the window: %.0f   bare HID path: %.0f   window/bare: %.2f"
                    "   (goal: at least 50000)\n",
                    WindowRate, BareRate, WindowRate / BareRate);
    return 0;
}
