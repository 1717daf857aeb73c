// Runs inside the kernel VM: the stand-in station as a real USB HID device (dummy host controller and a
// configfs HID gadget, the model driven through /dev/hidg0 in a thread of its own) and the program's
// HID controller over the real Linux backend (libudev, the "kernel" monitor, hidraw) on the other end.
// Checks arrival at the first rescan and on hot-plug, identification, the readings stream, the history
// download, unplug without a spinning read thread, a look-alike device and plugging in again; then
// runs meteostation-hid-list (given as the first argument) against the present station.
// Exit status 0 when every check holds.
#include "tests/vm/usb_gadget.h"
#include "tests/vm/vm_checks.h"

#include "hid/device_controller.h"
#include "hid/platform/linux/linux_platform.h"
#include "protocol/station_identity.h"
#include "simulator/station_model.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

using namespace probe;

namespace {

// The station's side of the wire: output reports read from /dev/hidg0 go to the model (with the id
// byte 0 in front, which the gadget does not pass on), the model's input reports are written to
// /dev/hidg0, and the model's time follows the clock.
class TStationSide
{
public:
    explicit TStationSide(simulator::TStationModel& model)
        : Model(model)
    {
        Model.SetInputReportHandler([this](const simulator::TInputReport& data) { Pending.push_back(data); });
    }
    ~TStationSide() { Stop(); }

    bool Start()
    {
        Stop();
        if (!WaitUntil([this] {
                Fd = ::open("/dev/hidg0", O_RDWR | O_NONBLOCK | O_CLOEXEC);
                return Fd >= 0;
            })) {
            Info("cannot open /dev/hidg0: " + ErrorText(errno));
            return false;
        }
        {
            // Plugging in powers the station up: whatever it was sending before has ended.
            std::lock_guard lock(Mutex);
            std::uint8_t stop[ReportSize + 1] = {0};
            stop[19] = 5;
            Model.HandleOutputReport(stop, sizeof stop);
            Sent.clear();
            Pending.clear();
        }
        Stopping = false;
        Worker = std::thread([this] { Run(); });
        return true;
    }

    void Stop()
    {
        Stopping = true;
        if (Worker.joinable())
            Worker.join();
        if (Fd >= 0)
            ::close(Fd);
        Fd = -1;
    }

    std::vector<simulator::TInputReport> SentReports()
    {
        std::lock_guard lock(Mutex);
        return Sent;
    }
    std::size_t SentCount()
    {
        std::lock_guard lock(Mutex);
        return Sent.size();
    }
    // Nothing is due to be sent: no transfer and no report waiting for the wire.
    bool Quiet()
    {
        std::lock_guard lock(Mutex);
        return Model.Mode() == simulator::TTransferMode::Idle && Pending.empty();
    }
    int OutputReports() const { return Outputs.load(); }

private:
    void Run()
    {
        auto last = Clock::now();
        while (!Stopping) {
            pollfd pfd{Fd, POLLIN, 0};
            {
                std::lock_guard lock(Mutex);
                if (!Pending.empty())
                    pfd.events |= POLLOUT;
            }
            ::poll(&pfd, 1, 1);
            std::lock_guard lock(Mutex);
            if (pfd.revents & POLLIN) {
                std::uint8_t report[ReportSize + 1] = {0};
                const ssize_t n = ::read(Fd, report + 1, ReportSize);
                if (n > 0) {
                    ++Outputs;
                    Model.HandleOutputReport(report, static_cast<std::size_t>(n) + 1);
                }
            }
            const auto now = Clock::now();
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - last);
            if (elapsed.count() > 0) {
                Model.Advance(elapsed);
                last += elapsed;
            }
            // One report per free slot of the interrupt endpoint; the rest waits in order.
            if (!Pending.empty() && (pfd.revents & POLLOUT)) {
                const ssize_t n = ::write(Fd, Pending.front().data(), ReportSize);
                if (n == static_cast<ssize_t>(ReportSize)) {
                    Sent.push_back(Pending.front());
                    Pending.pop_front();
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    Pending.pop_front(); // the host is gone: the report is lost, as on a real wire
                }
            }
        }
    }

    simulator::TStationModel& Model;
    int Fd = -1;
    std::thread Worker;
    std::atomic<bool> Stopping{false};
    std::atomic<int> Outputs{0};
    std::mutex Mutex; // the model, Pending and Sent
    std::deque<simulator::TInputReport> Pending;
    std::vector<simulator::TInputReport> Sent;
};

