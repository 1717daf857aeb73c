// The bare HID path the benchmarks measure the program against: the stand-in station's virtual
// device, the real controller and read thread, and a handler of the benchmark's own that takes each
// report's data bytes; nothing of the window. Built, the station is checked out and its reads run.
#pragma once

#include "hid/device_controller.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdint>
#include <optional>

namespace benchsupport {

class TBareHidPath
{
public:
    // take(data, size) runs on the main thread for every report, as the window's handler would.
    // threadSleepMs: the controller's read threads' sleep time, where the benchmark sets the one the
    // window sets.
    template <class Take>
    explicit TBareHidPath(Take take, std::optional<int> threadSleepMs = std::nullopt)
        : Id(Sim.PlugDevice(simulator::TSimStation::DeviceConfig()))
        , Controller(nullptr, Sim)
    {
        if (threadSleepMs)
            Controller.SetDevThreadSleepTime(*threadSleepMs);
        Controller.SetOnDeviceData(
            THidDataEvent::FromCallable([take](THidDevice*, std::uint8_t, const std::uint8_t* data,
                                               std::uint16_t size) mutable { take(data, size); }));
        Controller.SetOnEnumerate(THidEnumerateEvent::FromCallable([this](THidDevice* device, int) {
            if (device->CheckOut())
                Station = device;
            return true;
        }));
        Controller.SetOnArrival(THidPlugEvent::FromCallable([this](THidDevice*) { Controller.EnumerateDevices(); }));
        Controller.Loaded();
        while (Station == nullptr)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // The checked-out device goes before the controller, the controller before the platform.
    ~TBareHidPath() { delete Station; }
    TBareHidPath(const TBareHidPath&) = delete;
    TBareHidPath& operator=(const TBareHidPath&) = delete;

    hidplatform::SimPlatform& Platform() { return Sim; }
    hidplatform::SimDeviceId Device() const { return Id; }

private:
    hidplatform::SimPlatform Sim;
    hidplatform::SimDeviceId Id;
    THidDeviceController Controller;
    THidDevice* Station = nullptr;
};

} // namespace benchsupport
