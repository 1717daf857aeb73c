// The platform layer on Linux: udev (bound at run time) for the present hidraw devices and the
// device-change notices, sysfs for identification without access rights, hidraw descriptors for
// reports.
#pragma once

#include "hid/platform/handle_table.h"
#include "hid/platform/hid_platform.h"
#include "hid/platform/linux/udev_library.h"

#include <memory>
#include <string>

class QSocketNotifier;

namespace hidplatform {

class LinuxPlatform : public Platform
{
public:
    // The library name and the sysfs root only change for tests.
    explicit LinuxPlatform(std::string udevLibrary = "libudev.so.1", std::string sysRoot = "/sys");
    ~LinuxPlatform() override;
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    bool Load() override;
    void Unload() override;
    bool Loaded() const override;

    bool EnumeratePresent(std::vector<PresentInterface>& out) override;

    Handle Open(const std::string& path, Access access) override;
    void Close(Handle handle) override;

    bool GetAttributes(Handle handle, Attributes& out) override;
    bool GetProductString(Handle handle, std::u16string& out) override;
    bool GetPreparsedData(Handle handle, PreparsedData& out) override;
    void FreePreparsedData(PreparsedData data) override;
    bool GetCaps(PreparsedData data, Caps& out) override;

    bool Write(Handle handle, const std::uint8_t* buffer, std::size_t length, std::uint32_t& written) override;

    bool BeginRead(Handle handle, std::uint8_t* buffer, std::size_t length) override;
    WaitResult WaitRead(Handle handle, int sliceMs) override;
    void WakeRead(Handle handle) override;
    std::uint32_t CompletedReadSize(Handle handle) override;
    void CancelRead(Handle handle) override;

    std::uint32_t LastError() const override;
    std::string ErrorText(std::uint32_t code) const override;

    void SetDeviceChangeHandler(std::function<void()> handler) override;

    // Test seam: takes over an open descriptor (a pipe or socket standing in for a hidraw node) as a
    // read handle, so the read, wake and close paths run for real without a device.
    Handle AdoptDescriptorForTests(int fd, bool numberedReports);

    // Whether the notices come from a udev monitor (false where it could not be set up).
    bool MonitorActive() const { return Monitor != nullptr; }

private:
    struct OpenDevice;

    std::shared_ptr<OpenDevice> Find(Handle handle);
    Handle Register(std::shared_ptr<OpenDevice> device);
    void StartMonitor();
    void StopMonitor();
    void DrainMonitor();

    const std::string UdevLibraryName;
    const std::string SysRoot;
    UdevLibrary Udev;
    udev* Context = nullptr;
    bool UdevdRunning = false;

    udev_monitor* Monitor = nullptr;
    std::unique_ptr<QSocketNotifier> MonitorNotifier;
    std::function<void()> ChangeHandler;

    THandleTable<OpenDevice> Handles;
};

} // namespace hidplatform