// The program's side: a controller over the real backend with the window's station match.
struct TProgramSide
{
    std::unique_ptr<THidDeviceController> Controller;
    THidDevice* StationDevice = nullptr;
    int Rescans = 0;
    int Arrivals = 0;
    int StationArrivalRescan = -1; // rescans finished before the station's last arrival
    int StationUnplugs = 0;
    int Removals = 0;
    int DataErrors = 0;
    std::uint32_t LastDataError = 0;
    std::vector<std::u16string> OfferedNames;
    struct TReport
    {
        std::uint8_t Id;
        std::uint16_t Size;
        simulator::TInputReport Data;
    };
    std::vector<TReport> Received;
    bool ForeignReport = false;

    void Create(hidplatform::Platform& platform)
    {
        Controller = std::make_unique<THidDeviceController>(nullptr, platform);
        Controller->SetOnArrival(THidPlugEvent::FromCallable([this](THidDevice* device) {
            ++Arrivals;
            if (IsStation(device))
                StationArrivalRescan = Rescans;
            Controller->EnumerateDevices();
        }));
        Controller->SetOnEnumerate(THidEnumerateEvent::FromCallable([this](THidDevice* device, int) {
            OfferedNames.push_back(device->QueryProductName());
            if (IsStation(device)) {
                StationDevice = device;
                device->CheckOut();
            }
            return true;
        }));
        Controller->SetOnDeviceData(THidDataEvent::FromCallable(
            [this](THidDevice* device, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
                if (device != StationDevice)
                    ForeignReport = true;
                TReport report{id, size, {}};
                std::memcpy(report.Data.data(), data, std::min<std::size_t>(size, ReportSize));
                Received.push_back(report);
            }));
        Controller->SetOnDeviceDataError(THidDataErrorEvent::FromCallable([this](THidDevice*, std::uint32_t error) {
            ++DataErrors;
            LastDataError = error;
        }));
        Controller->SetOnDeviceUnplug(THidPlugEvent::FromCallable([this](THidDevice* device) {
            if (device != StationDevice)
                return;
            ++StationUnplugs;
            StationDevice = nullptr;
            delete device; // the check-in, as the window does it
        }));
        Controller->SetOnRemoval(THidPlugEvent::FromCallable([this](THidDevice*) { ++Removals; }));
        Controller->SetOnDeviceChange(TNotifyEvent::FromCallable([this](QObject*) { ++Rescans; }));
        Controller->Loaded();
    }

    static bool IsStation(THidDevice* device)
    {
        return device->QueryProductName() == StationProductName && device->ProductID() == StationProductID &&
            device->VendorID() == StationVendorID;
    }

    // The window's command: the report image (all 255 before any input) with id 0 and the code.
    bool Send(std::uint8_t code)
    {
        if (StationDevice == nullptr)
            return false;
        THidCaps caps;
        StationDevice->QueryCaps(caps);
        std::vector<std::uint8_t> image(std::max<std::size_t>(caps.OutputReportByteLength, 20), 255);
        image[0] = 0;
        image[19] = code;
        std::uint32_t written = 0;
        return StationDevice->WriteReport(image.data(), caps.OutputReportByteLength, written) &&
            written == caps.OutputReportByteLength;
    }
};

// Received reports from `from` on equal what the station sent, in order, each with id 0 and size 64.
bool ReceivedAsSent(const TProgramSide& program, std::size_t from, const std::vector<simulator::TInputReport>& sent,
                    std::size_t sentFrom, std::size_t count)
{
    if (program.Received.size() < from + count || sent.size() < sentFrom + count)
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const auto& got = program.Received[from + i];
        if (got.Id != 0 || got.Size != ReportSize || got.Data != sent[sentFrom + i]) {
            Info("report " + std::to_string(i) + " differs: id " + std::to_string(got.Id) + ", size " +
                 std::to_string(got.Size) + ", " + Hex(got.Data.data(), 8) + " ... instead of " +
                 Hex(sent[sentFrom + i].data(), 8) + " ...");
            return false;
        }
    }
    return true;
}

// The station found at the first rescan through OnArrival, identified and checked out; null when
// it was not.
THidDevice* CheckFoundAtStart(TProgramSide& program)
{
    PumpUntil([&] { return program.Rescans > 0; });
    Check(program.Rescans == 1 && program.StationDevice != nullptr && program.StationArrivalRescan == 0,
          "station arrived through OnArrival at the first rescan and was checked out");
    THidDevice* device = program.StationDevice;
    if (device == nullptr)
        return nullptr;
    Info("device " + device->PnPInfo().DevicePath + ", instance " + std::to_string(device->PnPInfo().DeviceInstance));
    CheckStationIdentity(*device, 0x0100, "the USB device's product attribute, UTF-8");
    return device;
}

