// The web API over a real archive file: periods (a day, an empty one, the autumn clock change in
// Europe/Berlin), a small known month's summaries in every format, the chart, the records, and the
// current reading live over the event stream.
#include "archive/archive_store.h"
#include "tests/web/web_client.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <ctime>
#include <gtest/gtest.h>

using namespace archive;
using webtest::Get;

namespace {

QJsonObject Json(const webtest::TAnswer& answer)
{
    return QJsonDocument::fromJson(answer.Body).object();
}

// 10 November 2025: outdoor -3 and 1 by turns, humidity 40; the 11th: outdoor 8, humidity 60; indoor
// 21 and pressure 750 throughout. 26 October 2025, the hour the clock shows twice: live samples,
// outdoor 5 in its first showing and 7 in its second.
class WebApi : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    void SetUp() override
    {
        const QString path = QDir(Folder.path()).filePath(ArchiveFileName);
        TArchiveStore store(path);
        std::vector<THourRecord> hours;
        for (int h = 0; h < 48; ++h)
            hours.push_back(
                {HourKey(QDate(2025, 11, 10), 0) + h, {21, h < 24 ? -3 + (h % 2) * 4 : 8, 750, h < 24 ? 40 : 60}});
        ASSERT_TRUE(store.Merge(hours).Ok);
        const TUtcMinute start = UtcMinuteOf(QDateTime(QDate(2025, 10, 26), QTime(0, 0), Qt::UTC));
        for (int i = 0; i < 24; ++i) {
            const double outdoor = i < 12 ? 5 : 7;
            ASSERT_TRUE(
                store.AddSample({start + TUtcMinute{i} * SampleMinutes, 1, {21, outdoor, 750, 50}, {1, 1, 1, 1}}).Ok);
        }
        Server = std::make_unique<web::TWebServer>(path);
        const web::TWebStartResult started = Server->Start(webtest::TestSettings());
        ASSERT_TRUE(started.Ok) << started.Problem.toStdString();
        Port = started.Port;
    }

    QTemporaryDir Folder;
    std::unique_ptr<web::TWebServer> Server;
    quint16 Port = 0;
};

TEST_F(WebApi, PeriodsKeepTheirHoursAndSamplesWithTheirOffsets)
{
    struct TCase
    {
        const char* Target;
        const char* Rows;
        int Count;
        const char* FirstTime;
        const char* LastTime;
        double FirstOutdoor;
        double LastOutdoor;
    };
    const TCase cases[] = {
        {"/api/v1/hours?from=2025-11-10&to=2025-11-10", "hours", 24, "2025-11-10T00:00:00+01:00",
         "2025-11-10T23:00:00+01:00", -3, 1},
        {"/api/v1/hours?from=2025-12-01&to=2025-12-31", "hours", 0, "", "", 0, 0},
        {"/api/v1/samples?from=2025-11-10&to=2025-11-10", "samples", 0, "", "", 0, 0},
        {"/api/v1/hours?from=2025-10-25&to=2025-10-27", "hours", 2, "2025-10-26T02:00:00+02:00",
         "2025-10-26T02:00:00+01:00", 5, 7},
        {"/api/v1/samples?from=2025-10-26&to=2025-10-26", "samples", 24, "2025-10-26T02:00:00+02:00",
         "2025-10-26T02:55:00+01:00", 5, 7},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Target);
        const webtest::TAnswer answer = Get(Port, c.Target);
        ASSERT_EQ(answer.Status, 200);
        EXPECT_EQ(answer.Header("Content-Type"), "application/json; charset=utf-8");
        const QJsonObject json = Json(answer);
        EXPECT_EQ(json["units"]["pressure"].toString(), "mmHg");
        const QJsonArray rows = json[c.Rows].toArray();
        ASSERT_EQ(rows.size(), c.Count);
        if (c.Count == 0)
            continue;
        EXPECT_EQ(rows.first()["time"].toString(), c.FirstTime);
        EXPECT_EQ(rows.last()["time"].toString(), c.LastTime);
        EXPECT_EQ(rows.first()["outdoor"].toDouble(), c.FirstOutdoor);
        EXPECT_EQ(rows.last()["outdoor"].toDouble(), c.LastOutdoor);
        EXPECT_EQ(rows.first()["indoor"].toDouble(), 21);
    }
}

