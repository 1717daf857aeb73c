#include "hid/hid_device.h"
#include "hid_test_support.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

using hidplatform::SimAccess;
using hidtest::ControllerTest;
using hidtest::Flush;
using hidtest::PumpUntil;
using hidtest::Report;
using hidtest::Station;
using hidtest::WaitWithoutServing;

namespace {

class DeviceTest : public ControllerTest
{
protected:
    // One station plugged in at start, checked out.
    THidDevice* StartWithStation(hidplatform::SimDeviceConfig config = Station("/dev/station"))
    {
        Id = Sim.PlugDevice(config);
        StartAndSettle();
        return CheckOutPath(config.Path);
    }
    hidplatform::SimDeviceId Id = 0;
};

} // namespace

TEST_F(DeviceTest, ReportsArriveInOrderWithTheIdByteSplitOff)
{
    THidDevice* station = StartWithStation();
    ASSERT_NE(station, nullptr);
    ASSERT_NE(station->ReadThread(), nullptr);
    Sim.QueueInputReport(Id, Report(0, 0x11));
    Sim.QueueInputReport(Id, Report(7, 0x22, 10)); // a short report: Size follows the bytes read
    Sim.QueueInputReport(Id, Report(0, 0x33));
    ASSERT_TRUE(PumpUntil([&] { return Received.size() == 3; }));
    EXPECT_EQ(ReceivedIds, (std::vector<std::uint8_t>{0, 7, 0}));
    EXPECT_EQ(Received[0], std::vector<std::uint8_t>(64, 0x11));
    EXPECT_EQ(Received[1], std::vector<std::uint8_t>(10, 0x22));
    EXPECT_EQ(Received[2], std::vector<std::uint8_t>(64, 0x33));
    // An empty report is read but delivers nothing.
    Sim.QueueInputReport(Id, {});
    Sim.QueueInputReport(Id, Report(1, 0x44));
    ASSERT_TRUE(PumpUntil([&] { return Received.size() == 4; }));
    EXPECT_EQ(ReceivedIds.back(), 1);
}

TEST_F(DeviceTest, ReadHandleIsOpenWhenCheckOutReturns)
{
    // On Linux an input report that comes before the read handle exists is lost, and the window
    // writes its first command right after the check-out.
    THidDevice* station = StartWithStation();
    ASSERT_NE(station, nullptr);
    EXPECT_EQ(Sim.OpenHandleCount(Id), 1);
    // So is it when reading starts again with a new handler.
    station->SetDataHandler(THidDataEvent());
    station->SetDataHandler(Controller->OnDeviceData());
    EXPECT_GE(Sim.OpenHandleCount(Id), 1);
}

