// Runs inside the kernel VM: plays a station-like HID device on /dev/uhid and checks what the real
// kernel makes of it: the hidraw node, the sysfs tree and uevent, udev enumeration and notices without
// udevd, the hidraw ioctls, and reports in both directions. Prints what it finds, so the facts the Linux
// backend relies on can be read off the log. Exit status 0 when every check holds, 1 otherwise.
#include <linux/hidraw.h>
#include <linux/input.h>
#include <linux/uhid.h>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

constexpr std::uint16_t StationVendor = 0x2112;
constexpr std::uint16_t StationProduct = 0x1212;
constexpr const char* StationName = "Метеостанция";
constexpr std::size_t ReportSize = 64;

// Vendor-defined page, one 64-byte input and one 64-byte output report, no report ids.
const std::vector<std::uint8_t> ReportDescriptor = {
    0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x09, 0x01,        //   Usage (1)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x95, 0x40,        //   Report Count (64)
    0x09, 0x01,        //   Usage (1)
    0x91, 0x02,        //   Output (Data, Variable, Absolute)
    0xC0,              // End Collection
};

int Failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++Failures;
}

void Info(const std::string& text) {
  std::printf("      %s\n", text.c_str());
  std::fflush(stdout);
}

std::string ErrorText(int error) { return std::string(std::strerror(error)) + " (errno " + std::to_string(error) + ")"; }

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

std::string Hex(const std::uint8_t* data, std::size_t size) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
    text += byte;
  }
  return text;
}

// The uhid side of the device.
class TUhidDevice {
 public:
  ~TUhidDevice() {
    if (Fd >= 0) ::close(Fd);
  }

  bool Open() {
    // /dev/uhid appears through devtmpfs once the module has registered it.
    for (int i = 0; i < 50 && Fd < 0; ++i) {
      Fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
      if (Fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Fd >= 0;
  }

  bool Create() {
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

  bool Destroy() {
    uhid_event ev{};
    ev.type = UHID_DESTROY;
    return Send(ev);
  }

  bool Input(const std::uint8_t* data, std::size_t size) {
    uhid_event ev{};
    ev.type = UHID_INPUT2;
    ev.u.input2.size = static_cast<std::uint16_t>(size);
    std::memcpy(ev.u.input2.data, data, size);
    return Send(ev);
  }

  // Waits for an event of the given type; other events on the way are logged and passed over.
  std::optional<uhid_event> WaitFor(std::uint32_t type, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline - std::chrono::steady_clock::now()).count());
      if (left < 0) return std::nullopt;
      pollfd pfd{Fd, POLLIN, 0};
      if (::poll(&pfd, 1, left) <= 0) return std::nullopt;
      uhid_event ev{};
      ssize_t n = ::read(Fd, &ev, sizeof ev);
      if (n <= 0) return std::nullopt;
      Info("uhid event " + EventName(ev.type));
      if (ev.type == type) return ev;
    }
  }

  static std::string EventName(std::uint32_t type) {
    switch (type) {
      case UHID_START: return "START";
      case UHID_STOP: return "STOP";
      case UHID_OPEN: return "OPEN";
      case UHID_CLOSE: return "CLOSE";
      case UHID_OUTPUT: return "OUTPUT";
      case UHID_GET_REPORT: return "GET_REPORT";
      case UHID_SET_REPORT: return "SET_REPORT";
      default: return std::to_string(type);
    }
  }

 private:
  bool Send(const uhid_event& ev) {
    ssize_t n = ::write(Fd, &ev, sizeof ev);
    if (n != static_cast<ssize_t>(sizeof ev)) {
      Info("write to /dev/uhid failed: " + ErrorText(errno));
      return false;
    }
    return true;
  }

  int Fd = -1;
};

// libudev, bound at run time the way the program's backend binds it.
struct udev;
struct udev_device;
struct udev_enumerate;
struct udev_list_entry;
struct udev_monitor;

struct TUdev {
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
  int (*DeviceGetIsInitialized)(udev_device*);
  udev_device* (*DeviceGetParentWithSubsystemDevtype)(udev_device*, const char*, const char*);
  udev_monitor* (*MonitorNewFromNetlink)(udev*, const char*);
  int (*MonitorFilterAddMatchSubsystemDevtype)(udev_monitor*, const char*, const char*);
  int (*MonitorEnableReceiving)(udev_monitor*);
  int (*MonitorGetFd)(udev_monitor*);
  udev_device* (*MonitorReceiveDevice)(udev_monitor*);
  udev_monitor* (*MonitorUnref)(udev_monitor*);

