// Shared set-up of the HID tests: a sim backend, a controller over it with every event logged,
// and a pump that runs the event loop until a condition holds.
#pragma once

#include "hid/device_controller.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace hidtest {

using testsupport::PumpUntil;

// Delivers what is posted now (notices), without waiting for threads.
inline void Flush()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Waits until `done` holds without running the event loop, so the read threads' hand-overs stay
// waiting; false when it still does not after `timeoutMs`.
inline bool WaitWithoutServing(const std::function<bool()>& done, int timeoutMs = testsupport::EventDeadlineMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QThread::usleep(200);
    }
    return true;
}

// A device that presents itself as the station, on `path`.
inline hidplatform::SimDeviceConfig Station(const std::string& path = {})
{
    hidplatform::SimDeviceConfig config = simulator::TSimStation::DeviceConfig();
    config.Path = path;
    return config;
}

inline std::vector<std::uint8_t> Report(std::uint8_t id, std::uint8_t fill, std::size_t dataBytes = 64)
{
    std::vector<std::uint8_t> report(dataBytes + 1, fill);
    report[0] = id;
    return report;
}

class ControllerTest : public testing::Test
{
protected:
    void TearDown() override
    {
        for (THidDevice* device : Owned)
            delete device;
        Owned.clear();
        Controller.reset();
        Flush();
    }

    // A controller whose events are all logged as "<event> <path>".
    void CreateController(bool withDataHandler = true)
    {
        Controller = std::make_unique<THidDeviceController>(nullptr, Sim);
        Controller->SetOnArrival(THidPlugEvent::FromCallable(
            [this](THidDevice* d) { Log.push_back("arrival " + d->PnPInfo().DevicePath); }));
        Controller->SetOnRemoval(THidPlugEvent::FromCallable(
            [this](THidDevice* d) { Log.push_back("removal " + d->PnPInfo().DevicePath); }));
        Controller->SetOnDeviceUnplug(THidPlugEvent::FromCallable([this](THidDevice* d) {
            Log.push_back("unplug " + d->PnPInfo().DevicePath);
            if (DestroyOnUnplug)
                Release(d);
        }));
        Controller->SetOnDeviceChange(TNotifyEvent::FromCallable([this](QObject* sender) {
            EXPECT_EQ(sender, Controller.get());
            Log.push_back("change");
        }));
        Controller->SetOnDeviceDataError(THidDataErrorEvent::FromCallable([this](THidDevice*, std::uint32_t error) {
            ++DataErrors;
            LastDataError = error;
        }));
        if (withDataHandler)
            Controller->SetOnDeviceData(DataHandler());
        Controller->Loaded();
    }

    THidDataEvent DataHandler()
    {
        return THidDataEvent::FromCallable(
            [this](THidDevice*, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
                Received.push_back(std::vector<std::uint8_t>(data, data + size));
                ReceivedIds.push_back(id);
            });
    }

    // Checks out the device on `path` during an enumeration; the test then owns it.
    THidDevice* CheckOutPath(const std::string& path)
    {
        THidDevice* taken = nullptr;
        Controller->SetOnEnumerate(THidEnumerateEvent::FromCallable([&](THidDevice* d, int) {
            if (d->PnPInfo().DevicePath == path && d->CheckOut())
                taken = d;
            return true;
        }));
        Controller->EnumerateDevices();
        Controller->SetOnEnumerate(nullptr);
        if (taken != nullptr)
            Owned.push_back(taken);
        return taken;
    }

    void Release(THidDevice* device)
    {
        std::erase(Owned, device);
        delete device;
    }

    void StartAndSettle()
    {
        CreateController();
        ASSERT_TRUE(PumpUntil([&] { return !Log.empty(); }));
        Log.clear();
    }

    hidplatform::SimPlatform Sim;
    std::unique_ptr<THidDeviceController> Controller;
    std::vector<std::string> Log;
    std::vector<THidDevice*> Owned;
    std::vector<std::vector<std::uint8_t>> Received;
    std::vector<std::uint8_t> ReceivedIds;
    int DataErrors = 0;
    std::uint32_t LastDataError = 0;
    bool DestroyOnUnplug = false;
};

} // namespace hidtest