TEST_F(DeviceTest, NextReadStartsOnlyAfterTheHandlerReturned)
{
    THidDevice* station = StartWithStation();
    ASSERT_NE(station, nullptr);
    Controller->SetOnDeviceData(
        THidDataEvent::FromCallable([&](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {
            // While the handler runs, the other queued report has not been taken.
            EXPECT_EQ(Sim.QueuedInputReports(Id), Received.empty() ? 1u : 0u);
            Received.emplace_back();
        }));
    Sim.QueueInputReport(Id, Report(0, 1));
    Sim.QueueInputReport(Id, Report(0, 2));
    ASSERT_TRUE(PumpUntil([&] { return Received.size() == 2; }));
}

TEST_F(DeviceTest, RemovingTheDataHandlerStopsTheThreadAndSettingItRestartsIt)
{
    THidDevice* station = StartWithStation();
    ASSERT_NE(station, nullptr);
    ASSERT_NE(station->ReadThread(), nullptr);
    Controller->SetOnDeviceData(nullptr);
    EXPECT_EQ(station->ReadThread(), nullptr);
    EXPECT_FALSE(station->DataHandler());
    Sim.QueueInputReport(Id, Report(0, 5));
    Flush();
    EXPECT_TRUE(Received.empty());
    EXPECT_EQ(Sim.QueuedInputReports(Id), 1u);
    Controller->SetOnDeviceData(DataHandler());
    EXPECT_NE(station->ReadThread(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return Received.size() == 1; }));
    // A device with a handler of its own does not follow the controller.
    station->SetDataHandler(
        THidDataEvent::FromCallable([](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {}));
    Controller->SetOnDeviceData(nullptr);
    EXPECT_NE(station->ReadThread(), nullptr);
}

TEST_F(DeviceTest, StopAndCheckInRunTheHandOverTheThreadWaitsOnAndReturnPromptly)
{
    // The slice is far longer than any of the stops below may take: none of them waits for it.
    const auto promptly = [](const std::function<void()>& stop) {
        const auto start = std::chrono::steady_clock::now();
        stop();
        return std::chrono::steady_clock::now() - start < std::chrono::seconds(5);
    };
    THidDevice* first = StartWithStation();
    ASSERT_NE(first, nullptr);
    first->SetReadWaitSlice(10000);
    // Not serving: the thread takes the report and blocks in its hand-over.
    Sim.QueueInputReport(Id, Report(0, 9));
    ASSERT_TRUE(WaitWithoutServing([&] { return Sim.QueuedInputReports(Id) == 0; }));
    EXPECT_TRUE(promptly([&] { Controller->SetOnDeviceData(nullptr); }));
    EXPECT_EQ(first->ReadThread(), nullptr);
    EXPECT_EQ(Received.size(), 1u); // served while waiting
    // A thread waiting for a read is woken at once.
    Controller->SetOnDeviceData(DataHandler());
    ASSERT_TRUE(PumpUntil([&] { return Sim.WaitingReads(Id) == 1; }));
    EXPECT_TRUE(promptly([&] { Controller->SetOnDeviceData(nullptr); }));
    Controller->SetOnDeviceData(DataHandler());

    // A second station checked in from inside the first one's handler while its own report
    // waits: that report still reaches its handler, there and then.
    const hidplatform::SimDeviceId secondId = Sim.PlugDevice(Station("/dev/second"));
    ASSERT_TRUE(PumpUntil([&] { return Controller->DeviceCount() == 2; }));
    THidDevice* second = CheckOutPath("/dev/second");
    ASSERT_NE(second, nullptr);
    std::vector<std::string> calls;
    second->SetDataHandler(
        THidDataEvent::FromCallable([&](THidDevice* d, std::uint8_t, const std::uint8_t* data, std::uint16_t) {
            EXPECT_EQ(d, second);
            calls.push_back("second " + std::to_string(data[0]));
        }));
    first->SetDataHandler(
        THidDataEvent::FromCallable([&](THidDevice* d, std::uint8_t, const std::uint8_t* data, std::uint16_t) {
            EXPECT_EQ(d, first);
            calls.push_back("first " + std::to_string(data[0]));
            if (second != nullptr) {
                Sim.QueueInputReport(secondId, Report(0, 2));
                ASSERT_TRUE(WaitWithoutServing([&] { return Sim.QueuedInputReports(secondId) == 0; }));
                EXPECT_TRUE(promptly([&] { Release(second); }));
                second = nullptr;
            }
            calls.push_back("first done");
        }));
    Sim.QueueInputReport(Id, Report(0, 1));
    ASSERT_TRUE(PumpUntil([&] { return second == nullptr; }));
    EXPECT_EQ(calls, (std::vector<std::string>{"first 1", "second 2", "first done"}));

    // The second went back to the list as a fresh free device, in its place.
    ASSERT_EQ(Controller->DeviceCount(), 2);
    EXPECT_EQ(Controller->Device(1)->PnPInfo().DevicePath, "/dev/second");
    EXPECT_FALSE(Controller->Device(1)->CheckedOut());

    // The first station checked in while its report waits: delivered before the check-in ends,
    // also to a handler that finds the station unplugged meanwhile. The check-in then lets it
    // go alone, without asking its owner to (the owner is letting it go already).
    first->SetDataHandler(
        THidDataEvent::FromCallable([&](THidDevice*, std::uint8_t, const std::uint8_t* data, std::uint16_t) {
            calls.push_back("first " + std::to_string(data[0]));
            Sim.UnplugDevice(Id);
            Controller->DeviceChange();
        }));
    calls.clear();
    Log.clear();
    Sim.QueueInputReport(Id, Report(0, 3));
    ASSERT_TRUE(WaitWithoutServing([&] { return Sim.QueuedInputReports(Id) == 0; }));
    EXPECT_TRUE(promptly([&] { Release(first); }));
    EXPECT_EQ(calls, std::vector<std::string>{"first 3"});
    EXPECT_EQ(Log, (std::vector<std::string>{"removal /dev/station", "change"}));
    ASSERT_EQ(Controller->DeviceCount(), 1);
    EXPECT_EQ(Controller->Device(0)->PnPInfo().DevicePath, "/dev/second");
}

TEST_F(DeviceTest, HandlerThatDropsOrDestroysItsDeviceDuringADeliveryDoesNotDeadlock)
{
    THidDevice* station = StartWithStation();
    ASSERT_NE(station, nullptr);
    int calls = 0;
    station->SetDataHandler(
        THidDataEvent::FromCallable([&](THidDevice* d, std::uint8_t, const std::uint8_t*, std::uint16_t) {
            ++calls;
            Release(d);
        }));
    Sim.QueueInputReport(Id, Report(0, 1));
    Sim.QueueInputReport(Id, Report(0, 2));
    ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
    // The fresh object took the place; nothing more reaches the destroyed one.
    ASSERT_EQ(Controller->DeviceCount(), 1);
    EXPECT_FALSE(Controller->Device(0)->CheckedOut());
    Flush();
    EXPECT_EQ(calls, 1);
}

TEST_F(DeviceTest, ExceptionInTheHandlerEndsTheThreadUntilItIsRestarted)
{
    THidDevice* station = StartWithStation();
    ASSERT_NE(station, nullptr);
    station->SetDataHandler(
        THidDataEvent::FromCallable([&](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {
            Received.emplace_back();
            throw std::runtime_error("handler failed");
        }));
    Sim.QueueInputReport(Id, Report(0, 1));
    Sim.QueueInputReport(Id, Report(0, 2));
    ASSERT_TRUE(PumpUntil([&] { return station->ReadThread()->BodyEnded(); }));
    Flush();
    EXPECT_EQ(Received.size(), 1u);
    EXPECT_EQ(Sim.QueuedInputReports(Id), 1u);
    station->SetDataHandler(nullptr);
    station->SetDataHandler(DataHandler());
    ASSERT_TRUE(PumpUntil([&] { return Received.size() == 2; }));
}

TEST_F(DeviceTest, FailedReadStartsRaiseErrorsButPauseOneSliceEach)
{
    THidDevice* station = StartWithStation();
    ASSERT_NE(station, nullptr);
    Controller->SetOnDeviceData(nullptr);
    station->SetReadWaitSlice(40);
    Sim.SetReadStartFailure(Id, EIO);
    Controller->SetOnDeviceData(DataHandler());
    ASSERT_TRUE(PumpUntil([&] { return DataErrors >= 3; }));
    EXPECT_EQ(LastDataError, static_cast<std::uint32_t>(EIO));
    // A few more tries: however busy the machine, each took a slice, so they took that long.
    const auto start = std::chrono::steady_clock::now();
    const int before = Sim.ReadStarts(Id);
    ASSERT_TRUE(PumpUntil([&] { return Sim.ReadStarts(Id) - before >= 5; }));
    const double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const int starts = Sim.ReadStarts(Id) - before;
    EXPECT_LE(starts, elapsed / 40 + 2); // one try per slice, not a spin
    // Reads start again once the device admits them.
    Sim.SetReadStartFailure(Id, 0);
    Sim.QueueInputReport(Id, Report(0, 3));
    ASSERT_TRUE(PumpUntil([&] { return Received.size() == 1; }));
}

TEST_F(DeviceTest, UnpluggedDeviceReportsReadErrorsUntilDestroyed)
{
    THidDevice* station = StartWithStation();
    ASSERT_NE(station, nullptr);
    station->SetReadWaitSlice(20);
    ASSERT_TRUE(PumpUntil([&] { return Sim.WaitingReads(Id) == 1; }));
    Sim.UnplugDevice(Id);
    ASSERT_TRUE(PumpUntil([&] { return DataErrors >= 2; }));
    EXPECT_FALSE(station->PluggedIn());
    std::uint32_t written = 0;
    const std::uint8_t out[65] = {};
    EXPECT_FALSE(station->WriteReport(out, 65, written));
    THidCaps caps;
    station->QueryCaps(caps); // cached before the unplug
    EXPECT_EQ(caps.InputReportByteLength, 65);
    Release(station);
    EXPECT_EQ(Controller->DeviceCount(), 0);
}

TEST_F(DeviceTest, IdentifyOnlyDeviceIsListedAndCheckedOutButNeverReadOrWritten)
{
    auto keyboard = Station("/dev/keyboard");
    keyboard.Access = SimAccess::IdentifyOnly;
    THidDevice* device = StartWithStation(keyboard);
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(device->ReadWriteGranted());
    EXPECT_EQ(device->VendorID(), 0x2112);
    EXPECT_EQ(device->ProductID(), 0x1212);
    EXPECT_EQ(device->VersionNumber(), 0x0100);
    EXPECT_EQ(device->ReadThread(), nullptr);
    EXPECT_EQ(device->QueryProductName(), u"Метеостанция");
    std::uint32_t written = 7;
    const std::uint8_t out[65] = {};
    EXPECT_FALSE(device->WriteReport(out, 65, written));
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(device->CheckOut()); // already checked out
}

TEST_F(DeviceTest, WritesCapsAndProductNameCache)
{
    auto config = Station("/dev/station");
    config.OutputReportByteLength = 9;
    THidDevice* station = StartWithStation(config);
    ASSERT_NE(station, nullptr);
    std::vector<std::uint8_t> seen;
    Sim.SetOutputHandler(Id,
                         [&](const std::uint8_t* report, std::size_t length) { seen.assign(report, report + length); });
    THidCaps caps;
    station->QueryCaps(caps);
    EXPECT_EQ(caps.InputReportByteLength, 65);
    EXPECT_EQ(caps.OutputReportByteLength, 9);
    const std::uint8_t out[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    std::uint32_t written = 0;
    ASSERT_TRUE(station->WriteReport(out, 9, written));
    EXPECT_EQ(written, 9u);
    EXPECT_EQ(seen, std::vector<std::uint8_t>(out, out + 9));
    EXPECT_FALSE(station->WriteReport(out, 0, written)); // refused by the platform
    EXPECT_EQ(written, 0u);
    // The product name query closes the main handle; the next write opens it again.
    const int handlesWithWrite = Sim.OpenHandleCount(Id);
    EXPECT_EQ(station->QueryProductName(), u"Метеостанция");
    EXPECT_EQ(Sim.OpenHandleCount(Id), handlesWithWrite - 1);
    ASSERT_TRUE(station->WriteReport(out, 9, written));
    EXPECT_EQ(Sim.OpenHandleCount(Id), handlesWithWrite);
}

TEST_F(DeviceTest, FreeDeviceOutsideANotificationAnswersOnlyFromItsCache)
{
    auto config = Station("/dev/station");
    Id = Sim.PlugDevice(config);
    StartAndSettle();
    THidDevice* device = Controller->Device(0);
    EXPECT_EQ(device->QueryProductName(), u"");
    THidCaps caps;
    device->QueryCaps(caps);
    EXPECT_EQ(caps.InputReportByteLength, 0);
    std::uint32_t written = 0;
    const std::uint8_t out[65] = {};
    EXPECT_FALSE(device->WriteReport(out, 65, written));
    // Read once during an offer, then served from the cache without opening.
    Controller->SetOnEnumerate(THidEnumerateEvent::FromCallable([](THidDevice* d, int) {
        d->QueryProductName();
        return true;
    }));
    Controller->EnumerateDevices();
    Sim.UnplugDevice(Id); // the device could no longer answer
    EXPECT_EQ(device->QueryProductName(), u"Метеостанция");
    EXPECT_EQ(Sim.OpenHandleCount(Id), 0);
}

TEST_F(DeviceTest, ReadWaitSliceAcceptsOnlyTenToTenThousand)
{
    Id = Sim.PlugDevice(Station("/dev/station"));
    StartAndSettle();
    THidDevice* device = Controller->Device(0);
    device->SetReadWaitSlice(9);
    EXPECT_EQ(device->ReadWaitSlice(), 100);
    device->SetReadWaitSlice(10001);
    EXPECT_EQ(device->ReadWaitSlice(), 100);
    device->SetReadWaitSlice(10);
    EXPECT_EQ(device->ReadWaitSlice(), 10);
    device->SetReadWaitSlice(10000);
    EXPECT_EQ(device->ReadWaitSlice(), 10000);
}

namespace {

// A sim backend that can hold a read right after its start, or right after it completed, until
// the read is woken, so a stop request lands exactly between two steps of the read thread.
class HoldingSim : public hidplatform::SimPlatform
{
public:
    std::atomic<bool> HoldNextRead{false};

    // The next read that completes is held until a wake that comes after this call.
    void HoldNextCompletion()
    {
        std::lock_guard lock(Mutex);
        Woken = false;
        HoldCompletion = true;
    }

    bool BeginRead(hidplatform::Handle handle, std::uint8_t* buffer, std::size_t length) override
    {
        const bool started = SimPlatform::BeginRead(handle, buffer, length);
        if (started && HoldNextRead.exchange(false))
            HoldUntilWoken();
        return started;
    }
    hidplatform::WaitResult WaitRead(hidplatform::Handle handle, int sliceMs) override
    {
        const hidplatform::WaitResult result = SimPlatform::WaitRead(handle, sliceMs);
        if (result == hidplatform::WaitResult::Completed && HoldCompletion.exchange(false))
            HoldUntilWoken();
        return result;
    }
    void WakeRead(hidplatform::Handle handle) override
    {
        SimPlatform::WakeRead(handle);
        {
            std::lock_guard lock(Mutex);
            Woken = true;
        }
        Wake.notify_all();
    }

private:
    void HoldUntilWoken()
    {
        std::unique_lock lock(Mutex);
        Wake.wait_for(lock, std::chrono::seconds(10), [this] { return Woken; });
    }

    std::mutex Mutex;
    std::condition_variable Wake;
    bool Woken = false;
    std::atomic<bool> HoldCompletion{false};
};

} // namespace

TEST(DeviceReadThread, StopBetweenTheStepsOfAReadLeavesNoReadOutstandingAndLosesNoReport)
{
    HoldingSim sim;
    const hidplatform::SimDeviceId id = sim.PlugDevice(Station("/dev/station"));
    THidDeviceController controller(nullptr, sim);
    int received = 0;
    int errors = 0;
    const THidDataEvent onData =
        THidDataEvent::FromCallable([&](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++received; });
    controller.SetOnDeviceData(onData);
    controller.SetOnDeviceDataError(THidDataErrorEvent::FromCallable([&](THidDevice*, std::uint32_t) { ++errors; }));
    controller.Loaded();
    ASSERT_TRUE(PumpUntil([&] { return controller.DeviceCount() == 1; }));

    sim.HoldNextRead = true;
    THidDevice* station = controller.Device(0);
    controller.SetOnEnumerate(THidEnumerateEvent::FromCallable([](THidDevice* d, int) {
        d->CheckOut();
        return true;
    }));
    controller.EnumerateDevices();
    ASSERT_TRUE(station->CheckedOut());
    ASSERT_TRUE(PumpUntil([&] { return sim.ReadStarts(id) == 1; }));
    // The thread is between its read start and its first wait: stop it there.
    station->SetDataHandler(nullptr);
    EXPECT_EQ(station->ReadThread(), nullptr);

    // A new thread on the same read handle starts reads and gets reports.
    station->SetDataHandler(onData);
    sim.QueueInputReport(id, Report(0, 7));
    EXPECT_TRUE(PumpUntil([&] { return received == 1; }, 10000));
    EXPECT_EQ(errors, 0);

    // A read that completed just as the stop came has taken its report off the queue: the
    // report is handed over before the thread ends.
    sim.HoldNextCompletion();
    sim.QueueInputReport(id, Report(0, 8));
    ASSERT_TRUE(WaitWithoutServing([&] { return sim.QueuedInputReports(id) == 0; }));
    station->SetDataHandler(nullptr);
    EXPECT_EQ(received, 2);
    delete station;
}
