// The stand-in station on a virtual HID device: the station model behind the simulated platform,
// presenting itself exactly as the real station does on USB (vendor 2112, product 1212, product
// string "Метеостанция", 65-byte input and output reports with the id byte). Output reports the
// program writes go to the model; the model's input reports are queued for the device's reads.
//
// Time passes for the model only through Advance, or, once StartClock has been called, with the
// real time measured by a timer on the main thread.
#pragma once

#include "hid/platform/sim/sim_platform.h"
#include "simulator/station_model.h"

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdint>

namespace simulator {

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

    void Advance(std::chrono::milliseconds elapsed) { StationModel.Advance(elapsed); }
    // Real time from now on, measured every `tick` on the main thread's event loop.
    void StartClock(std::chrono::milliseconds tick = std::chrono::milliseconds(20));
    void StopClock();

private:
    static constexpr hidplatform::SimDeviceId NoDevice = -1;

    hidplatform::SimPlatform& Platform;
    TStationModel StationModel;
    hidplatform::SimDeviceId Device = NoDevice;
    QTimer Ticker;
    QElapsedTimer Elapsed;
    std::chrono::milliseconds Consumed{0};
};

} // namespace simulator