// Readings after command 1, all of them in order once command 5 has stopped the stream.
void CheckReadings(TProgramSide& program, TStationSide& station)
{
    const auto phase = Clock::now();
    Check(program.Send(1), "command 1 written (65 bytes)");
    PumpUntil([&] { return program.Received.size() >= 10; });
    Check(ReceivedAsSent(program, 0, station.SentReports(), 0, 10),
          "10 readings reports through OnDeviceData: id 0, Size 64, as the station sent them, in order (" +
              Fixed(Seconds(phase)) + " s)");
    Check(program.Received.size() >= 10 && program.Received[0].Data[7] == 16,
          "a readings report (indoor temperature present)");

    Check(program.Send(5), "command 5 written");
    PumpUntil([&] { return station.Quiet() && program.Received.size() == station.SentCount(); });
    Pump(150);
    Check(station.Quiet() && program.Received.size() == station.SentCount(),
          "stream stopped; all " + std::to_string(station.SentCount()) + " reports sent arrived, in order: " +
              (ReceivedAsSent(program, 0, station.SentReports(), 0, station.SentCount()) ? "yes" : "no"));
}

// Command 3: 512 blocks equal to the station's memory, all from the checked-out station.
void CheckDownload(TProgramSide& program, TStationSide& station, const simulator::THistoryMemory& memory)
{
    const std::size_t mark = program.Received.size();
    const auto phase = Clock::now();
    Check(program.Send(3), "command 3 written");
    PumpUntil([&] { return program.Received.size() >= mark + HistoryBlockCount; });
    Info("download: the station sent " + std::to_string(station.SentCount()) + " reports, the program received " +
         std::to_string(program.Received.size()) + " (" + std::to_string(mark) + " of them readings before)");
    const double downloadSeconds = Seconds(phase);
    Pump(100);
    bool sameMemory = program.Received.size() == mark + HistoryBlockCount;
    for (std::size_t block = 0; sameMemory && block < HistoryBlockCount; ++block) {
        const auto& got = program.Received[mark + block];
        sameMemory =
            got.Size == ReportSize && std::memcmp(got.Data.data(), memory.data() + block * ReportSize, ReportSize) == 0;
    }
    Check(sameMemory,
          "command 3: " + std::to_string(program.Received.size() - mark) +
              " blocks of 64 bytes, equal to the station's memory (" + Fixed(downloadSeconds) + " s)");
    Check(!program.ForeignReport, "every report came from the checked-out station");
}

// meteostation-hid-list lists the present station read-write and marks it.
void CheckHidListTool(const QString& tool, const std::string& hidraw)
{
    QProcess process;
    process.start(tool, {});
    PumpUntil([&] { return process.state() == QProcess::NotRunning; });
    const std::string output = process.readAllStandardOutput().toStdString();
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        Info("hid-list | " + line);
    // The station's row: its path, ids, read-write «да», station «да» and its name.
    bool listed = false;
    std::istringstream rows(output);
    for (std::string line; std::getline(rows, line);) {
        std::istringstream fields(line);
        std::string path, ids, readWrite, marked, name;
        fields >> path >> ids >> readWrite >> marked >> name;
        listed = listed ||
            (path == "/dev/" + hidraw && ids == "2112:1212" && readWrite == "да" && marked == "да" &&
             name == "\"" + std::string(StationName) + "\"");
    }
    Check(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && listed,
          "meteostation-hid-list: exit " + std::to_string(process.exitCode()) +
              ", station listed read-write and marked");
}

// Unplugged while streaming: the read thread does not spin on the vanished device, the unplug
// handler fires, and after the check-in no read runs.
void CheckUnplug(TProgramSide& program, TUsbGadget& gadget, TCountingPlatform& platform,
                 hidplatform::LinuxPlatform& linuxPlatform)
{
    Check(program.Send(1), "command 1 again: streaming");
    const std::size_t beforeUnplug = program.Received.size();
    PumpUntil([&] { return program.Received.size() >= beforeUnplug + 3; });
    const int startsBefore = platform.ReadStarts.load();
    const int errorsBefore = program.DataErrors;
    Check(gadget.Unplug(), "gadget unbound (unplugged)");
    // The main thread stays away from its event loop for a while, as a busy window would: the read
    // thread sees the device vanish long before the rescan can run.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const int startsWhileBusy = platform.ReadStarts.load() - startsBefore;
    Info("read starts in the 500 ms after the unplug, before any rescan: " + std::to_string(startsWhileBusy) +
         " (failed: " + std::to_string(platform.FailedReadStarts.load()) + ")");
    Check(startsWhileBusy <= 4, "the read thread does not spin on the vanished device");
    PumpUntil([&] { return program.StationUnplugs > 0; });
    Check(program.StationUnplugs == 1 && program.StationDevice == nullptr, "OnDeviceUnplug fired for the station");
    const int errorsAfterUnplug = program.DataErrors - errorsBefore;
    Info("data-error events between the unplug and the rescan: " + std::to_string(errorsAfterUnplug) +
         (errorsAfterUnplug ? " (last: " + linuxPlatform.ErrorText(program.LastDataError) + ")" : ""));
    Check(errorsAfterUnplug <= 2, "at most a couple of data-error events before the rescan");
    const int startsAfterCheckIn = platform.ReadStarts.load();
    Pump(300);
    Check(platform.ReadStarts.load() == startsAfterCheckIn && program.Controller->DeviceCount() == 0,
          "after the check-in no read runs and the controller lists nothing");
}

