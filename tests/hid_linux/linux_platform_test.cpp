#include "hid/platform/linux/linux_platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace hidplatform;
using hidlinuxtest::LoadHex;
using hidlinuxtest::ScratchDirectory;
using hidlinuxtest::WriteFile;
namespace fs = std::filesystem;

TEST(LinuxPlatform, LoadsUdevAndEnumeratesThePresentHidrawNodes)
{
    LinuxPlatform platform;
    EXPECT_FALSE(platform.Loaded());
    ASSERT_TRUE(platform.Load());
    EXPECT_TRUE(platform.Loaded());
    EXPECT_TRUE(platform.Load()); // loading twice keeps the one binding

    std::vector<PresentInterface> present(1);
    ASSERT_TRUE(platform.EnumeratePresent(present));
    std::error_code ec;
    if (fs::is_empty("/sys/class/hidraw", ec) || ec) {
        EXPECT_TRUE(present.empty()); // this machine has no HID device
    }
    for (const PresentInterface& device : present)
        EXPECT_EQ(device.DevicePath.rfind("/dev/hidraw", 0), 0u) << device.DevicePath;

    platform.Unload();
    EXPECT_FALSE(platform.Loaded());
    EXPECT_FALSE(platform.EnumeratePresent(present));
    EXPECT_TRUE(platform.Load());
}

TEST(LinuxPlatform, WithoutLibudevNothingIsKeptAndNoDeviceIsFound)
{
    // Missing altogether, and present but without the udev functions: both all or nothing.
    for (const char* library : {"libudev-absent.so.1", "libm.so.6"}) {
        LinuxPlatform platform(library);
        EXPECT_FALSE(platform.Load()) << library;
        EXPECT_FALSE(platform.Loaded()) << library;
        std::vector<PresentInterface> present;
        EXPECT_FALSE(platform.EnumeratePresent(present)) << library;
        EXPECT_TRUE(present.empty());
        platform.SetDeviceChangeHandler([] {});
        EXPECT_FALSE(platform.MonitorActive());
    }
}

TEST(LinuxPlatform, DeviceChangeHandlerStartsTheUdevMonitor)
{
    int calls = 0;
    {
        LinuxPlatform platform;
        platform.SetDeviceChangeHandler([&calls] { ++calls; }); // before Load: kept for it
        EXPECT_FALSE(platform.MonitorActive());
        ASSERT_TRUE(platform.Load());
        EXPECT_TRUE(platform.MonitorActive());
        QCoreApplication::processEvents();
        platform.SetDeviceChangeHandler({});
        platform.SetDeviceChangeHandler([&calls] { ++calls; });
        EXPECT_TRUE(platform.MonitorActive());
        platform.Unload();
        EXPECT_FALSE(platform.MonitorActive());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0); // no HID device changed meanwhile
}

