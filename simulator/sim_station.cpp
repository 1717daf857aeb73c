#include "simulator/sim_station.h"

#include "protocol/station_identity.h"

#include <QDateTime>
#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

namespace simulator {

TStationDateTime CurrentDateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date().year(), now.date().month(),  now.date().day(),
            now.time().hour(), now.time().minute(), now.time().second()};
}

TSimStation::TSimStation(hidplatform::SimPlatform& platform, std::uint32_t seed, TStationDateTime clock)
    : Platform(platform)
    , StationModel(seed, clock)
{
    // The transport's part: report id 0 in front of the station's 64 data bytes.
    StationModel.SetInputReportHandler([this](const TInputReport& data) { Transmit(data); });
    Wake.setSingleShot(true);
    // Reports leave on the millisecond they are due, as the station's own timer sends them.
    Wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&Wake, &QTimer::timeout, [this] {
        CatchUp();
        SleepUntilDue();
    });
}

TSimStation::~TSimStation()
{
    Wake.stop();
    Unplug();
}

hidplatform::SimDeviceConfig TSimStation::DeviceConfig()
{
    hidplatform::SimDeviceConfig config;
    config.VendorID = StationVendorID;
    config.ProductID = StationProductID;
    config.VersionNumber = StationVersionNumber;
    config.ProductString = StationProductName;
    config.InputReportByteLength = StationReportByteLength;
    config.OutputReportByteLength = StationReportByteLength;
    return config;
}

void TSimStation::Plug()
{
    if (Plugged())
        return;
    Device = Platform.PlugDevice(DeviceConfig());
    Platform.SetOutputHandler(Device, [this](const std::uint8_t* report, std::size_t length) {
        // A command acts at the station's present: its clock first comes up to now.
        CatchUp();
        StationModel.HandleOutputReport(report, length);
        SleepUntilDue();
    });
    ApplyPlatformFaults();
}

void TSimStation::Unplug()
{
    if (!Plugged())
        return;
    Platform.SetOutputHandler(Device, {});
    Platform.UnplugDevice(Device);
    Device = NoDevice;
}

void TSimStation::Transmit(const TInputReport& data)
{
    if (Device == NoDevice) {
        ++TrafficCounts.Dropped;
        return;
    }
    const int number = ++ReportsSinceFaults;
    if (FaultSet.QuietAfter >= 0 && number > FaultSet.QuietAfter) {
        ++TrafficCounts.Dropped;
        return;
    }
    // The transport's part: report id 0 in front of the station's data.
    std::vector<std::uint8_t> report(FaultSet.ReportLength + 1, FaultSet.ExtraByte);
    report[0] = 0;
    const std::size_t copied = std::min(FaultSet.ReportLength, data.size());
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(copied), report.begin() + 1);
    if (Platform.QueueInputReport(Device, std::move(report)))
        ++TrafficCounts.Sent;
    else
        ++TrafficCounts.Dropped;
    if (FaultSet.GarbageEvery > 0 && number % FaultSet.GarbageEvery == 0)
        QueueGarbage();
    if (FaultSet.UnplugAfter >= 0 && number >= FaultSet.UnplugAfter) {
        FaultSet.UnplugAfter = -1;
        ++TrafficCounts.FaultUnplugs;
        Unplug();
    }
}

void TSimStation::QueueGarbage()
{
    std::uniform_int_distribution<std::size_t> length(0, FaultSet.GarbageMaxLength);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> report(length(GarbageRandom) + 1);
    report[0] = 0;
    for (std::size_t i = 1; i < report.size(); ++i)
        report[i] = static_cast<std::uint8_t>(byte(GarbageRandom));
    if (Platform.QueueInputReport(Device, std::move(report))) {
        ++TrafficCounts.Sent;
        ++TrafficCounts.Garbage;
    }
}

void TSimStation::SetFaults(const TStationFaults& faults)
{
    FaultSet = faults;
    ReportsSinceFaults = 0;
    GarbageRandom.seed(faults.GarbageSeed);
    ApplyPlatformFaults();
}

void TSimStation::ApplyPlatformFaults()
{
    if (!Plugged())
        return;
    Platform.SetWriteFailure(Device, FaultSet.WriteError);
    Platform.SetReadStartFailure(Device, FaultSet.ReadStartError);
}

void TSimStation::Advance(std::chrono::milliseconds elapsed)
{
    StationModel.Advance(elapsed);
    SleepUntilDue();
}

void TSimStation::StartClock()
{
    Elapsed.start();
    Consumed = std::chrono::milliseconds(0);
    SleepUntilDue();
}

void TSimStation::StopClock()
{
    CatchUp();
    Wake.stop();
    Elapsed.invalidate();
}

void TSimStation::CatchUp()
{
    if (!Elapsed.isValid())
        return;
    // Whole milliseconds; the rest waits for the next call.
    const std::chrono::milliseconds now(Elapsed.elapsed());
    const std::chrono::milliseconds step = now - Consumed;
    Consumed = now;
    if (step.count() > 0)
        StationModel.Advance(step);
}

void TSimStation::SleepUntilDue()
{
    if (!Elapsed.isValid())
        return;
    const std::optional<std::chrono::milliseconds> due = StationModel.UntilNextReport();
    if (!due) {
        Wake.stop();
        return;
    }
    Wake.start(static_cast<int>(std::min<std::chrono::milliseconds::rep>(due->count(), INT_MAX)));
}

} // namespace simulator
