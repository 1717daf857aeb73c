// The stand-in station on a virtual HID device: the station model behind the simulated platform,
// presenting itself exactly as the real station does on USB (protocol/station_identity.h). Output reports the
// program writes go to the model; the model's input reports are queued for the device's reads.
//
// Time passes for the model only through Advance, or, once StartClock has been called, with the
// real time: the station sleeps until its next report is due (a timer on the main thread), and
// the program's commands bring its clock up to now before they act.
#pragma once

#include "hid/platform/sim/sim_platform.h"
#include "simulator/station_model.h"

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <random>

namespace simulator {

// Faults the stand-in station can show, so tests (and the demo's control window) can see what the
// program makes of a station, cable or system that misbehaves. The default is a sound station.
// Report counts are of the station's own reports, counted from the SetFaults call.
struct TStationFaults
{
    // Data bytes of each report behind the id byte: 64 is the station's own length; fewer cuts
    // every report short, more appends ExtraByte behind the 64 (a read takes what fits).
    std::size_t ReportLength = ReportImageSize;
    std::uint8_t ExtraByte = 0x5A;
    // After every n-th report one report of random bytes follows, 0 to GarbageMaxLength data bytes
    // long (the default never reaches a whole report); 0 sends none.
    int GarbageEvery = 0;
    std::size_t GarbageMaxLength = ReportImageSize - 1;
    std::uint32_t GarbageSeed = 1;
    // The station goes quiet, still plugged in, once it has sent this many reports: the rest of
    // a stream or download never comes. -1: it never does.
    int QuietAfter = -1;
    // The cable is pulled right after this many reports (inside whatever sent the last one, even
    // a write of the program's). -1: it never is.
    int UnplugAfter = -1;
    // Errors (errno values) of every write to the station and of every read start on it; 0: none.
    std::uint32_t WriteError = 0;
    std::uint32_t ReadStartError = 0;
};

// What the station's transport has done since it was made.
struct TStationTraffic
{
    std::uint64_t Sent = 0;    // reports queued for the program's reads, garbage included
    std::uint64_t Garbage = 0; // of them, garbage reports
    std::uint64_t Dropped = 0; // reports of the station lost: quiet, or no cable
    std::uint64_t FaultUnplugs = 0;
};

// The calendar time of the computer's clock, for a station that was set to it.
TStationDateTime CurrentDateTime();

class TSimStation
{
public:
    TSimStation(hidplatform::SimPlatform& platform, std::uint32_t seed = 1, TStationDateTime clock = CurrentDateTime());
    ~TSimStation();

    TSimStation(const TSimStation&) = delete;
    TSimStation& operator=(const TSimStation&) = delete;

    // How the station presents itself on USB.
    static hidplatform::SimDeviceConfig DeviceConfig();

    // Plugging in again is a new connection (a new instance), as with a real cable.
    void Plug();
    void Unplug();
    bool Plugged() const { return Device != NoDevice; }
    hidplatform::SimDeviceId DeviceId() const { return Device; }

    TStationModel& Model() { return StationModel; }
    const TStationModel& Model() const { return StationModel; }

    // Faults from now on; the counts of QuietAfter and UnplugAfter start again. They outlast an
    // unplug: the next connection shows them too.
    void SetFaults(const TStationFaults& faults);
    void ClearFaults() { SetFaults(TStationFaults{}); }
    const TStationFaults& Faults() const { return FaultSet; }
    const TStationTraffic& Traffic() const { return TrafficCounts; }

    void Advance(std::chrono::milliseconds elapsed);
    // Real time from now on, on the main thread's event loop. While it runs, Model() shows the
    // station as of its last report or command.
    void StartClock();
    // Brings the clock up to now and stops it there.
    void StopClock();

private:
    static constexpr hidplatform::SimDeviceId NoDevice = -1;

    void Transmit(const TInputReport& data);
    void QueueGarbage();
    void ApplyPlatformFaults();
    // The real time not yet handed to the model, while the clock runs.
    void CatchUp();
    // The wake-up for the next report due, while the clock runs.
    void SleepUntilDue();

    hidplatform::SimPlatform& Platform;
    TStationModel StationModel;
    hidplatform::SimDeviceId Device = NoDevice;
    QTimer Wake;
    QElapsedTimer Elapsed; // valid while the clock runs
    std::chrono::milliseconds Consumed{0};
    TStationFaults FaultSet;
    TStationTraffic TrafficCounts;
    std::mt19937 GarbageRandom{1};
    int ReportsSinceFaults = 0;
};

} // namespace simulator