TEST(LinuxPlatform, OpeningWhatIsNoHidrawNodeFails)
{
    LinuxPlatform platform;
    EXPECT_EQ(platform.Open("/dev/hidraw-none", Access::Identify), InvalidHandle);
    EXPECT_EQ(platform.LastError(), static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(platform.Open("/dev/null", Access::Identify), InvalidHandle);
    EXPECT_EQ(platform.LastError(), static_cast<std::uint32_t>(ENODEV));
    EXPECT_EQ(platform.Open("/etc/hostname", Access::ReadWrite), InvalidHandle);
    EXPECT_EQ(platform.LastError(), static_cast<std::uint32_t>(ENODEV));
    EXPECT_EQ(platform.ErrorText(ENODEV), "Устройство отключено");
}

TEST(LinuxPlatform, LastErrorBelongsToTheCallingThread)
{
    LinuxPlatform platform;
    EXPECT_EQ(platform.Open("/dev/hidraw-none", Access::Identify), InvalidHandle);
    std::thread([&platform] {
        std::uint8_t byte = 0;
        EXPECT_FALSE(platform.BeginRead(12345, &byte, 1));
        EXPECT_EQ(platform.LastError(), static_cast<std::uint32_t>(EBADF));
    }).join();
    EXPECT_EQ(platform.LastError(), static_cast<std::uint32_t>(ENOENT));
}

namespace {

// /dev/null stands in for the node: its sysfs entry is faked as a hidraw node of the station.
struct FakeStationNode
{
    ScratchDirectory Root;
    std::string Path = "/dev/null";
    fs::path Hid;

    FakeStationNode()
    {
        struct stat st;
        if (stat(Path.c_str(), &st) != 0)
            throw std::runtime_error("no /dev/null");
        Hid = hidlinuxtest::AddUsbHidDevice(Root.Path, "0003:2112:1212.000A",
                                            "HID_ID=0003:00002112:00001212\nHID_NAME=Метеостанция\n", "Метеостанция");
        hidlinuxtest::AddCharNode(Root.Path, Hid, "hidraw", major(st.st_rdev), minor(st.st_rdev));
    }
};

} // namespace

TEST(LinuxPlatform, IdentifiesWithoutAnOpenDescriptor)
{
    FakeStationNode station;
    LinuxPlatform platform("libudev.so.1", station.Root.Path.string());
    const Handle handle = platform.Open(station.Path, Access::Identify);
    ASSERT_NE(handle, InvalidHandle);

    Attributes attributes;
    ASSERT_TRUE(platform.GetAttributes(handle, attributes));
    EXPECT_EQ(attributes.VendorID, 0x2112);
    EXPECT_EQ(attributes.ProductID, 0x1212);
    EXPECT_EQ(attributes.VersionNumber, 0x0105);
    std::u16string product;
    ASSERT_TRUE(platform.GetProductString(handle, product));
    EXPECT_EQ(product, u"Метеостанция");

    PreparsedData data = nullptr;
    ASSERT_TRUE(platform.GetPreparsedData(handle, data));
    Caps caps;
    ASSERT_TRUE(platform.GetCaps(data, caps));
    EXPECT_EQ(caps.InputReportByteLength, 65);
    EXPECT_EQ(caps.OutputReportByteLength, 65);
    EXPECT_EQ(caps.FeatureReportByteLength, 0);
    platform.FreePreparsedData(data);
    platform.FreePreparsedData(data); // a second release is ignored
    EXPECT_FALSE(platform.GetCaps(data, caps));

    // Identification only: neither writes nor reads.
    std::uint8_t report[65] = {};
    std::uint32_t written = 99;
    EXPECT_FALSE(platform.Write(handle, report, sizeof report, written));
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(platform.BeginRead(handle, report, sizeof report));

    platform.Close(handle);
    EXPECT_FALSE(platform.GetAttributes(handle, attributes));
    platform.Close(handle); // a stale handle is harmless
}

TEST(LinuxPlatform, ReadWriteHandleWritesTheReportAsGiven)
{
    FakeStationNode station;
    LinuxPlatform platform("libudev.so.1", station.Root.Path.string());
    const Handle first = platform.Open(station.Path, Access::ReadWrite);
    ASSERT_NE(first, InvalidHandle);
    std::uint8_t report[65] = {0, 1};
    std::uint32_t written = 0;
    ASSERT_TRUE(platform.Write(first, report, sizeof report, written));
    EXPECT_EQ(written, 65u);
    platform.Close(first);
    EXPECT_FALSE(platform.Write(first, report, sizeof report, written));

    const Handle second = platform.Open(station.Path, Access::ReadWrite);
    EXPECT_NE(second, first); // handles are never reused
    platform.Close(second);
}

TEST(LinuxPlatform, UnreadableDescriptorGivesNoCapsAndNoReadHandle)
{
    // A descriptor cut in the middle of an item.
    FakeStationNode station;
    WriteFile(station.Hid / "report_descriptor",
              std::vector<std::uint8_t>{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x26, 0xFF});
    LinuxPlatform platform("libudev.so.1", station.Root.Path.string());
    const Handle handle = platform.Open(station.Path, Access::Identify);
    ASSERT_NE(handle, InvalidHandle); // still identifiable
    PreparsedData data = nullptr;
    EXPECT_FALSE(platform.GetPreparsedData(handle, data));
    EXPECT_EQ(platform.Open(station.Path, Access::ReadOverlapped), InvalidHandle);
    EXPECT_EQ(platform.LastError(), static_cast<std::uint32_t>(EPROTO));
    platform.Close(handle);
}

namespace {

// A sequenced-packet socket keeps report boundaries as hidraw does; the peer plays the device.
struct FakeReadHandle
{
    LinuxPlatform Platform;
    int Device = -1; // adopted by the platform
    int Peer = -1;
    Handle Read = InvalidHandle;

    explicit FakeReadHandle(bool numbered)
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0)
            throw std::runtime_error("no socketpair");
        Device = fds[0];
        Peer = fds[1];
        Read = Platform.AdoptDescriptorForTests(Device, numbered);
    }
    ~FakeReadHandle()
    {
        if (Peer >= 0)
            close(Peer);
    }
    void Send(const std::vector<std::uint8_t>& report) const
    {
        ASSERT_EQ(send(Peer, report.data(), report.size(), MSG_NOSIGNAL), static_cast<ssize_t>(report.size()));
    }
};

} // namespace

