// Runs inside the kernel VM: the stand-in station on /dev/uhid (simulator/uhid_station.h) and the
// program's HID controller over the real Linux backend (libudev, the "kernel" monitor, sysfs, hidraw).
// Checks, in one boot:
//   - without libudev on the loader's path the controller is inert and nothing crashes (a child
//     process started while the library file is moved aside);
//   - the station is found at the first rescan, identified from sysfs (product string, ids, report
//     lengths 65/65 from its descriptor) and checked out;
//   - a process without access rights to the node (uid/gid 65534; the node is 0600 root) still
//     identifies it and reports ReadWriteGranted false;
//   - readings after command 1, a settings command, the 512-block download in order and intact;
//   - a second device with numbered reports: the report id byte in both directions;
//   - UHID_DESTROY reaches the unplug handler, a replug arrives as a new instance via the monitor.
// Exit status 0 when every check holds.
#include "tests/vm/vm_checks.h"

#include "hid/device_controller.h"
#include "hid/platform/linux/linux_platform.h"
#include "protocol/station_identity.h"
#include "simulator/uhid_device.h"
#include "simulator/uhid_station.h"

#include <grp.h>

#include <mutex>
#include <set>

using namespace probe;

namespace {

// A device that numbers its reports: input 1 (8 bytes) and 2 (16 bytes), output 1 (8 bytes) and
// 3 (4 bytes).
const std::u16string NumberedName = u"Нумерованные отчёты";
constexpr std::uint16_t NumberedVendor = 0x1209;
constexpr std::uint16_t NumberedProduct = 0x0001;

simulator::TUhidDeviceConfig NumberedConfig()
{
    simulator::TUhidDeviceConfig config;
    config.Name = Utf8(NumberedName);
    config.VendorID = NumberedVendor;
    config.ProductID = NumberedProduct;
    config.Version = 0x0200;
    config.ReportDescriptor = {
        0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01,       // vendor page, application collection
        0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,       // bytes
        0x85, 0x01, 0x95, 0x08, 0x09, 0x01, 0x81, 0x02, // report 1: input, 8 bytes
        0x85, 0x01, 0x95, 0x08, 0x09, 0x01, 0x91, 0x02, // report 1: output, 8 bytes
        0x85, 0x02, 0x95, 0x10, 0x09, 0x01, 0x81, 0x02, // report 2: input, 16 bytes
        0x85, 0x03, 0x95, 0x04, 0x09, 0x01, 0x91, 0x02, // report 3: output, 4 bytes
        0xC0,
    };
    return config;
}

// The program's side: a controller over the real backend that checks out the station and the
// numbered device and records what they send.
struct TProgramSide
{
    std::unique_ptr<THidDeviceController> Controller;
    THidDevice* StationDevice = nullptr;
    THidDevice* NumberedDevice = nullptr;
    int Rescans = 0;
    int Arrivals = 0;
    int StationArrivalRescan = -1;
    int StationUnplugs = 0;
    int NumberedUnplugs = 0;
    int DataErrors = 0;
    std::uint32_t LastDataError = 0;
    int Enumerated = 0;
    struct TReport
    {
        THidDevice* Device;
        std::uint8_t Id;
        std::vector<std::uint8_t> Data;
    };
    std::vector<TReport> Received;