  template <typename F>
  bool Bind(F& function, const char* name) {
    function = reinterpret_cast<F>(::dlsym(Library, name));
    return function != nullptr;
  }

  bool Load() {
    Library = ::dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!Library) return false;
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
           Bind(DeviceGetIsInitialized, "udev_device_get_is_initialized") &&
           Bind(DeviceGetParentWithSubsystemDevtype, "udev_device_get_parent_with_subsystem_devtype") &&
           Bind(MonitorNewFromNetlink, "udev_monitor_new_from_netlink") &&
           Bind(MonitorFilterAddMatchSubsystemDevtype, "udev_monitor_filter_add_match_subsystem_devtype") &&
           Bind(MonitorEnableReceiving, "udev_monitor_enable_receiving") &&
           Bind(MonitorGetFd, "udev_monitor_get_fd") && Bind(MonitorReceiveDevice, "udev_monitor_receive_device") &&
           Bind(MonitorUnref, "udev_monitor_unref");
  }

  // Syspaths of the hidraw devices, optionally only those udev has initialised.
  std::vector<std::string> Enumerate(udev* context, bool initialisedOnly) {
    std::vector<std::string> paths;
    udev_enumerate* e = EnumerateNew(context);
    if (!e) return paths;
    EnumerateAddMatchSubsystem(e, "hidraw");
    if (initialisedOnly) EnumerateAddMatchIsInitialized(e);
    if (EnumerateScanDevices(e) >= 0)
      for (udev_list_entry* i = EnumerateGetListEntry(e); i; i = ListEntryGetNext(i)) paths.push_back(ListEntryGetName(i));
    EnumerateUnref(e);
    return paths;
  }

  udev_monitor* Monitor(udev* context, const char* source) {
    udev_monitor* m = MonitorNewFromNetlink(context, source);
    if (!m) return nullptr;
    MonitorFilterAddMatchSubsystemDevtype(m, "hidraw", nullptr);
    if (MonitorEnableReceiving(m) < 0) {
      MonitorUnref(m);
      return nullptr;
    }
    return m;
  }

  // Every "action devnode" the monitor has queued, waiting up to timeoutMs for the first.
  std::vector<std::string> Drain(udev_monitor* m, int timeoutMs) {
    std::vector<std::string> events;
    if (!m) return events;
    pollfd pfd{MonitorGetFd(m), POLLIN, 0};
    while (::poll(&pfd, 1, events.empty() ? timeoutMs : 50) > 0) {
      udev_device* d = MonitorReceiveDevice(m);
      if (!d) break;
      const char* action = DeviceGetAction(d);
      const char* node = DeviceGetDevnode(d);
      events.push_back(std::string(action ? action : "?") + " " + (node ? node : "(no node)"));
      DeviceUnref(d);
    }
    return events;
  }
};

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& i : items) text += (text.empty() ? "" : ", ") + i;
  return text.empty() ? "(none)" : text;
}

// The hidraw node whose HID device carries the station's ids, waiting for it to appear.
std::string FindHidraw(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    if (DIR* dir = ::opendir("/sys/class/hidraw")) {
      std::string found;
      while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name.rfind("hidraw", 0) != 0) continue;
        char target[PATH_MAX];
        if (::realpath(("/sys/class/hidraw/" + name + "/device").c_str(), target) &&
            std::string(target).find(":2112:1212.") != std::string::npos && Exists("/dev/" + name))
          found = name;
      }
      ::closedir(dir);
      if (!found.empty()) return found;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return {};
}

// Prints every ancestor of the hidraw node with its subsystem; returns the ancestors' subsystems.
std::vector<std::string> ShowParentChain(const std::string& hidraw) {
  std::vector<std::string> subsystems;
  char real[PATH_MAX];
  if (!::realpath(("/sys/class/hidraw/" + hidraw).c_str(), real)) return subsystems;
  Info(std::string("sysfs path: ") + real);
  for (std::string path = real; path.size() > std::strlen("/sys/devices"); path = path.substr(0, path.rfind('/'))) {
    char link[PATH_MAX];
    std::string subsystem = "(none)";
    if (::realpath((path + "/subsystem").c_str(), link)) subsystem = std::string(link).substr(std::string(link).rfind('/') + 1);
    subsystems.push_back(subsystem);
    std::string attributes;
    for (const char* a : {"product", "manufacturer", "idVendor", "bcdDevice", "report_descriptor", "uevent"})
      if (Exists(path + "/" + a)) attributes += std::string(" ") + a;
    Info("  " + path.substr(path.rfind('/') + 1) + "  subsystem=" + subsystem + "  attributes:" +
         (attributes.empty() ? " -" : attributes));
  }
  return subsystems;
}

}  // namespace

