// The uhid station's parts that need no kernel with uhid: the events it writes (against a plain file
// standing in for /dev/uhid, read back and decoded), the checks on its configuration, and its
// failures where /dev/uhid is missing. The real device is checked inside the VM.
#include "protocol/station_identity.h"
#include "simulator/uhid_device.h"
#include "simulator/uhid_station.h"

#include <linux/uhid.h>

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using simulator::TUhidDevice;
using simulator::TUhidDeviceConfig;
using simulator::TUhidStation;

namespace {

// The events in the file, each decoded from the bytes the device wrote with its own length.
struct TWrittenEvents
{
    std::vector<std::vector<std::uint8_t>> Events;

    static TWrittenEvents Split(const QByteArray& bytes, const std::vector<std::size_t>& sizes)
    {
        TWrittenEvents result;
        std::size_t at = 0;
        for (std::size_t size : sizes) {
            if (at + size > static_cast<std::size_t>(bytes.size()))
                break;
            result.Events.emplace_back(bytes.begin() + at, bytes.begin() + at + size);
            at += size;
        }
        return result;
    }
};

uhid_event Decode(const std::vector<std::uint8_t>& bytes)
{
    uhid_event event{};
    std::memcpy(&event, bytes.data(), std::min(bytes.size(), sizeof event));
    return event;
}

} // namespace

TEST(UhidDevice, NamesAreCutAtACharacterBoundary)
{
    EXPECT_EQ(TUhidDevice::CutName("station", 127), "station");
    EXPECT_EQ(TUhidDevice::CutName("abcdef", 3), "abc");
    // Two bytes per Cyrillic letter: 5 bytes hold two letters, not two and a half.
    EXPECT_EQ(TUhidDevice::CutName("Метео", 5), "Ме");
    EXPECT_EQ(TUhidDevice::CutName("Метео", 4), "Ме");
    EXPECT_EQ(TUhidDevice::CutName("aМ", 2), "a");
    EXPECT_EQ(TUhidDevice::CutName(std::string(200, 'x'), 127).size(), 127u);
}

TEST(UhidDevice, RefusesWhatTheKernelWouldRefuseAndFailsCleanlyWithoutUhid)
{
    TUhidDevice device("/nonexistent/uhid");
    TUhidDeviceConfig config = TUhidStation::DeviceConfig();
    EXPECT_FALSE(device.Create(config));
    EXPECT_EQ(device.LastError(), ENOENT);
    EXPECT_FALSE(device.Created());

    config.ReportDescriptor.clear();
    EXPECT_FALSE(device.Create(config));
    EXPECT_EQ(device.LastError(), EINVAL);
    config.ReportDescriptor.assign(4097, 0);
    EXPECT_FALSE(device.Create(config));
    EXPECT_EQ(device.LastError(), EINVAL);

    const std::uint8_t report[64] = {};
    EXPECT_FALSE(device.SendInput(report, sizeof report));
    EXPECT_EQ(device.LastError(), ENODEV);
    EXPECT_FALSE(device.SendInput(nullptr, 4));
    EXPECT_EQ(device.LastError(), EINVAL);
    std::vector<std::uint8_t> huge(UHID_DATA_MAX + 1, 1);
    EXPECT_FALSE(device.SendInput(huge.data(), huge.size()));
    device.Destroy(); // nothing to destroy: harmless
    EXPECT_FALSE(device.Created());
}

TEST(UhidDevice, WritesCreateInputAndDestroyEventsInTheKernelsLayout)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string path = folder.filePath(QStringLiteral("uhid")).toStdString();
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    TUhidDevice device(path);
    TUhidDeviceConfig config = TUhidStation::DeviceConfig();
    config.Name = std::string(126, 'x') + "Метеостанция"; // the first letter would take bytes 126 and 127
    ASSERT_TRUE(device.Create(config));
    EXPECT_TRUE(device.Created());
    // A plain file ends at once: the thread stops (EIO) instead of spinning, the device can still send.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (device.LastError() != EIO && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(device.LastError(), EIO);
    // Only after the thread's error: either may be the last one set.
    EXPECT_FALSE(device.Create(config)); // one device per connection
    EXPECT_EQ(device.LastError(), EBUSY);
    std::uint8_t report[64];
    for (int i = 0; i < 64; ++i)
        report[i] = static_cast<std::uint8_t>(i + 1);
    EXPECT_TRUE(device.SendInput(report, sizeof report));
    device.Destroy();
    EXPECT_FALSE(device.Created());

    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const std::size_t inputSize = offsetof(uhid_event, u.input2.data) + 64;
    ASSERT_EQ(static_cast<std::size_t>(bytes.size()), sizeof(uhid_event) + inputSize + sizeof(uhid_event));
    const auto written = TWrittenEvents::Split(bytes, {sizeof(uhid_event), inputSize, sizeof(uhid_event)});

    const uhid_event create = Decode(written.Events[0]);
    EXPECT_EQ(create.type, UHID_CREATE2);
    const std::string name(reinterpret_cast<const char*>(create.u.create2.name));
    EXPECT_EQ(name, TUhidDevice::CutName(config.Name, 127));
    EXPECT_EQ(name.size(), 126u); // the letter that would straddle byte 127 is left out
    EXPECT_EQ(create.u.create2.bus, 0x03);
    EXPECT_EQ(create.u.create2.vendor, 0x2112u);
    EXPECT_EQ(create.u.create2.product, 0x1212u);
    EXPECT_EQ(create.u.create2.version, 0x0100u);
    ASSERT_EQ(create.u.create2.rd_size, StationReportDescriptor.size());
    EXPECT_EQ(std::memcmp(create.u.create2.rd_data, StationReportDescriptor.data(), create.u.create2.rd_size), 0);

    const uhid_event input = Decode(written.Events[1]);
    EXPECT_EQ(input.type, UHID_INPUT2);
    ASSERT_EQ(input.u.input2.size, 64);
    EXPECT_EQ(std::memcmp(input.u.input2.data, report, 64), 0);

    EXPECT_EQ(Decode(written.Events[2]).type, UHID_DESTROY);
}

TEST(UhidStation, PlugFailsWithTheReasonWhereUhidIsMissingAndTheModelStaysUsable)
{
    TUhidStation station(3, {2020, 2, 29, 23, 59, 0}, "/nonexistent/uhid");
    EXPECT_FALSE(station.Plug());
    EXPECT_FALSE(station.Plugged());
    EXPECT_EQ(station.LastError(), ENOENT);
    // Commands go nowhere, but the model is there for set-up and checks.
    EXPECT_EQ(station.WithModel([](simulator::TStationModel& m) { return m.Clock().Day; }), 29);
    EXPECT_EQ(station.SentCount(), 0u);
    station.Unplug();
}
