// The program's window on the readings page with its stand-in station plugged in and streaming, as
// the stream benchmarks drive it: reports queued straight into the simulated device, each one
// counted as the window's handler returns, two variants that differ in every field the window
// shows, so that each report rewrites every text.
#pragma once

#include "core/readings_text.h"
#include "hid/device_controller.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace benchsupport {

// Two readings reports that differ in every field the window shows (`variant` 0 or 1).
inline std::vector<std::uint8_t> StreamReport(int variant)
{
    std::vector<std::uint8_t> r(65, 0);
    std::uint8_t* d = r.data() + 1;
    const std::uint8_t v = static_cast<std::uint8_t>(variant);
    d[InField::ClockHours] = 10 + v;
    d[InField::ClockMinutes] = 20 + v;
    d[InField::ClockSeconds] = 30 + v;
    d[InField::ClockCorrection] = 20;
    d[InField::ClockDay] = 7 + v;
    d[InField::ClockMonth] = 3;
    d[InField::ClockYear] = 24;
    d[InField::IndoorStatus] = 16;
    d[InField::OutdoorStatus] = 16;
    d[InField::IndoorTemperature] = 22 + v;
    d[InField::OutdoorTemperature] = 5 + v;
    d[InField::OutdoorSign] = v;
    for (int i = 0; i < 8; ++i) {
        d[InField::IndoorSensorCode + i] = static_cast<std::uint8_t>(0x28 + i + v);
        d[InField::OutdoorSensorCode + i] = static_cast<std::uint8_t>(0x90 + i + v);
    }
    d[InField::PressureOn] = 1;
    d[InField::PressureRaw] = 130 + v;
    d[InField::PressureCorrection] = 10;
    d[InField::HumidityOn] = 1;
    d[InField::Humidity] = 45 + v;
    d[InField::HumidityCorrection] = 25;
    return r;
}

// Counts the reports handled; ends the event loop it is given once the target is reached.
struct TReportCounter
{
    int Count = 0;
    int Target = 0;
    QEventLoop* Loop = nullptr;
    void Tick()
    {
        if (++Count == Target && Loop != nullptr)
            Loop->quit();
    }
};

// Queues `count` reports at once and runs the event loop until all were handled; the seconds it took.
inline double RunBatch(hidplatform::SimPlatform& sim, hidplatform::SimDeviceId id, TReportCounter& counter, int count)
{
    const std::vector<std::uint8_t> reports[2] = {StreamReport(0), StreamReport(1)};
    QEventLoop loop;
    counter.Loop = &loop;
    counter.Target = counter.Count + count;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        sim.QueueInputReport(id, reports[i & 1]);
    loop.exec();
    counter.Loop = nullptr;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Turns of the event loop until `done` holds.
inline void WaitUntil(const std::function<bool()>& done)
{
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(100);
    }
}

// The window on the readings page, its station plugged in and streaming, its handler counted on
// the way out.
struct TStreamingWindow
{
    TStreamingWindow()
        : Id(Sim.PlugDevice(simulator::TSimStation::DeviceConfig()))
        , Form(Sim)
    {
        Form.show();
        WaitUntil(
            [&] { return Form.Station.StationDevice != nullptr && Form.Panel1->Caption() == StationConnectedText; });
        Form.Station.SettingsLive = 1;
        Form.Station.StationDevice->SetDataHandler(THidDataEvent::FromCallable(
            [this](THidDevice* device, std::uint8_t reportId, const std::uint8_t* data, std::uint16_t size) {
                Form.HidDeviceController1DeviceData(device, reportId, data, size);
                Reports.Tick();
            }));
    }

    hidplatform::SimPlatform Sim;
    hidplatform::SimDeviceId Id;
    TForm1 Form;
    TReportCounter Reports;
};

} // namespace benchsupport
