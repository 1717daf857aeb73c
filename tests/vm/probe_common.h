// Shared by the programs that run inside the kernel VM: the station's identity and report descriptor,
// check reporting, sysfs helpers and libudev bound at run time the way the program's backend binds it.
#pragma once

#include "protocol/station_identity.h"

#include <linux/hidraw.h>
#include <linux/input.h>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace probe {

inline constexpr std::uint16_t StationVendor = 0x2112;
inline constexpr std::uint16_t StationProduct = 0x1212;
inline constexpr const char* StationName = "Метеостанция";
inline constexpr std::size_t ReportSize = 64;

// Vendor-defined page, one 64-byte input and one 64-byte output report, no report ids.
inline const std::vector<std::uint8_t>& ReportDescriptor = ::StationReportDescriptor;

inline int Failures = 0;

// How long a probe waits for anything the kernel, the station or the program should do: far
// beyond need, since the guest runs under software emulation on a machine that may be busy. Every
// wait ends as soon as what it waits for has come.
inline constexpr int EventDeadlineMs = 30000;

// Checks `done` every few milliseconds until it holds; false when it still does not after timeoutMs.
template <typename Done>
bool WaitUntil(Done done, int timeoutMs = EventDeadlineMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline void Check(bool ok, const std::string& what)
{
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok)
        ++Failures;
}

inline void Info(const std::string& text)
{
    std::printf("      %s\n", text.c_str());
    std::fflush(stdout);
}

inline std::string ErrorText(int error)
{
    return std::string(std::strerror(error)) + " (errno " + std::to_string(error) + ")";
}

inline std::optional<std::string> ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline bool Exists(const std::string& path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0;
}

inline std::string Hex(const std::uint8_t* data, std::size_t size)
{
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
        text += byte;
    }
    return text;
}

// libudev, bound at run time the way the program's backend binds it.
struct udev;
struct udev_device;
struct udev_enumerate;
struct udev_list_entry;
struct udev_monitor;

struct TUdev
{
    void* Library = nullptr;
    udev* (*New)();
    udev* (*Unref)(udev*);
    udev_enumerate* (*EnumerateNew)(udev*);
    int (*EnumerateAddMatchSubsystem)(udev_enumerate*, const char*);
    int (*EnumerateAddMatchIsInitialized)(udev_enumerate*);
    int (*EnumerateScanDevices)(udev_enumerate*);
    udev_list_entry* (*EnumerateGetListEntry)(udev_enumerate*);
    udev_enumerate* (*EnumerateUnref)(udev_enumerate*);
    udev_list_entry* (*ListEntryGetNext)(udev_list_entry*);
    const char* (*ListEntryGetName)(udev_list_entry*);
    udev_device* (*DeviceNewFromSyspath)(udev*, const char*);
    udev_device* (*DeviceUnref)(udev_device*);
    const char* (*DeviceGetDevnode)(udev_device*);
    const char* (*DeviceGetSysname)(udev_device*);
    const char* (*DeviceGetAction)(udev_device*);
    const char* (*DeviceGetPropertyValue)(udev_device*, const char*);
    const char* (*DeviceGetSysattrValue)(udev_device*, const char*);
    int (*DeviceGetIsInitialized)(udev_device*);
    udev_device* (*DeviceGetParentWithSubsystemDevtype)(udev_device*, const char*, const char*);
    udev_monitor* (*MonitorNewFromNetlink)(udev*, const char*);
    int (*MonitorFilterAddMatchSubsystemDevtype)(udev_monitor*, const char*, const char*);
    int (*MonitorEnableReceiving)(udev_monitor*);
    int (*MonitorGetFd)(udev_monitor*);
    udev_device* (*MonitorReceiveDevice)(udev_monitor*);
    udev_monitor* (*MonitorUnref)(udev_monitor*);

    template <typename F>
    bool Bind(F& function, const char* name)
    {
        function = reinterpret_cast<F>(::dlsym(Library, name));
        return function != nullptr;
    }

