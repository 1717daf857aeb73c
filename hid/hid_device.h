// One HID interface that the controller found present. The controller owns it while it is free;
// after CheckOut it belongs to the application, and destroying it is the check-in. A checked-out
// device with a data handler runs a read thread (THidDeviceReadThread, below) that hands every
// input report to the main thread.
//
// Everything here runs on the main thread, except the read thread's body and its calls of
// BeginRead, CompletedReadSize and CancelPendingRead.
#pragma once

#include "hid/controller_error.h"
#include "hid/device_parent.h"
#include "hid/hid_event_types.h"
#include "hid/hid_pnp_info.h"
#include "hid/platform/hid_platform.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class THidDeviceController;
class THidDeviceReadThread;

// Capability record: InputReportByteLength and OutputReportByteLength include the report id byte.
using THidCaps = hidplatform::Caps;

class THidDevice
{
public:
    // Opens and identifies the device (then closes it again, so an idle device holds no handle).
    // Raises EControllerError "device cannot be opened" / "device cannot be identified".
    // The platform must outlive the device. Called by the controller's scan and by check-in.
    THidDevice(hidplatform::Platform& platform, THidPnPInfo pnpInfo, THidDeviceParent* controller);
    // Check-in (application) or disposal (controller): stops the read thread (a report it is
    // handing over still reaches the data handler, which must not destroy the device again),
    // closes the handles; a device still listed by its controller is replaced there by a fresh
    // free object when it is still plugged in, or leaves the list when it is not.
    virtual ~THidDevice();

    THidDevice(const THidDevice&) = delete;
    THidDevice& operator=(const THidDevice&) = delete;

    // The product string; empty when it cannot be read. Read once, then served from the cache;
    // a free device outside a notification returns only what is cached.
    std::u16string QueryProductName();
    std::uint16_t VendorID() const { return Attributes.VendorID; }
    std::uint16_t ProductID() const { return Attributes.ProductID; }
    std::uint16_t VersionNumber() const { return Attributes.VersionNumber; }
    // All zero when the device cannot be reached.
    void QueryCaps(THidCaps& caps);
    // One synchronous write of `length` bytes (report id first). False when the device cannot
    // be opened or the platform refuses; `written` gets the platform's byte count.
    bool WriteReport(const std::uint8_t* buffer, std::uint32_t length, std::uint32_t& written);
    // Takes the device for the application: true only for a listed, plugged-in device that is not
    // checked out yet. Starts the read thread when a data handler is set.
    bool CheckOut();

    // Replacing a handler keeps a running thread; none stops it; a handler starts it when the
    // device is checked out, plugged in and opened with read-write access.
    void SetDataHandler(const THidDataEvent& handler);
    const THidDataEvent& DataHandler() const { return DataHandler_; }
    void SetDataErrorHandler(const THidDataErrorEvent& handler) { DataErrorHandler_ = handler; }
    const THidDataErrorEvent& DataErrorHandler() const { return DataErrorHandler_; }
    void SetUnplugHandler(const THidPlugEvent& handler) { UnplugHandler_ = handler; }
    const THidPlugEvent& UnplugHandler() const { return UnplugHandler_; }
    // Accepts 10..10000 ms; other values are ignored.
    void SetReadWaitSlice(int ms);
    int ReadWaitSlice() const { return ReadWaitSlice_.load(); }

    const THidPnPInfo& PnPInfo() const { return PnPInfo_; }
    THidDeviceController* Controller() const { return Controller_ != nullptr ? Controller_->AsController() : nullptr; }
    bool PluggedIn() const { return PluggedIn_.load(); }
    bool CheckedOut() const { return CheckedOut_.load(); }
    bool InNotification() const { return InNotification_.load(); }
    bool ReadWriteGranted() const { return ReadWriteGranted_.load(); }
    // The device's read thread, also one whose body has ended (until it is stopped).
    THidDeviceReadThread* ReadThread() const { return ReadThread_; }

    // Closes the handles, marks the device unplugged and calls its unplug handler once.
    // The handler may destroy the device. Called by the controller's rescan.
    void HandleUnplug();

private:
    friend class THidDeviceController;
    friend class THidDeviceReadThread;