// A look-alike: the station's ids with another product string arrives and goes, never taken.
void CheckLookAlike(TProgramSide& program, TUsbGadget& gadget)
{
    const std::string otherName = "Другое устройство";
    const int arrivalsBefore = program.Arrivals;
    program.OfferedNames.clear();
    Check(gadget.SetProduct(otherName) && gadget.Plug(), "plugged in with the product string " + otherName);
    PumpUntil([&] { return program.Arrivals > arrivalsBefore; });
    Check(program.Arrivals == arrivalsBefore + 1 && program.StationDevice == nullptr &&
              program.OfferedNames.size() == 1 &&
              program.OfferedNames[0] == QString::fromStdString(otherName).toStdU16String(),
          "arrived on hot-plug, offered as \"" +
              (program.OfferedNames.empty() ? std::string("?") : Utf8(program.OfferedNames[0])) +
              "\" and not taken for the station");
    const int removalsBefore = program.Removals;
    Check(gadget.Unplug(), "look-alike unplugged");
    PumpUntil([&] { return program.Removals > removalsBefore; });
    Check(program.Removals == removalsBefore + 1 && program.Controller->DeviceCount() == 0, "look-alike removed");
}

// Plugged in again: a new device object with a new instance, whose readings arrive.
void CheckReplug(TProgramSide& program, TUsbGadget& gadget, TStationSide& station, std::uint32_t firstInstance)
{
    const auto phase = Clock::now();
    Check(gadget.SetProduct(StationName) && gadget.Plug(), "station plugged in again");
    Check(station.Start(), "station model runs on /dev/hidg0 again");
    PumpUntil([&] { return program.StationDevice != nullptr; });
    Check(program.StationDevice != nullptr && program.StationDevice->PnPInfo().DeviceInstance != firstInstance,
          "hot-plug arrival: a new device object with a new DeviceInstance (" +
              (program.StationDevice ? std::to_string(program.StationDevice->PnPInfo().DeviceInstance)
                                     : std::string("-")) +
              ") after " + Fixed(Seconds(phase)) + " s");
    if (program.StationDevice != nullptr) {
        const std::size_t from = program.Received.size();
        Check(program.Send(1), "command 1 to the new device");
        PumpUntil([&] { return program.Received.size() >= from + 3; });
        Check(ReceivedAsSent(program, from, station.SentReports(), 0, 3), "its readings arrive as sent");
        delete program.StationDevice; // check-in
        program.StationDevice = nullptr;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const auto started = Clock::now();
    QCoreApplication app(argc, argv);
    const QString hidListTool = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    std::printf("Station end to end: USB gadget %04x:%04x \"%s\", controller over the Linux backend\n", StationVendor,
                StationProduct, StationName);
    simulator::TStationModel model(StationSeed, StationClock);
    const simulator::THistoryMemory memory = SetUpStation(model);
    TStationSide station(model);

    TUsbGadget gadget;
    Check(gadget.Create(), "configfs HID gadget created");
    Check(gadget.Plug(), "gadget plugged in before the program starts");
    const std::string hidraw = CheckHidrawNode();
    if (hidraw.empty())
        return 1;
    Check(station.Start(), "station model runs on /dev/hidg0");

    hidplatform::LinuxPlatform linuxPlatform;
    TCountingPlatform platform(linuxPlatform);
    TProgramSide program;
    program.Create(platform);
    CheckControllerLoaded(*program.Controller, linuxPlatform.MonitorActive());
    THidDevice* device = CheckFoundAtStart(program);
    if (device == nullptr)
        return 1;
    const std::uint32_t firstInstance = device->PnPInfo().DeviceInstance;
    CheckReadings(program, station);
    CheckDownload(program, station, memory);
    if (!hidListTool.isEmpty())
        CheckHidListTool(hidListTool, hidraw);
    CheckUnplug(program, gadget, platform, linuxPlatform);
    station.Stop();
    CheckLookAlike(program, gadget);
    CheckReplug(program, gadget, station, firstInstance);
    station.Stop();
    gadget.Unplug();
    program.Controller.reset();
    return Verdict("Station end to end", " in " + Fixed(Seconds(started)) + " s");
}
