// The weather networks as the owner meets them: the real window's «Публикация» page with its blocks
// (values refused as they are entered, keys kept out of "publish.ini", the humidity setting), the
// archive's day of samples caught up in order against stand-in services on 127.0.0.1 once a service
// is on, a refused key that stops only its own service, and the real program killed with SIGKILL in
// the middle of catching up: after the restart every reading has gone, in order, none lost and
// none doubled but the one in flight at the kill; and the demo catching up to every network at once.
// An address from a "publish.ini" that others may change is refused, and the block says why.
#include "archive/archive_store.h"
#include "publish/networks/query_text.h"
#include "publish/networks/url_template.h"
#include "publish/publish_file.h"
#include "station/network_block.h"
#include "station/publishing_built_in.h"
#include "tests/support/e2e_support.h"
#include "tests/support/every_network_scenario.h"
#include "tests/support/network_stand_in.h"
#include "tests/support/recent_samples.h"
#include "tests/support/safety_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <csignal>
#include <sys/stat.h>

namespace {

using testsupport::ArchiveRecentSamples;
using testsupport::CarriedTimes;
using testsupport::THttpStandIn;
using testsupport::TStandInReply;

constexpr int CatchUpDeadlineMs = 120000;
const QString AwkwardKey = QStringLiteral("p&ss w=rd/ü+%");

class StationNetworks : public e2e::StationE2E
{
protected:
    void SetUp() override
    {
        e2e::StationE2E::SetUp();
        // No password store answers here: keys go to the user-only file.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    }
    void TearDown() override
    {
        e2e::StationE2E::TearDown();
        for (const char* name : {"METEO_WUNDERGROUND_URL", "METEO_PWSWEATHER_URL"})
            qunsetenv(name);
    }

    TNetworkBlock* Block(const char* service) const
    {
        return Form->PublishPage1->findChild<TNetworkBlock*>(QStringLiteral("NetworkBlock_") + QLatin1String(service));
    }
    TNetworkPublishing& Networks() const { return *BuiltInPublishing(*Form).Networks; }
    int IndexOf(publish::TServiceKind kind) const
    {
        for (int index = 0; index < Networks().Count(); ++index)
            if (Networks().Entry(index).Settings.Kind == kind)
                return index;
        return -1;
    }
    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        edit->insert(text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
};

TEST_F(StationNetworks, TheOwnerTurnsServicesOnAndTheDayInTheArchiveIsCaughtUp)
{
    const std::vector<QDateTime> day =
        ArchiveRecentSamples(archive::ArchiveFileName, {QStringLiteral("wunderground"), QStringLiteral("pwsweather")});
    THttpStandIn http;
    http.Script = [](const QByteArray& request) {
        // PWSweather does not know the station: its «ERROR» comes in a 200 reply.
        if (THttpStandIn::RequestLine(request).startsWith("GET /pws"))
            return TStandInReply{200, "ERROR: Not a vailid Station ID", {}, false};
        return TStandInReply{200, "success", {}, false};
    };
    qputenv("METEO_WUNDERGROUND_URL", http.Url(QStringLiteral("/wu")).toUtf8());
    qputenv("METEO_PWSWEATHER_URL", http.Url(QStringLiteral("/pws")).toUtf8());
    const QString settingsFile = publish::PublishFilePath(QDir::currentPath());
    ASSERT_TRUE(testsupport::WriteFileBytes(settingsFile,
                                            "[windy]\naddress=" + http.Url(QStringLiteral("/x")).toUtf8() + "\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(settingsFile).constData(), 0666), 0);
    CreateForm();
    ClickTab(TFormPage::Publish);
    TNetworkBlock* wu = Block("wunderground");
    TNetworkBlock* pws = Block("pwsweather");
    TNetworkBlock* own = Block("own");
    ASSERT_TRUE(wu && pws && own && Block("narodmon") && Block("windy") && Block("wow") && Block("cwop"));
    ASSERT_TRUE(e2e::PumpUntil([&] { return wu->isEnabled(); }));

    // What the page starts with: humidity indoors, every service off, each at least its minimum.
    auto* common = Form->PublishPage1->findChild<TNetworksCommonBlock*>(QStringLiteral("NetworksCommonBlock"));
    ASSERT_TRUE(common);
    EXPECT_EQ(common->HumidityBox->currentText(), QStringLiteral("в доме"));
    EXPECT_EQ(Block("narodmon")->IntervalBox->minimum(), 1);
    EXPECT_EQ(Block("cwop")->IntervalBox->minimum(), 5);
    EXPECT_EQ(Block("windy")->IntervalBox->minimum(), 5);
    EXPECT_EQ(wu->LastSuccessLabel->text(), QStringLiteral("Отправка выключена"));
    EXPECT_EQ(Block("windy")->ProblemLabel->text(),
              QStringLiteral("Адрес сервиса в «publish.ini» не принят: файл "
                             "могут менять другие пользователи (права 0666)."));

    // Refused at entry: a template with an unknown placeholder (with the list of the known ones), a
    // service turned on without its key; what is in effect stays.
    const QString unknown = http.Url(QStringLiteral("/own?t={temp}"));
    Type(own->TemplateEdit, unknown);
    EXPECT_TRUE(own->ProblemLabel->isVisible());
    EXPECT_EQ(own->ProblemLabel->text(), publish::TemplateProblem(unknown));
    EXPECT_TRUE(own->ProblemLabel->text().contains(QStringLiteral("{dateutc}")));
    EXPECT_TRUE(Networks().Entry(IndexOf(publish::TServiceKind::OwnAddress)).Settings.UrlTemplate.isEmpty());
    Type(wu->IdEdit, QStringLiteral("KXXCITY12"));
    e2e::StationE2E::Click(wu->EnabledBox);
    EXPECT_FALSE(wu->EnabledBox->isChecked());
    EXPECT_EQ(wu->ProblemLabel->text(), QStringLiteral("Укажите ключ (пароль) станции."));

    // PWSweather first: its key is refused and it stops, saying so.
    Type(pws->IdEdit, QStringLiteral("KXXCITY12"));
    Type(pws->KeyEdit, QStringLiteral("wrong"));
    e2e::StationE2E::Click(pws->EnabledBox);
    ASSERT_TRUE(e2e::PumpUntil([&] { return pws->LastErrorLabel->text().contains(QStringLiteral("остановлена")); }))
        << pws->LastErrorLabel->text().toStdString();
    EXPECT_TRUE(pws->LastErrorLabel->text().contains(QStringLiteral("ERROR")));

    // Weather Underground with a key that needs encoding: the whole day, in order, each reading once.
    Type(wu->KeyEdit, AwkwardKey);
    e2e::StationE2E::Click(wu->EnabledBox);
    ASSERT_TRUE(wu->EnabledBox->isChecked()) << wu->ProblemLabel->text().toStdString();
    const auto wuTimes = [&] { return CarriedTimes(http.Requests, "/wu", QStringLiteral("dateutc")); };
    ASSERT_TRUE(e2e::PumpUntil([&] { return wuTimes().size() >= day.size(); }, CatchUpDeadlineMs))
        << wuTimes().size() << " of " << day.size();
    EXPECT_EQ(wuTimes(), day);
    ASSERT_TRUE(e2e::PumpUntil([&] { return wu->WaitingLabel->text() == QStringLiteral("Ждут отправки: 0"); }))
        << wu->WaitingLabel->text().toStdString();
    EXPECT_TRUE(wu->LastSuccessLabel->text().startsWith(QStringLiteral("Последняя удачная отправка: ")));
    EXPECT_EQ(wu->LastErrorLabel->text(), QStringLiteral("Ошибок не было"));
    for (const QByteArray& request : http.Requests)
        if (THttpStandIn::RequestLine(request).startsWith("GET /wu")) {
            EXPECT_EQ(THttpStandIn::QueryValue(request, QStringLiteral("PASSWORD")), AwkwardKey);
        }
    // PWSweather took one request and no more: stopped until its key changes.
    EXPECT_EQ(CarriedTimes(http.Requests, "/pws", QStringLiteral("dateutc")).size(), 1u);
    EXPECT_TRUE(Networks().State(IndexOf(publish::TServiceKind::PwsWeather))->Stopped);

    // Outdoor humidity from now on, kept; the keys never in the settings file.
    common->HumidityBox->setCurrentIndex(1);
    EXPECT_EQ(Networks().Common().HumidityPlace, publish::THumidityPlace::Outdoor);
    const QByteArray ini = testsupport::ReadFileBytes(publish::PublishFilePath(QDir::currentPath()));
    EXPECT_TRUE(ini.contains("humidity=outdoor")) << ini.constData();
    EXPECT_TRUE(ini.contains("station_id=KXXCITY12")) << ini.constData();
    EXPECT_FALSE(ini.contains("wrong")) << ini.constData();
    EXPECT_FALSE(ini.contains("ss w")) << ini.constData();
}

TEST(ProgramNetworks, AProgramKilledWhileCatchingUpSendsEveryReadingOnceAfterItsRestart)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    const std::vector<QDateTime> day = ArchiveRecentSamples(archive::ArchiveFileName, {QStringLiteral("own")});
    THttpStandIn http;
    {
        QSettings file = publish::OpenPublishFile(folder.Path());
        file.setValue(QStringLiteral("own/enabled"), true);
        file.setValue(QStringLiteral("own/url_template"), http.Url(QStringLiteral("/own?t={tempc}&at={dateutc}")));
        ASSERT_TRUE(publish::SyncPublishFile(file).isEmpty());
    }
    const safety::TStart start{
        safety::ProgramPath(), {}, {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus")}, {}};
    const auto received = [&] { return CarriedTimes(http.Requests, "/own", QStringLiteral("at")); };
    {
        safety::TProgram program(folder.Path(), start);
        ASSERT_TRUE(program.Started());
        // Killed a third of the way, while requests follow each other as fast as the stand-in answers.
        ASSERT_TRUE(testsupport::PumpUntil([&] { return received().size() >= day.size() / 3; }, CatchUpDeadlineMs))
            << received().size();
        program.Signal(SIGKILL);
        ASSERT_TRUE(program.Wait().has_value());
    }
    const std::size_t beforeRestart = received().size();
    ASSERT_LT(beforeRestart, day.size());
    safety::TProgram again(folder.Path(), start);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !received().empty() && received().back() == day.back(); },
                                       CatchUpDeadlineMs))
        << received().size();
    again.Signal(SIGTERM);
    EXPECT_TRUE(again.Wait().has_value());

    // In order; one reading at most twice, where the kill fell (accepted, its position not yet
    // written: the service keeps one reading per time, so the repeat replaces it).
    std::vector<QDateTime> times = received();
    int repeats = 0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_GE(times[i], times[i - 1]) << i;
        if (times[i] == times[i - 1])
            ++repeats;
    }
    EXPECT_LE(repeats, 1);
    times.erase(std::unique(times.begin(), times.end()), times.end());
    EXPECT_EQ(times, day);
}

TEST(DemoNetworks, TheDemoCatchesUpTheArchiveToEveryWeatherNetwork)
{
    // No password store answers here: keys go to the user-only file.
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    testsupport::CatchUpEveryWeatherNetworkInTheDemo(CatchUpDeadlineMs / 6);
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
}

} // namespace
