// Runs inside the kernel VM: plays a station-like HID device on /dev/uhid and checks what the real
// kernel makes of it: the hidraw node, the sysfs tree and uevent, udev enumeration and notices without
// udevd, the hidraw ioctls, and reports in both directions. Prints what it finds, so the facts the Linux
// backend relies on can be read off the log. Exit status 0 when every check holds, 1 otherwise.
#include "tests/vm/probe_common.h"

#include <linux/uhid.h>

using namespace probe;

namespace {

// The uhid side of the device.
class TUhidDevice
{
public:
    ~TUhidDevice()
    {
        if (Fd >= 0)
            ::close(Fd);
    }

    bool Open()
    {
        // /dev/uhid appears through devtmpfs once the module has registered it.
        return WaitUntil([this] {
            Fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
            return Fd >= 0;
        });
    }

    bool Create()
    {
        uhid_event ev{};
        ev.type = UHID_CREATE2;
        std::snprintf(reinterpret_cast<char*>(ev.u.create2.name), sizeof ev.u.create2.name, "%s", StationName);
        ev.u.create2.rd_size = static_cast<std::uint16_t>(ReportDescriptor.size());
        ev.u.create2.bus = BUS_USB;
        ev.u.create2.vendor = StationVendor;
        ev.u.create2.product = StationProduct;
        ev.u.create2.version = 0x0100;
        std::memcpy(ev.u.create2.rd_data, ReportDescriptor.data(), ReportDescriptor.size());
        return Send(ev);
    }

    bool Destroy()
    {
        uhid_event ev{};
        ev.type = UHID_DESTROY;
        return Send(ev);
    }

    bool Input(const std::uint8_t* data, std::size_t size)
    {
        uhid_event ev{};
        ev.type = UHID_INPUT2;
        ev.u.input2.size = static_cast<std::uint16_t>(size);
        std::memcpy(ev.u.input2.data, data, size);
        return Send(ev);
    }

    // Waits for an event of the given type; other events on the way are logged and passed over.
    std::optional<uhid_event> WaitFor(std::uint32_t type, int timeoutMs)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count());
            if (left < 0)
                return std::nullopt;
            pollfd pfd{Fd, POLLIN, 0};
            if (::poll(&pfd, 1, left) <= 0)
                return std::nullopt;
            uhid_event ev{};
            ssize_t n = ::read(Fd, &ev, sizeof ev);
            if (n <= 0)
                return std::nullopt;
            Info("uhid event " + EventName(ev.type));
            if (ev.type == type)
                return ev;
        }
    }

    static std::string EventName(std::uint32_t type)
    {
        switch (type) {
        case UHID_START:
            return "START";
        case UHID_STOP:
            return "STOP";
        case UHID_OPEN:
            return "OPEN";
        case UHID_CLOSE:
            return "CLOSE";
        case UHID_OUTPUT:
            return "OUTPUT";
        case UHID_GET_REPORT:
            return "GET_REPORT";
        case UHID_SET_REPORT:
            return "SET_REPORT";
        default:
            return std::to_string(type);
        }
    }

private:
    bool Send(const uhid_event& ev)
    {
        ssize_t n = ::write(Fd, &ev, sizeof ev);
        if (n != static_cast<ssize_t>(sizeof ev)) {
            Info("write to /dev/uhid failed: " + ErrorText(errno));
            return false;
        }
        return true;
    }

    int Fd = -1;
};

// sysfs as the backend sees it: the HID device above the node, its uevent and descriptor. The HID
// device's name.
std::string CheckSysfsView(const std::string& hidraw)
{
    const std::vector<std::string> chain = ShowParentChain(hidraw);
    const bool usbParent = std::find(chain.begin(), chain.end(), "usb") != chain.end();
    Info(std::string("USB device among the ancestors: ") +
         (usbParent ? "yes" : "no (the product string comes only from HID_NAME)"));
    const std::string hidDir = HidDeviceFolder(hidraw);
    Check(!hidDir.empty(), "hidraw device link leads to the HID device");
    const std::string hidName = hidDir.substr(hidDir.rfind('/') + 1);
    Check(hidName.rfind("0003:2112:1212.", 0) == 0, "HID device name " + hidName + " (bus:vendor:product.sequence)");
    const auto uevent = ReadFile(hidDir + "/uevent");
    Check(uevent.has_value(), "HID device uevent readable");
    if (uevent) {
        ShowUevent(hidDir);
        Check(uevent->find("HID_ID=0003:00002112:00001212\n") != std::string::npos,
              "uevent HID_ID=0003:00002112:00001212");
        Check(uevent->find(std::string("HID_NAME=") + StationName + "\n") != std::string::npos,
              std::string("uevent HID_NAME=") + StationName + " (UTF-8 kept as it is)");
    }
    const auto descriptor = ReadFile(hidDir + "/report_descriptor");
    Check(descriptor && std::vector<std::uint8_t>(descriptor->begin(), descriptor->end()) == ReportDescriptor,
          "sysfs report_descriptor equals the descriptor given (" +
              std::to_string(descriptor ? descriptor->size() : 0) + " bytes)");
    std::string hidrawUevent = ReadFile("/sys/class/hidraw/" + hidraw + "/uevent").value_or("?");
    std::replace(hidrawUevent.begin(), hidrawUevent.end(), '\n', ' ');
    Info("hidraw uevent: " + hidrawUevent);
    return hidName;
}