TEST(LinuxPlatformRead, UnnumberedReportGetsIdByteZeroInFront)
{
    FakeReadHandle fake(false);
    ASSERT_NE(fake.Read, InvalidHandle);
    std::vector<std::uint8_t> report(64);
    for (std::size_t i = 0; i < report.size(); ++i)
        report[i] = static_cast<std::uint8_t>(i + 1);
    fake.Send(report);

    std::uint8_t buffer[65];
    std::memset(buffer, 0xAA, sizeof buffer);
    ASSERT_TRUE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer));
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 5000), WaitResult::Completed);
    ASSERT_EQ(fake.Platform.CompletedReadSize(fake.Read), 65u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer + 1, buffer + 65), report);
}

TEST(LinuxPlatformRead, NumberedReportIsTakenAsDelivered)
{
    FakeReadHandle fake(true);
    fake.Send({0x02, 0xE9, 0x00});
    std::uint8_t buffer[20] = {};
    ASSERT_TRUE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer));
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 5000), WaitResult::Completed);
    ASSERT_EQ(fake.Platform.CompletedReadSize(fake.Read), 3u);
    EXPECT_EQ(buffer[0], 0x02);
    EXPECT_EQ(buffer[1], 0xE9);
}

TEST(LinuxPlatformRead, ReadWaitsInSlicesUntilAReportArrives)
{
    FakeReadHandle fake(false);
    std::uint8_t buffer[65] = {};
    ASSERT_TRUE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer));
    EXPECT_FALSE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer)); // one read at a time
    EXPECT_EQ(fake.Platform.LastError(), static_cast<std::uint32_t>(EBUSY));
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 10), WaitResult::TimedOut);
    EXPECT_EQ(fake.Platform.CompletedReadSize(fake.Read), 0u);
    fake.Send({7, 8});
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 5000), WaitResult::Completed);
    EXPECT_EQ(fake.Platform.CompletedReadSize(fake.Read), 3u);
    EXPECT_EQ(buffer[1], 7);
}

TEST(LinuxPlatformRead, WakeEndsTheCurrentOrTheNextWaitAtOnce)
{
    FakeReadHandle fake(false);
    std::uint8_t buffer[65] = {};
    ASSERT_TRUE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer));

    fake.Platform.WakeRead(fake.Read); // before the wait
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 60000), WaitResult::Woken);

    // During the wait, from another thread; a wait that ignored the wake would take a minute.
    const std::atomic<pid_t> waiter{gettid()};
    std::atomic<bool> polled{false};
    std::thread waker([&] {
        polled = hidlinuxtest::WaitUntilPolling(waiter);
        fake.Platform.WakeRead(fake.Read);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 60000), WaitResult::Woken);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    waker.join();
    EXPECT_TRUE(polled); // the wake came during the wait

    // The read is still outstanding and the wake is used up.
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 10), WaitResult::TimedOut);
    fake.Send({1});
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 5000), WaitResult::Completed);
    EXPECT_EQ(fake.Platform.CompletedReadSize(fake.Read), 2u);
}