    void Create(hidplatform::Platform& platform)
    {
        Controller = std::make_unique<THidDeviceController>(nullptr, platform);
        Controller->SetOnArrival(THidPlugEvent::FromCallable([this](THidDevice* device) {
            ++Arrivals;
            if (IsStationIdentity(device->QueryProductName(), device->VendorID(), device->ProductID()))
                StationArrivalRescan = Rescans;
            Controller->EnumerateDevices();
        }));
        Controller->SetOnEnumerate(THidEnumerateEvent::FromCallable([this](THidDevice* device, int) {
            ++Enumerated;
            const std::u16string name = device->QueryProductName();
            if (StationDevice == nullptr && IsStationIdentity(name, device->VendorID(), device->ProductID())) {
                StationDevice = device;
                device->CheckOut();
            } else if (NumberedDevice == nullptr && name == NumberedName && device->VendorID() == NumberedVendor) {
                NumberedDevice = device;
                device->CheckOut();
            }
            return true;
        }));
        Controller->SetOnDeviceData(THidDataEvent::FromCallable(
            [this](THidDevice* device, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
                Received.push_back({device, id, std::vector<std::uint8_t>(data, data + size)});
            }));
        Controller->SetOnDeviceDataError(THidDataErrorEvent::FromCallable([this](THidDevice*, std::uint32_t error) {
            ++DataErrors;
            LastDataError = error;
        }));
        Controller->SetOnDeviceUnplug(THidPlugEvent::FromCallable([this](THidDevice* device) {
            if (device == StationDevice) {
                ++StationUnplugs;
                StationDevice = nullptr;
            } else if (device == NumberedDevice) {
                ++NumberedUnplugs;
                NumberedDevice = nullptr;
            }
            delete device; // the check-in, as the window does it
        }));
        Controller->SetOnDeviceChange(TNotifyEvent::FromCallable([this](QObject*) { ++Rescans; }));
        Controller->Loaded();
    }

    std::vector<TReport> From(THidDevice* device, std::size_t first = 0) const
    {
        std::vector<TReport> reports;
        for (std::size_t i = first; i < Received.size(); ++i)
            if (Received[i].Device == device)
                reports.push_back(Received[i]);
        return reports;
    }

    // The window's way of sending: the report image (255 where nothing was read) with id 0.
    static bool Send(THidDevice* device, std::vector<std::uint8_t> image)
    {
        if (device == nullptr)
            return false;
        THidCaps caps;
        device->QueryCaps(caps);
        image.resize(caps.OutputReportByteLength, 255);
        std::uint32_t written = 0;
        return device->WriteReport(image.data(), caps.OutputReportByteLength, written) &&
            written == caps.OutputReportByteLength;
    }

