// Runs inside the kernel VM: makes the station a real USB device through the dummy host controller and a
// configfs HID gadget, so that its hidraw node has a USB parent with product, idVendor and bcdDevice, as a
// station plugged into a computer has (uhid devices have none). Checks the sysfs and udev view, reports in
// both directions through /dev/hidg0, unplugging and plugging in again. Exit status 0 when every check holds.
#include "tests/vm/usb_gadget.h"

using namespace probe;

namespace {

struct TUsbView
{
    std::string HidName;     // the HID device's sysfs name
    std::string HidNameProp; // HID_NAME
    std::string Product;     // the USB device's product attribute
};

// What udev tells about the station's hidraw node and its HID and USB parents.
TUsbView ShowUdevView(TUdev& lib, udev* context, const std::string& devnode)
{
    TUsbView view;
    auto all = lib.Enumerate(context, false);
    auto initialised = lib.Enumerate(context, true);
    Info("udev enumeration of \"hidraw\": " + Join(all));
    Info("udev enumeration of \"hidraw\", initialised only: " + Join(initialised));
    Check(all.size() == 1, "udev enumeration finds the hidraw device without udevd");
    if (all.empty())
        return view;
    udev_device* d = lib.DeviceNewFromSyspath(context, all.front().c_str());
    if (!d)
        return view;
    const char* node = lib.DeviceGetDevnode(d);
    Check(node && devnode == node, std::string("udev devnode ") + (node ? node : "(none)"));
    if (udev_device* hid = lib.DeviceGetParentWithSubsystemDevtype(d, "hid", nullptr)) {
        view.HidName = lib.DeviceGetSysname(hid);
        const char* name = lib.DeviceGetPropertyValue(hid, "HID_NAME");
        const char* phys = lib.DeviceGetPropertyValue(hid, "HID_PHYS");
        view.HidNameProp = name ? name : "";
        Info("udev HID parent " + view.HidName + ": HID_NAME=" + view.HidNameProp + " HID_PHYS=" + (phys ? phys : ""));
    }
    udev_device* usb = lib.DeviceGetParentWithSubsystemDevtype(d, "usb", "usb_device");
    Check(usb != nullptr, "udev parent usb/usb_device exists");
    if (usb) {
        auto attribute = [&](const char* name) {
            const char* value = lib.DeviceGetSysattrValue(usb, name);
            return std::string(value ? value : "(none)");
        };
        view.Product = attribute("product");
        Info("udev USB parent " + std::string(lib.DeviceGetSysname(usb)) + ": product=" + view.Product +
             " manufacturer=" + attribute("manufacturer") + " idVendor=" + attribute("idVendor") +
             " idProduct=" + attribute("idProduct") + " bcdDevice=" + attribute("bcdDevice"));
        Check(attribute("idVendor") == "2112" && attribute("idProduct") == "1212" && attribute("bcdDevice") == "0100",
              "USB attributes idVendor 2112, idProduct 1212, bcdDevice 0100 (lower-case hex)");
    }
    lib.DeviceUnref(d);
    return view;
}

int OpenWhenPresent(const std::string& path)
{
    int fd = -1;
    WaitUntil([&] {
        fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        return fd >= 0;
    });
    return fd;
}

ssize_t ReadWithin(int fd, std::uint8_t* buffer, std::size_t size, int timeoutMs)
{
    pollfd pfd{fd, POLLIN, 0};
    return ::poll(&pfd, 1, timeoutMs) > 0 ? ::read(fd, buffer, size) : -1;
}

// Reports both ways: the station's 64 bytes read from hidraw without an id byte; id byte 0 and 64
// bytes written to hidraw reach the station as the 64 bytes alone. The output report written.
std::vector<std::uint8_t> CheckReports(int fd, int gadgetFd)
{
    std::uint8_t input[ReportSize];
    for (std::size_t i = 0; i < ReportSize; ++i)
        input[i] = static_cast<std::uint8_t>(i * 5 + 2);
    Check(::write(gadgetFd, input, sizeof input) == static_cast<ssize_t>(sizeof input),
          "64 bytes written to /dev/hidg0");
    std::uint8_t buffer[256];
    ssize_t got = ReadWithin(fd, buffer, sizeof buffer, EventDeadlineMs);
    Info("hidraw read gave " + std::to_string(got) + " bytes" +
         (got > 0 ? ": " + Hex(buffer, std::min<std::size_t>(static_cast<std::size_t>(got), 8)) + " ..." : ""));
    Check(got == static_cast<ssize_t>(ReportSize) && std::memcmp(buffer, input, ReportSize) == 0,
          "input report read from hidraw: 64 bytes, no id byte, as sent");

    std::vector<std::uint8_t> output(ReportSize + 1);
    output[0] = 0;
    for (std::size_t i = 0; i < ReportSize; ++i)
        output[i + 1] = static_cast<std::uint8_t>(250 - i);
    const ssize_t written = ::write(fd, output.data(), output.size());
    Check(written == static_cast<ssize_t>(output.size()), "write of id byte + 64 bytes to hidraw returns 65");
    got = ReadWithin(gadgetFd, buffer, sizeof buffer, EventDeadlineMs);
    Info("/dev/hidg0 read gave " + std::to_string(got) + " bytes" +
         (got > 0 ? ": " + Hex(buffer, std::min<std::size_t>(static_cast<std::size_t>(got), 8)) + " ..." : ""));
    Check(got == static_cast<ssize_t>(ReportSize) && std::memcmp(buffer, output.data() + 1, ReportSize) == 0,
          "output report reaches the station as 64 bytes, id byte dropped");
    return output;
}

// Plugged in again with a manufacturer string: HID_NAME joins both, the product attribute stays.
void CheckManufacturerReplug(TUsbGadget& gadget, TUdevStart& udev, const TUsbView& first)
{
    const std::string manufacturer = "Метео";
    Check(gadget.SetManufacturer(manufacturer) && gadget.Plug(), "plugged in again with manufacturer " + manufacturer);
    const std::string again = FindHidraw();
    Check(!again.empty(), "hidraw node appeared again: /dev/" + again);
    if (!again.empty() && udev.Context) {
        const TUsbView second = ShowUdevView(udev.Lib, udev.Context, "/dev/" + again);
        Check(second.HidName != first.HidName, "new HID sequence number: " + first.HidName + " then " + second.HidName);
        Check(second.HidNameProp == manufacturer + " " + StationName,
              "HID_NAME is \"manufacturer product\": " + second.HidNameProp);
        Check(second.Product == StationName, "USB product attribute is still the product alone");
    }
    gadget.Unplug();
}

} // namespace

