// In-process virtual HID devices behind the platform interface, for the tests, the stand-in
// station and the demo. Deterministic: nothing happens unless the caller plugs, unplugs or queues.
//
//   hidplatform::SimPlatform sim;
//   hidplatform::SimDeviceConfig station;
//   station.VendorID = 0x2112; station.ProductID = 0x1212; station.ProductString = u"Метеостанция";
//   station.InputReportByteLength = 65; station.OutputReportByteLength = 65;
//   SimDeviceId id = sim.PlugDevice(station);                  // posts one device-change notice
//   sim.SetOutputHandler(id, [](const uint8_t* report, size_t n) { ... }); // in the writer's thread
//   sim.QueueInputReport(id, {0, 1, 2, ...});                // any thread; id byte first
//   sim.UnplugDevice(id);                                      // posts one device-change notice
//
// Plug and unplug are main-thread calls; each posts a device-change notice to the main thread as
// the system would (notices posted before the first one is handled are coalesced into one).
// Input reports queue per device and are handed to reads in order, whichever handle reads; a
// read waits in slices exactly like the Linux backend (Completed/TimedOut/Woken). Closing a handle
// or unplugging the device ends a waiting read with no data, and every later call on a handle of
// an unplugged device fails. Error codes are errno values (ENODEV, EACCES, ...).
#pragma once

#include "hid/platform/hid_platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QObject;

namespace hidplatform {

using SimDeviceId = int;

enum class SimAccess {
    ReadWrite,    // opens for reading and writing
    IdentifyOnly, // read-write opening fails (EACCES), identification works, writes fail
    NoAccess      // every opening fails (EACCES): the controller leaves the device out
};

struct SimDeviceConfig
{
    std::string Path; // empty: "/dev/simhidN" with the device id
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
    std::optional<std::u16string> ProductString; // none: the query fails
    std::uint16_t InputReportByteLength = 65;    // id byte included
    std::uint16_t OutputReportByteLength = 65;   // id byte included; 0: writes fail
    std::uint16_t FeatureReportByteLength = 0;
    SimAccess Access = SimAccess::ReadWrite;
    bool AttributesFail = false; // the attributes query fails (EIO)
    bool CapsFail = false;       // the preparsed data cannot be obtained (EIO)
};

// What a device's output handler receives: the written bytes, id byte first.
using SimOutputHandler = std::function<void(const std::uint8_t* report, std::size_t length)>;

class SimPlatform : public Platform
{
public:
    SimPlatform();
    ~SimPlatform() override;

    // --- Control of the virtual devices -------------------------------------------------------
    // Plugs a device in with a new instance and returns its id (never reused).
    SimDeviceId PlugDevice(const SimDeviceConfig& config);
    // False for an unknown or already unplugged id.
    bool UnplugDevice(SimDeviceId id);
    // Any thread. The bytes are one framed report (id byte first), cut to the read's length.
    // False when the device is unknown or unplugged.
    bool QueueInputReport(SimDeviceId id, std::vector<std::uint8_t> report);
    // Called in the writing thread for every successful write; an empty function removes it.
    void SetOutputHandler(SimDeviceId id, SimOutputHandler handler);
    // Reads that are started on the device fail with `errorCode` (0 lets them start again).
    void SetReadStartFailure(SimDeviceId id, std::uint32_t errorCode);
    // Writes to the device fail with `errorCode` (0 lets them through again); the output handler
    // sees nothing of a failed write.
    void SetWriteFailure(SimDeviceId id, std::uint32_t errorCode);
    // Changes how later openings of the device are admitted (handles already open stay).
    void SetAccess(SimDeviceId id, SimAccess access);
    // Load() fails while set, so a controller over this backend stays inert.
    void SetLoadFails(bool fails);
    // EnumeratePresent() fails while set.
    void SetEnumerateFails(bool fails);

    // --- Observation for tests ----------------------------------------------------------------
    std::uint32_t Instance(SimDeviceId id) const;
    std::string Path(SimDeviceId id) const;
    bool IsPlugged(SimDeviceId id) const;
    int OpenHandleCount(SimDeviceId id) const;
    std::size_t QueuedInputReports(SimDeviceId id) const;
    // BeginRead calls on the device so far, successful or not.
    int ReadStarts(SimDeviceId id) const;
    // Write calls on the device so far, and how many of them failed.
    int Writes(SimDeviceId id) const;
    int FailedWrites(SimDeviceId id) const;
    // Reads of the device waiting right now.
    int WaitingReads(SimDeviceId id) const;
    // Device-change notices posted so far (coalesced ones count once).
    int PostedNotices() const;

    // --- Platform -----------------------------------------------------------------------------
    bool Load() override;
    void Unload() override;
    bool Loaded() const override;
    bool EnumeratePresent(std::vector<PresentInterface>& out) override;
    Handle Open(const std::string& path, Access access) override;
    void Close(Handle handle) override;
    bool GetAttributes(Handle handle, Attributes& out) override;
    bool GetProductString(Handle handle, std::u16string& out) override;
    bool GetPreparsedData(Handle handle, PreparsedData& out) override;
    void FreePreparsedData(PreparsedData data) override;
    bool GetCaps(PreparsedData data, Caps& out) override;
    bool Write(Handle handle, const std::uint8_t* buffer, std::size_t length, std::uint32_t& written) override;
    bool BeginRead(Handle handle, std::uint8_t* buffer, std::size_t length) override;
    WaitResult WaitRead(Handle handle, int sliceMs) override;
    void WakeRead(Handle handle) override;
    std::uint32_t CompletedReadSize(Handle handle) override;
    void CancelRead(Handle handle) override;
    std::uint32_t LastError() const override;
    std::string ErrorText(std::uint32_t code) const override;
    void SetDeviceChangeHandler(std::function<void()> handler) override;

private:
    struct State;
    void PostNotice();
    std::unique_ptr<State> S;
    std::unique_ptr<QObject> NoticeContext;
};

} // namespace hidplatform
