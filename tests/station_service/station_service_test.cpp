// The program run as a service: the core, the archive, the publishers and the web page with no
// window, over the stand-in station through the real controller, device and read thread; and the
// real program started with --service, which keeps the window out of its folder and ends cleanly
// on SIGTERM.
#include "hid/platform/sim/sim_platform.h"
#include "os/data_folder_lock.h"
#include "publishing/web_publishing.h"
#include "simulator/sim_station.h"
#include "station/one_window_per_folder.h"
#include "station/station_publishing.h"
#include "station/station_service.h"
#include "tests/support/child_program.h"
#include "tests/support/safety_support.h"
#include "tests/support/test_support.h"
#include "tests/web/web_client.h"
#include "web/web_api.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;

TEST(StationService, StreamsTheStationToItsWebPageWithNoWindowAndStopsItQuiet)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    hidplatform::SimPlatform platform;
    simulator::TSimStation station(platform, 3, {2024, 3, 7, 14, 0, 0});
    std::vector<std::uint8_t> commands;
    station.Plug();
    platform.SetOutputHandler(station.DeviceId(), [&](const std::uint8_t* report, std::size_t length) {
        commands.push_back(report[static_cast<std::size_t>(OutField::CommandCode)]);
        station.Model().HandleOutputReport(report, length);
    });

    QStringList told;
    TStationService service(platform);
    service.SetLog([&told](const QString& line) { told << line; });
    std::vector<base::TStationReading> readings;
    QObject::connect(&service.Core(), &TStationCore::Reading,
                     [&](const base::TStationReading& reading) { readings.push_back(reading); });
    service.Start();
    ASSERT_NE(service.Publishing(), nullptr);
    TWebPublishing& web = *static_cast<TStationPublishing&>(*service.Publishing()).Web;
    ASSERT_TRUE(PumpUntil([&] { return web.IsLoaded(); }));
    web::TWebSettings settings = web.Settings();
    settings.Enabled = true;
    settings.Port = 0; // any free one
    web.Accept(settings);
    ASSERT_TRUE(web.Status().Running) << web.Status().Problem.toStdString();
    const quint16 port = web.Status().Port;

    // The station streams without any page asking for it, and the page shows its latest reading.
    ASSERT_TRUE(PumpUntil([&] { return !readings.empty(); }));
    station.Advance(1000ms);
    const std::size_t seen = readings.size();
    ASSERT_TRUE(PumpUntil([&] { return readings.size() > seen; }));
    QJsonObject current;
    ASSERT_TRUE(PumpUntil([&] {
        current = QJsonDocument::fromJson(webtest::Get(port, "/api/v1/current").Body).object();
        return current.value(QStringLiteral("time")).toString() == web::IsoTime(readings.back().Time);
    })) << QJsonDocument(current).toJson().toStdString();
    EXPECT_EQ(current.value(QStringLiteral("state")).toString(), QStringLiteral("подключена"));
    const auto outdoor = readings.back().Value(base::TQuantity::OutdoorTemperature);
    ASSERT_TRUE(outdoor.has_value());
    const QJsonObject shown = current.value(QStringLiteral("readings")).toObject();
    EXPECT_EQ(shown.value(QStringLiteral("outdoor")).toObject().value(QStringLiteral("value")).toInt(), *outdoor);
    EXPECT_TRUE(told.contains(QStringLiteral("Метеостанция подключена."))) << told.join('\n').toStdString();
    EXPECT_TRUE(told.contains(QStringLiteral("Веб-страница открыта: http://127.0.0.1:%1/").arg(port)))
        << told.join('\n').toStdString();

    // The end of the run: the station is told to be quiet and the last sample kept.
    service.Stop();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), static_cast<std::uint8_t>(TCommandCode::Quiet));
    ASSERT_NE(service.Core().Archive(), nullptr);
    const archive::THourKey hour = archive::HourKey(readings.back().Time.date(), readings.back().Time.time().hour());
    EXPECT_EQ(service.Core().Archive()->Hours(hour, hour).size(), 1u);
}

TEST(StationService, TheProgramAsAServiceKeepsTheWindowOutAndEndsOnSigterm)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QStringList environment{QStringLiteral("QT_QPA_PLATFORM=offscreen")};
    testsupport::TChildProgram service(safety::ProgramPath(), {QStringLiteral("--service")}, folder.path(),
                                       environment);
    ASSERT_TRUE(service.Started());
    // The lock names the service as its holder, and a window's start says so.
    // (Read, not locked: a probe that took the free lock would keep the service out.)
    const QString lockFile = QDir(folder.path()).filePath(os::DataFolderLockName);
    ASSERT_TRUE(PumpUntil([&] {
        QFile file(lockFile);
        return file.open(QIODevice::ReadOnly) &&
            os::ParseLockFileText(file.readAll()).ProcessId == static_cast<std::int64_t>(service.ProcessId());
    })) << service.Output().toStdString();
    {
        const os::TDataFolderLock probe(folder.path());
        ASSERT_EQ(probe.State(), os::TDataFolderLock::TState::HeldElsewhere);
        EXPECT_EQ(probe.HolderKind(), os::ServiceLockHolder);
        EXPECT_TRUE(FolderHeldText(probe).contains(QStringLiteral("служба"))) << FolderHeldText(probe).toStdString();
    }
    // A second service in the same folder ends at once, saying who holds it.
    testsupport::TChildProgram second(safety::ProgramPath(), {QStringLiteral("--service")}, folder.path(), environment);
    ASSERT_TRUE(second.Wait(testsupport::EventDeadlineMs).has_value());
    EXPECT_FALSE(second.Succeeded());
    EXPECT_TRUE(second.Output().contains("служба")) << second.Output().toStdString();

    service.Signal(SIGTERM);
    const std::optional<int> status = service.Wait(testsupport::EventDeadlineMs);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << service.Output().toStdString();
    EXPECT_FALSE(QFile::exists(lockFile));
    EXPECT_TRUE(QFile::exists(QDir(folder.path()).filePath(QStringLiteral("meteo-archive.sqlite"))));
}

} // namespace
