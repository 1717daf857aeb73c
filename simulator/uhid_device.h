// A HID device made by this process through the kernel's uhid interface (/dev/uhid, Linux only):
// the kernel binds a HID driver to it and gives it a hidraw node like any USB HID device. Output
// reports the host writes come to the output handler; input reports go in through SendInput.
//
// Each connection (Create .. Destroy) opens /dev/uhid anew and runs a thread of its own that waits
// on the uhid descriptor and on an eventfd that stops it. The thread answers the kernel's requests
// (get/set report: refused, the station has no feature reports) and calls the tick handler after
// every wake-up, so a device model can let its time pass on the same thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct uhid_event; // <linux/uhid.h>

namespace simulator {

struct TUhidDeviceConfig
{
    std::string Name;         // UTF-8, at most 127 bytes (cut at a character boundary)
    std::uint16_t Bus = 0x03; // BUS_USB
    std::uint32_t VendorID = 0;
    std::uint32_t ProductID = 0;
    std::uint32_t Version = 0;
    std::vector<std::uint8_t> ReportDescriptor; // 1..4096 bytes
};

class TUhidDevice
{
public:
    // Called on the device's thread with the report as the host wrote it (report id first).
    using TOutputHandler = std::function<void(const std::uint8_t* report, std::size_t length)>;
    // Called on the device's thread after every wake-up; returns how long the thread may sleep
    // before it must be called again, or none when only the kernel (or a stop) need wake it.
    using TTickHandler = std::function<std::optional<std::chrono::milliseconds>()>;

    explicit TUhidDevice(std::string uhidPath = "/dev/uhid");
    ~TUhidDevice(); // destroys the device (an unplug)
    TUhidDevice(const TUhidDevice&) = delete;
    TUhidDevice& operator=(const TUhidDevice&) = delete;

    // Set while no device exists (before Create or after Destroy).
    void SetOutputHandler(TOutputHandler handler);
    void SetTickHandler(TTickHandler handler);

    // Creates the device (a plug-in) and starts its thread. False with LastError set (errno) when
    // /dev/uhid cannot be opened, the configuration is invalid or the kernel refuses it, or when
    // the device exists already (EBUSY).
    bool Create(const TUhidDeviceConfig& config);
    // Removes the device (an unplug): the thread stops, UHID_DESTROY is sent, /dev/uhid closed.
    // Does nothing when no device exists. Not from the device's own thread.
    void Destroy();
    bool Created() const { return Fd.load() >= 0; }

    // Any thread. One input report as the device sends it (numbered reports: id first). False with
    // LastError set when no device exists (ENODEV), the report is empty or too long (EINVAL) or
    // the kernel refuses it.
    bool SendInput(const std::uint8_t* data, std::size_t length);

    int LastError() const { return LastErrorCode.load(); }

    // What the kernel told the device in this connection: a driver started it, some reader has it
    // open (the kernel tells the first open and the last close only), how many output reports came.
    bool Started() const { return StartedFlag.load(); }
    bool Opened() const { return OpenedFlag.load(); }
    int OutputReportCount() const { return Outputs.load(); }

    // Waits until the kernel has started the device (a driver bound it, the hidraw node follows).
    bool WaitStarted(std::chrono::milliseconds timeout) const;

    // The configuration's checks on their own: name length, descriptor size.
    static bool ValidConfig(const TUhidDeviceConfig& config);
    // The UTF-8 name cut to at most `maxBytes` without splitting a character.
    static std::string CutName(const std::string& name, std::size_t maxBytes);

private:
    void Run();
    // Calls the tick handler; the time-out of the next wait on the descriptors.
    int Tick();
    bool WriteEvent(const void* event, std::size_t size);
    // Reads and handles every event the kernel has queued for the device; false when no more will
    // come (the thread then ends).
    bool ReadEvents(int fd, uhid_event& event);
    void HandleEvent(const uhid_event& event);
    void Fail(int error) { LastErrorCode = error; }

    const std::string UhidPath;
    std::atomic<int> Fd{-1}; // changed under WriteMutex
    int StopFd = -1;
    std::thread Worker;
    std::mutex WriteMutex; // one event written at a time
    TOutputHandler OutputHandler;
    TTickHandler TickHandler;
    std::atomic<int> LastErrorCode{0};
    std::atomic<bool> StartedFlag{false};
    std::atomic<bool> OpenedFlag{false};
    std::atomic<int> Outputs{0};
};

} // namespace simulator
