#include "simulator/sim_station.h"

#include <QDateTime>
#include <vector>

namespace simulator {

TStationDateTime CurrentDateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date().year(), now.date().month(), now.date().day(), now.time().hour(), now.time().minute(), now.time().second()};
}

TSimStation::TSimStation(hidplatform::SimPlatform& platform, std::uint32_t seed, TStationDateTime clock)
    : Platform(platform)
    , StationModel(seed, clock)
{
    // The transport's part: report id 0 in front of the station's 64 data bytes.
    StationModel.SetInputReportHandler([this](const TInputReport& data) {
        if (Device == NoDevice)
            return;
        std::vector<std::uint8_t> report(data.size() + 1);
        report[0] = 0;
        std::copy(data.begin(), data.end(), report.begin() + 1);
        Platform.QueueInputReport(Device, std::move(report));
    });
    QObject::connect(&Ticker, &QTimer::timeout, [this] {
        // Whole milliseconds of real time not yet handed to the model.
        const std::chrono::milliseconds now(Elapsed.elapsed());
        const std::chrono::milliseconds step = now - Consumed;
        Consumed = now;
        if (step.count() > 0)
            StationModel.Advance(step);
    });
}

TSimStation::~TSimStation()
{
    StopClock();
    Unplug();
}

hidplatform::SimDeviceConfig TSimStation::DeviceConfig()
{
    hidplatform::SimDeviceConfig config;
    config.VendorID = 0x2112;
    config.ProductID = 0x1212;
    config.VersionNumber = 0x0100;
    config.ProductString = u"Метеостанция";
    config.InputReportByteLength = 65;
    config.OutputReportByteLength = 65;
    return config;
}

void TSimStation::Plug()
{
    if (Plugged())
        return;
    Device = Platform.PlugDevice(DeviceConfig());
    Platform.SetOutputHandler(Device, [this](const std::uint8_t* report, std::size_t length) {
        StationModel.HandleOutputReport(report, length);
    });
}

void TSimStation::Unplug()
{
    if (!Plugged())
        return;
    Platform.SetOutputHandler(Device, {});
    Platform.UnplugDevice(Device);
    Device = NoDevice;
}

void TSimStation::StartClock(std::chrono::milliseconds tick)
{
    Elapsed.start();
    Consumed = std::chrono::milliseconds(0);
    Ticker.start(static_cast<int>(tick.count()));
}

void TSimStation::StopClock()
{
    Ticker.stop();
}

} // namespace simulator