// udev without udevd: enumeration, properties, the initialised filter and the notices.
void CheckUdevView(TUdevStart& udev, const std::string& devnode, const std::string& hidName)
{
    TUdev& lib = udev.Lib;
    const auto all = lib.Enumerate(udev.Context, false);
    const auto initialised = lib.Enumerate(udev.Context, true);
    Info("udev enumeration of \"hidraw\": " + Join(all));
    Info("udev enumeration of \"hidraw\", initialised only: " + Join(initialised));
    Check(all.size() == 1, "udev enumeration finds the hidraw device without udevd");
    if (initialised.empty())
        Info("NOTE: with no udevd, udev_enumerate_add_match_is_initialized hides every hidraw device");
    if (udev_device* d = all.empty() ? nullptr : lib.DeviceNewFromSyspath(udev.Context, all.front().c_str())) {
        const char* node = lib.DeviceGetDevnode(d);
        Check(node && devnode == node, std::string("udev devnode ") + (node ? node : "(none)"));
        Info("udev_device_get_is_initialized: " + std::to_string(lib.DeviceGetIsInitialized(d)));
        udev_device* hid = lib.DeviceGetParentWithSubsystemDevtype(d, "hid", nullptr);
        Check(hid && hidName == lib.DeviceGetSysname(hid), "udev parent of subsystem \"hid\" is " + hidName);
        if (hid) {
            const char* name = lib.DeviceGetPropertyValue(hid, "HID_NAME");
            const char* id = lib.DeviceGetPropertyValue(hid, "HID_ID");
            Check(name && std::string(name) == StationName,
                  std::string("udev property HID_NAME=") + (name ? name : "(none)"));
            Info(std::string("udev property HID_ID=") + (id ? id : "(none)"));
        }
        udev_device* usb = lib.DeviceGetParentWithSubsystemDevtype(d, "usb", "usb_device");
        Info(std::string("udev parent usb/usb_device: ") + (usb ? lib.DeviceGetSysname(usb) : "none"));
        lib.DeviceUnref(d);
    }
    const auto kernelEvents = lib.Drain(udev.KernelMonitor, "add " + devnode);
    Info("\"kernel\" monitor events: " + Join(kernelEvents));
    Check(kernelEvents.size() == 1 && kernelEvents.front() == "add " + devnode,
          "\"kernel\" monitor reports add " + devnode);
    Info("\"udev\" monitor events: " + Join(lib.Drain(udev.UdevMonitor, {}, 200)));
}

// The hidraw ioctls: raw info, name and report descriptor.
void CheckHidrawIoctls(int fd)
{
    hidraw_devinfo info{};
    Check(::ioctl(fd, HIDIOCGRAWINFO, &info) == 0 && info.bustype == BUS_USB &&
              static_cast<std::uint16_t>(info.vendor) == StationVendor &&
              static_cast<std::uint16_t>(info.product) == StationProduct,
          "HIDIOCGRAWINFO bus 3, vendor 2112, product 1212");
    char name[256] = "";
    const int nameLength = ::ioctl(fd, HIDIOCGRAWNAME(sizeof name), name);
    Check(nameLength > 0 && std::string(name) == StationName, std::string("HIDIOCGRAWNAME ") + name);
    int descriptorSize = 0;
    hidraw_report_descriptor rd{};
    bool rdOk = ::ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) == 0 &&
        descriptorSize == static_cast<int>(ReportDescriptor.size());
    rd.size = static_cast<std::uint32_t>(descriptorSize);
    rdOk = rdOk && ::ioctl(fd, HIDIOCGRDESC, &rd) == 0 &&
        std::memcmp(rd.value, ReportDescriptor.data(), ReportDescriptor.size()) == 0;
    Check(rdOk, "HIDIOCGRDESCSIZE/HIDIOCGRDESC give the descriptor");
}

