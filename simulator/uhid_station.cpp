#include "simulator/uhid_station.h"

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
        if (Device.SendInput(data.data(), data.size()))
        {
            ++SentTotal;
            if (Recording)
                Sent.push_back(data);
        }
        else
        {
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

const std::vector<std::uint8_t>& TUhidStation::ReportDescriptor()
{
    static const std::vector<std::uint8_t> descriptor = {
        0x06, 0x00, 0xFF, // Usage Page (vendor-defined 0xFF00)
        0x09, 0x01,       // Usage (1)
        0xA1, 0x01,       // Collection (Application)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8 bits)
        0x95, 0x40,       //   Report Count (64)
        0x09, 0x01,       //   Usage (1)
        0x81, 0x02,       //   Input (Data, Variable, Absolute)
        0x95, 0x40,       //   Report Count (64)
        0x09, 0x01,       //   Usage (1)
        0x91, 0x02,       //   Output (Data, Variable, Absolute)
        0xC0,             // End Collection
    };
    return descriptor;
}

TUhidDeviceConfig TUhidStation::DeviceConfig()
{
    TUhidDeviceConfig config;
    config.Name = "Метеостанция";
    config.Bus = 0x03; // USB
    config.VendorID = 0x2112;
    config.ProductID = 0x1212;
    config.Version = 0x0100;
    config.ReportDescriptor = ReportDescriptor();
    return config;
}

void TUhidStation::CatchUp()
{
    const auto now = std::chrono::steady_clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - Last);
    if (elapsed.count() > 0)
    {
        // Whole milliseconds only; the rest stays for the next call.
        Last += elapsed;
        Model.Advance(elapsed);
    }
}

std::chrono::milliseconds TUhidStation::Tick()
{
    std::lock_guard lock(Mutex);
    CatchUp();
    switch (Model.Mode())
    {
    case TTransferMode::Idle:
        // Only the clock runs (hourly records): a coarse wake-up is enough.
        return std::chrono::milliseconds(1000);
    case TTransferMode::Streaming:
        return std::min(Model.StreamInterval(), std::chrono::milliseconds(10));
    case TTransferMode::Downloading:
    case TTransferMode::Clearing:
        break;
    }
    return std::max(Model.BlockInterval(), std::chrono::milliseconds(1));
}

bool TUhidStation::Plug()
{
    if (Plugged())
        return true;
    {
        std::lock_guard lock(Mutex);
        CatchUp(); // time passed while unplugged; what was due then went nowhere
        std::uint8_t stop[ReportDataLength + 1] = {};
        stop[19] = 5;
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
