// The stand-in station on the simulated platform with its clock in real time, as the demo runs it:
// it sleeps between reports, yet acts on a command at once, at its present time.
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "tests/support/test_support.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <vector>

using namespace simulator;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t Blocks = HistoryBlockCount;

TEST(SimStationClock, SleepsBetweenReportsYetActsOnCommandsAtOnceAtItsPresentTime)
{
    hidplatform::SimPlatform platform;
    TSimStation station(platform, 3, {2024, 3, 7, 14, 0, 0});
    station.Model().SetStreamInterval(20ms);
    station.Model().SetBlockInterval(1ms);
    station.Model().FillPlausibleHistory(30, {2024, 3, 7, 13, 0, 0}, 5);
    const THistoryMemory memory = station.Model().HistoryMemory();
    station.Plug();
    const hidplatform::SimDeviceId id = station.DeviceId();
    ASSERT_TRUE(platform.Load());
    const hidplatform::Handle writer = platform.Open(platform.Path(id), hidplatform::Access::ReadWrite);
    const hidplatform::Handle reader = platform.Open(platform.Path(id), hidplatform::Access::ReadOverlapped);
    auto command = [&](std::uint8_t code) {
        std::vector<std::uint8_t> report(65, 255);
        report[0] = 0;
        report[19] = code;
        std::uint32_t written = 0;
        return platform.Write(writer, report.data(), report.size(), written);
    };
    std::vector<TInputReport> received;
    auto readQueued = [&] {
        while (platform.QueuedInputReports(id) > 0) {
            std::uint8_t report[65] = {};
            if (!platform.BeginRead(reader, report, sizeof report) ||
                platform.WaitRead(reader, 0) != hidplatform::WaitResult::Completed)
                return;
            TInputReport data;
            std::copy(report + 1, report + 65, data.begin());
            received.push_back(data);
        }
    };

    QElapsedTimer real;
    real.start();
    station.StartClock();
    // Asleep with nothing to send; its clock has run all the same when the stream is asked for,
    // and the first report leaves with the command.
    ASSERT_TRUE(testsupport::PumpUntil([&] { return real.elapsed() >= 1000; }));
    ASSERT_TRUE(command(1));
    readQueued();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0][InField::ClockMinutes], 0);
    EXPECT_GE(received[0][InField::ClockSeconds], 1);

    // The stream goes on by itself, each report after the one before.
    ASSERT_TRUE(testsupport::PumpUntil([&] {
        readQueued();
        return received.size() >= 6;
    }));

    // A download from the middle of the stream: every block, in order, at the blocks' own pace. A
    // busy machine may hold the test past the stream's interval: the readings report then due
    // leaves ahead of the command, and only such reports may come before the blocks.
    received.clear();
    ASSERT_TRUE(command(3));
    ASSERT_TRUE(testsupport::PumpUntil([&] {
        readQueued();
        return station.Model().Mode() == TTransferMode::Idle && received.size() >= Blocks;
    }));
    const std::size_t first = received.size() - Blocks;
    for (std::size_t late = 0; late < first; ++late)
        EXPECT_EQ(received[late][InField::PressureOn], station.Model().ReadingsReport()[InField::PressureOn])
            << "report " << late << " before the blocks is no readings report";
    for (std::size_t block = 0; block < Blocks; ++block)
        ASSERT_TRUE(std::equal(received[first + block].begin(), received[first + block].end(),
                               memory.begin() + static_cast<std::ptrdiff_t>(block * ReportImageSize)))
            << "block " << block;

    // Asked for the stream again, it answers at once.
    received.clear();
    ASSERT_TRUE(command(1));
    readQueued();
    EXPECT_EQ(received.size(), 1u);
    platform.Close(reader);
    platform.Close(writer);
}

} // namespace