    bool Command(std::uint8_t code, std::uint8_t item = 255, std::uint8_t setting = 255, std::uint8_t value = 255,
                 std::size_t valueAt = 0)
    {
        std::vector<std::uint8_t> image(65, 255);
        image[0] = 0;
        image[19] = code;
        image[18] = item;
        if (valueAt > 0) {
            image[valueAt] = setting;
            image[valueAt + 1] = value;
        }
        return Send(StationDevice, image);
    }
};

// ---- child: no libudev on the loader's path ------------------------------------------------------------
int WithoutUdev(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("-- child without libudev.so.1 --\n");
    void* library = ::dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
    Check(library == nullptr, "libudev.so.1 cannot be loaded");
    hidplatform::LinuxPlatform platform;
    TProgramSide program;
    program.Create(platform);
    Pump(300);
    Check(!program.Controller->HidLibraryLoaded(), "HidLibraryLoaded() is false");
    Check(program.Controller->DeviceCount() == 0 && program.Rescans == 0 && program.Arrivals == 0,
          "no devices, no device-change and no arrival events although the station is plugged in");
    program.Controller->DeviceChange();
    Check(program.Controller->EnumerateDevices() == 0 && program.Enumerated == 0,
          "a rescan and an enumeration on request offer nothing");
    std::vector<hidplatform::PresentInterface> present;
    Check(!platform.EnumeratePresent(present) && present.empty(), "the backend's enumeration fails cleanly");
    program.Controller.reset();
    Check(true, "the controller is destroyed without a crash");
    return Failures == 0 ? 0 : 1;
}

// ---- child: no access rights to the node ----------------------------------------------------------------
int Unprivileged(int argc, char** argv)
{
    std::printf("-- child as uid/gid 65534 --\n");
    const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
    Check(dropped && ::getuid() == 65534 && ::geteuid() == 65534, "rights dropped to uid 65534, gid 65534");
    if (!dropped)
        return 1;
    ::setenv("XDG_RUNTIME_DIR", "/tmp", 1);
    QCoreApplication app(argc, argv);
    const std::string node = "/dev/" + FindHidraw();
    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    Check(fd < 0 && errno == EACCES, node + " cannot be opened here (" + (fd < 0 ? ErrorText(errno) : "opened") + ")");
    if (fd >= 0)
        ::close(fd);
    hidplatform::LinuxPlatform platform;
    TProgramSide program;
    program.Create(platform);
    PumpUntil([&] { return program.Rescans > 0; });
    Check(program.StationDevice != nullptr, "the station is found and matched through sysfs");
    if (THidDevice* device = program.StationDevice) {
        Check(device->QueryProductName() == StationProductName && device->VendorID() == StationVendorID &&
                  device->ProductID() == StationProductID,
              "product string \"" + Utf8(device->QueryProductName()) + "\", 2112:1212 without access");
        THidCaps caps;
        device->QueryCaps(caps);
        Check(caps.InputReportByteLength == 65 && caps.OutputReportByteLength == 65,
              "report lengths 65/65 from the sysfs report descriptor");
        Check(!device->ReadWriteGranted(), "ReadWriteGranted() is false");
        std::uint32_t written = 1;
        std::vector<std::uint8_t> image(65, 255);
        Check(!device->WriteReport(image.data(), 65, written) && written == 0, "a write fails and writes nothing");
        delete device;
        program.StationDevice = nullptr;
    }
    Pump(100);
    Check(program.DataErrors <= 1, "at most one read error event (" + std::to_string(program.DataErrors) + ")");
    program.Controller.reset();
    return Failures == 0 ? 0 : 1;
}

// Moves every libudev.so.1 the loader would find aside for the time of `run`, then back.
int WithUdevHidden(const std::function<int()>& run)
{
    std::vector<std::pair<std::string, std::string>> moved;
    std::set<std::string> seen;
    for (const std::string& file : UdevLibraryFiles()) {
        char real[PATH_MAX];
        if (!::realpath(file.substr(0, file.rfind('/')).c_str(), real) || !seen.insert(real).second)
            continue;
        const std::string aside = file + ".aside";
        if (::rename(file.c_str(), aside.c_str()) == 0)
            moved.emplace_back(file, aside);
    }
    const int status = run();
    for (const auto& [file, aside] : moved)
        if (::rename(aside.c_str(), file.c_str()) != 0)
            Check(false, "cannot put " + file + " back: " + ErrorText(errno));
    return status;
}

// The station plugged in before the program starts, with its hidraw node; false when none came.
bool PlugStationFirst(simulator::TUhidStation& station)
{
    const auto phase = Clock::now();
    const bool plugged = station.Plug();
    Check(plugged,
          "station plugged in through /dev/uhid" + (plugged ? std::string() : ": " + ErrorText(station.LastError())));
    Check(station.Uhid().WaitStarted(std::chrono::milliseconds(EventDeadlineMs)),
          "UHID_START: a HID driver took the device");
    const std::string hidraw = FindHidraw();
    Check(!hidraw.empty(), "hidraw node /dev/" + hidraw + " after " + Fixed(Seconds(phase)) + " s");
    if (hidraw.empty())
        return false;
    struct stat nodeStat
    {};
    ::stat(("/dev/" + hidraw).c_str(), &nodeStat);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", nodeStat.st_mode & 07777);
    Info("/dev/" + hidraw + " mode " + mode + ", owner " + std::to_string(nodeStat.st_uid) + ":" +
         std::to_string(nodeStat.st_gid));
    return true;
}

// A child process of this program in `mode`, with every libudev.so.1 moved aside when asked.
void CheckChild(const char* mode, bool hideUdev, const std::string& what)
{
    const auto phase = Clock::now();
    auto run = [mode] { return RunSelf(mode, 4 * EventDeadlineMs); };
    const int status = hideUdev ? WithUdevHidden(run) : run();
    Check(status == 0, what + " (child status " + std::to_string(status) + ", " + Fixed(Seconds(phase)) + " s)");
}

// The station found at the first rescan, identified and checked out; null when it was not.
THidDevice* CheckFoundAtStart(TProgramSide& program, simulator::TUhidStation& station)
{
    PumpUntil([&] { return program.Rescans > 0; });
    Check(program.StationDevice != nullptr && program.StationArrivalRescan == 0,
          "station arrived at the first rescan and was checked out");
    THidDevice* device = program.StationDevice;
    if (device == nullptr)
        return nullptr;
    Info("device " + device->PnPInfo().DevicePath + ", instance " + std::to_string(device->PnPInfo().DeviceInstance));
    // uhid takes a version, but neither sysfs nor the hidraw ioctls tell it.
    CheckStationIdentity(*device, 0, "HID_NAME; no USB device above a uhid device, so no version either");
    PumpUntil([&] { return station.Uhid().Opened(); });
    Check(station.Uhid().Opened(), "UHID_OPEN: the station knows a reader has it open");
    return device;
}

// Readings after command 1, then a settings command (humidity on, correction 30), then quiet.
void CheckReadingsAndSetting(TProgramSide& program, simulator::TUhidStation& station, THidDevice* device)
{
    const auto phase = Clock::now();
    Check(program.Command(1), "command 1 written");
    PumpUntil([&] { return program.From(device).size() >= 10; });
    const auto got = program.From(device);
    const auto sent = station.SentReports();
    bool same = got.size() >= 10 && sent.size() >= 10;
    for (std::size_t i = 0; same && i < 10; ++i)
        same = got[i].Id == 0 && got[i].Data.size() == 64 &&
            std::equal(sent[i].begin(), sent[i].end(), got[i].Data.begin());
    Check(same,
          "10 readings reports: id 0, 64 bytes, as the station sent them, in order (" + Fixed(Seconds(phase)) + " s)");
    Check(!got.empty() && got[0].Data[7] == 16 && got[0].Data[33] == 25,
          "a readings report (indoor sensor present, humidity correction 25)");

    const std::size_t beforeSetting = program.Received.size();
    Check(program.Command(2, 5, 1, 30, 12), "settings command written (item 5: humidity on, correction 30)");
    PumpUntil([&] {
        const auto after = program.From(device, beforeSetting);
        return !after.empty() && after.back().Data[33] == 30;
    });
    const auto afterSetting = program.From(device, beforeSetting);
    Check(!afterSetting.empty() && afterSetting.back().Data[33] == 30 && afterSetting.back().Data[31] == 1 &&
              station.WithModel(
                  [](simulator::TStationModel& m) { return m.HumidityCorrection() == 30 && m.HumidityOn(); }),
          "the station applied it and its readings show correction 30");

    Check(program.Command(5), "command 5 written");
    PumpUntil([&] {
        return station.WithModel(
                   [](simulator::TStationModel& m) { return m.Mode() == simulator::TTransferMode::Idle; }) &&
            program.From(device).size() == station.SentCount();
    });
    Pump(100);
    Check(program.From(device).size() == station.SentCount() && station.LostCount() == 0,
          "stream stopped; all " + std::to_string(station.SentCount()) + " reports sent arrived");
}

// Command 3: the 512 blocks in order and equal to the station's memory.
void CheckDownload(TProgramSide& program, simulator::TUhidStation& station, THidDevice* device,
                   const simulator::THistoryMemory& memory)
{
    const std::size_t mark = program.From(device).size();
    const auto phase = Clock::now();
    Check(program.Command(3), "command 3 written");
    PumpUntil([&] { return program.From(device).size() >= mark + HistoryBlockCount; });
    const double downloadSeconds = Seconds(phase);
    Pump(100);
    const auto got = program.From(device);
    bool same = got.size() == mark + HistoryBlockCount;
    std::size_t firstBad = 0;
    for (std::size_t block = 0; same && block < HistoryBlockCount; ++block) {
        const auto& report = got[mark + block];
        same = report.Id == 0 && report.Data.size() == 64 &&
            std::memcmp(report.Data.data(), memory.data() + block * 64, 64) == 0;
        firstBad = block;
    }
    Info("download: the station sent " + std::to_string(station.SentCount() - mark) + " blocks, the program got " +
         std::to_string(got.size() - mark) + (same ? "" : ", first difference at block " + std::to_string(firstBad)));
    Check(same, "command 3: 512 blocks, in order and equal to the station's memory (" + Fixed(downloadSeconds) + " s)");
}

// Reports of the numbered device both ways, the id byte first.
void CheckNumberedReports(TProgramSide& program, THidDevice* other, simulator::TUhidDevice& numbered,
                          std::mutex& outputsMutex, const std::vector<std::vector<std::uint8_t>>& outputs)
{
    THidCaps numberedCaps;
    other->QueryCaps(numberedCaps);
    Check(numberedCaps.InputReportByteLength == 17 && numberedCaps.OutputReportByteLength == 9,
          "report lengths " + std::to_string(numberedCaps.InputReportByteLength) + "/" +
              std::to_string(numberedCaps.OutputReportByteLength) + " (largest report plus the id byte)");
    std::uint8_t two[17] = {2};
    for (int i = 1; i < 17; ++i)
        two[i] = static_cast<std::uint8_t>(0xA0 + i);
    std::uint8_t one[9] = {1, 9, 8, 7, 6, 5, 4, 3, 2};
    // hidraw keeps reports only for handles that are open: the first one sent right after the
    // check-out must arrive all the same.
    const std::size_t before = program.Received.size();
    Check(numbered.SendInput(two, sizeof two) && numbered.SendInput(one, sizeof one), "input reports 2 and 1 sent");
    PumpUntil([&] { return program.From(other, before).size() >= 2; });
    const auto got = program.From(other, before);
    Check(got.size() == 2 && got[0].Id == 2 && got[0].Data == std::vector<std::uint8_t>(two + 1, two + 17) &&
              got[1].Id == 1 && got[1].Data == std::vector<std::uint8_t>(one + 1, one + 9),
          "they arrive with ReportID 2 (16 bytes) and 1 (8 bytes), data intact" +
              (got.empty() ? std::string()
                           : ": first has id " + std::to_string(got[0].Id) + ", " + std::to_string(got[0].Data.size()) +
                       " bytes"));
    std::uint32_t written = 0;
    const std::uint8_t outThree[5] = {3, 0x11, 0x22, 0x33, 0x44};
    const std::uint8_t outOne[9] = {1, 1, 2, 3, 4, 5, 6, 7, 8};
    Check(other->WriteReport(outThree, sizeof outThree, written) && written == sizeof outThree &&
              other->WriteReport(outOne, sizeof outOne, written) && written == sizeof outOne,
          "output reports 3 (4 bytes) and 1 (8 bytes) written");
    WaitUntil([&] { return numbered.OutputReportCount() >= 2; });
    std::lock_guard lock(outputsMutex);
    Check(outputs.size() == 2 && outputs[0] == std::vector<std::uint8_t>(outThree, outThree + 5) &&
              outputs[1] == std::vector<std::uint8_t>(outOne, outOne + 9),
          "the device gets them id byte first, as written" +
              (outputs.empty() ? std::string() : ": " + Hex(outputs[0].data(), outputs[0].size())));
}

// A second device, with numbered reports: arrival through the monitor, reports, and its unplug,
// which leaves the station alone.
void CheckNumberedDevice(TProgramSide& program, THidDevice* device)
{
    simulator::TUhidDevice numbered;
    std::mutex outputsMutex;
    std::vector<std::vector<std::uint8_t>> outputs;
    numbered.SetOutputHandler([&](const std::uint8_t* report, std::size_t length) {
        std::lock_guard lock(outputsMutex);
        outputs.emplace_back(report, report + length);
    });
    const auto phase = Clock::now();
    Check(numbered.Create(NumberedConfig()), "numbered device created");
    PumpUntil([&] { return program.NumberedDevice != nullptr; });
    Check(program.NumberedDevice != nullptr,
          "it arrived through the monitor and was checked out (" + Fixed(Seconds(phase)) + " s)");
    if (THidDevice* other = program.NumberedDevice)
        CheckNumberedReports(program, other, numbered, outputsMutex, outputs);
    numbered.Destroy();
    PumpUntil([&] { return program.NumberedUnplugs > 0; });
    Check(program.NumberedUnplugs == 1 && program.StationDevice == device,
          "numbered device unplugged, the station untouched");
}

// UHID_DESTROY while streaming reaches the unplug handler; plugged in again, the station is a new
// device whose readings arrive.
void CheckUnplugAndReplug(TProgramSide& program, simulator::TUhidStation& station, hidplatform::LinuxPlatform& platform,
                          std::uint32_t firstInstance)
{
    Check(program.Command(1), "command 1 again: streaming");
    const std::size_t beforeUnplug = program.Received.size();
    PumpUntil([&] { return program.Received.size() >= beforeUnplug + 3; });
    const int errorsBefore = program.DataErrors;
    auto phase = Clock::now();
    station.Unplug();
    PumpUntil([&] { return program.StationUnplugs > 0; });
    Check(program.StationUnplugs == 1 && program.StationDevice == nullptr,
          "UHID_DESTROY reached OnDeviceUnplug (" + Fixed(Seconds(phase)) + " s)");
    Info("data-error events on the way: " + std::to_string(program.DataErrors - errorsBefore) +
         (program.DataErrors > errorsBefore ? " (last: " + platform.ErrorText(program.LastDataError) + ")" : ""));
    Check(program.DataErrors - errorsBefore <= 2, "at most a couple of data-error events");
    Pump(200);
    Check(program.Controller->DeviceCount() == 0, "the controller lists nothing");

    phase = Clock::now();
    Check(station.Plug(), "station plugged in again");
    PumpUntil([&] { return program.StationDevice != nullptr; });
    Check(program.StationDevice != nullptr && program.StationDevice->PnPInfo().DeviceInstance != firstInstance,
          "replug: a new device with a new instance (" +
              (program.StationDevice ? std::to_string(program.StationDevice->PnPInfo().DeviceInstance)
                                     : std::string("-")) +
              ") through the monitor after " + Fixed(Seconds(phase)) + " s");
    if (program.StationDevice != nullptr) {
        const std::size_t from = program.Received.size();
        Check(program.Command(1), "command 1 to the new device");
        PumpUntil([&] { return program.From(program.StationDevice, from).size() >= 3; });
        const auto got = program.From(program.StationDevice, from);
        const auto sent = station.SentReports();
        Check(got.size() >= 3 && sent.size() >= 3 && std::equal(sent[0].begin(), sent[0].end(), got[0].Data.begin()),
              "its readings arrive as sent");
        delete program.StationDevice;
        program.StationDevice = nullptr;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--without-udev") == 0)
        return WithoutUdev(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--unprivileged") == 0)
        return Unprivileged(argc, argv);

    const auto started = Clock::now();
    std::printf("uhid station end to end: \"%s\" on /dev/uhid, controller over the Linux backend\n", StationName);
    simulator::TUhidStation station(StationSeed, StationClock);
    const simulator::THistoryMemory memory =
        station.WithModel([](simulator::TStationModel& model) { return SetUpStation(model); });
    station.RecordSentReports(true);
    if (!PlugStationFirst(station))
        return 1;
    CheckChild("--without-udev", true, "without libudev: the controller is inert, nothing crashed");

    QCoreApplication app(argc, argv);
    hidplatform::LinuxPlatform platform;
    TProgramSide program;
    program.Create(platform);
    CheckControllerLoaded(*program.Controller, platform.MonitorActive());
    THidDevice* device = CheckFoundAtStart(program, station);
    if (device == nullptr)
        return 1;
    const std::uint32_t firstInstance = device->PnPInfo().DeviceInstance;
    CheckChild("--unprivileged", false, "without access rights: identified through sysfs, ReadWriteGranted false");
    CheckReadingsAndSetting(program, station, device);
    CheckDownload(program, station, device, memory);
    CheckNumberedDevice(program, device);
    CheckUnplugAndReplug(program, station, platform, firstInstance);
    station.Unplug();
    program.Controller.reset();
    return Verdict("uhid station end to end", " in " + Fixed(Seconds(started)) + " s");
}
