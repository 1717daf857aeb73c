// The demo's window catching up the archive's last hour to every weather network, each on a
// stand-in on 127.0.0.1: narodmon over TCP, CWOP over APRS-IS, the others over HTTP, the keyed ones
// turned on as the page does it (their keys to the password store). Each gets every reading in
// order and once, Windy and CWOP only the newest. One scenario for Linux and for wine.
#pragma once

#include "archive/archive_store.h"
#include "demo/demo_setup.h"
#include "publish/networks/service_uploader.h"
#include "publish/networks/upload_state.h"
#include "publish/publish_file.h"
#include "publishing/network_publishing.h"
#include "station/publishing_built_in.h"
#include "tests/support/network_stand_in.h"
#include "tests/support/recent_samples.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QSettings>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace testsupport {

// `deadlineMs`: the longest wait for one step; the catch-up itself gets six of them.
inline void CatchUpEveryWeatherNetworkInTheDemo(int deadlineMs)
{
    using publish::TServiceKind;
    TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    // An hour: a request takes wine about half a second, and WOW's come 2 s apart. Every service but
    // narodmon's HTTP way, which shares its settings with the TCP one.
    const std::vector<QDateTime> day = ArchiveRecentSamples(
        archive::ArchiveFileName,
        {QStringLiteral("own"), QStringLiteral("narodmon"), QStringLiteral("cwop"), QStringLiteral("wunderground"),
         QStringLiteral("windy"), QStringLiteral("wow"), QStringLiteral("pwsweather")},
        1);
    THttpStandIn http;
    http.Script = [](const QByteArray& request) {
        const QByteArray line = THttpStandIn::RequestLine(request);
        if (line.contains(" /wow"))
            return TStandInReply{200, "{}"};
        if (line.contains(" /windy"))
            return TStandInReply{200, ""};
        return TStandInReply{200, "success"};
    };
    TTcpStandIn narodmon(TTcpStandIn::TRole::Narodmon);
    TTcpStandIn aprs(TTcpStandIn::TRole::AprsIs);
    {
        QSettings file = publish::OpenPublishFile(QDir::currentPath());
        file.setValue(QStringLiteral("own/enabled"), true);
        file.setValue(QStringLiteral("own/url_template"), http.Url(QStringLiteral("/own?t={tempc}&at={dateutc}")));
        file.setValue(QStringLiteral("narodmon/enabled"), true);
        file.setValue(QStringLiteral("narodmon/station_id"), QStringLiteral("47-6A-37-19-01-90"));
        file.setValue(QStringLiteral("narodmon/address"), narodmon.Url());
        file.setValue(QStringLiteral("cwop/address"), aprs.Url());
        file.setValue(QStringLiteral("networks/latitude"), 55.7353);
        file.setValue(QStringLiteral("networks/longitude"), 37.6160);
        ASSERT_TRUE(publish::SyncPublishFile(file).isEmpty());
    }
    TDemo demo;
    demo.Show();
    TNetworkPublishing& networks = *BuiltInPublishing(demo.Form).Networks;
    const auto indexOf = [&](TServiceKind kind) {
        int index = 0;
        while (index < networks.Count() && networks.Entry(index).Settings.Kind != kind)
            ++index;
        return index;
    };
    // The services with keys are turned on as the page does it: each key goes to the credential store.
    ASSERT_TRUE(PumpUntil([&] { return networks.IsLoaded(); }, deadlineMs));
    const std::pair<TServiceKind, const char*> keyed[] = {{TServiceKind::WeatherUnderground, "/wu"},
                                                          {TServiceKind::Windy, "/windy"},
                                                          {TServiceKind::Wow, "/wow"},
                                                          {TServiceKind::PwsWeather, "/pws"}};
    for (const auto& [kind, path] : keyed) {
        const int index = indexOf(kind);
        ASSERT_LT(index, networks.Count());
        publish::TNetworkEntry entry = networks.Entry(index);
        entry.Enabled = true;
        entry.Settings.StationId = QStringLiteral("KXXCITY12");
        entry.Settings.EndpointOverride = http.Url(QLatin1String(path));
        networks.Accept(index, entry, QStringLiteral("p&ss wörd"));
    }
    // CWOP sends at the second of the 5 minutes its id gives, never within 30 s of a 5-minute mark:
    // it goes on with the id whose second comes soonest but at least 5 s from now (65 s at most), so
    // that the scenario need not wait up to a whole span for it.
    const QByteArray cwopId = [] {
        const qint64 now = QDateTime::currentSecsSinceEpoch() % 300;
        QByteArray best;
        qint64 bestWait = 300;
        for (int n = 0; n < 1000; ++n) {
            const QByteArray id = "CW" + QByteArray::number(n).rightJustified(4, '0');
            const qint64 wait = (publish::SpreadSecond(QString::fromLatin1(id)) - now + 300) % 300;
            if (wait >= 5 && wait < bestWait) {
                best = id;
                bestWait = wait;
            }
        }
        return best;
    }();
    publish::TNetworkEntry cwopEntry = networks.Entry(indexOf(TServiceKind::Cwop));
    cwopEntry.Enabled = true;
    cwopEntry.Settings.StationId = QString::fromLatin1(cwopId);
    networks.Accept(indexOf(TServiceKind::Cwop), cwopEntry, {});

    const auto httpTimes = [&](const QByteArray& path, const char* field) {
        return CarriedTimes(http.Requests, path, QLatin1String(field));
    };
    const auto narodmonTimes = [&] {
        std::vector<QDateTime> times;
        for (const QByteArray& packet : narodmon.Sessions)
            for (const QDateTime& time : NarodmonCarriedTimes(packet))
                times.push_back(time);
        return times;
    };
    // Each catching-up service's times, in order, each once; the demo's own samples may follow.
    const std::vector<std::pair<const char*, std::function<std::vector<QDateTime>()>>> catchingUp{
        {"own", [&] { return httpTimes("/own", "at"); }},
        {"narodmon", narodmonTimes},
        {"wunderground", [&] { return httpTimes("/wu", "dateutc"); }},
        {"wow", [&] { return httpTimes("/wow", "dateutc"); }},
        {"pwsweather", [&] { return httpTimes("/pws", "dateutc"); }},
    };
    // Windy and CWOP take only the present, CWOP at its id's second.
    const auto windyRequests = [&] { return httpTimes("/windy", "time").size(); };
    const auto allCame = [&] {
        return std::all_of(catchingUp.begin(), catchingUp.end(),
                           [&](const auto& service) { return service.second().size() >= day.size(); }) &&
            windyRequests() > 0 && !aprs.Sessions.empty();
    };
    const publish::TUploadState* cwop = networks.State(indexOf(TServiceKind::Cwop));
    ASSERT_TRUE(PumpUntil(allCame, 6 * deadlineMs))
        << windyRequests() << " Windy, " << aprs.Sessions.size() << " CWOP"
        << (cwop ? ", CWOP's next attempt " + cwop->NextAttempt.toString(Qt::ISODate).toStdString() + " (now " +
                    QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString() +
                    "): " + cwop->LastError.toStdString()
                 : std::string(", CWOP off"));
    for (const auto& [name, times] : catchingUp) {
        std::vector<QDateTime> received = times();
        received.resize(day.size());
        EXPECT_EQ(received, day) << name;
    }
    // CWOP: the newest reading (the demo's own one, if it came first), the rest passed over.
    const QByteArray& session = aprs.Sessions.front();
    const auto carries = [&session, &cwopId](const QDateTime& time) {
        return session.contains("\r\n" + cwopId + ">APRS,TCPIP*:@" +
                                time.toString(QStringLiteral("ddHHmm")).toLatin1() + 'z');
    };
    EXPECT_TRUE(session.startsWith("user " + cwopId + " pass -1 vers meteostation "));
    EXPECT_TRUE(carries(day.back()) || carries(day.back().addSecs(300))) << session.constData();
    for (int index = 0; index < networks.Count(); ++index) {
        if (!networks.Entry(index).Enabled)
            continue;
        const publish::TUploadState* state = networks.State(index);
        ASSERT_TRUE(PumpUntil([&] { return state && state->Waiting == 0; }, deadlineMs));
        EXPECT_TRUE(state->LastError.isEmpty()) << state->LastError.toStdString();
    }
    EXPECT_GE(networks.State(indexOf(TServiceKind::Cwop))->Skipped, static_cast<qint64>(day.size()) - 1);
    EXPECT_TRUE(demo.Form.close());
}

} // namespace testsupport