TEST(LinuxPlatformRead, CloseWhileAReaderWaitsEndsTheReadWithNoData)
{
    FakeReadHandle fake(true);
    std::uint8_t buffer[20];
    std::memset(buffer, 0xAA, sizeof buffer);
    ASSERT_TRUE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer));

    std::atomic<pid_t> readerId{0};
    WaitResult result = WaitResult::TimedOut;
    std::uint32_t size = 99;
    std::thread reader([&] {
        readerId = gettid();
        result = fake.Platform.WaitRead(fake.Read, 60000);
        size = fake.Platform.CompletedReadSize(fake.Read);
    });
    EXPECT_TRUE(hidlinuxtest::WaitUntilPolling(readerId)); // the close comes during the wait
    fake.Platform.Close(fake.Read);
    reader.join();

    EXPECT_EQ(result, WaitResult::Completed);
    EXPECT_EQ(size, 0u);
    // Nothing reaches the buffer afterwards, and the descriptor went with its last user.
    std::uint8_t report[3] = {1, 2, 3};
    EXPECT_EQ(send(fake.Peer, report, sizeof report, MSG_NOSIGNAL), -1);
    EXPECT_EQ(errno, EPIPE);
    for (const std::uint8_t byte : buffer)
        EXPECT_EQ(byte, 0xAA);
    EXPECT_FALSE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer));
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 60000), WaitResult::Completed);
}

TEST(LinuxPlatformRead, VanishedDeviceEndsTheReadWithNoData)
{
    FakeReadHandle fake(false);
    std::uint8_t buffer[65] = {};
    ASSERT_TRUE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer));
    close(fake.Peer);
    fake.Peer = -1;
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 60000), WaitResult::Completed);
    EXPECT_EQ(fake.Platform.CompletedReadSize(fake.Read), 0u);
    // Later reads fail to start, so the read thread pauses instead of spinning until the rescan.
    EXPECT_FALSE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer));
    EXPECT_EQ(fake.Platform.LastError(), static_cast<std::uint32_t>(ENODEV));
}

TEST(LinuxPlatformRead, CancelledReadNeverWritesTheBuffer)
{
    FakeReadHandle fake(true);
    std::uint8_t buffer[20];
    std::memset(buffer, 0xAA, sizeof buffer);
    ASSERT_TRUE(fake.Platform.BeginRead(fake.Read, buffer, sizeof buffer));
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 10), WaitResult::TimedOut);
    fake.Platform.CancelRead(fake.Read);
    fake.Send({4, 5, 6});
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 60000), WaitResult::Completed); // nothing outstanding
    EXPECT_EQ(fake.Platform.CompletedReadSize(fake.Read), 0u);
    EXPECT_EQ(buffer[0], 0xAA);

    // The report waits for the next read.
    std::uint8_t next[20] = {};
    ASSERT_TRUE(fake.Platform.BeginRead(fake.Read, next, sizeof next));
    EXPECT_EQ(fake.Platform.WaitRead(fake.Read, 5000), WaitResult::Completed);
    EXPECT_EQ(fake.Platform.CompletedReadSize(fake.Read), 3u);
    EXPECT_EQ(next[0], 4);
}

TEST(LinuxPlatformRead, BufferTooSmallForAReportCannotStartARead)
{
    FakeReadHandle fake(false);
    std::uint8_t byte = 0;
    EXPECT_FALSE(fake.Platform.BeginRead(fake.Read, &byte, 1));
    EXPECT_EQ(fake.Platform.LastError(), static_cast<std::uint32_t>(EINVAL));
    EXPECT_FALSE(fake.Platform.BeginRead(fake.Read, nullptr, 65));
}
