#include "hid/hid_device.h"

#include "base/main_thread_call.h"

#include <algorithm>
#include <chrono>

using hidplatform::Access;
using hidplatform::Handle;
using hidplatform::InvalidHandle;
using hidplatform::WaitResult;

namespace {
constexpr std::size_t MaxProductNameUnits = 254;
}

THidDevice::THidDevice(hidplatform::Platform& platform, THidPnPInfo pnpInfo, THidDeviceParent* controller)
    : Platform(platform)
    , Controller_(controller)
    , PnPInfo_(std::move(pnpInfo))
{
    if (controller != nullptr) {
        DataHandler_ = controller->OnDeviceData();
        UnplugHandler_ = controller->OnDeviceUnplug();
        DataErrorHandler_ = controller->OnDeviceDataError();
    }
    MainHandle = Platform.Open(PnPInfo_.DevicePath, Access::ReadWrite);
    ReadWriteGranted_ = MainHandle != InvalidHandle;
    // Devices the system holds exclusively (keyboards, mice) still admit identification.
    if (MainHandle == InvalidHandle)
        MainHandle = Platform.Open(PnPInfo_.DevicePath, Access::Identify);
    if (MainHandle == InvalidHandle)
        throw EControllerError("device cannot be opened");
    if (!Platform.GetAttributes(MainHandle, Attributes)) {
        CloseMain();
        throw EControllerError("device cannot be identified");
    }
    CloseMain();
}

THidDevice::~THidDevice()
{
    const THidDataEvent dataHandler = DataHandler_;
    const THidPlugEvent unplugHandler = UnplugHandler_;
    Destroying = true;
    // Gone before the thread stops: a handler served meanwhile must not have this device unplugged
    // into its owner's hands a second time.
    UnplugHandler_ = nullptr;
    // A report the thread is handing over has left the system's queue: it still reaches the data
    // handler while the thread stops.
    SetDataHandler(nullptr);
    CloseMain();
    CloseRead();
    if (PreparsedData != nullptr) {
        Platform.FreePreparsedData(PreparsedData);
        PreparsedData = nullptr;
    }
    if (Controller_ != nullptr)
        Controller_->CheckIn(this, dataHandler, unplugHandler);
}

std::u16string THidDevice::QueryProductName()
{
    if (ProductName.empty() && OpenMain()) {
        std::u16string text;
        if (Platform.GetProductString(MainHandle, text)) {
            if (text.size() > MaxProductNameUnits)
                text.resize(MaxProductNameUnits);
            const auto zero = text.find(u'\0');
            if (zero != std::u16string::npos)
                text.resize(zero);
            ProductName = text;
        }
        CloseMain();
    }
    return ProductName;
}

void THidDevice::QueryCaps(THidCaps& caps)
{
    caps = THidCaps{};
    const hidplatform::PreparsedData data = GetPreparsedData();
    if (data == nullptr || !Platform.GetCaps(data, caps))
        caps = THidCaps{};
}

bool THidDevice::WriteReport(const std::uint8_t* buffer, std::uint32_t length, std::uint32_t& written)
{
    written = 0;
    if (!OpenMain())
        return false;
    if (buffer == nullptr && length > 0)
        return false;
    return Platform.Write(MainHandle, buffer, length, written);
}

bool THidDevice::CheckOut()
{
    if (Controller_ == nullptr || !PluggedIn_ || CheckedOut_)
        return false;
    CheckedOut_ = true;
    StartReadThread();
    return true;
}

void THidDevice::SetDataHandler(const THidDataEvent& handler)
{
    if (!handler)
        StopReadThread();
    DataHandler_ = handler;
    StartReadThread();
}

void THidDevice::SetReadWaitSlice(int ms)
{
    if (ms >= 10 && ms <= 10000)
        ReadWaitSlice_ = ms;
}

