#include "hid/platform/sim/sim_platform.h"

#include "hid/platform/error_text.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

namespace hidplatform {
namespace {

thread_local std::uint32_t ThreadLastError = 0;

bool Fail(std::uint32_t code)
{
    ThreadLastError = code;
    return false;
}

struct SimDevice
{
    SimDeviceId Id = 0;
    SimDeviceConfig Config;
    std::uint32_t Instance = 0;
    std::string Path;
    bool Plugged = true;
    std::deque<std::vector<std::uint8_t>> Input;
    SimOutputHandler Output;
    std::uint32_t ReadStartError = 0;
    std::uint32_t WriteError = 0;
    int ReadStarts = 0;
    int Writes = 0;
    int FailedWrites = 0;
    int Waiting = 0;
    int OpenHandles = 0;
    // Signalled on every change a waiting read may care about: input, wake, close, unplug.
    std::condition_variable Changed;
};

struct SimHandle
{
    std::shared_ptr<SimDevice> Device;
    Access Mode = Access::Identify;
    bool Reading = false; // a read is outstanding
    std::uint8_t* Buffer = nullptr;
    std::size_t Length = 0;
    std::uint32_t CompletedSize = 0;
    bool Wake = false;
};

struct SimPreparsed
{
    Caps Capabilities;
};

} // namespace

struct SimPlatform::State
{
    mutable std::mutex Lock;
    bool IsLoaded = false;
    bool LoadFails = false;
    bool EnumerateFails = false;
    std::map<SimDeviceId, std::shared_ptr<SimDevice>> Devices;
    std::map<Handle, std::shared_ptr<SimHandle>> Handles;
    std::map<const void*, std::unique_ptr<SimPreparsed>> Preparsed;
    SimDeviceId NextId = 1;
    Handle NextHandle = 1;
    std::uint32_t NextInstance = 0x101;
    std::function<void()> ChangeHandler;
    bool NoticePending = false;
    int Notices = 0;

    std::shared_ptr<SimDevice> FindDevice(SimDeviceId id) const
    {
        const auto it = Devices.find(id);
        return it == Devices.end() ? nullptr : it->second;
    }
    // A device's count or state under the lock; `absent` for an unknown id.
    template <typename T, typename Read>
    T Inspect(SimDeviceId id, T absent, Read read) const
    {
        std::lock_guard guard(Lock);
        const std::shared_ptr<SimDevice> device = FindDevice(id);
        return device ? read(*device) : absent;
    }
    std::shared_ptr<SimHandle> FindHandle(Handle handle) const
    {
        const auto it = Handles.find(handle);
        return it == Handles.end() ? nullptr : it->second;
    }
    // A handle that still works: open, and its device plugged in.
    std::shared_ptr<SimHandle> LiveHandle(Handle handle) const
    {
        std::shared_ptr<SimHandle> h = FindHandle(handle);
        if (h == nullptr) {
            ThreadLastError = EBADF;
            return nullptr;
        }
        if (!h->Device->Plugged) {
            ThreadLastError = ENODEV;
            return nullptr;
        }
        return h;
    }
};

SimPlatform::SimPlatform()
    : S(std::make_unique<State>())
    , NoticeContext(std::make_unique<QObject>())
{
}

SimPlatform::~SimPlatform() = default;

SimDeviceId SimPlatform::PlugDevice(const SimDeviceConfig& config)
{
    {
        std::lock_guard guard(S->Lock);
        auto device = std::make_shared<SimDevice>();
        device->Id = S->NextId++;
        device->Config = config;
        device->Instance = S->NextInstance++;
        device->Path = config.Path.empty() ? "/dev/simhid" + std::to_string(device->Id) : config.Path;
        S->Devices[device->Id] = device;
        PostNotice();
        return device->Id;
    }
}

bool SimPlatform::UnplugDevice(SimDeviceId id)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimDevice> device = S->FindDevice(id);
    if (device == nullptr || !device->Plugged)
        return false;
    device->Plugged = false;
    device->Input.clear();
    device->Changed.notify_all();
    PostNotice();
    return true;
}

