#include "hid/platform/linux/linux_platform.h"

#include "hid/platform/error_text.h"
#include "hid/platform/linux/read_channel.h"
#include "hid/platform/linux/report_descriptor.h"
#include "hid/platform/linux/sysfs_identity.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace hidplatform {

namespace {

thread_local std::uint32_t LastErrorCode = 0;

void SetLastError(int code)
{
    LastErrorCode = static_cast<std::uint32_t>(code);
}

// Identification through the hidraw ioctls, for a node whose sysfs entry cannot be read.
bool IdentifyByIoctl(int fd, HidIdentity& out)
{
    hidraw_devinfo info{};
    if (ioctl(fd, HIDIOCGRAWINFO, &info) < 0)
        return false;
    HidIdentity identity;
    identity.Bus = info.bustype;
    identity.VendorID = static_cast<std::uint16_t>(info.vendor);
    identity.ProductID = static_cast<std::uint16_t>(info.product);
    char name[256] = {};
    if (ioctl(fd, HIDIOCGRAWNAME(sizeof name - 1), name) >= 0)
        identity.ProductString = DecodeSysfsText(name);
    out = std::move(identity);
    return true;
}

bool DescriptorByIoctl(int fd, std::vector<std::uint8_t>& out)
{
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size < 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return false;
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<__u32>(size);
    if (ioctl(fd, HIDIOCGRDESC, &descriptor) < 0)
        return false;
    out.assign(descriptor.value, descriptor.value + size);
    return true;
}

struct PreparsedBlock
{
    Caps Value;
};

} // namespace

struct LinuxPlatform::OpenDevice
{
    Access Mode = Access::Identify;
    int Fd = -1; // none for an identification-only handle
    HidIdentity Identity;
    bool LayoutKnown = false;
    ReportLayout Layout;
    std::unique_ptr<ReadChannel> Reader; // read handles only

    ~OpenDevice()
    {
        // The last holder lets go: no reader can be inside a poll on Fd any more.
        Reader.reset();
        if (Fd >= 0)
            close(Fd);
    }
};

LinuxPlatform::LinuxPlatform(std::string udevLibrary, std::string sysRoot)
    : UdevLibraryName(std::move(udevLibrary))
    , SysRoot(std::move(sysRoot))
{
}

LinuxPlatform::~LinuxPlatform()
{
    Unload();
    for (const std::shared_ptr<OpenDevice>& device : Handles.TakeAll())
        if (device->Reader)
            device->Reader->Close();
    Handles.ReleaseAllPreparsed([](PreparsedData data) { delete static_cast<const PreparsedBlock*>(data); });
}

bool LinuxPlatform::Load()
{
    if (Context != nullptr)
        return true;
    if (!Udev.Load(UdevLibraryName.c_str())) {
        SetLastError(ENOENT);
        return false;
    }
    Context = Udev.New();
    if (Context == nullptr) {
        SetLastError(errno != 0 ? errno : ENOMEM);
        Udev.Unload();
        return false;
    }
    // Without a udev daemon no device is ever marked initialised and only the kernel announces changes.
    struct stat st;
    UdevdRunning = stat("/run/udev/control", &st) == 0;
    if (ChangeHandler)
        StartMonitor();
    return true;
}

void LinuxPlatform::Unload()
{
    StopMonitor();
    if (Context != nullptr)
        Udev.Unref(Context);
    Context = nullptr;
    Udev.Unload();
}

bool LinuxPlatform::Loaded() const
{
    return Context != nullptr;
}

bool LinuxPlatform::EnumeratePresent(std::vector<PresentInterface>& out)
{
    out.clear();
    if (Context == nullptr) {
        SetLastError(ENOSYS);
        return false;
    }
    udev_enumerate* enumerate = Udev.EnumerateNew(Context);
    if (enumerate == nullptr) {
        SetLastError(ENOMEM);
        return false;
    }
    bool ok = Udev.EnumerateAddMatchSubsystem(enumerate, "hidraw") >= 0;
    if (ok && UdevdRunning)
        ok = Udev.EnumerateAddMatchIsInitialized(enumerate) >= 0;
    if (ok) {
        const int rc = Udev.EnumerateScanDevices(enumerate);
        ok = rc >= 0;
        if (!ok)
            SetLastError(-rc);
    }
    if (ok) {
        for (udev_list_entry* entry = Udev.EnumerateGetListEntry(enumerate); entry != nullptr;
             entry = Udev.ListEntryGetNext(entry)) {
            udev_device* device = Udev.DeviceNewFromSyspath(Context, Udev.ListEntryGetName(entry));
            if (device == nullptr)
                continue; // gone meanwhile
            const char* node = Udev.DeviceGetDevnode(device);
            // The parent belongs to the device: not unreferenced separately.
            udev_device* hid = Udev.DeviceGetParentWithSubsystemDevtype(device, "hid", nullptr);
            const char* sysName = hid != nullptr ? Udev.DeviceGetSysname(hid) : nullptr;
            PresentInterface present;
            // A node without a HID parent or sequence number cannot be told apart across connections.
            if (node != nullptr && sysName != nullptr && InstanceFromSysName(sysName, present.DeviceInstance)) {
                present.DevicePath = node;
                out.push_back(std::move(present));
            }
            Udev.DeviceUnref(device);
        }
    }
    Udev.EnumerateUnref(enumerate);
    return ok;
}

