#include "simulator/uhid_device.h"

#include <linux/uhid.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace simulator {

namespace {

constexpr std::size_t NameCapacity = sizeof(uhid_create2_req::name); // 128 with the terminating zero

} // namespace

TUhidDevice::TUhidDevice(std::string uhidPath)
    : UhidPath(std::move(uhidPath))
{
}

TUhidDevice::~TUhidDevice()
{
    Destroy();
}

void TUhidDevice::SetOutputHandler(TOutputHandler handler)
{
    if (!Created())
        OutputHandler = std::move(handler);
}

void TUhidDevice::SetTickHandler(TTickHandler handler)
{
    if (!Created())
        TickHandler = std::move(handler);
}

std::string TUhidDevice::CutName(const std::string& name, std::size_t maxBytes)
{
    if (name.size() <= maxBytes)
        return name;
    std::size_t end = maxBytes;
    // Back over continuation bytes (10xxxxxx) to the start of the character that does not fit.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

bool TUhidDevice::ValidConfig(const TUhidDeviceConfig& config)
{
    return !config.ReportDescriptor.empty() && config.ReportDescriptor.size() <= HID_MAX_DESCRIPTOR_SIZE;
}

bool TUhidDevice::Create(const TUhidDeviceConfig& config)
{
    if (Created()) {
        Fail(EBUSY);
        return false;
    }
    if (!ValidConfig(config)) {
        Fail(EINVAL);
        return false;
    }
    const int fd = ::open(UhidPath.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        Fail(errno);
        return false;
    }
    const int stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd < 0) {
        Fail(errno);
        ::close(fd);
        return false;
    }

    // The request is large (about 4.4 kB), so it lives on the heap.
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof *event);
    event->type = UHID_CREATE2;
    const std::string name = CutName(config.Name, NameCapacity - 1);
    std::memcpy(event->u.create2.name, name.data(), name.size());
    event->u.create2.rd_size = static_cast<__u16>(config.ReportDescriptor.size());
    event->u.create2.bus = config.Bus;
    event->u.create2.vendor = config.VendorID;
    event->u.create2.product = config.ProductID;
    event->u.create2.version = config.Version;
    std::memcpy(event->u.create2.rd_data, config.ReportDescriptor.data(), config.ReportDescriptor.size());

    StartedFlag = false;
    OpenedFlag = false;
    Outputs = 0;
    {
        std::lock_guard lock(WriteMutex);
        Fd = fd;
    }
    if (!WriteEvent(event.get(), sizeof *event)) {
        const int error = LastError();
        std::lock_guard lock(WriteMutex);
        Fd = -1;
        ::close(fd);
        ::close(stopFd);
        Fail(error);
        return false;
    }
    StopFd = stopFd;
    Worker = std::thread([this] { Run(); });
    return true;
}

void TUhidDevice::Destroy()
{
    if (!Created())
        return;
    const std::uint64_t one = 1;
    if (::write(StopFd, &one, sizeof one) < 0)
        Fail(errno); // an eventfd write only fails on overflow, which one write cannot reach
    if (Worker.joinable())
        Worker.join();
    uhid_event event{};
    event.type = UHID_DESTROY;
    WriteEvent(&event, sizeof event); // closing the descriptor destroys the device too
    std::lock_guard lock(WriteMutex);
    ::close(Fd.load());
    Fd = -1;
    ::close(StopFd);
    StopFd = -1;
    StartedFlag = false;
    OpenedFlag = false;
}

bool TUhidDevice::SendInput(const std::uint8_t* data, std::size_t length)
{
    if (data == nullptr || length == 0 || length > UHID_DATA_MAX) {
        Fail(EINVAL);
        return false;
    }
    uhid_event event;
    event.type = UHID_INPUT2;
    event.u.input2.size = static_cast<__u16>(length);
    std::memcpy(event.u.input2.data, data, length);
    // Only the used part of the request goes to the kernel.
    const std::size_t size = offsetof(uhid_event, u.input2.data) + length;
    return WriteEvent(&event, size);
}

bool TUhidDevice::WriteEvent(const void* event, std::size_t size)
{
    std::lock_guard lock(WriteMutex);
    const int fd = Fd.load();
    if (fd < 0) {
        Fail(ENODEV);
        return false;
    }
    for (;;) {
        const ssize_t n = ::write(fd, event, size);
        if (n == static_cast<ssize_t>(size))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // uhid does not block writers today; should it ever, wait for room.
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
            continue;
        }
        Fail(n < 0 ? errno : EIO);
        return false;
    }
}

bool TUhidDevice::WaitStarted(std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!StartedFlag.load()) {
        if (!Created() || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int TUhidDevice::Tick()
{
    const std::optional<std::chrono::milliseconds> sleep = TickHandler ? TickHandler() : std::nullopt;
    // No time-out (-1) when nothing is due: the kernel's requests and the stop wake the thread.
    if (!sleep)
        return -1;
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(sleep->count(), 0, INT_MAX));
}

void TUhidDevice::Run()
{
    auto event = std::make_unique<uhid_event>();
    int timeout = Tick();
    for (;;) {
        pollfd fds[2] = {{Fd.load(), POLLIN, 0}, {StopFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) {
            Fail(errno);
            return;
        }
        if (fds[1].revents != 0)
            return;
        if (ready > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            Fail(EIO);
            return;
        }
        // Everything the kernel has queued, then the tick.
        if (ready > 0 && (fds[0].revents & POLLIN) != 0 && !ReadEvents(fds[0].fd, *event))
            return;
        timeout = Tick();
    }
}

bool TUhidDevice::ReadEvents(int fd, uhid_event& event)
{
    for (;;) {
        const ssize_t n = ::read(fd, &event, sizeof event);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR)
                Fail(errno);
            return true;
        }
        if (n == 0) {
            // End of file: not the kernel's uhid (which never ends a read so), nothing will come.
            Fail(EIO);
            return false;
        }
        if (n < static_cast<ssize_t>(sizeof event.type))
            return true;
        HandleEvent(event);
    }
}

void TUhidDevice::HandleEvent(const uhid_event& event)
{
    switch (event.type) {
    case UHID_START:
        StartedFlag = true;
        break;
    case UHID_STOP:
        StartedFlag = false;
        break;
    case UHID_OPEN:
        OpenedFlag = true;
        break;
    case UHID_CLOSE:
        OpenedFlag = false;
        break;
    case UHID_OUTPUT: {
        const std::size_t size = std::min<std::size_t>(event.u.output.size, UHID_DATA_MAX);
        ++Outputs;
        if (event.u.output.rtype == UHID_OUTPUT_REPORT && size > 0 && OutputHandler)
            OutputHandler(event.u.output.data, size);
        break;
    }
    case UHID_GET_REPORT: {
        // No feature or input reports on request: refused, so the caller is not kept waiting for
        // the kernel's time-out.
        uhid_event reply{};
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = event.u.get_report.id;
        reply.u.get_report_reply.err = EIO;
        WriteEvent(&reply, offsetof(uhid_event, u.get_report_reply.data));
        break;
    }
    case UHID_SET_REPORT: {
        uhid_event reply{};
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = event.u.set_report.id;
        reply.u.set_report_reply.err = EIO;
        WriteEvent(&reply, sizeof reply.type + sizeof reply.u.set_report_reply);
        break;
    }
    default:
        break;
    }
}

} // namespace simulator
