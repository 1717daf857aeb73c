// The Windows backend, first over stand-in "SetupApi.dll" and "HID.dll" of our own (loaded in place
// of the system's through wine's DLL overrides) that present a station, a look-alike and failing
// devices on named pipes; then over wine's own libraries.
#include "hid/platform/windows/windows_platform.h"
#include "tests/hid_windows/standin/standin_devices.h"

#include <dbt.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace hidplatform;
using Clock = std::chrono::steady_clock;

namespace {

// Far beyond what any step needs: waits end as soon as their event comes.
constexpr int DeadlineMs = 10000;
constexpr auto Deadline = std::chrono::milliseconds(DeadlineMs);

using Report = std::array<std::uint8_t, 65>;

Report MakeReport(std::uint8_t seed)
{
    Report report{};
    for (std::size_t i = 1; i < report.size(); ++i)
        report[i] = static_cast<std::uint8_t>(seed + i);
    return report;
}

StandInDeviceDescription Description(DWORD instance, USHORT vendor, USHORT product, const wchar_t* name)
{
    StandInDeviceDescription description{};
    description.Instance = instance;
    description.VendorID = vendor;
    description.ProductID = product;
    description.VersionNumber = 0x0100;
    description.ProductString = name;
    description.InputReportByteLength = 65;
    description.OutputReportByteLength = 65;
    return description;
}

StandInDeviceDescription StationDescription(DWORD instance)
{
    return Description(instance, 0x2112, 0x1212, L"Метеостанция");
}

// Runs the calling thread's message loop until nothing is waiting.
void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

class StandInDevices : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StandInRemoveAll();
        ASSERT_TRUE(Platform.Load());
    }

    void TearDown() override { StandInRemoveAll(); }

    int Add(const StandInDeviceDescription& description)
    {
        const int id = StandInAddDevice(&description);
        EXPECT_GE(id, 0);
        return id;
    }

    std::vector<PresentInterface> Present()
    {
        std::vector<PresentInterface> present;
        EXPECT_TRUE(Platform.EnumeratePresent(present));
        return present;
    }

    std::string PathOf(DWORD instance)
    {
        for (const PresentInterface& item : Present())
            if (item.DeviceInstance == instance)
                return item.DevicePath;
        ADD_FAILURE() << "instance " << instance << " is not listed";
        return {};
    }

    WindowsPlatform Platform;
};

std::vector<std::uint32_t> Instances(const std::vector<PresentInterface>& present)
{
    std::vector<std::uint32_t> instances;
    for (const PresentInterface& item : present)
        instances.push_back(item.DeviceInstance);
    return instances;
}

