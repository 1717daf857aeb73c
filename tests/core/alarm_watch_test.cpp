// The alarms with no window: the settings file's choice, a reading past the threshold, the line,
// the archive's history and a choice that ends a ringing alarm, all through the core against the
// stand-in station.
#include "archive/archive_store.h"
#include "core/alarm_watch.h"
#include "core/station_core.h"
#include "hid/platform/sim/sim_platform.h"
#include "settings/meteostation_file.h"
#include "simulator/sim_station.h"
#include "tests/support/test_support.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <limits>

namespace {

using testsupport::PumpUntil;

TEST(AlarmWatch, FrostFromTheSettingsFileRingsOnceIsKeptAndEndsWhenSwitchedOff)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    ASSERT_TRUE(testsupport::WriteFileBytes(settings::MeteostationFileName, "[alarms]\nfrost=true\nfrost_below=-1\n"));
    hidplatform::SimPlatform platform;
    simulator::TSimStation station(platform, 3, {2024, 3, 7, 14, 0, 0});
    station.Plug();
    TStationCore core(platform);
    core.SetStreamSilenceTimeout(std::numeric_limits<int>::max());
    TAlarmWatch watch(core);
    std::vector<weather::TAlarmChange> changes;
    QObject::connect(&watch, &TAlarmWatch::AlarmsChanged,
                     [&changes](const auto& some) { changes.insert(changes.end(), some.begin(), some.end()); });
    core.LoadHistory();
    core.OpenArchive();
    ASSERT_TRUE(watch.Start().isEmpty());
    EXPECT_TRUE(watch.Alarms().Settings().FrostOn);
    EXPECT_EQ(watch.Alarms().Settings().FrostBelowC, -1);
    core.StartLink();
    ASSERT_TRUE(PumpUntil([&] { return core.LinkState() == TLinkState::Connected; }));

    const auto reportOutdoor = [&](int celsius) {
        simulator::TInputReport report = station.Model().ReadingsReport();
        report[InField::OutdoorStatus] = 16;
        report[InField::OutdoorTemperature] = static_cast<std::uint8_t>(std::abs(celsius));
        report[InField::OutdoorSign] = celsius < 0 ? OutdoorBelowZero : 1;
        std::vector<std::uint8_t> bytes(report.size() + 1, 0);
        std::copy(report.begin(), report.end(), bytes.begin() + 1);
        return platform.QueueInputReport(station.DeviceId(), std::move(bytes)) &&
            PumpUntil([&] { return platform.QueuedInputReports(station.DeviceId()) == 0; });
    };
    ASSERT_TRUE(reportOutdoor(0));
    EXPECT_TRUE(changes.empty());
    // Past the threshold, and on at it: one start.
    for (const int celsius : {-3, -2, -1})
        ASSERT_TRUE(reportOutdoor(celsius));
    ASSERT_TRUE(PumpUntil([&] { return !changes.empty(); }));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(changes[0].Started);
    EXPECT_EQ(watch.AlarmLine(), QStringLiteral("Заморозок: На улице −3 °C, ниже порога −1 °C."));
    ASSERT_EQ(core.Archive()->LastAlarms(5).size(), 1u);
    EXPECT_EQ(core.Archive()->LastAlarms(5)[0].Kind, AlarmKey(weather::TAlarmKind::Frost));

    // Switched off while it rings: it ends, in the file and in the history too.
    weather::TAlarmSettings off = watch.Alarms().Settings();
    off.FrostOn = false;
    EXPECT_TRUE(watch.ChooseAlarms(off).isEmpty());
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_FALSE(changes[1].Started);
    EXPECT_TRUE(watch.AlarmLine().isEmpty());
    EXPECT_TRUE(testsupport::ReadFileBytes(settings::MeteostationFileName).contains("frost=false"));
    EXPECT_EQ(core.Archive()->LastAlarms(5).size(), 2u);
    // A forecast setting the rules refuse is neither kept nor taken.
    EXPECT_FALSE(watch.ChooseForecast({9000, weather::THemisphere::North}).isEmpty());
    EXPECT_FALSE(testsupport::ReadFileBytes(settings::MeteostationFileName).contains("9000"));
}

} // namespace
