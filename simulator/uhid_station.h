// The stand-in station as a real HID device of the running kernel (through uhid, Linux only): the
// same station model as on the simulated platform, presenting itself as the station does on USB
// (protocol/station_identity.h), so the program finds it through udev and talks to it
// through hidraw.
//
// The model lives on the device's thread: output reports go to it there, its input reports go out
// as they are due, and its clock follows the real time for as long as the object lives, plugged in
// or not (but for the time a long pause in a transfer skips; see CatchUp). Other threads reach it
// through WithModel.
#pragma once

#include "simulator/station_model.h"
#include "simulator/uhid_device.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace simulator {

class TUhidStation
{
public:
    explicit TUhidStation(std::uint32_t seed = 1, TStationDateTime clock = {}, std::string uhidPath = "/dev/uhid");
    ~TUhidStation(); // unplugs
    TUhidStation(const TUhidStation&) = delete;
    TUhidStation& operator=(const TUhidStation&) = delete;

    static TUhidDeviceConfig DeviceConfig();

    // Plugging in powers the station up: whatever it was sending before has ended. Each plug-in is
    // a new HID device for the kernel (a new instance). False with LastError set when the device
    // cannot be created (no uhid module, no access to /dev/uhid).
    bool Plug();
    void Unplug();
    bool Plugged() const { return Device.Created(); }
    int LastError() const { return Device.LastError(); }

    // The model under the station's lock, its clock brought up to now, from any thread. `f` must not
    // call back into the station, nor start sending: the device's thread sleeps until the next
    // report it knows of is due, so commands reach the station through the device.
    template <typename F>
    auto WithModel(F&& f)
    {
        std::lock_guard lock(Mutex);
        CatchUp();
        return f(Model);
    }

    // Input reports the station has handed to the kernel since it was last plugged in, in order;
    // kept only while recording is on (a stream never ends, so it is off by default).
    void RecordSentReports(bool on);
    std::vector<TInputReport> SentReports();
    std::size_t SentCount();
    // Reports the kernel refused (the device went away while sending).
    std::size_t LostCount();

    // The uhid device underneath, for what the kernel told it (started, open count).
    const TUhidDevice& Uhid() const { return Device; }

private:
    static constexpr int MaxBlocksPerWakeUp = 8;

    // The model's clock to now and its due reports sent; then how long the device's thread may
    // sleep: until the next report is due, or until a command when nothing is.
    std::optional<std::chrono::milliseconds> Tick();
    void CatchUp(); // the model's clock to now (with the lock held)

    TUhidDevice Device;
    std::mutex Mutex; // the model, the report record, the clock base
    TStationModel Model;
    std::chrono::steady_clock::time_point Last;
    bool Recording = false;
    std::vector<TInputReport> Sent;
    std::size_t SentTotal = 0;
    std::size_t Lost = 0;
};

} // namespace simulator