void THidDevice::HandleUnplug()
{
    // Unplugged first, so a read thread that is about to open the device no longer may.
    PluggedIn_ = false;
    CloseMain();
    CloseRead();
    const THidPlugEvent handler = UnplugHandler_;
    UnplugHandler_ = nullptr;
    // The handler may destroy the device: nothing of it is touched afterwards.
    if (handler)
        handler(this);
}

bool THidDevice::OpenMain()
{
    if (CanOpen() && MainHandle == InvalidHandle) {
        MainHandle = Platform.Open(PnPInfo_.DevicePath, Access::ReadWrite);
        ReadWriteGranted_ = MainHandle != InvalidHandle;
        if (MainHandle == InvalidHandle)
            MainHandle = Platform.Open(PnPInfo_.DevicePath, Access::Identify);
    }
    return MainHandle != InvalidHandle;
}

void THidDevice::CloseMain()
{
    if (MainHandle != InvalidHandle) {
        Platform.Close(MainHandle);
        MainHandle = InvalidHandle;
    }
}

bool THidDevice::OpenRead()
{
    if (!CanOpen())
        return false;
    if (ReadHandle.load() == InvalidHandle) {
        const Handle handle = Platform.Open(PnPInfo_.DevicePath, Access::ReadOverlapped);
        ReadHandle = handle;
    }
    return ReadHandle.load() != InvalidHandle;
}

void THidDevice::CloseRead()
{
    const Handle handle = ReadHandle.exchange(InvalidHandle);
    if (handle != InvalidHandle)
        Platform.Close(handle);
}

hidplatform::PreparsedData THidDevice::GetPreparsedData()
{
    if (PreparsedData == nullptr && OpenMain()) {
        hidplatform::PreparsedData data = nullptr;
        if (Platform.GetPreparsedData(MainHandle, data))
            PreparsedData = data;
        CloseMain();
    }
    return PreparsedData;
}

bool THidDevice::BeginRead(std::uint8_t* buffer, std::size_t size, Handle& handle)
{
    handle = InvalidHandle;
    if (!OpenRead())
        return false;
    handle = ReadHandle.load();
    return Platform.BeginRead(handle, buffer, size);
}

std::uint32_t THidDevice::CompletedReadSize(Handle handle)
{
    if (ReadHandle.load() == InvalidHandle)
        return 0;
    return Platform.CompletedReadSize(handle);
}

void THidDevice::CancelPendingRead(Handle handle)
{
    if (handle != InvalidHandle)
        Platform.CancelRead(handle);
}

void THidDevice::StartReadThread()
{
    if (!DataHandler_ || !PluggedIn_ || !CheckedOut_ || !ReadWriteGranted_ || ReadThread_ != nullptr || Destroying)
        return;
    // The read handle is opened here rather than by the thread: the system keeps input reports only
    // for handles that are open, and the caller may write a command at once whose answer must not
    // arrive before anyone listens. Should it fail, the thread tries again and reports the error.
    OpenRead();
    ReadThread_ = new THidDeviceReadThread(*this);
    ReadThread_->Start();
}

void THidDevice::StopReadThread()
{
    // A handler served while we wait may ask again: the outer stop finishes the job.
    if (ReadThread_ == nullptr || StoppingThread)
        return;
    THidDeviceReadThread* thread = ReadThread_;
    thread->RequestStop();
    // Wake a read that waits on the handle (the thread checks the stop request after opening it).
    const Handle handle = ReadHandle.load();
    if (handle != InvalidHandle)
        Platform.WakeRead(handle);
    if (thread->InHandOver) {
        // Stopped from inside its own delivery (the handler dropped the handler or destroyed the
        // device): the thread is blocked on us, so it cannot end before we return. It touches
        // nothing of the device after the delivery and deletes itself once it has ended.
        ReadThread_ = nullptr;
        thread->Device = nullptr;
        thread->FreeWhenEnded();
        return;
    }
    StoppingThread = true;
    base::WaitServingHandOvers([thread] { return thread->BodyEnded(); });
    thread->Join();
    StoppingThread = false;
    delete thread;
    ReadThread_ = nullptr;
}

