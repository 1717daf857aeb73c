// The station application with no window at all, as the service and the tools run it: the core
// against the stand-in station through the real controller, device and read thread.
#include "core/archive_records.h"
#include "core/report_reading.h"
#include "core/station_core.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "tests/support/archive_support.h"
#include "tests/support/test_support.h"

#include <QSignalSpy>
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <map>

namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;

TEST(StationCore, RunsAStationWithoutAWindowAndEveryReportIsOneReading)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    hidplatform::SimPlatform platform;
    simulator::TSimStation station(platform, 7, {2024, 3, 7, 14, 0, 0});
    std::vector<std::uint8_t> commands; // the command byte of every report sent to the station
    station.Plug();
    platform.SetOutputHandler(station.DeviceId(), [&](const std::uint8_t* report, std::size_t length) {
        commands.push_back(report[static_cast<std::size_t>(OutField::CommandCode)]);
        station.Model().HandleOutputReport(report, length);
    });

    QDateTime clock(QDate(2025, 11, 23), QTime(18, 41, 0));
    TStationCore core(platform);
    core.SetClock([&clock] { return clock; });
    core.SetStreamSilenceTimeout(std::numeric_limits<int>::max());
    core.HistoryOperation.SetStallTimeout(std::numeric_limits<int>::max());
    std::vector<base::TStationReading> readings;
    std::vector<TReportImage> reportsThen;
    QObject::connect(&core, &TStationCore::Reading, [&](const base::TStationReading& reading) {
        readings.push_back(reading);
        reportsThen.push_back(core.Station.ReportImage);
    });
    QSignalSpy disconnected(&core, &TStationCore::StationDisconnected);
    core.LoadHistory();
    core.StartLink();

    // Matched and told to stream; each report one reading, decoded from that report, at the moment
    // the core took it.
    ASSERT_TRUE(PumpUntil([&] { return core.LinkState() == TLinkState::Connected && !readings.empty(); }));
    EXPECT_EQ(commands.front(), static_cast<std::uint8_t>(TCommandCode::StreamReadings));
    auto settle = [&] {
        return PumpUntil([&] {
            return platform.QueuedInputReports(station.DeviceId()) == 0 &&
                platform.WaitingReads(station.DeviceId()) > 0;
        });
    };
    for (int minute = 0; minute < 5; ++minute) {
        clock = clock.addSecs(60);
        station.Advance(1000ms);
        ASSERT_TRUE(settle());
    }
    EXPECT_EQ(readings.size(), station.Traffic().Sent);
    for (std::size_t i = 0; i < readings.size(); ++i)
        EXPECT_EQ(readings[i], ReadingOfReport(reportsThen[i], readings[i].Time)) << i;
    EXPECT_EQ(readings.back().Time, clock);
    ASSERT_TRUE(readings.back().Value(base::TQuantity::Pressure).has_value());

    // Readings no longer wanted: the station is told to be quiet and the open interval's sample kept.
    core.SetStreamWanted(false);
    EXPECT_EQ(commands.back(), static_cast<std::uint8_t>(TCommandCode::Quiet));
    ASSERT_NE(core.Archive(), nullptr);
    const archive::THourKey hour = archive::HourKey(clock.date(), 18);
    EXPECT_EQ(core.Archive()->Hours(hour, hour).size(), 1u);
    const std::size_t taken = readings.size();

    // A download without a window: every block in the copy, the copy merged into the archive.
    std::vector<archive::TMergeResult> merged;
    QObject::connect(&core, &TStationCore::DownloadMerged,
                     [&merged](const archive::TMergeResult& result, int) { merged.push_back(result); });
    station.Model().SetBlockInterval(0ms);
    ASSERT_TRUE(core.StartHistoryOperation(THistoryOperationKind::Download));
    ASSERT_TRUE(PumpUntil([&] { return !core.HistoryOperation.Running(); }));
    EXPECT_EQ(core.History.HistoryImage, station.Model().HistoryMemory());
    EXPECT_EQ(core.History.LastCompleteDownload, clock);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_TRUE(merged[0].Ok);
    std::map<archive::THourKey, archive::THourRecord> hours; // a later record of an hour replaces it
    for (const archive::THourRecord& record : ArchiveHoursOfImage(station.Model().HistoryMemory()).Hours)
        hours[record.Hour] = record;
    const std::vector<archive::THourRecord> stored = archivetest::StationHours(core.Archive()->Connection());
    ASSERT_EQ(stored.size(), hours.size());
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), hours.begin(),
                           [](const archive::THourRecord& a, const auto& b) { return a == b.second; }));
    EXPECT_EQ(readings.size(), taken); // history blocks are never readings

    // The station goes: the link says so.
    station.Unplug();
    ASSERT_TRUE(PumpUntil([&] { return disconnected.count() == 1; }));
    EXPECT_EQ(core.LinkState(), TLinkState::Disconnected);
    EXPECT_FALSE(core.StationPresent());
}

// The image takes the station's 64 bytes of a report: no more from a longer one, those there are of
// a shorter one (the rest stay), none of a report with no data.
TEST(StationCore, TakesAtMostTheStationsBytesOfAReportAndSurvivesNoData)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    hidplatform::SimPlatform platform;
    TStationCore core(platform);
    std::uint8_t longReport[70];
    std::fill(longReport, longReport + 70, 7);
    core.TakeReport(longReport, 70);
    EXPECT_TRUE(std::ranges::all_of(core.Station.ReportImage, [](std::uint8_t byte) { return byte == 7; }));
    const std::uint8_t shortReport[2] = {1, 2};
    core.TakeReport(shortReport, 2);
    EXPECT_EQ(core.Station.ReportImage[0], 1);
    EXPECT_EQ(core.Station.ReportImage[1], 2);
    EXPECT_EQ(core.Station.ReportImage[2], 7);
    core.TakeReport(nullptr, 64);
    EXPECT_EQ(core.Station.ReportImage[0], 1);
}

} // namespace