bool SimPlatform::QueueInputReport(SimDeviceId id, std::vector<std::uint8_t> report)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimDevice> device = S->FindDevice(id);
    if (device == nullptr || !device->Plugged)
        return false;
    device->Input.push_back(std::move(report));
    if (device->Waiting > 0)
        device->Changed.notify_all();
    return true;
}

void SimPlatform::SetOutputHandler(SimDeviceId id, SimOutputHandler handler)
{
    std::lock_guard guard(S->Lock);
    if (std::shared_ptr<SimDevice> device = S->FindDevice(id))
        device->Output = std::move(handler);
}

void SimPlatform::SetReadStartFailure(SimDeviceId id, std::uint32_t errorCode)
{
    std::lock_guard guard(S->Lock);
    if (std::shared_ptr<SimDevice> device = S->FindDevice(id))
        device->ReadStartError = errorCode;
}

void SimPlatform::SetWriteFailure(SimDeviceId id, std::uint32_t errorCode)
{
    std::lock_guard guard(S->Lock);
    if (std::shared_ptr<SimDevice> device = S->FindDevice(id))
        device->WriteError = errorCode;
}

void SimPlatform::SetAccess(SimDeviceId id, SimAccess access)
{
    std::lock_guard guard(S->Lock);
    if (std::shared_ptr<SimDevice> device = S->FindDevice(id))
        device->Config.Access = access;
}

void SimPlatform::SetLoadFails(bool fails)
{
    std::lock_guard guard(S->Lock);
    S->LoadFails = fails;
}

void SimPlatform::SetEnumerateFails(bool fails)
{
    std::lock_guard guard(S->Lock);
    S->EnumerateFails = fails;
}

std::uint32_t SimPlatform::Instance(SimDeviceId id) const
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimDevice> device = S->FindDevice(id);
    return device ? device->Instance : 0;
}

std::string SimPlatform::Path(SimDeviceId id) const
{
    return S->Inspect(id, std::string(), [](const SimDevice& device) { return device.Path; });
}

bool SimPlatform::IsPlugged(SimDeviceId id) const
{
    return S->Inspect(id, false, [](const SimDevice& device) { return device.Plugged; });
}

int SimPlatform::OpenHandleCount(SimDeviceId id) const
{
    return S->Inspect(id, 0, [](const SimDevice& device) { return device.OpenHandles; });
}

std::size_t SimPlatform::QueuedInputReports(SimDeviceId id) const
{
    return S->Inspect(id, std::size_t{0}, [](const SimDevice& device) { return device.Input.size(); });
}

int SimPlatform::ReadStarts(SimDeviceId id) const
{
    return S->Inspect(id, 0, [](const SimDevice& device) { return device.ReadStarts; });
}

int SimPlatform::Writes(SimDeviceId id) const
{
    return S->Inspect(id, 0, [](const SimDevice& device) { return device.Writes; });
}

int SimPlatform::FailedWrites(SimDeviceId id) const
{
    return S->Inspect(id, 0, [](const SimDevice& device) { return device.FailedWrites; });
}

int SimPlatform::WaitingReads(SimDeviceId id) const
{
    return S->Inspect(id, 0, [](const SimDevice& device) { return device.Waiting; });
}

int SimPlatform::PostedNotices() const
{
    std::lock_guard guard(S->Lock);
    return S->Notices;
}

void SimPlatform::PostNotice()
{
    // Caller holds the lock. Notices not handled yet merge into one, as a burst would.
    if (S->NoticePending)
        return;
    S->NoticePending = true;
    ++S->Notices;
    State* state = S.get();
    QMetaObject::invokeMethod(
        NoticeContext.get(),
        [state] {
            std::function<void()> handler;
            {
                std::lock_guard guard(state->Lock);
                state->NoticePending = false;
                handler = state->ChangeHandler;
            }
            if (handler)
                handler();
        },
        Qt::QueuedConnection);
}

bool SimPlatform::Load()
{
    std::lock_guard guard(S->Lock);
    if (S->LoadFails)
        return Fail(ENOENT);
    S->IsLoaded = true;
    return true;
}

void SimPlatform::Unload()
{
    std::lock_guard guard(S->Lock);
    S->IsLoaded = false;
}