TEST_F(WebApi, SummariesChartAndRecordsOfAKnownMonth)
{
    const QJsonObject month = Json(Get(Port, "/api/v1/summary/month?year=2025&month=11"));
    const QJsonArray days = month["rows"].toArray();
    ASSERT_EQ(days.size(), 30);
    EXPECT_EQ(days[9]["date"].toString(), "2025-11-10");
    EXPECT_EQ(days[9]["outdoor"]["min"].toDouble(), -3);
    EXPECT_EQ(days[9]["outdoor"]["max"].toDouble(), 1);
    EXPECT_EQ(days[9]["outdoor"]["mean"].toDouble(), -1);
    EXPECT_EQ(days[9]["degreeDays"].toDouble(), 19);
    EXPECT_EQ(days[9]["frostDays"].toInt(), 1);
    EXPECT_EQ(days[10]["degreeDays"].toDouble(), 10);
    EXPECT_TRUE(days[0]["outdoor"]["mean"].isNull());
    EXPECT_EQ(month["total"]["degreeDays"].toDouble(), 29);
    EXPECT_EQ(month["total"]["frostDays"].toInt(), 1);
    EXPECT_EQ(month["total"]["outdoor"]["mean"].toDouble(), 3.5);
    EXPECT_EQ(month["total"]["humidity"]["mean"].toDouble(), 50);

    const webtest::TAnswer csv = Get(Port, "/api/v1/summary/month?year=2025&month=11&format=csv");
    EXPECT_EQ(csv.Header("Content-Disposition"), "attachment; filename=\"svodka-2025-11.csv\"");
    EXPECT_TRUE(
        csv.Body.contains("\r\n10.11.2025,21.0,21.0,21.0,1.0,-3.0,-1.0,750.0,750.0,750.0,40.0,40.0,40.0,19.0,1\r\n"))
        << csv.Body.toStdString();
    const QString text = QString::fromUtf8(Get(Port, "/api/v1/summary/month?year=2025&month=11&format=text").Body);
    EXPECT_TRUE(text.startsWith("Сводка за ноябрь 2025")) << text.toStdString();
    EXPECT_TRUE(text.contains("Градусо-сутки отопления (ниже 18,0 °C): 29,0"));
    EXPECT_TRUE(text.contains("Дней с морозом (минимум на улице ниже 0 °C): 1"));

    const QJsonObject year = Json(Get(Port, "/api/v1/summary/year?year=2025"));
    EXPECT_EQ(year["rows"].toArray().size(), 12);
    EXPECT_EQ(year["rows"][9]["degreeDays"].toDouble(), 12); // 26 October: the samples' mean of 6
    EXPECT_EQ(year["rows"][10]["frostDays"].toInt(), 1);
    EXPECT_EQ(year["total"]["degreeDays"].toDouble(), 41);

    const QJsonObject week = Json(Get(Port, "/api/v1/chart?period=week&date=2025-11-12&quantity=outdoor"));
    EXPECT_EQ(week["first"].toString(), "2025-11-10");
    EXPECT_EQ(week["previous"].toString(), "2025-11-03");
    EXPECT_EQ(week["unit"].toString(), "°C");
    ASSERT_EQ(week["days"].toArray().size(), 7);
    EXPECT_EQ(week["days"][0].toArray(), (QJsonArray{-3, -1, 1}));
    EXPECT_EQ(week["days"][1].toArray(), (QJsonArray{8, 8, 8}));
    EXPECT_TRUE(week["days"][2][1].isNull());
    const QJsonObject day = Json(Get(Port, "/api/v1/chart?period=day&date=2025-11-10&quantity=humidity"));
    ASSERT_EQ(day["hours"].toArray().size(), 24);
    EXPECT_EQ(day["hours"][23].toDouble(), 40);
    EXPECT_EQ(Get(Port, "/api/v1/chart?period=decade&date=2025-11-10&quantity=outdoor").Status, 400);

    const QJsonObject outdoor = Json(Get(Port, "/api/v1/records"))["records"].toObject()["outdoor"].toObject();
    EXPECT_EQ(outdoor["high"]["value"].toDouble(), 8);
    EXPECT_EQ(outdoor["high"]["time"].toString(), "2025-11-11T00:00:00+01:00");
    EXPECT_EQ(outdoor["low"]["value"].toDouble(), -3);
    EXPECT_EQ(outdoor["months"][9]["high"]["value"].toDouble(), 6);
    EXPECT_EQ(outdoor["months"][9]["name"].toString(), "октябрь");
    EXPECT_TRUE(outdoor["months"][0]["high"].isNull());
}