    bool CanOpen() const { return PluggedIn_ && (CheckedOut_ || InNotification_); }
    bool OpenMain();
    void CloseMain();
    bool OpenRead();
    void CloseRead();
    hidplatform::PreparsedData GetPreparsedData();
    // Read thread: starts one read on the read handle; `handle` gets the handle used.
    bool BeginRead(std::uint8_t* buffer, std::size_t size, hidplatform::Handle& handle);
    std::uint32_t CompletedReadSize(hidplatform::Handle handle);
    void CancelPendingRead(hidplatform::Handle handle);
    void StartReadThread();
    void StopReadThread();
    void SetInNotification(bool value) { InNotification_ = value; }
    // Expires when the device is destroyed, so code that calls out to handlers can tell.
    std::weak_ptr<void> LifeWatch() const { return LifeToken; }

    hidplatform::Platform& Platform;
    THidDeviceParent* Controller_;
    std::atomic<bool> PluggedIn_{true};
    std::atomic<bool> CheckedOut_{false};
    std::atomic<bool> InNotification_{false};
    std::atomic<bool> ReadWriteGranted_{false};
    bool Destroying = false;
    bool StoppingThread = false;
    hidplatform::Handle MainHandle = hidplatform::InvalidHandle;
    std::atomic<hidplatform::Handle> ReadHandle{hidplatform::InvalidHandle};
    hidplatform::Attributes Attributes;
    THidPnPInfo PnPInfo_;
    std::u16string ProductName;
    hidplatform::PreparsedData PreparsedData = nullptr;
    std::atomic<int> ReadWaitSlice_{100};
    THidDataEvent DataHandler_;
    THidDataErrorEvent DataErrorHandler_;
    THidPlugEvent UnplugHandler_;
    THidDeviceReadThread* ReadThread_ = nullptr;
    std::shared_ptr<void> LifeToken = std::make_shared<char>(0);
};

// The read thread of a checked-out device: one read at a time, each report (and each read that
// could not be started) handed to the main thread, the next read only after the handler returned.
// A plain std::thread rather than a QThread: its end is a join that every thread checker sees, where
// QThread signals its end under Qt's own futex lock.
class THidDeviceReadThread
{
public:
    // Main thread: sizes the report buffer from the device's capabilities. Not started here.
    explicit THidDeviceReadThread(THidDevice& device);
    // Joins the thread unless it was left to free itself.
    ~THidDeviceReadThread();
    THidDeviceReadThread(const THidDeviceReadThread&) = delete;
    THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;

    void Start();
    // Main thread, after BodyEnded: waits until the thread has returned.
    void Join();

    std::uint32_t ErrorCode() const { return ErrorCode_; }
    std::uint32_t BytesRead() const { return BytesRead_; }
    // The body has ended (stop request, or a handler's exception ended it).
    bool BodyEnded() const { return BodyEnded_.load(); }

private:
    friend class THidDevice;

    void Run();
    // Main thread, from inside one of this thread's deliveries: the thread deletes itself once its
    // body has ended, so nobody has to wait for it.
    void FreeWhenEnded();
    // Any thread: noticed at once by a waiting read (through WakeRead) or a failed-start pause.
    void RequestStop();
    bool StopRequested() const { return StopRequested_.load(); }
    // After a read start failed: pause one slice, or less when a stop is requested.
    void PauseAfterFailedStart(int sliceMs);
    void HandOver(void (THidDeviceReadThread::*deliver)());
    void DeliverReport();
    void DeliverError();

    THidDevice* Device;
    hidplatform::Platform& Platform;
    std::uint32_t ErrorCode_ = 0;
    std::uint32_t BytesRead_ = 0;
    std::vector<std::uint8_t> ReportBuffer;
    std::size_t ReportLength = 0;
    std::atomic<bool> StopRequested_{false};
    std::atomic<bool> BodyEnded_{false};
    // Main thread only: a delivery of this thread is running its handler right now.
    bool InHandOver = false;
    std::mutex PauseLock;
    std::condition_variable PauseWake;
    // Set only while the thread is blocked in a delivery, so the thread reads it after that.
    bool FreesItself = false;
    std::thread Worker;
};
