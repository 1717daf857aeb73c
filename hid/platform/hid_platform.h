// The operations the HID controller and its devices rely on, in one interface with one backend
// per platform: linux/ (udev + hidraw) for the real program, sim/ (virtual devices) for the
// stand-in station, the demo and the tests.
//
// Framing: above this layer an input report is always byte 0 = report id (0 for a device that
// does not number its reports) followed by the data, and every report length includes that byte.
// Output reports are written as given, id byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hidplatform {

// An open device. Handles are never reused while the backend lives, so a stale handle is
// harmless: every operation on it fails.
using Handle = std::intptr_t;
constexpr Handle InvalidHandle = -1;

// Opaque capability data of an open device, valid until FreePreparsedData.
using PreparsedData = const void*;

struct PresentInterface
{
    std::uint32_t DeviceInstance = 0; // new for every connection of a device
    std::string DevicePath;           // every handle of the device is opened on it
};

struct Attributes
{
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

struct Caps
{
    std::uint16_t InputReportByteLength = 0;  // largest input report, id byte included
    std::uint16_t OutputReportByteLength = 0; // largest output report, id byte included
    std::uint16_t FeatureReportByteLength = 0;
};

enum class Access {
    ReadWrite,     // identification, writes
    Identify,      // no access rights: identification only (may succeed where ReadWrite is denied)
    ReadOverlapped // used by one read thread at a time for BeginRead/WaitRead
};

enum class WaitResult {
    Completed, // the read has ended (with data, with an error or because the device vanished)
    TimedOut,  // the slice passed
    Woken      // WakeRead was called
};

class Platform
{
public:
    virtual ~Platform() = default;

    // Loads what the backend needs (all or nothing). Without it the controller stays inert.
    virtual bool Load() = 0;
    virtual void Unload() = 0;
    virtual bool Loaded() const = 0;

    // The HID interfaces present now; false when the list cannot be obtained.
    virtual bool EnumeratePresent(std::vector<PresentInterface>& out) = 0;

    virtual Handle Open(const std::string& path, Access access) = 0;
    // May be called on the main thread while a read thread waits on the handle: that read then
    // ends (Completed) with no data.
    virtual void Close(Handle handle) = 0;

    virtual bool GetAttributes(Handle handle, Attributes& out) = 0;
    // The product string as UTF-16 text (at most 254 code units).
    virtual bool GetProductString(Handle handle, std::u16string& out) = 0;
    virtual bool GetPreparsedData(Handle handle, PreparsedData& out) = 0;
    virtual void FreePreparsedData(PreparsedData data) = 0;
    virtual bool GetCaps(PreparsedData data, Caps& out) = 0;

    // Synchronous: returns once the report is taken.
    virtual bool Write(Handle handle, const std::uint8_t* buffer, std::size_t length, std::uint32_t& written) = 0;

    // One outstanding read per handle, issued and waited for by the same thread.
    // BeginRead fails (false, LastError set) when the read cannot start.
    virtual bool BeginRead(Handle handle, std::uint8_t* buffer, std::size_t length) = 0;
    // Waits at most sliceMs for the outstanding read to end.
    virtual WaitResult WaitRead(Handle handle, int sliceMs) = 0;
    // Any thread: makes the current or next WaitRead on the handle return Woken at once.
    virtual void WakeRead(Handle handle) = 0;
    // Bytes of the ended read (id byte included), 0 when it failed, vanished or was cancelled.
    virtual std::uint32_t CompletedReadSize(Handle handle) = 0;
    // Drops an outstanding read so that the buffer is never written afterwards.
    virtual void CancelRead(Handle handle) = 0;

    // The calling thread's last error code and the system's text for a code
    // (trailing spaces, control characters and full stops removed).
    virtual std::uint32_t LastError() const = 0;
    virtual std::string ErrorText(std::uint32_t code) const = 0;

    // Device-change notices: the backend calls this on the main thread, once per burst of
    // changes. Set by the controller; an empty function stops the notices.
    virtual void SetDeviceChangeHandler(std::function<void()> handler) = 0;
};

} // namespace hidplatform
