// One HID interface that the controller found present. The controller owns it while it is free;
// after CheckOut it belongs to the application, and destroying it is the check-in. A checked-out
// device with a data handler runs a read thread that hands every input report to the main thread.
//
// Everything here runs on the main thread, except the read thread's calls of BeginRead,
// CompletedReadSize and CancelPendingRead.
#pragma once

#include "hid/controller_error.h"
#include "hid/hid_event_types.h"
#include "hid/hid_pnp_info.h"
#include "hid/platform/hid_platform.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

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
    THidDevice(hidplatform::Platform& platform, THidPnPInfo pnpInfo, THidDeviceController* controller);
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
    THidDeviceController* Controller() const { return Controller_; }
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
    THidDeviceController* Controller_;
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