// Reports both ways: 64 data bytes in, 64 bytes out of the read (hidraw puts no id byte before
// unnumbered reports); id byte 0 and 64 bytes written, all 65 handed over by uhid. The output
// report written.
std::vector<std::uint8_t> CheckReports(int fd, TUhidDevice& station)
{
    std::uint8_t input[ReportSize];
    for (std::size_t i = 0; i < ReportSize; ++i)
        input[i] = static_cast<std::uint8_t>(i * 3 + 1);
    Check(station.Input(input, sizeof input), "UHID_INPUT2 of 64 bytes accepted");
    pollfd pfd{fd, POLLIN, 0};
    std::uint8_t buffer[256];
    const ssize_t got = ::poll(&pfd, 1, EventDeadlineMs) > 0 ? ::read(fd, buffer, sizeof buffer) : -1;
    Info("hidraw read gave " + std::to_string(got) + " bytes" +
         (got > 0 ? ": " + Hex(buffer, std::min<std::size_t>(static_cast<std::size_t>(got), 8)) + " ..." : ""));
    Check(got == static_cast<ssize_t>(ReportSize) && std::memcmp(buffer, input, ReportSize) == 0,
          "input report read from hidraw: 64 bytes, no id byte, as sent");

    std::vector<std::uint8_t> output(ReportSize + 1);
    output[0] = 0;
    for (std::size_t i = 0; i < ReportSize; ++i)
        output[i + 1] = static_cast<std::uint8_t>(200 - i);
    const ssize_t written = ::write(fd, output.data(), output.size());
    Check(written == static_cast<ssize_t>(output.size()),
          "write of id byte + 64 bytes to hidraw returns 65" + (written < 0 ? ": " + ErrorText(errno) : ""));
    const auto out = station.WaitFor(UHID_OUTPUT, EventDeadlineMs);
    Check(out.has_value(), "UHID_OUTPUT arrived");
    if (out) {
        Info("UHID_OUTPUT size " + std::to_string(out->u.output.size) + ", rtype " +
             std::to_string(out->u.output.rtype) +
             ", data: " + Hex(out->u.output.data, std::min<std::size_t>(out->u.output.size, 8)) + " ...");
        Check(out->u.output.size == output.size() && out->u.output.rtype == UHID_OUTPUT_REPORT &&
                  std::memcmp(out->u.output.data, output.data(), output.size()) == 0,
              "UHID_OUTPUT carries the 65 bytes as written, id byte 0 first");
    }
    return output;
}

// Plugged in again: a new HID sequence number, so a new instance.
void CheckReplug(TUhidDevice& station, const std::string& firstHidName)
{
    Check(station.Create(), "second UHID_CREATE2 accepted");
    const std::string again = FindHidraw();
    const std::string againPath = again.empty() ? std::string() : HidDeviceFolder(again);
    const std::string againName = againPath.substr(againPath.rfind('/') + 1);
    Info("second connection: /dev/" + again + " on " + againName);
    Check(!againName.empty() && againName != firstHidName, "the second connection has a new HID sequence number");
    station.Destroy();
}

} // namespace

int main()
{
    std::printf("uhid probe: kernel HID path for %04x:%04x \"%s\"\n", StationVendor, StationProduct, StationName);
    Info(std::string("/run/udev/control ") +
         (Exists("/run/udev/control") ? "exists (udevd runs)" : "is missing (no udevd)"));
    TUdevStart udev(true);
    if (udev.Context) {
        Check(udev.KernelMonitor != nullptr, "udev monitor on the \"kernel\" source");
        Info(std::string("udev monitor on the \"udev\" source: ") +
             (udev.UdevMonitor ? "created" : "cannot be created"));
    }

    TUhidDevice station;
    if (!station.Open()) {
        Check(false, "open /dev/uhid: " + ErrorText(errno));
        return 1;
    }
    Check(station.Create(), "UHID_CREATE2 accepted");
    Check(station.WaitFor(UHID_START, EventDeadlineMs).has_value(), "UHID_START (a HID driver bound the device)");
    const std::string hidraw = CheckHidrawNode();
    if (hidraw.empty())
        return 1;
    const std::string devnode = "/dev/" + hidraw;
    const std::string hidName = CheckSysfsView(hidraw);
    if (udev.Context)
        CheckUdevView(udev, devnode, hidName);

    const int fd = ::open(devnode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    Check(fd >= 0, "open " + devnode + " read-write" + (fd < 0 ? ": " + ErrorText(errno) : ""));
    if (fd < 0)
        return 1;
    struct stat st
    {};
    ::fstat(fd, &st);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
    Info(devnode + " mode " + mode + " owner " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid));
    Check(station.WaitFor(UHID_OPEN, EventDeadlineMs).has_value(), "UHID_OPEN after the hidraw node was opened");
    CheckHidrawIoctls(fd);
    const std::vector<std::uint8_t> output = CheckReports(fd, station);

    // Unplugged while the node is open: what a reader sees.
    Check(station.Destroy(), "UHID_DESTROY accepted");
    CheckOpenNodeAfterUnplug(fd, output.data(), output.size());
    ::close(fd);
    CheckNodeRemoved(udev, devnode);
    CheckReplug(station, hidName);
    return Verdict("uhid probe");
}
