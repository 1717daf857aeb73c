#include "hid/device_read_thread.h"

#include "base/main_thread_call.h"
#include "hid/hid_device.h"

#include <algorithm>
#include <chrono>

using hidplatform::Handle;
using hidplatform::InvalidHandle;
using hidplatform::WaitResult;

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