TEST_F(WebApi, TheCurrentReadingGoesOutLiveAndStaysForTheNextRequest)
{
    webtest::TClientSocket stream;
    stream.connectToHost(QHostAddress::LocalHost, Port);
    stream.write("GET /api/v1/stream HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
    QByteArray events;
    ASSERT_TRUE(testsupport::PumpUntil([&] { return (events += stream.readAll()).contains("event: current"); }));
    EXPECT_TRUE(events.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(events.contains("Content-Type: text/event-stream"));
    EXPECT_TRUE(events.contains("\"state\":\"отключена\""));

    Server->TakeLinkState(web::TWebLinkState::Connected);
    Server->TakeReading({QDateTime(QDate(2025, 11, 10), QTime(12, 0)), {21, -5, 750, std::nullopt}});
    Server->TakeOutlook(QStringLiteral("Давление растёт"), QStringLiteral("Ясно"));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return (events += stream.readAll()).contains("\"forecast\":\"Ясно\""); }));

    const QJsonObject current = Json(Get(Port, "/api/v1/current"));
    EXPECT_EQ(current["time"].toString(), "2025-11-10T12:00:00+01:00");
    EXPECT_EQ(current["state"].toString(), "подключена");
    EXPECT_EQ(current["trend"].toString(), "Давление растёт");
    EXPECT_EQ(current["readings"]["outdoor"]["value"].toInt(), -5);
    EXPECT_EQ(current["readings"]["outdoor"]["unit"].toString(), "°C");
    EXPECT_EQ(current["readings"]["pressure"]["unit"].toString(), "mmHg");
    EXPECT_TRUE(current["readings"]["humidity"]["value"].isNull());
    EXPECT_EQ(current["readings"]["humidity"]["unit"].toString(), "%");
}

// A burst of readings handed on faster than the server's thread takes them reaches a client that
// reads all along, every one: the backlog kept for a client that does not read never trips for one
// that does.
TEST_F(WebApi, ABurstOfReadingsReachesALiveClientWhole)
{
    webtest::TClientSocket stream;
    stream.connectToHost(QHostAddress::LocalHost, Port);
    stream.write("GET /api/v1/stream HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
    QByteArray events;
    ASSERT_TRUE(testsupport::PumpUntil([&] { return (events += stream.readAll()).contains("event: current"); }));

    // Three times the backlog the server keeps for a client (1 MB) in events of about 330 bytes.
    constexpr int Burst = 10'000;
    const QDateTime first(QDate(2025, 11, 10), QTime(0, 0));
    for (int i = 0; i < Burst; ++i) {
        Server->TakeReading({first.addSecs(i), {21, i % 30, 750, 50}});
        if (i % 100 == 0) {
            QCoreApplication::processEvents();
            events += stream.readAll();
        }
    }
    const QByteArray last = "\"time\":\"" + web::IsoTime(first.addSecs(Burst - 1)).toUtf8() + '"';
    ASSERT_TRUE(testsupport::PumpUntil([&] {
        events += stream.readAll();
        return stream.state() != QAbstractSocket::ConnectedState || (events.endsWith("\n\n") && events.contains(last));
    }));
    EXPECT_EQ(stream.state(), QAbstractSocket::ConnectedState) << "the client was cut off";
    EXPECT_EQ(events.count("event: current"), Burst + 1);
}

} // namespace