bool SimPlatform::Loaded() const
{
    std::lock_guard guard(S->Lock);
    return S->IsLoaded;
}

bool SimPlatform::EnumeratePresent(std::vector<PresentInterface>& out)
{
    std::lock_guard guard(S->Lock);
    out.clear();
    if (!S->IsLoaded || S->EnumerateFails)
        return Fail(EIO);
    for (const auto& [id, device] : S->Devices)
        if (device->Plugged)
            out.push_back({device->Instance, device->Path});
    return true;
}

Handle SimPlatform::Open(const std::string& path, Access access)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimDevice> found;
    for (const auto& [id, device] : S->Devices)
        if (device->Plugged && device->Path == path)
            found = device; // the newest connection on the path
    if (found == nullptr) {
        Fail(ENOENT);
        return InvalidHandle;
    }
    const SimAccess mode = found->Config.Access;
    const bool admitted =
        mode == SimAccess::ReadWrite || (mode == SimAccess::IdentifyOnly && access == Access::Identify);
    if (!admitted) {
        Fail(EACCES);
        return InvalidHandle;
    }
    auto handle = std::make_shared<SimHandle>();
    handle->Device = found;
    handle->Mode = access;
    ++found->OpenHandles;
    const Handle value = S->NextHandle++;
    S->Handles[value] = std::move(handle);
    return value;
}

void SimPlatform::Close(Handle handle)
{
    std::lock_guard guard(S->Lock);
    const auto it = S->Handles.find(handle);
    if (it == S->Handles.end()) {
        Fail(EBADF);
        return;
    }
    std::shared_ptr<SimDevice> device = it->second->Device;
    --device->OpenHandles;
    S->Handles.erase(it);
    // A read waiting on the handle notices that it is gone and ends with no data.
    device->Changed.notify_all();
}

bool SimPlatform::GetAttributes(Handle handle, Attributes& out)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimHandle> h = S->LiveHandle(handle);
    if (h == nullptr)
        return false;
    if (h->Device->Config.AttributesFail)
        return Fail(EIO);
    out.VendorID = h->Device->Config.VendorID;
    out.ProductID = h->Device->Config.ProductID;
    out.VersionNumber = h->Device->Config.VersionNumber;
    return true;
}

bool SimPlatform::GetProductString(Handle handle, std::u16string& out)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimHandle> h = S->LiveHandle(handle);
    if (h == nullptr)
        return false;
    if (!h->Device->Config.ProductString)
        return Fail(EPIPE);
    out = h->Device->Config.ProductString->substr(0, 254);
    return true;
}

bool SimPlatform::GetPreparsedData(Handle handle, PreparsedData& out)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimHandle> h = S->LiveHandle(handle);
    if (h == nullptr)
        return false;
    const SimDeviceConfig& config = h->Device->Config;
    if (config.CapsFail)
        return Fail(EIO);
    auto data = std::make_unique<SimPreparsed>();
    data->Capabilities.InputReportByteLength = config.InputReportByteLength;
    data->Capabilities.OutputReportByteLength = config.OutputReportByteLength;
    data->Capabilities.FeatureReportByteLength = config.FeatureReportByteLength;
    out = data.get();
    S->Preparsed[data.get()] = std::move(data);
    return true;
}

void SimPlatform::FreePreparsedData(PreparsedData data)
{
    std::lock_guard guard(S->Lock);
    S->Preparsed.erase(data);
}

bool SimPlatform::GetCaps(PreparsedData data, Caps& out)
{
    std::lock_guard guard(S->Lock);
    const auto it = S->Preparsed.find(data);
    if (it == S->Preparsed.end())
        return Fail(EINVAL);
    out = it->second->Capabilities;
    return true;
}

