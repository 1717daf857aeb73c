#include "simulator/uhid_station.h"

#include "protocol/station_identity.h"

#include <QString>
#include <algorithm>

namespace simulator {

TUhidStation::TUhidStation(std::uint32_t seed, TStationDateTime clock, std::string uhidPath)
    : Device(std::move(uhidPath))
    , Model(seed, clock)
    , Last(std::chrono::steady_clock::now())
{
    // Runs on the device's thread (or in Plug), with Mutex held.
    Model.SetInputReportHandler([this](const TInputReport& data) {
        if (!Device.Created())
            return; // unplugged: the report goes nowhere
        if (Device.SendInput(data.data(), data.size())) {
            ++SentTotal;
            if (Recording)
                Sent.push_back(data);
        } else {
            ++Lost;
        }
    });
    Device.SetOutputHandler([this](const std::uint8_t* report, std::size_t length) {
        std::lock_guard lock(Mutex);
        CatchUp();
        Model.HandleOutputReport(report, length);
    });
    Device.SetTickHandler([this] { return Tick(); });
}

TUhidStation::~TUhidStation()
{
    Unplug();
}

TUhidDeviceConfig TUhidStation::DeviceConfig()
{
    TUhidDeviceConfig config;
    config.Name = QString::fromStdU16String(StationProductName).toStdString();
    config.Bus = 0x03; // USB
    config.VendorID = StationVendorID;
    config.ProductID = StationProductID;
    config.Version = StationVersionNumber;
    config.ReportDescriptor = StationReportDescriptor;
    return config;
}

void TUhidStation::CatchUp()
{
    const auto now = std::chrono::steady_clock::now();
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - Last);
    if (elapsed.count() <= 0)
        return;
    // Whole milliseconds only; the rest stays for the next call.
    Last += elapsed;
    // A station whose host stood still (a guest system paused on a busy machine) does not send all
    // the blocks that fell due meanwhile at once when it goes on: that burst would overflow the
    // kernel's buffer of a reader that is slow to catch up. Within a transfer a wake-up lets at most
    // a few blocks' time pass; the station's clock falls behind by the rest.
    const bool transfer = Model.Mode() == TTransferMode::Downloading || Model.Mode() == TTransferMode::Clearing;
    if (transfer && Model.BlockInterval().count() > 0)
        elapsed = std::min(elapsed, MaxBlocksPerWakeUp * Model.BlockInterval());
    Model.Advance(elapsed);
}

std::optional<std::chrono::milliseconds> TUhidStation::Tick()
{
    std::lock_guard lock(Mutex);
    CatchUp();
    return Model.UntilNextReport();
}

bool TUhidStation::Plug()
{
    if (Plugged())
        return true;
    {
        std::lock_guard lock(Mutex);
        CatchUp(); // time passed while unplugged; what was due then went nowhere
        std::uint8_t stop[StationReportByteLength] = {};
        stop[OutField::CommandCode] = static_cast<std::uint8_t>(TCommandCode::Quiet);
        Model.HandleOutputReport(stop, sizeof stop);
        Sent.clear();
        SentTotal = 0;
        Lost = 0;
    }
    return Device.Create(DeviceConfig());
}

void TUhidStation::Unplug()
{
    Device.Destroy();
}

void TUhidStation::RecordSentReports(bool on)
{
    std::lock_guard lock(Mutex);
    Recording = on;
    if (!on)
        Sent.clear();
}

std::vector<TInputReport> TUhidStation::SentReports()
{
    std::lock_guard lock(Mutex);
    return Sent;
}

std::size_t TUhidStation::SentCount()
{
    std::lock_guard lock(Mutex);
    return SentTotal;
}

std::size_t TUhidStation::LostCount()
{
    std::lock_guard lock(Mutex);
    return Lost;
}

} // namespace simulator