    bool Load()
    {
        Library = ::dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!Library)
            return false;
        return Bind(New, "udev_new") && Bind(Unref, "udev_unref") && Bind(EnumerateNew, "udev_enumerate_new") &&
            Bind(EnumerateAddMatchSubsystem, "udev_enumerate_add_match_subsystem") &&
            Bind(EnumerateAddMatchIsInitialized, "udev_enumerate_add_match_is_initialized") &&
            Bind(EnumerateScanDevices, "udev_enumerate_scan_devices") &&
            Bind(EnumerateGetListEntry, "udev_enumerate_get_list_entry") &&
            Bind(EnumerateUnref, "udev_enumerate_unref") && Bind(ListEntryGetNext, "udev_list_entry_get_next") &&
            Bind(ListEntryGetName, "udev_list_entry_get_name") &&
            Bind(DeviceNewFromSyspath, "udev_device_new_from_syspath") && Bind(DeviceUnref, "udev_device_unref") &&
            Bind(DeviceGetDevnode, "udev_device_get_devnode") && Bind(DeviceGetSysname, "udev_device_get_sysname") &&
            Bind(DeviceGetAction, "udev_device_get_action") &&
            Bind(DeviceGetPropertyValue, "udev_device_get_property_value") &&
            Bind(DeviceGetSysattrValue, "udev_device_get_sysattr_value") &&
            Bind(DeviceGetIsInitialized, "udev_device_get_is_initialized") &&
            Bind(DeviceGetParentWithSubsystemDevtype, "udev_device_get_parent_with_subsystem_devtype") &&
            Bind(MonitorNewFromNetlink, "udev_monitor_new_from_netlink") &&
            Bind(MonitorFilterAddMatchSubsystemDevtype, "udev_monitor_filter_add_match_subsystem_devtype") &&
            Bind(MonitorEnableReceiving, "udev_monitor_enable_receiving") &&
            Bind(MonitorGetFd, "udev_monitor_get_fd") && Bind(MonitorReceiveDevice, "udev_monitor_receive_device") &&
            Bind(MonitorUnref, "udev_monitor_unref");
    }

    // Syspaths of the hidraw devices, optionally only those udev has initialised.
    std::vector<std::string> Enumerate(udev* context, bool initialisedOnly)
    {
        std::vector<std::string> paths;
        udev_enumerate* e = EnumerateNew(context);
        if (!e)
            return paths;
        EnumerateAddMatchSubsystem(e, "hidraw");
        if (initialisedOnly)
            EnumerateAddMatchIsInitialized(e);
        if (EnumerateScanDevices(e) >= 0)
            for (udev_list_entry* i = EnumerateGetListEntry(e); i; i = ListEntryGetNext(i))
                paths.push_back(ListEntryGetName(i));
        EnumerateUnref(e);
        return paths;
    }

    udev_monitor* Monitor(udev* context, const char* source)
    {
        udev_monitor* m = MonitorNewFromNetlink(context, source);
        if (!m)
            return nullptr;
        MonitorFilterAddMatchSubsystemDevtype(m, "hidraw", nullptr);
        if (MonitorEnableReceiving(m) < 0) {
            MonitorUnref(m);
            return nullptr;
        }
        return m;
    }

    // Every "action devnode" the monitor has queued, waiting up to timeoutMs for the event `until`
    // (for the first event when none is named), then taking what follows within 50 ms.
    std::vector<std::string> Drain(udev_monitor* m, const std::string& until = {}, int timeoutMs = EventDeadlineMs)
    {
        std::vector<std::string> events;
        if (!m)
            return events;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        pollfd pfd{MonitorGetFd(m), POLLIN, 0};
        for (;;) {
            const bool waiting =
                until.empty() ? events.empty() : std::find(events.begin(), events.end(), until) == events.end();
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (::poll(&pfd, 1, waiting ? static_cast<int>(std::max<long>(left.count(), 0)) : 50) <= 0)
                break;
            udev_device* d = MonitorReceiveDevice(m);
            if (!d)
                break;
            const char* action = DeviceGetAction(d);
            const char* node = DeviceGetDevnode(d);
            events.push_back(std::string(action ? action : "?") + " " + (node ? node : "(no node)"));
            DeviceUnref(d);
        }
        return events;
    }
};

inline std::string Join(const std::vector<std::string>& items)
{
    std::string text;
    for (const auto& i : items)
        text += (text.empty() ? "" : ", ") + i;
    return text.empty() ? "(none)" : text;
}

// The hidraw node whose HID device carries the station's ids, waiting for it to appear.
inline std::string FindHidraw(int timeoutMs = EventDeadlineMs)
{
    std::string found;
    WaitUntil(
        [&] {
            DIR* dir = ::opendir("/sys/class/hidraw");
            if (!dir)
                return false;
            while (dirent* entry = ::readdir(dir)) {
                std::string name = entry->d_name;
                if (name.rfind("hidraw", 0) != 0)
                    continue;
                char target[PATH_MAX];
                if (::realpath(("/sys/class/hidraw/" + name + "/device").c_str(), target) &&
                    std::string(target).find(":2112:1212.") != std::string::npos && Exists("/dev/" + name))
                    found = name;
            }
            ::closedir(dir);
            return !found.empty();
        },
        timeoutMs);
    return found;
}

// Prints every ancestor of the hidraw node with its subsystem; returns the ancestors' subsystems.
inline std::vector<std::string> ShowParentChain(const std::string& hidraw)
{
    std::vector<std::string> subsystems;
    char real[PATH_MAX];
    if (!::realpath(("/sys/class/hidraw/" + hidraw).c_str(), real))
        return subsystems;
    Info(std::string("sysfs path: ") + real);
    for (std::string path = real; path.size() > std::strlen("/sys/devices"); path = path.substr(0, path.rfind('/'))) {
        char link[PATH_MAX];
        std::string subsystem = "(none)";
        if (::realpath((path + "/subsystem").c_str(), link))
            subsystem = std::string(link).substr(std::string(link).rfind('/') + 1);
        subsystems.push_back(subsystem);
        std::string attributes;
        for (const char* a : {"product", "manufacturer", "idVendor", "bcdDevice", "report_descriptor", "uevent"})
            if (Exists(path + "/" + a))
                attributes += std::string(" ") + a;
        Info("  " + path.substr(path.rfind('/') + 1) + "  subsystem=" + subsystem +
             "  attributes:" + (attributes.empty() ? " -" : attributes));
    }
    return subsystems;
}

