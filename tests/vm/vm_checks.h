// What the programs that run inside the kernel VM share beyond probe_common.h: the event loop pump,
// timing, the backend with its reads counted, and a way to run this same program again as a child
// process with other rights or another library path, with a time limit.
#pragma once

#include "tests/vm/probe_common.h"

#include "hid/device_controller.h"
#include "hid/hid_device.h"
#include "hid/platform/hid_platform.h"
#include "protocol/station_identity.h"
#include "simulator/station_model.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <csignal>
#include <functional>
#include <sys/wait.h>

namespace probe {

using Clock = std::chrono::steady_clock;

// Runs the event loop (the read threads' hand-overs, the udev notices) until done() holds.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = EventDeadlineMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

// The real backend with every read start and every read that brought a report counted: to see
// whether a read thread spins, and when the program has taken all a station sent.
class TCountingPlatform : public hidplatform::Platform
{
public:
    explicit TCountingPlatform(hidplatform::Platform& real)
        : Real(real)
    {
    }

    std::atomic<int> ReadStarts{0};
    std::atomic<int> FailedReadStarts{0};
    std::atomic<int> ReportsRead{0};

    bool Load() override { return Real.Load(); }
    void Unload() override { Real.Unload(); }
    bool Loaded() const override { return Real.Loaded(); }
    bool EnumeratePresent(std::vector<hidplatform::PresentInterface>& out) override
    {
        return Real.EnumeratePresent(out);
    }
    hidplatform::Handle Open(const std::string& path, hidplatform::Access access) override
    {
        return Real.Open(path, access);
    }
    void Close(hidplatform::Handle handle) override { Real.Close(handle); }
    bool GetAttributes(hidplatform::Handle handle, hidplatform::Attributes& out) override
    {
        return Real.GetAttributes(handle, out);
    }
    bool GetProductString(hidplatform::Handle handle, std::u16string& out) override
    {
        return Real.GetProductString(handle, out);
    }
    bool GetPreparsedData(hidplatform::Handle handle, hidplatform::PreparsedData& out) override
    {
        return Real.GetPreparsedData(handle, out);
    }
    void FreePreparsedData(hidplatform::PreparsedData data) override { Real.FreePreparsedData(data); }
    bool GetCaps(hidplatform::PreparsedData data, hidplatform::Caps& out) override { return Real.GetCaps(data, out); }
    bool Write(hidplatform::Handle handle, const std::uint8_t* buffer, std::size_t length,
               std::uint32_t& written) override
    {
        return Real.Write(handle, buffer, length, written);
    }
    bool BeginRead(hidplatform::Handle handle, std::uint8_t* buffer, std::size_t length) override
    {
        ++ReadStarts;
        const bool started = Real.BeginRead(handle, buffer, length);
        if (!started)
            ++FailedReadStarts;
        return started;
    }
    hidplatform::WaitResult WaitRead(hidplatform::Handle handle, int sliceMs) override
    {
        return Real.WaitRead(handle, sliceMs);
    }
    void WakeRead(hidplatform::Handle handle) override { Real.WakeRead(handle); }
    std::uint32_t CompletedReadSize(hidplatform::Handle handle) override
    {
        const std::uint32_t size = Real.CompletedReadSize(handle);
        if (size > 0)
            ++ReportsRead;
        return size;
    }
    void CancelRead(hidplatform::Handle handle) override { Real.CancelRead(handle); }
    std::uint32_t LastError() const override { return Real.LastError(); }
    std::string ErrorText(std::uint32_t code) const override { return Real.ErrorText(code); }
    void SetDeviceChangeHandler(std::function<void()> handler) override
    {
        Real.SetDeviceChangeHandler(std::move(handler));
    }

private:
    hidplatform::Platform& Real;
};

inline std::string Utf8(const std::u16string& text)
{
    return QString::fromStdU16String(text).toStdString();
}

// The station as the controller sees it: product string, ids, `version`, 65/65 report lengths (64
// bytes plus the id byte), checked out with its read thread running. `source` says where the
// product string and version come from on this transport.
inline void CheckStationIdentity(THidDevice& device, std::uint16_t version, const std::string& source)
{
    Check(device.QueryProductName() == StationProductName,
          "product string \"" + Utf8(device.QueryProductName()) + "\" (" + source + ")");
    char ids[64];
    std::snprintf(ids, sizeof ids, "VendorID %04X, ProductID %04X, VersionNumber %04X", device.VendorID(),
                  device.ProductID(), device.VersionNumber());
    Check(device.VendorID() == 0x2112 && device.ProductID() == 0x1212 && device.VersionNumber() == version, ids);
    THidCaps caps;
    device.QueryCaps(caps);
    Check(caps.InputReportByteLength == 65 && caps.OutputReportByteLength == 65,
          "report lengths " + std::to_string(caps.InputReportByteLength) + "/" +
              std::to_string(caps.OutputReportByteLength) + " from the descriptor");
    Check(device.CheckedOut() && device.ReadWriteGranted() && device.ReadThread() != nullptr,
          "checked out, read-write, read thread running");
}

// The stand-in station of the end-to-end probes: seed 11, its clock at 14.05.2016 12:00, plausible
// history up to the hour before, a quick readings stream and a block every 4 ms. hidraw keeps 64
// reports per reader; blocks sent as fast as the transport takes them would outrun a reader that
// hands each one to the main thread. Returns its history memory.
inline constexpr std::uint32_t StationSeed = 11;
inline const simulator::TStationDateTime StationClock{2016, 5, 14, 12, 0, 0};
inline simulator::THistoryMemory SetUpStation(simulator::TStationModel& model)
{
    model.FillPlausibleHistory(90, {2016, 5, 14, 11, 0, 0}, 5);
    model.SetStreamInterval(std::chrono::milliseconds(40));
    model.SetBlockInterval(std::chrono::milliseconds(4));
    return model.HistoryMemory();
}

// The controller of a probe has bound the Linux backend, whose udev monitor runs.
inline void CheckControllerLoaded(THidDeviceController& controller, bool monitorActive)
{
    Check(controller.HidLibraryLoaded(), "controller loaded the Linux backend (libudev.so.1)");
    Check(monitorActive, "udev monitor active (\"kernel\" source, no udevd here)");
}

inline void Pump(int ms)
{
    PumpUntil([] { return false; }, ms);
}

inline double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

inline std::string Fixed(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// Runs this program again with `mode` as its only argument and returns its exit status; -1 when
// it could not be started, crashed (the signal is printed) or outlived the time limit (killed).
inline int RunSelf(const char* mode, int timeoutMs)
{
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        const char* args[] = {"/proc/self/exe", mode, nullptr};
        ::execv(args[0], const_cast<char* const*>(args));
        ::_exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0)
            return -1;
        if (Clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            Info(std::string("child ") + mode + " ran out of time and was killed");
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFSIGNALED(status)) {
        Info(std::string("child ") + mode + " ended by signal " + std::to_string(WTERMSIG(status)));
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The libudev.so.1 files the dynamic loader would find in its default folders.
inline std::vector<std::string> UdevLibraryFiles()
{
    std::vector<std::string> files;
    for (const char* dir :
         {"/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib64", "/usr/lib64", "/lib", "/usr/lib"}) {
        const std::string path = std::string(dir) + "/libudev.so.1";
        struct stat st
        {};
        if (::lstat(path.c_str(), &st) == 0)
            files.push_back(path);
    }
    return files;
}

} // namespace probe