Handle LinuxPlatform::Open(const std::string& path, Access access)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        SetLastError(errno);
        return InvalidHandle;
    }
    if (!S_ISCHR(st.st_mode)) {
        SetLastError(ENODEV);
        return InvalidHandle;
    }

    auto device = std::make_shared<OpenDevice>();
    device->Mode = access;
    if (access == Access::ReadWrite)
        device->Fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    else if (access == Access::ReadOverlapped)
        device->Fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (access != Access::Identify && device->Fd < 0) {
        SetLastError(errno);
        return InvalidHandle;
    }

    // Sysfs first: it answers without access rights to the node.
    const std::string hidDirectory = ResolveHidDirectory(SysRoot, major(st.st_rdev), minor(st.st_rdev));
    const bool identified = (!hidDirectory.empty() && ReadHidIdentity(hidDirectory, device->Identity)) ||
        (device->Fd >= 0 && IdentifyByIoctl(device->Fd, device->Identity));
    if (!identified) {
        SetLastError(ENODEV);
        return InvalidHandle;
    }
    if (!device->Identity.HasDescriptor && device->Fd >= 0)
        device->Identity.HasDescriptor = DescriptorByIoctl(device->Fd, device->Identity.ReportDescriptor);
    if (device->Identity.HasDescriptor) {
        const auto parsed =
            ParseReportDescriptor(device->Identity.ReportDescriptor.data(), device->Identity.ReportDescriptor.size());
        device->LayoutKnown = parsed.Ok;
        device->Layout = parsed.Layout;
    }

    if (access == Access::ReadOverlapped) {
        // Without the layout the id byte of a report cannot be placed.
        if (!device->LayoutKnown) {
            SetLastError(EPROTO);
            return InvalidHandle;
        }
        device->Reader = std::make_unique<ReadChannel>(device->Fd, device->Layout.NumberedReports);
        if (!device->Reader->Valid()) {
            SetLastError(errno);
            return InvalidHandle;
        }
    }
    return Register(std::move(device));
}

Handle LinuxPlatform::AdoptDescriptorForTests(int fd, bool numberedReports)
{
    auto device = std::make_shared<OpenDevice>();
    device->Mode = Access::ReadOverlapped;
    device->Fd = fd;
    device->LayoutKnown = true;
    device->Layout.NumberedReports = numberedReports;
    device->Reader = std::make_unique<ReadChannel>(fd, numberedReports);
    if (!device->Reader->Valid()) {
        SetLastError(errno);
        return InvalidHandle;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    return Register(std::move(device));
}

Handle LinuxPlatform::Register(std::shared_ptr<OpenDevice> device)
{
    return Handles.Add(std::move(device));
}

std::shared_ptr<LinuxPlatform::OpenDevice> LinuxPlatform::Find(Handle handle)
{
    std::shared_ptr<OpenDevice> device = Handles.Find(handle);
    if (!device)
        SetLastError(EBADF);
    return device;
}

void LinuxPlatform::Close(Handle handle)
{
    const std::shared_ptr<OpenDevice> device = Handles.Take(handle);
    if (!device)
        return;
    // A reader waiting on the handle wakes with no data; it still holds the device, so the
    // descriptor is closed only when it lets go.
    if (device->Reader)
        device->Reader->Close();
}

bool LinuxPlatform::GetAttributes(Handle handle, Attributes& out)
{
    const auto device = Find(handle);
    if (!device)
        return false;
    out.VendorID = device->Identity.VendorID;
    out.ProductID = device->Identity.ProductID;
    out.VersionNumber = device->Identity.VersionNumber;
    return true;
}

bool LinuxPlatform::GetProductString(Handle handle, std::u16string& out)
{
    const auto device = Find(handle);
    if (!device)
        return false;
    if (device->Identity.ProductString.empty()) {
        SetLastError(ENODATA);
        return false;
    }
    out = device->Identity.ProductString;
    return true;
}

bool LinuxPlatform::GetPreparsedData(Handle handle, PreparsedData& out)
{
    const auto device = Find(handle);
    if (!device)
        return false;
    if (!device->LayoutKnown) {
        SetLastError(EPROTO);
        return false;
    }
    auto* block = new PreparsedBlock;
    block->Value.InputReportByteLength = device->Layout.InputReportByteLength;
    block->Value.OutputReportByteLength = device->Layout.OutputReportByteLength;
    block->Value.FeatureReportByteLength = device->Layout.FeatureReportByteLength;
    Handles.AddPreparsed(block);
    out = block;
    return true;
}

void LinuxPlatform::FreePreparsedData(PreparsedData data)
{
    // Only what this backend handed out, and only once.
    Handles.ReleasePreparsed(data, [](PreparsedData live) { delete static_cast<const PreparsedBlock*>(live); });
}

bool LinuxPlatform::GetCaps(PreparsedData data, Caps& out)
{
    if (Handles.UsePreparsed(data,
                             [&out](PreparsedData live) { out = static_cast<const PreparsedBlock*>(live)->Value; }))
        return true;
    SetLastError(EINVAL);
    return false;
}

bool LinuxPlatform::Write(Handle handle, const std::uint8_t* buffer, std::size_t length, std::uint32_t& written)
{
    written = 0;
    const auto device = Find(handle);
    if (!device)
        return false;
    if (device->Fd < 0 || device->Mode != Access::ReadWrite) {
        SetLastError(EBADF);
        return false;
    }
    if (buffer == nullptr && length != 0) {
        SetLastError(EINVAL);
        return false;
    }
    ssize_t n;
    do
        n = write(device->Fd, buffer, length);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        SetLastError(errno);
        return false;
    }
    written = static_cast<std::uint32_t>(n);
    return true;
}