// The start of the probes: libudev bound at run time with a context and a monitor on the
// "kernel" source (and on the "udev" source when asked); all empty when the library cannot be had.
// Released when the probe ends.
struct TUdevStart
{
    TUdev Lib;
    udev* Context = nullptr;
    udev_monitor* KernelMonitor = nullptr;
    udev_monitor* UdevMonitor = nullptr;

    explicit TUdevStart(bool udevSourceToo = false)
    {
        const bool loaded = Lib.Load();
        Check(loaded, std::string("libudev.so.1 loaded at run time") + (loaded ? "" : std::string(": ") + ::dlerror()));
        Context = loaded ? Lib.New() : nullptr;
        KernelMonitor = Context ? Lib.Monitor(Context, "kernel") : nullptr;
        UdevMonitor = Context && udevSourceToo ? Lib.Monitor(Context, "udev") : nullptr;
    }
    ~TUdevStart()
    {
        if (KernelMonitor)
            Lib.MonitorUnref(KernelMonitor);
        if (UdevMonitor)
            Lib.MonitorUnref(UdevMonitor);
        if (Context)
            Lib.Unref(Context);
    }
    TUdevStart(const TUdevStart&) = delete;
    TUdevStart& operator=(const TUdevStart&) = delete;
};

// The station's hidraw node once it has come, checked; empty when it did not.
inline std::string CheckHidrawNode()
{
    const std::string hidraw = FindHidraw();
    Check(!hidraw.empty(), "hidraw node appeared: /dev/" + (hidraw.empty() ? std::string("?") : hidraw));
    return hidraw;
}

// The sysfs folder of the HID device above a hidraw node; empty when the link leads nowhere.
inline std::string HidDeviceFolder(const std::string& hidraw)
{
    char path[PATH_MAX] = "";
    if (::realpath(("/sys/class/hidraw/" + hidraw + "/device").c_str(), path) == nullptr)
        return {};
    return path;
}

// Prints the lines of a sysfs uevent file; its text, empty when it cannot be read.
inline std::string ShowUevent(const std::string& folder)
{
    const std::string uevent = ReadFile(folder + "/uevent").value_or("");
    std::istringstream lines(uevent);
    for (std::string line; std::getline(lines, line);)
        Info("  uevent " + line);
    return uevent;
}

// The device has gone while its node is open: poll tells so, reads and writes fail.
inline void CheckOpenNodeAfterUnplug(int fd, const std::uint8_t* output, std::size_t size)
{
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, EventDeadlineMs);
    Info("poll after unplug: " + std::to_string(ready) + ", revents" + (pfd.revents & POLLIN ? " POLLIN" : "") +
         (pfd.revents & POLLHUP ? " POLLHUP" : "") + (pfd.revents & POLLERR ? " POLLERR" : ""));
    Check(ready == 1 && (pfd.revents & (POLLHUP | POLLERR)), "poll reports POLLHUP/POLLERR once the device is gone");
    std::uint8_t buffer[256];
    errno = 0;
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    Info("read after unplug: " + std::to_string(got) + (got < 0 ? ", " + ErrorText(errno) : ""));
    Check(got < 0, "read fails after unplug");
    errno = 0;
    const ssize_t written = ::write(fd, output, size);
    Info("write after unplug: " + std::to_string(written) + (written < 0 ? ", " + ErrorText(errno) : ""));
    Check(written < 0, "write fails after unplug");
}

// The node is gone from devtmpfs, and the "kernel" monitor told of it.
inline void CheckNodeRemoved(TUdevStart& udev, const std::string& devnode)
{
    WaitUntil([&] { return !Exists(devnode); });
    Check(!Exists(devnode), devnode + " removed by devtmpfs");
    if (!udev.Context)
        return;
    const std::vector<std::string> events = udev.Lib.Drain(udev.KernelMonitor, "remove " + devnode);
    Info("\"kernel\" monitor events: " + Join(events));
    Check(!events.empty() && events.back() == "remove " + devnode, "\"kernel\" monitor reports remove " + devnode);
}

// The last line of every probe, and its exit status: 0 when every check held.
inline int Verdict(const std::string& probe, const std::string& after = {})
{
    std::printf("%s: %s%s\n", probe.c_str(),
                Failures == 0 ? "all checks hold" : (std::to_string(Failures) + " check(s) failed").c_str(),
                after.c_str());
    return Failures == 0 ? 0 : 1;
}

} // namespace probe