bool SimPlatform::Write(Handle handle, const std::uint8_t* buffer, std::size_t length, std::uint32_t& written)
{
    written = 0;
    SimOutputHandler output;
    {
        std::lock_guard guard(S->Lock);
        std::shared_ptr<SimHandle> h = S->LiveHandle(handle);
        if (h == nullptr)
            return false;
        SimDevice& device = *h->Device;
        ++device.Writes;
        std::uint32_t error = 0;
        if (h->Mode != Access::ReadWrite)
            error = EACCES;
        else if (buffer == nullptr || length == 0 || length > device.Config.OutputReportByteLength)
            error = EINVAL;
        else
            error = device.WriteError;
        if (error != 0) {
            ++device.FailedWrites;
            return Fail(error);
        }
        output = device.Output;
    }
    // Outside the lock: the handler may queue input reports in answer.
    if (output)
        output(buffer, length);
    written = static_cast<std::uint32_t>(length);
    return true;
}

bool SimPlatform::BeginRead(Handle handle, std::uint8_t* buffer, std::size_t length)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimHandle> h = S->LiveHandle(handle);
    if (h == nullptr)
        return false;
    SimDevice& device = *h->Device;
    ++device.ReadStarts;
    if (h->Mode == Access::Identify)
        return Fail(EACCES);
    if (device.ReadStartError != 0)
        return Fail(device.ReadStartError);
    if (h->Reading)
        return Fail(EBUSY);
    h->Reading = true;
    h->Buffer = buffer;
    h->Length = length;
    h->CompletedSize = 0;
    return true;
}

WaitResult SimPlatform::WaitRead(Handle handle, int sliceMs)
{
    std::unique_lock guard(S->Lock);
    std::shared_ptr<SimHandle> h = S->FindHandle(handle);
    if (h == nullptr)
        return WaitResult::Completed; // closed: the read ended with no data
    SimDevice& device = *h->Device;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(sliceMs, 0));
    ++device.Waiting;
    WaitResult result = WaitResult::TimedOut;
    for (;;) {
        if (h->Wake) {
            h->Wake = false;
            result = WaitResult::Woken;
            break;
        }
        if (!h->Reading) {
            result = WaitResult::Completed;
            break;
        }
        if (S->FindHandle(handle) == nullptr || !device.Plugged) {
            h->Reading = false;
            h->CompletedSize = 0;
            result = WaitResult::Completed;
            break;
        }
        if (!device.Input.empty()) {
            const std::vector<std::uint8_t>& report = device.Input.front();
            const std::size_t size = std::min(report.size(), h->Length);
            if (size > 0)
                std::memcpy(h->Buffer, report.data(), size);
            device.Input.pop_front();
            h->Reading = false;
            h->CompletedSize = static_cast<std::uint32_t>(size);
            result = WaitResult::Completed;
            break;
        }
        if (device.Changed.wait_until(guard, deadline) == std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= deadline) {
            // One more look, so a change that came with the timeout is not missed.
            if (h->Wake || !device.Input.empty() || !device.Plugged || S->FindHandle(handle) == nullptr)
                continue;
            result = WaitResult::TimedOut;
            break;
        }
    }
    --device.Waiting;
    return result;
}

void SimPlatform::WakeRead(Handle handle)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimHandle> h = S->FindHandle(handle);
    if (h == nullptr)
        return;
    h->Wake = true;
    h->Device->Changed.notify_all();
}

std::uint32_t SimPlatform::CompletedReadSize(Handle handle)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimHandle> h = S->FindHandle(handle);
    if (h == nullptr || h->Reading)
        return 0;
    const std::uint32_t size = h->CompletedSize;
    h->CompletedSize = 0;
    return size;
}

void SimPlatform::CancelRead(Handle handle)
{
    std::lock_guard guard(S->Lock);
    std::shared_ptr<SimHandle> h = S->FindHandle(handle);
    if (h == nullptr)
        return;
    h->Reading = false;
    h->Buffer = nullptr;
    h->Length = 0;
    h->CompletedSize = 0;
}

std::uint32_t SimPlatform::LastError() const
{
    return ThreadLastError;
}

std::string SimPlatform::ErrorText(std::uint32_t code) const
{
    // The texts of the system it stands in for.
    return SystemErrorText(code);
}

void SimPlatform::SetDeviceChangeHandler(std::function<void()> handler)
{
    std::lock_guard guard(S->Lock);
    S->ChangeHandler = std::move(handler);
}

} // namespace hidplatform
