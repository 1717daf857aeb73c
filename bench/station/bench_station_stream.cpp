// Input reports per second through the whole program on the readings page (page 0): the simulated
// device, the controller, the read thread, the hand-over to the main thread and the window's
// handler with the full refresh of the readings panels and of the settings page behind it (clock,
// date and codes live), beside the bare HID path (the same device, controller and read thread with
// a handler that only copies the 64 bytes), measured in the same run. Every report changes every
// text. Also how often the readings panels were painted. Run offscreen (QT_QPA_PLATFORM=offscreen).
#include "bench/support/bare_hid_path.h"
#include "gui/error_box.h"
#include "hid/device_controller.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"
#include "station/readings_text.h"
#include "tests/support/paint_counter.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr int Batch = 4000;
// Medians over the batches: the machine is shared, and a batch that lost the processor for a
// while should not decide the figure. Also the main thread's processor time per report.
struct TFigures
{
    double Rate = 0;
    double MainCpuMicroseconds = 0;
    double PaintsPerThousand = 0;
};
TFigures Program;
TFigures Bare;

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs the batches of one benchmark and keeps its figures.
template <class Batch>
void RunBatches(benchmark::State& state, TFigures& figures, Batch&& runBatch)
{
    std::vector<double> rates;
    std::vector<double> cpu;
    for (auto _ : state) {
        const double cpuStart = ThreadCpuSeconds();
        const double seconds = runBatch();
        cpu.push_back((ThreadCpuSeconds() - cpuStart) * 1e6 / ::Batch);
        rates.push_back(seconds > 0 ? ::Batch / seconds : 0);
    }
    state.SetItemsProcessed(state.iterations() * ::Batch);
    figures.Rate = Median(rates);
    figures.MainCpuMicroseconds = Median(cpu);
    state.counters["median_reports_per_s"] = figures.Rate;
    state.counters["main_cpu_us_per_report"] = figures.MainCpuMicroseconds;
}

// Two readings reports that differ in every field the window shows, so each one rewrites every text.
std::vector<std::uint8_t> StreamReport(int variant)
{
    std::vector<std::uint8_t> r(65, 0);
    std::uint8_t* d = r.data() + 1;
    const std::uint8_t v = static_cast<std::uint8_t>(variant);
    d[InField::ClockHours] = 10 + v;
    d[InField::ClockMinutes] = 20 + v;
    d[InField::ClockSeconds] = 30 + v;
    d[InField::ClockCorrection] = 20;
    d[InField::ClockDay] = 7 + v;
    d[InField::ClockMonth] = 3;
    d[InField::ClockYear] = 24;
    d[InField::IndoorStatus] = 16;
    d[InField::OutdoorStatus] = 16;
    d[InField::IndoorTemperature] = 22 + v;
    d[InField::OutdoorTemperature] = 5 + v;
    d[InField::OutdoorSign] = v;
    for (int i = 0; i < 8; ++i) {
        d[InField::IndoorSensorCode + i] = static_cast<std::uint8_t>(0x28 + i + v);
        d[InField::OutdoorSensorCode + i] = static_cast<std::uint8_t>(0x90 + i + v);
    }
    d[InField::PressureOn] = 1;
    d[InField::PressureRaw] = 130 + v;
    d[InField::PressureCorrection] = 10;
    d[InField::HumidityOn] = 1;
    d[InField::Humidity] = 45 + v;
    d[InField::HumidityCorrection] = 25;
    return r;
}

// Runs the event loop until the count is reached, then returns the seconds it took.
struct Counter
{
    int Count = 0;
    int Target = 0;
    QEventLoop* Loop = nullptr;
    void Tick()
    {
        if (++Count == Target && Loop != nullptr)
            Loop->quit();
    }
};