THidDeviceReadThread::THidDeviceReadThread(THidDevice& device)
    : Device(&device)
    , Platform(device.Platform)
{
    // The first query fills the device's capability cache here, on the main thread; the length
    // does not change while the device lives, so the thread keeps it.
    THidCaps caps;
    device.QueryCaps(caps);
    ReportLength = caps.InputReportByteLength;
    ReportBuffer.assign(std::max<std::size_t>(ReportLength, 1), 0);
}

THidDeviceReadThread::~THidDeviceReadThread()
{
    // Owners wait for the body to end before deleting; this only guards against misuse.
    Join();
}

void THidDeviceReadThread::Start()
{
    Worker = std::thread([this] {
        Run();
        if (FreesItself)
            delete this;
    });
}

void THidDeviceReadThread::Join()
{
    if (Worker.joinable() && Worker.get_id() != std::this_thread::get_id())
        Worker.join();
}

void THidDeviceReadThread::FreeWhenEnded()
{
    FreesItself = true;
    Worker.detach();
}

void THidDeviceReadThread::RequestStop()
{
    {
        std::lock_guard guard(PauseLock);
        StopRequested_ = true;
    }
    PauseWake.notify_all();
}

void THidDeviceReadThread::PauseAfterFailedStart(int sliceMs)
{
    std::unique_lock guard(PauseLock);
    PauseWake.wait_for(guard, std::chrono::milliseconds(sliceMs), [this] { return StopRequested_.load(); });
}

void THidDeviceReadThread::HandOver(void (THidDeviceReadThread::*deliver)())
{
    base::RunOnMainThread([this, deliver] {
        InHandOver = true;
        struct Reset
        {
            bool& Flag;
            ~Reset() { Flag = false; }
        } reset{InHandOver};
        (this->*deliver)();
    });
}

void THidDeviceReadThread::Run()
{
    try {
        while (!StopRequested()) {
            WaitResult result = WaitResult::Completed;
            std::fill_n(ReportBuffer.begin(), ReportLength, 0);
            Handle handle = InvalidHandle;
            if (!Device->BeginRead(ReportBuffer.data(), ReportLength, handle)) {
                ErrorCode_ = Platform.LastError();
                const int slice = Device->ReadWaitSlice();
                HandOver(&THidDeviceReadThread::DeliverError);
                if (StopRequested())
                    break;
                // A read that cannot start (device gone, access lost) would otherwise spin
                // through error events as fast as the main thread takes them.
                PauseAfterFailedStart(slice);
                continue;
            }
            // At least one wait, even when a stop came right after the read started: its wake
            // (or the slice) ends that wait, and a read still outstanding then is cancelled, so
            // a later thread can start reads on the same handle again.
            do {
                result = Platform.WaitRead(handle, Device->ReadWaitSlice());
            } while (result != WaitResult::Completed && !StopRequested());
            if (result != WaitResult::Completed) {
                Device->CancelPendingRead(handle);
                break;
            }
            // A read that completed as the stop came has taken its report off the system's
            // queue: it is handed over all the same, the stop is served after it.
            BytesRead_ = Device->CompletedReadSize(handle);
            if (BytesRead_ > 0)
                HandOver(&THidDeviceReadThread::DeliverReport);
        }
    } catch (...) {
        // An exception that escaped a handler ends the thread; the device keeps referring to it
        // until the thread is stopped.
    }
    BodyEnded_ = true;
    base::WakeMainThreadWaiters();
}

void THidDeviceReadThread::DeliverReport()
{
    if (Device == nullptr || !Device->DataHandler_)
        return;
    const THidDataEvent handler = Device->DataHandler_;
    handler(Device, ReportBuffer[0], ReportBuffer.data() + 1, static_cast<std::uint16_t>(BytesRead_ - 1));
}

void THidDeviceReadThread::DeliverError()
{
    if (Device == nullptr || !Device->DataErrorHandler_)
        return;
    const THidDataErrorEvent handler = Device->DataErrorHandler_;
    handler(Device, ErrorCode_);
}