int main()
{
    std::printf("USB gadget probe: %04x:%04x \"%s\" through dummy_hcd\n", StationVendor, StationProduct, StationName);
    TUdevStart udev;

    TUsbGadget gadget;
    Check(gadget.Create(), "configfs HID gadget created");
    Check(gadget.Plug(), "gadget bound to the dummy USB device controller (plugged in)");
    const std::string hidraw = CheckHidrawNode();
    if (hidraw.empty())
        return 1;
    const std::string devnode = "/dev/" + hidraw;
    const std::vector<std::string> chain = ShowParentChain(hidraw);
    Check(std::find(chain.begin(), chain.end(), "usb") != chain.end(), "a USB device is among the ancestors");
    ShowUevent(HidDeviceFolder(hidraw));

    TUsbView first;
    if (udev.Context) {
        first = ShowUdevView(udev.Lib, udev.Context, devnode);
        Check(first.Product == StationName, std::string("USB product attribute is ") + StationName + " (UTF-8)");
        Check(first.HidNameProp == StationName, "without a manufacturer string HID_NAME is the product alone");
        const auto events = udev.Lib.Drain(udev.KernelMonitor, "add " + devnode);
        Info("\"kernel\" monitor events: " + Join(events));
        Check(!events.empty() && events.back() == "add " + devnode, "\"kernel\" monitor reports add " + devnode);
    }

    const int fd = OpenWhenPresent(devnode);
    Check(fd >= 0, "open " + devnode + " read-write");
    const int gadgetFd = OpenWhenPresent("/dev/hidg0");
    Check(gadgetFd >= 0, "open /dev/hidg0 (the station's side)");
    if (fd < 0 || gadgetFd < 0)
        return 1;
    const std::vector<std::uint8_t> output = CheckReports(fd, gadgetFd);

    // Unplugged while the node is open.
    Check(gadget.Unplug(), "gadget unbound (unplugged)");
    CheckOpenNodeAfterUnplug(fd, output.data(), output.size());
    ::close(fd);
    ::close(gadgetFd);
    CheckNodeRemoved(udev, devnode);
    CheckManufacturerReplug(gadget, udev, first);
    return Verdict("USB gadget probe");
}