bool LinuxPlatform::BeginRead(Handle handle, std::uint8_t* buffer, std::size_t length)
{
    const auto device = Find(handle);
    if (!device)
        return false;
    if (!device->Reader) {
        SetLastError(EBADF);
        return false;
    }
    const int error = device->Reader->Begin(buffer, length);
    if (error != 0) {
        SetLastError(error);
        return false;
    }
    return true;
}

WaitResult LinuxPlatform::WaitRead(Handle handle, int sliceMs)
{
    const auto device = Find(handle); // held for the whole wait
    if (!device || !device->Reader)
        return WaitResult::Completed;
    int error = 0;
    const WaitResult result = device->Reader->Wait(sliceMs, error);
    if (error != 0)
        SetLastError(error);
    return result;
}

void LinuxPlatform::WakeRead(Handle handle)
{
    const auto device = Find(handle);
    if (device && device->Reader)
        device->Reader->Wake();
}

std::uint32_t LinuxPlatform::CompletedReadSize(Handle handle)
{
    const auto device = Find(handle);
    return device && device->Reader ? device->Reader->CompletedSize() : 0;
}

void LinuxPlatform::CancelRead(Handle handle)
{
    const auto device = Find(handle);
    if (device && device->Reader)
        device->Reader->Cancel();
}

std::uint32_t LinuxPlatform::LastError() const
{
    return LastErrorCode;
}

std::string LinuxPlatform::ErrorText(std::uint32_t code) const
{
    return SystemErrorText(code);
}

void LinuxPlatform::SetDeviceChangeHandler(std::function<void()> handler)
{
    ChangeHandler = std::move(handler);
    if (ChangeHandler && Context != nullptr)
        StartMonitor();
    // With no handler the monitor stays and its events are dropped, so a handler that clears
    // itself never destroys the notifier that is calling it.
}

void LinuxPlatform::StartMonitor()
{
    if (Monitor != nullptr || Context == nullptr)
        return;
    // The "udev" source announces a device after udev applied its permissions; the kernel's
    // announcement comes earlier and an open then fails. Only without udevd is the kernel's the one.
    udev_monitor* monitor = Udev.MonitorNewFromNetlink(Context, UdevdRunning ? "udev" : "kernel");
    if (monitor == nullptr)
        return;
    if (Udev.MonitorFilterAddMatchSubsystemDevtype(monitor, "hidraw", nullptr) < 0 ||
        Udev.MonitorEnableReceiving(monitor) < 0) {
        Udev.MonitorUnref(monitor);
        return;
    }
    const int fd = Udev.MonitorGetFd(monitor);
    if (fd < 0) {
        Udev.MonitorUnref(monitor);
        return;
    }
    Monitor = monitor;
    MonitorNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(MonitorNotifier.get(), &QSocketNotifier::activated, MonitorNotifier.get(),
                     [this] { DrainMonitor(); });
}

void LinuxPlatform::StopMonitor()
{
    MonitorNotifier.reset();
    if (Monitor != nullptr)
        Udev.MonitorUnref(Monitor);
    Monitor = nullptr;
}

void LinuxPlatform::DrainMonitor()
{
    if (Monitor == nullptr)
        return;
    // A plug-in or unplug comes as several events; all that are waiting make one notice.
    int events = 0;
    while (udev_device* device = Udev.MonitorReceiveDevice(Monitor)) {
        Udev.DeviceUnref(device);
        ++events;
    }
    if (events == 0 || !ChangeHandler)
        return;
    const auto handler = ChangeHandler; // the handler may replace itself
    handler();
}

} // namespace hidplatform