TEST_F(StandInDevices, EnumerationListsTheInterfacesWhoseDetailCouldBeHadWithThePlatformsRecordSizes)
{
    // The records' sizes are this platform's own: 28, 28 and 5 on 32-bit Windows.
    static_assert(sizeof(void*) == 4 ? sizeof(SP_DEVICE_INTERFACE_DATA) == 28 : sizeof(SP_DEVICE_INTERFACE_DATA) == 32);
    static_assert(sizeof(void*) == 4 ? sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5
                                     : sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8);
    Add(StationDescription(7));
    Add(Description(8, 0x2112, 0x1212, L"Метеостанция 2"));
    StandInDeviceDescription keyboard = Description(9, 0x046D, 0xC31C, L"USB Keyboard");
    keyboard.IdentifyOnly = TRUE;
    Add(keyboard);
    StandInDeviceDescription failingDetail = Description(10, 0x1234, 0x0001, L"Detail fails");
    failingDetail.FailDetail = TRUE;
    Add(failingDetail);
    StandInDeviceDescription noSizeRefusal = Description(11, 0x1234, 0x0002, L"Size query succeeds");
    noSizeRefusal.DetailSizeWithoutError = TRUE;
    Add(noSizeRefusal);

    const std::vector<PresentInterface> present = Present();
    EXPECT_EQ(Instances(present), (std::vector<std::uint32_t>{7, 8, 9}));
    for (const PresentInterface& item : present)
        EXPECT_EQ(item.DevicePath.rfind("\\\\.\\pipe\\meteo-standin-", 0), 0u) << item.DevicePath;

    const StandInCalls calls = StandInCallsSoFar();
    EXPECT_EQ(calls.ClassDevsFlags, static_cast<DWORD>(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    EXPECT_FALSE(calls.ClassDevsWithEnumeratorOrWindow);
    EXPECT_EQ(calls.InterfaceDataSize, sizeof(SP_DEVICE_INTERFACE_DATA));
    EXPECT_EQ(calls.DeviceInfoSize, sizeof(SP_DEVINFO_DATA));
    EXPECT_EQ(calls.DetailSize, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
    EXPECT_EQ(calls.OpenSets, 0) << "every device information set is released";

    // A device that goes is no longer listed; the others keep their paths.
    const std::string lookAlikePath = PathOf(8);
    StandInRemoveDevice(1);
    const std::vector<PresentInterface> after = Present();
    EXPECT_EQ(Instances(after), (std::vector<std::uint32_t>{8, 9}));
    EXPECT_EQ(after.front().DevicePath, lookAlikePath);
}

TEST_F(StandInDevices, IdentificationGivesAttributesProductStringAndCapsWithTheReportId)
{
    Add(StationDescription(7));
    StandInDeviceDescription keyboard = Description(9, 0x046D, 0xC31C, L"USB Keyboard");
    keyboard.IdentifyOnly = TRUE;
    Add(keyboard);
    const std::wstring longest(254, L'Ж');
    Add(Description(12, 0x1234, 0x0003, longest.c_str()));
    const std::wstring tooLong(255, L'Ж');
    Add(Description(13, 0x1234, 0x0004, tooLong.c_str()));
    StandInDeviceDescription silent = Description(14, 0x1234, 0x0005, nullptr);
    silent.FailPreparsedData = TRUE;
    Add(silent);
    StandInDeviceDescription mute = Description(15, 0x1234, 0x0006, L"No attributes");
    mute.FailAttributes = TRUE;
    Add(mute);

    const Handle station = Platform.Open(PathOf(7), Access::ReadWrite);
    ASSERT_NE(station, InvalidHandle);
    Attributes attributes;
    ASSERT_TRUE(Platform.GetAttributes(station, attributes));
    EXPECT_EQ(attributes.VendorID, 0x2112);
    EXPECT_EQ(attributes.ProductID, 0x1212);
    EXPECT_EQ(attributes.VersionNumber, 0x0100);
    EXPECT_EQ(StandInCallsSoFar().AttributesSize, 12u);
    std::u16string name;
    ASSERT_TRUE(Platform.GetProductString(station, name));
    EXPECT_EQ(name, u"Метеостанция");
    EXPECT_EQ(StandInCallsSoFar().ProductStringBufferLength, 508u);
    PreparsedData data = nullptr;
    ASSERT_TRUE(Platform.GetPreparsedData(station, data));
    Caps caps;
    ASSERT_TRUE(Platform.GetCaps(data, caps));
    EXPECT_EQ(caps.InputReportByteLength, 65);
    EXPECT_EQ(caps.OutputReportByteLength, 65);
    Platform.FreePreparsedData(data);
    Platform.FreePreparsedData(data); // a second release of the same data does nothing
    EXPECT_EQ(StandInCallsSoFar().LivePreparsedData, 0);
    EXPECT_FALSE(Platform.GetCaps(data, caps));
    Platform.Close(station);
    EXPECT_FALSE(Platform.GetAttributes(station, attributes));
    EXPECT_EQ(Platform.LastError(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));

    // A device the system keeps to itself: no reading and writing, identification all the same.
    const std::string keyboardPath = PathOf(9);
    EXPECT_EQ(Platform.Open(keyboardPath, Access::ReadWrite), InvalidHandle);
    EXPECT_EQ(Platform.LastError(), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    const Handle identify = Platform.Open(keyboardPath, Access::Identify);
    ASSERT_NE(identify, InvalidHandle);
    ASSERT_TRUE(Platform.GetAttributes(identify, attributes));
    EXPECT_EQ(attributes.VendorID, 0x046D);
    Platform.Close(identify);

    // 254 code units fill the buffer without a terminating zero; a longer string does not fit.
    const Handle longHandle = Platform.Open(PathOf(12), Access::ReadWrite);
    ASSERT_TRUE(Platform.GetProductString(longHandle, name));
    EXPECT_EQ(name, std::u16string(254, u'Ж'));
    Platform.Close(longHandle);
    const Handle tooLongHandle = Platform.Open(PathOf(13), Access::ReadWrite);
    EXPECT_FALSE(Platform.GetProductString(tooLongHandle, name));
    Platform.Close(tooLongHandle);

    const Handle silentHandle = Platform.Open(PathOf(14), Access::ReadWrite);
    EXPECT_FALSE(Platform.GetProductString(silentHandle, name));
    EXPECT_FALSE(Platform.GetPreparsedData(silentHandle, data));
    EXPECT_NE(Platform.LastError(), 0u);
    Platform.Close(silentHandle);
    const Handle muteHandle = Platform.Open(PathOf(15), Access::ReadWrite);
    EXPECT_FALSE(Platform.GetAttributes(muteHandle, attributes));
    Platform.Close(muteHandle);

    EXPECT_EQ(Platform.Open("\\\\.\\pipe\\meteo-standin-nothing-here", Access::ReadWrite), InvalidHandle);
    EXPECT_NE(Platform.LastError(), 0u);
}

TEST_F(StandInDevices, ReadsEndThroughTheCompletionRoutineWritesAreSynchronousAndCancelledReadsWriteNothing)
{
    const int station = Add(StationDescription(7));
    const std::string path = PathOf(7);
    const Handle reader = Platform.Open(path, Access::ReadOverlapped);
    const Handle main = Platform.Open(path, Access::ReadWrite);
    ASSERT_NE(reader, InvalidHandle);
    ASSERT_NE(main, InvalidHandle);

    // A report that came before the read waits for it.
    const Report first = MakeReport(1);
    ASSERT_TRUE(StandInSendInputReport(station, first.data(), first.size()));
    Report buffer{};
    ASSERT_TRUE(Platform.BeginRead(reader, buffer.data(), buffer.size()));
    EXPECT_EQ(Platform.WaitRead(reader, DeadlineMs), WaitResult::Completed);
    EXPECT_EQ(Platform.CompletedReadSize(reader), 65u);
    EXPECT_EQ(buffer, first);

    // A report that comes during the wait ends it early, whatever the slice.
    buffer = {};
    ASSERT_TRUE(Platform.BeginRead(reader, buffer.data(), buffer.size()));
    EXPECT_EQ(Platform.WaitRead(reader, 10), WaitResult::TimedOut);
    const Report second = MakeReport(2);
    std::thread sender([&] { StandInSendInputReport(station, second.data(), second.size()); });
    const auto start = Clock::now();
    EXPECT_EQ(Platform.WaitRead(reader, DeadlineMs), WaitResult::Completed);
    EXPECT_LT(Clock::now() - start, Deadline);
    sender.join();
    EXPECT_EQ(Platform.CompletedReadSize(reader), 65u);
    EXPECT_EQ(buffer, second);

    // A wake from another thread ends the wait; one that comes first ends the next wait at once.
    buffer = {};
    ASSERT_TRUE(Platform.BeginRead(reader, buffer.data(), buffer.size()));
    std::thread waker([&] { Platform.WakeRead(reader); });
    EXPECT_EQ(Platform.WaitRead(reader, DeadlineMs), WaitResult::Woken);
    waker.join();
    Platform.WakeRead(reader);
    EXPECT_EQ(Platform.WaitRead(reader, DeadlineMs), WaitResult::Woken);

    // Cancelled: the read has ended when CancelRead returns, and a later report goes to the next read.
    Platform.CancelRead(reader);
    EXPECT_EQ(Platform.CompletedReadSize(reader), 0u);
    const Report third = MakeReport(3);
    ASSERT_TRUE(StandInSendInputReport(station, third.data(), third.size()));
    Report next{};
    ASSERT_TRUE(Platform.BeginRead(reader, next.data(), next.size()));
    EXPECT_EQ(Platform.WaitRead(reader, DeadlineMs), WaitResult::Completed);
    EXPECT_EQ(Platform.CompletedReadSize(reader), 65u);
    EXPECT_EQ(next, third);
    EXPECT_EQ(buffer, Report{}) << "the cancelled read wrote into its buffer";

    // Writes return once the report is taken, as it was given.
    Report command{};
    command[1] = 3;
    std::uint32_t written = 0;
    ASSERT_TRUE(Platform.Write(main, command.data(), command.size(), written));
    EXPECT_EQ(written, 65u);
    ASSERT_TRUE(StandInWaitForOutputReports(station, 1, DeadlineMs));
    Report received{};
    EXPECT_EQ(StandInOutputReport(station, 0, received.data(), received.size()), 65u);
    EXPECT_EQ(received, command);

    // Closing the handle on another thread ends a waiting read with no data.
    Report last{};
    std::atomic<bool> started{false};
    std::uint32_t lastSize = 99;
    WaitResult lastResult = WaitResult::TimedOut;
    std::thread readThread([&] {
        if (!Platform.BeginRead(reader, last.data(), last.size()))
            return;
        started = true;
        do
            lastResult = Platform.WaitRead(reader, DeadlineMs);
        while (lastResult == WaitResult::TimedOut);
        lastSize = Platform.CompletedReadSize(reader);
    });
    while (!started && readThread.joinable() && StandInConnectedHandles(station) > 0 && !started)
        std::this_thread::yield();
    Platform.Close(reader);
    readThread.join();
    EXPECT_TRUE(started);
    EXPECT_EQ(lastResult, WaitResult::Completed);
    EXPECT_EQ(lastSize, 0u);
    EXPECT_EQ(last, Report{});
    Platform.Close(main);
}

TEST_F(StandInDevices, AVanishedDeviceEndsTheReadWithNoDataAndFailsReadStartsWritesAndQueries)
{
    const int station = Add(StationDescription(7));
    const std::string path = PathOf(7);
    const Handle reader = Platform.Open(path, Access::ReadOverlapped);
    const Handle main = Platform.Open(path, Access::ReadWrite);
    Report buffer{};
    ASSERT_TRUE(Platform.BeginRead(reader, buffer.data(), buffer.size()));
    EXPECT_EQ(Platform.WaitRead(reader, 10), WaitResult::TimedOut);

    StandInRemoveDevice(station);
    const auto start = Clock::now();
    EXPECT_EQ(Platform.WaitRead(reader, DeadlineMs), WaitResult::Completed);
    EXPECT_LT(Clock::now() - start, Deadline);
    EXPECT_EQ(Platform.CompletedReadSize(reader), 0u);
    EXPECT_NE(Platform.LastError(), 0u);
    EXPECT_EQ(buffer, Report{});

    // A read that cannot start says why, in the system's words.
    EXPECT_FALSE(Platform.BeginRead(reader, buffer.data(), buffer.size()));
    const std::uint32_t error = Platform.LastError();
    EXPECT_NE(error, 0u);
    const std::string text = Platform.ErrorText(error);
    EXPECT_FALSE(text.empty());
    EXPECT_TRUE(text.back() != '.' && text.back() != '\n' && text.back() != ' ') << text;

    Report command{};
    std::uint32_t written = 99;
    EXPECT_FALSE(Platform.Write(main, command.data(), command.size(), written));
    EXPECT_EQ(written, 0u);
    Attributes attributes;
    EXPECT_FALSE(Platform.GetAttributes(main, attributes));
    EXPECT_TRUE(Present().empty());
    EXPECT_EQ(Platform.Open(path, Access::ReadWrite), InvalidHandle);
    Platform.Close(reader);
    Platform.Close(main);

    // Broken handles of a device that is still listed: the same failures, and a fresh open works.
    const int other = Add(StationDescription(8));
    const std::string otherPath = PathOf(8);
    const Handle otherReader = Platform.Open(otherPath, Access::ReadOverlapped);
    const Handle otherMain = Platform.Open(otherPath, Access::ReadWrite);
    StandInBreakHandles(other);
    EXPECT_FALSE(Platform.BeginRead(otherReader, buffer.data(), buffer.size()));
    EXPECT_FALSE(Platform.Write(otherMain, command.data(), command.size(), written));
    Platform.Close(otherReader);
    Platform.Close(otherMain);
    const Handle again = Platform.Open(otherPath, Access::ReadWrite);
    EXPECT_NE(again, InvalidHandle);
    EXPECT_TRUE(Platform.Write(again, command.data(), command.size(), written));
    Platform.Close(again);

    // The common reasons in the program's words, the rest in the system's; unknown codes by number.
    EXPECT_EQ(Platform.ErrorText(ERROR_DEVICE_NOT_CONNECTED), "Устройство отключено");
    EXPECT_EQ(Platform.ErrorText(ERROR_ACCESS_DENIED), "Нет доступа к устройству");
    EXPECT_EQ(Platform.ErrorText(ERROR_SHARING_VIOLATION), "Устройство занято другой программой");
    EXPECT_EQ(Platform.ErrorText(0x2000ABCDu), "Неизвестная ошибка 536914893");
}

TEST_F(StandInDevices, NodeChangeNoticesReachTheHiddenTopLevelWindowOncePerNotice)
{
    int notices = 0;
    Platform.SetDeviceChangeHandler([&notices] { ++notices; });
    const HWND window = Platform.NoticeWindowForTests();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow()) << "a top-level window, not a message-only one";

    // As the system sends it: to every top-level window.
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG, DeadlineMs,
                        &answer);
    EXPECT_EQ(notices, 1);
    // Posted, it runs from the message loop; other device events are not node changes.
    PostMessageA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, -1);
    PostMessageA(window, WM_DEVICECHANGE, DBT_CONFIGCHANGED, 0);
    PostMessageA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_EQ(notices, 1);
    PumpMessages();
    EXPECT_EQ(notices, 3);

    Platform.SetDeviceChangeHandler({});
    SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG, DeadlineMs,
                        &answer);
    EXPECT_EQ(notices, 3);
    Platform.Unload();
    EXPECT_FALSE(IsWindow(window));
}

