// The stand-in station on the simulated HID platform, for tests that run the program's own link to
// it (the window, or the core alone): every output report captured on its way to the station, and
// the event loop pumped until the station's reports have been handled. Each test runs in a fresh
// current directory, so no "met.mtb" is read or left behind.
#pragma once

#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "tests/support/test_support.h"

#include <chrono>
#include <memory>
#include <vector>

namespace testsupport {

using TReport = std::vector<std::uint8_t>;

// The station model's clock at the start of every test.
inline simulator::TStationDateTime StartClock()
{
    return {2024, 3, 7, 14, 0, 0};
}

class TStandInRig
{
protected:
    TStandInRig()
        : Station(std::make_unique<simulator::TSimStation>(Platform, 7, StartClock()))
    {
    }

    // Plugs the stand-in station in; every report written to it is kept before the station acts on it.
    void PlugStation()
    {
        Station->Plug();
        Platform.SetOutputHandler(Station->DeviceId(), [this](const std::uint8_t* report, std::size_t length) {
            Sent.emplace_back(report, report + length);
            Station->Model().HandleOutputReport(report, length);
        });
    }

    // Every input report of `station` queued so far has been handled: the queue is empty and the
    // read thread waits again, which it only does after the program's handler has returned.
    bool Settle(const simulator::TSimStation& station)
    {
        const hidplatform::SimDeviceId id = station.DeviceId();
        return PumpUntil([this, id] { return Platform.QueuedInputReports(id) == 0 && Platform.WaitingReads(id) > 0; });
    }
    bool Settle() { return Settle(*Station); }
    // Lets the station's time run by `ms` and waits until its reports have been handled.
    bool Advance(int ms)
    {
        Station->Advance(std::chrono::milliseconds(ms));
        return Settle();
    }
    // Queues one report of the station's stream (64 data bytes after report id 0).
    bool Inject(const simulator::TInputReport& data)
    {
        TReport report(data.size() + 1, 0);
        std::copy(data.begin(), data.end(), report.begin() + 1);
        return Platform.QueueInputReport(Station->DeviceId(), std::move(report)) && Settle();
    }

    const TReport& LastSent() const { return Sent.back(); }
    std::uint8_t LastCode() const { return Sent.back().at(19); }

    // A device the program must leave alone.
    static hidplatform::SimDeviceConfig Mouse()
    {
        hidplatform::SimDeviceConfig mouse;
        mouse.VendorID = 0x046d;
        mouse.ProductID = 0xc077;
        mouse.ProductString = u"USB Optical Mouse";
        return mouse;
    }

    TFreshCurrentFolder Folder;
    hidplatform::SimPlatform Platform;
    std::unique_ptr<simulator::TSimStation> Station;
    std::vector<TReport> Sent;
};

} // namespace testsupport