double RunBatch(hidplatform::SimPlatform& sim, hidplatform::SimDeviceId id, Counter& counter)
{
    const std::vector<std::uint8_t> reports[2] = {StreamReport(0), StreamReport(1)};
    QEventLoop loop;
    counter.Loop = &loop;
    counter.Target = counter.Count + Batch;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Batch; ++i)
        sim.QueueInputReport(id, reports[i & 1]);
    loop.exec();
    counter.Loop = nullptr;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void WaitUntil(const std::function<bool()>& done)
{
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(100);
    }
}

void BM_WholeProgramOnReadingsPage(benchmark::State& state)
{
    hidplatform::SimPlatform sim;
    const hidplatform::SimDeviceId id = sim.PlugDevice(simulator::TSimStation::DeviceConfig());
    TForm1 form(sim);
    form.show();
    WaitUntil([&] { return form.Station.StationDevice != nullptr && form.Panel1->Caption() == StationConnectedText; });
    form.Station.SettingsLive = 1;
    // The window's own handler, counted on the way out.
    Counter counter;
    THidDevice* station = form.Station.StationDevice;
    station->SetDataHandler(THidDataEvent::FromCallable(
        [&form, &counter](THidDevice* device, std::uint8_t reportId, const std::uint8_t* data, std::uint16_t size) {
            form.HidDeviceController1DeviceData(device, reportId, data, size);
            counter.Tick();
        }));
    TPaintCounter paints(form.Panel2);
    RunBatches(state, Program, [&] { return RunBatch(sim, id, counter); });
    Program.PaintsPerThousand = 1000.0 * paints.Count / static_cast<double>(state.iterations() * Batch);
    // What the window holds after the last report of a batch (an odd one) is exactly that report's.
    const std::vector<std::uint8_t> last = StreamReport(1);
    TReportImage image{};
    std::copy(last.begin() + 1, last.end(), image.begin());
    const bool readingsShown = form.Panel2->Caption() == IndoorTemperatureText(image) &&
        form.Panel3->Caption() == OutdoorTemperatureText(image) && form.Panel4->Caption() == PressureText(image) &&
        form.Panel5->Caption() == HumidityText(image);
    // The settings page behind shows the same report once it is shown.
    form.PageControl1->SetActivePageIndex(2);
    const bool shown = readingsShown && form.LabeledEdit1->Text() == StationTimeText(image) &&
        form.LabeledEdit2->Text() == StationDateText(image) &&
        form.LabeledEdit4->Text() == SensorCodeText(image, InField::IndoorSensorCode) &&
        form.LabeledEdit5->Text() == SensorCodeText(image, InField::OutdoorSensorCode);
    if (!shown)
        state.SkipWithError("the window does not hold the last report's values");
}

void BM_BareHidPath(benchmark::State& state)
{
    Counter counter;
    std::uint8_t copy[64] = {};
    benchsupport::TBareHidPath path(
        [&](const std::uint8_t* data, std::uint16_t size) {
            std::memcpy(copy, data, std::min<std::size_t>(size, sizeof copy));
            benchmark::DoNotOptimize(copy);
            counter.Tick();
        },
        1);
    RunBatches(state, Bare, [&] { return RunBatch(path.Platform(), path.Device(), counter); });
}

BENCHMARK(BM_BareHidPath)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WholeProgramOnReadingsPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    gui::TApplication app(argc, argv);
    // The window keeps its files (the archive, "met.mtb") in the current directory: not the caller's.
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (Program.Rate > 0 && Bare.Rate > 0)
        std::printf("page 0 stream: %.0f reports/s (main thread %.1f us/report, %.0f paints per 1000 reports); "
                    "bare HID path: %.0f reports/s (main thread %.1f us/report); ratio %.2f "
                    "(goals: at least 20000 reports/s and 0.7)\n",
                    Program.Rate, Program.MainCpuMicroseconds, Program.PaintsPerThousand, Bare.Rate,
                    Bare.MainCpuMicroseconds, Program.Rate / Bare.Rate);
    return 0;
}