// Loading is tried with libraries that lack one function each: nothing of them stays loaded.
TEST(Loading, IsAllOrNothingAndTheSetupLibraryIsCountedAcrossUsers)
{
    StandInRemoveAll();
    {
        WindowsPlatform withoutDetail("setupapi_without_detail.dll", "HID.dll");
        EXPECT_FALSE(withoutDetail.Load());
        EXPECT_FALSE(withoutDetail.Loaded());
        std::vector<PresentInterface> present;
        EXPECT_FALSE(withoutDetail.EnumeratePresent(present));
        withoutDetail.SetDeviceChangeHandler([] {});
        EXPECT_EQ(withoutDetail.NoticeWindowForTests(), nullptr);
        EXPECT_EQ(GetModuleHandleA("setupapi_without_detail.dll"), nullptr);
        EXPECT_EQ(GetModuleHandleA("HID.dll"), nullptr) << "the HID library is not tried without the setup library";
    }
    {
        WindowsPlatform withoutHello("SetupApi.dll", "hid_without_hello.dll");
        EXPECT_FALSE(withoutHello.Load());
        EXPECT_EQ(GetModuleHandleA("hid_without_hello.dll"), nullptr);
        EXPECT_EQ(GetModuleHandleA("SetupApi.dll"), nullptr) << "the setup library is released again";
        WindowsPlatform missing("SetupApi.dll", "no_such_library.dll");
        EXPECT_FALSE(missing.Load());
    }

    const int station = StandInAddDevice(&static_cast<const StandInDeviceDescription&>(StationDescription(7)));
    ASSERT_GE(station, 0);
    WindowsPlatform first;
    WindowsPlatform second;
    ASSERT_TRUE(first.Load());
    ASSERT_TRUE(second.Load());
    ASSERT_TRUE(first.Load()) << "a second load of a loaded platform changes nothing";
    first.Unload();
    EXPECT_FALSE(first.Loaded());
    EXPECT_NE(GetModuleHandleA("SetupApi.dll"), nullptr);
    std::vector<PresentInterface> present;
    EXPECT_TRUE(second.EnumeratePresent(present));
    EXPECT_EQ(present.size(), 1u);
    second.Unload();
    EXPECT_EQ(GetModuleHandleA("SetupApi.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleA("HID.dll"), nullptr);
    StandInRemoveAll();
}

// With wine's own libraries (no stand-in in their place): they load, the scan runs over whatever
// wine presents, every device is opened and identified as the controller would, and the platform
// stops cleanly.
TEST(WineLibraries, LoadEnumerateIdentifyAndStop)
{
    WindowsPlatform platform;
    ASSERT_TRUE(platform.Load()) << "wine's HID.dll or SetupApi.dll is missing a function";
    int notices = 0;
    platform.SetDeviceChangeHandler([&notices] { ++notices; });
    EXPECT_NE(platform.NoticeWindowForTests(), nullptr);
    std::vector<PresentInterface> present;
    ASSERT_TRUE(platform.EnumeratePresent(present));
    std::printf("wine presents %zu HID interface(s)\n", present.size());
    for (const PresentInterface& item : present) {
        Handle handle = platform.Open(item.DevicePath, Access::ReadWrite);
        if (handle == InvalidHandle)
            handle = platform.Open(item.DevicePath, Access::Identify);
        if (handle == InvalidHandle)
            continue;
        Attributes attributes;
        std::u16string name;
        PreparsedData data = nullptr;
        Caps caps;
        platform.GetAttributes(handle, attributes);
        platform.GetProductString(handle, name);
        if (platform.GetPreparsedData(handle, data)) {
            platform.GetCaps(data, caps);
            platform.FreePreparsedData(data);
        }
        platform.Close(handle);
    }
    PostMessageA(platform.NoticeWindowForTests(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    PumpMessages();
    EXPECT_EQ(notices, 1);
    platform.Unload();
    EXPECT_FALSE(platform.Loaded());
    EXPECT_FALSE(platform.EnumeratePresent(present));
}

} // namespace