int main() {
  std::printf("uhid probe: kernel HID path for %04x:%04x \"%s\"\n", StationVendor, StationProduct, StationName);
  Info(std::string("/run/udev/control ") + (Exists("/run/udev/control") ? "exists (udevd runs)" : "is missing (no udevd)"));

  TUdev lib;
  bool udevLoaded = lib.Load();
  Check(udevLoaded, std::string("libudev.so.1 loaded at run time") + (udevLoaded ? "" : std::string(": ") + ::dlerror()));
  udev* context = udevLoaded ? lib.New() : nullptr;
  udev_monitor* kernelMonitor = context ? lib.Monitor(context, "kernel") : nullptr;
  udev_monitor* udevMonitor = context ? lib.Monitor(context, "udev") : nullptr;
  if (udevLoaded) {
    Check(kernelMonitor != nullptr, "udev monitor on the \"kernel\" source");
    Info(std::string("udev monitor on the \"udev\" source: ") + (udevMonitor ? "created" : "cannot be created"));
  }

  TUhidDevice station;
  if (!station.Open()) {
    Check(false, "open /dev/uhid: " + ErrorText(errno));
    return 1;
  }
  Check(station.Create(), "UHID_CREATE2 accepted");
  Check(station.WaitFor(UHID_START, 5000).has_value(), "UHID_START (a HID driver bound the device)");

  std::string hidraw = FindHidraw(5000);
  Check(!hidraw.empty(), "hidraw node appeared: /dev/" + (hidraw.empty() ? std::string("?") : hidraw));
  if (hidraw.empty()) return 1;
  std::string devnode = "/dev/" + hidraw;

  // sysfs as the backend sees it.
  std::vector<std::string> chain = ShowParentChain(hidraw);
  bool usbParent = false;
  for (const auto& s : chain) usbParent = usbParent || s == "usb";
  Info(std::string("USB device among the ancestors: ") + (usbParent ? "yes" : "no (the product string comes only from HID_NAME)"));
  char hidPath[PATH_MAX] = "";
  Check(::realpath(("/sys/class/hidraw/" + hidraw + "/device").c_str(), hidPath) != nullptr, "hidraw device link leads to the HID device");
  std::string hidDir = hidPath;
  std::string hidName = hidDir.substr(hidDir.rfind('/') + 1);
  Check(hidName.rfind("0003:2112:1212.", 0) == 0, "HID device name " + hidName + " (bus:vendor:product.sequence)");
  auto uevent = ReadFile(hidDir + "/uevent");
  Check(uevent.has_value(), "HID device uevent readable");
  if (uevent) {
    std::istringstream lines(*uevent);
    for (std::string line; std::getline(lines, line);) Info("  uevent " + line);
    Check(uevent->find("HID_ID=0003:00002112:00001212\n") != std::string::npos, "uevent HID_ID=0003:00002112:00001212");
    Check(uevent->find(std::string("HID_NAME=") + StationName + "\n") != std::string::npos,
          std::string("uevent HID_NAME=") + StationName + " (UTF-8 kept as it is)");
  }
  auto descriptor = ReadFile(hidDir + "/report_descriptor");
  Check(descriptor && std::vector<std::uint8_t>(descriptor->begin(), descriptor->end()) == ReportDescriptor,
        "sysfs report_descriptor equals the descriptor given (" + std::to_string(descriptor ? descriptor->size() : 0) + " bytes)");
  Info("hidraw uevent: " + [&] {
    auto text = ReadFile("/sys/class/hidraw/" + hidraw + "/uevent").value_or("?");
    for (auto& c : text) if (c == '\n') c = ' ';
    return text;
  }());

  // udev without udevd: enumeration, properties, the initialised filter and the notices.
  if (context) {
    auto all = lib.Enumerate(context, false);
    auto initialised = lib.Enumerate(context, true);
    Info("udev enumeration of \"hidraw\": " + Join(all));
    Info("udev enumeration of \"hidraw\", initialised only: " + Join(initialised));
    Check(all.size() == 1, "udev enumeration finds the hidraw device without udevd");
    if (initialised.empty())
      Info("NOTE: with no udevd, udev_enumerate_add_match_is_initialized hides every hidraw device");
    if (!all.empty()) {
      udev_device* d = lib.DeviceNewFromSyspath(context, all.front().c_str());
      if (d) {
        const char* node = lib.DeviceGetDevnode(d);
        Check(node && devnode == node, std::string("udev devnode ") + (node ? node : "(none)"));
        Info("udev_device_get_is_initialized: " + std::to_string(lib.DeviceGetIsInitialized(d)));
        udev_device* hid = lib.DeviceGetParentWithSubsystemDevtype(d, "hid", nullptr);
        Check(hid && hidName == lib.DeviceGetSysname(hid), "udev parent of subsystem \"hid\" is " + hidName);
        if (hid) {
          const char* name = lib.DeviceGetPropertyValue(hid, "HID_NAME");
          const char* id = lib.DeviceGetPropertyValue(hid, "HID_ID");
          Check(name && std::string(name) == StationName, std::string("udev property HID_NAME=") + (name ? name : "(none)"));
          Info(std::string("udev property HID_ID=") + (id ? id : "(none)"));
        }
        udev_device* usb = lib.DeviceGetParentWithSubsystemDevtype(d, "usb", "usb_device");
        Info(std::string("udev parent usb/usb_device: ") + (usb ? lib.DeviceGetSysname(usb) : "none"));
        lib.DeviceUnref(d);
      }
    }
    auto kernelEvents = lib.Drain(kernelMonitor, 1000);
    Info("\"kernel\" monitor events: " + Join(kernelEvents));
    Check(kernelEvents.size() == 1 && kernelEvents.front() == "add " + devnode, "\"kernel\" monitor reports add " + devnode);
    Info("\"udev\" monitor events: " + Join(lib.Drain(udevMonitor, 200)));
  }

  // The hidraw interface.
  int fd = ::open(devnode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  Check(fd >= 0, "open " + devnode + " read-write" + (fd < 0 ? ": " + ErrorText(errno) : ""));
  if (fd < 0) return 1;
  struct stat st{};
  ::fstat(fd, &st);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
  Info(devnode + " mode " + mode + " owner " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid));
  Check(station.WaitFor(UHID_OPEN, 2000).has_value(), "UHID_OPEN after the hidraw node was opened");

  hidraw_devinfo info{};
  Check(::ioctl(fd, HIDIOCGRAWINFO, &info) == 0 && info.bustype == BUS_USB &&
            static_cast<std::uint16_t>(info.vendor) == StationVendor && static_cast<std::uint16_t>(info.product) == StationProduct,
        "HIDIOCGRAWINFO bus 3, vendor 2112, product 1212");
  char name[256] = "";
  int nameLength = ::ioctl(fd, HIDIOCGRAWNAME(sizeof name), name);
  Check(nameLength > 0 && std::string(name) == StationName, std::string("HIDIOCGRAWNAME ") + name);
  int descriptorSize = 0;
  hidraw_report_descriptor rd{};
  bool rdOk = ::ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) == 0 && descriptorSize == static_cast<int>(ReportDescriptor.size());
  rd.size = static_cast<std::uint32_t>(descriptorSize);
  rdOk = rdOk && ::ioctl(fd, HIDIOCGRDESC, &rd) == 0 && std::memcmp(rd.value, ReportDescriptor.data(), ReportDescriptor.size()) == 0;
  Check(rdOk, "HIDIOCGRDESCSIZE/HIDIOCGRDESC give the descriptor");

  // Input: 64 data bytes in, 64 bytes out of the read (hidraw puts no id byte before unnumbered reports).
  std::uint8_t input[ReportSize];
  for (std::size_t i = 0; i < ReportSize; ++i) input[i] = static_cast<std::uint8_t>(i * 3 + 1);
  Check(station.Input(input, sizeof input), "UHID_INPUT2 of 64 bytes accepted");
  pollfd pfd{fd, POLLIN, 0};
  std::uint8_t buffer[256];
  ssize_t got = ::poll(&pfd, 1, 2000) > 0 ? ::read(fd, buffer, sizeof buffer) : -1;
  Info("hidraw read gave " + std::to_string(got) + " bytes" + (got > 0 ? ": " + Hex(buffer, std::min<std::size_t>(got, 8)) + " ..." : ""));
  Check(got == static_cast<ssize_t>(ReportSize) && std::memcmp(buffer, input, ReportSize) == 0,
        "input report read from hidraw: 64 bytes, no id byte, as sent");

  // Output: report id 0 then 64 data bytes written; uhid hands over all 65, id byte first.
  std::uint8_t output[ReportSize + 1];
  output[0] = 0;
  for (std::size_t i = 0; i < ReportSize; ++i) output[i + 1] = static_cast<std::uint8_t>(200 - i);
  ssize_t written = ::write(fd, output, sizeof output);
  Check(written == static_cast<ssize_t>(sizeof output), "write of id byte + 64 bytes to hidraw returns 65" +
                                                            (written < 0 ? ": " + ErrorText(errno) : ""));
  auto out = station.WaitFor(UHID_OUTPUT, 2000);
  Check(out.has_value(), "UHID_OUTPUT arrived");
  if (out) {
    Info("UHID_OUTPUT size " + std::to_string(out->u.output.size) + ", rtype " + std::to_string(out->u.output.rtype) +
         ", data: " + Hex(out->u.output.data, std::min<std::size_t>(out->u.output.size, 8)) + " ...");
    Check(out->u.output.size == sizeof output && out->u.output.rtype == UHID_OUTPUT_REPORT &&
              std::memcmp(out->u.output.data, output, sizeof output) == 0,
          "UHID_OUTPUT carries the 65 bytes as written, id byte 0 first");
  }

  // Unplug while the node is open: what a reader sees.
  Check(station.Destroy(), "UHID_DESTROY accepted");
  pfd = {fd, POLLIN, 0};
  int ready = ::poll(&pfd, 1, 2000);
  Info("poll after unplug: " + std::to_string(ready) + ", revents" + (pfd.revents & POLLIN ? " POLLIN" : "") +
       (pfd.revents & POLLHUP ? " POLLHUP" : "") + (pfd.revents & POLLERR ? " POLLERR" : ""));
  Check(ready == 1 && (pfd.revents & (POLLHUP | POLLERR)), "poll reports POLLHUP/POLLERR once the device is gone");
  errno = 0;
  got = ::read(fd, buffer, sizeof buffer);
  Info("read after unplug: " + std::to_string(got) + (got < 0 ? ", " + ErrorText(errno) : ""));
  Check(got < 0, "read fails after unplug");
  errno = 0;
  written = ::write(fd, output, sizeof output);
  Info("write after unplug: " + std::to_string(written) + (written < 0 ? ", " + ErrorText(errno) : ""));
  Check(written < 0, "write fails after unplug");
  ::close(fd);
  for (int i = 0; i < 100 && Exists(devnode); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Check(!Exists(devnode), devnode + " removed by devtmpfs");
  if (context) {
    auto events = lib.Drain(kernelMonitor, 1000);
    Info("\"kernel\" monitor events: " + Join(events));
    Check(!events.empty() && events.back() == "remove " + devnode, "\"kernel\" monitor reports remove " + devnode);
  }

  // Plugged in again: a new HID sequence number, so a new instance.
  Check(station.Create(), "second UHID_CREATE2 accepted");
  std::string again = FindHidraw(5000);
  char againPath[PATH_MAX] = "";
  if (!again.empty()) ::realpath(("/sys/class/hidraw/" + again + "/device").c_str(), againPath);
  std::string againName = std::string(againPath).substr(std::string(againPath).rfind('/') + 1);
  Info("second connection: /dev/" + again + " on " + againName);
  Check(!againName.empty() && againName != hidName, "the second connection has a new HID sequence number");
  station.Destroy();

  if (kernelMonitor) lib.MonitorUnref(kernelMonitor);
  if (udevMonitor) lib.MonitorUnref(udevMonitor);
  if (context) lib.Unref(context);
  std::printf("uhid probe: %s\n", Failures == 0 ? "all checks hold" : (std::to_string(Failures) + " check(s) failed").c_str());
  return Failures == 0 ? 0 : 1;
}
