// The requests each service gets, byte for byte, as the stand-ins on 127.0.0.1 receive them:
// field order, units, percent-encoding of an awkward key, a frost, a missing value, humidity
// indoors and outdoors; and the pieces that carry the risk (number texts, APRS coordinates, the
// owner's address template, settings that could smuggle a line into a packet, an address from a
// settings file that others could have changed).
#include "publish/networks/cwop_packet.h"
#include "publish/networks/networks_file.h"
#include "publish/networks/query_text.h"
#include "publish/networks/service_settings.h"
#include "publish/networks/url_template.h"
#include "publish/publish_file.h"
#include "tests/support/test_support.h"
#include "tests/support/upload_rig.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace uploadtest {
namespace {

const QByteArray Version = METEO_PROGRAM_VERSION;
const QByteArray Software = "softwaretype=meteostation%20" + Version;
const QByteArray EncodedKey = "p%26ss%20w%3Drd%2F%C3%BC%2B%25";
const QDateTime Later(QDate(2026, 1, 31), QTime(13, 0), Qt::UTC);
// The outdoor temperature missing; 21.5 °C indoors, 744 mm Hg, 40 %.
const TWeatherReading ThawlessReading{Later, 21.5, std::nullopt, 744.0, 40.0};
// The CWOP example: -25 °C, 85 %, 1021.3 hPa at 55.7353 N 37.6160 E on the 8th at 15:27 UTC.
const QDateTime CwopTime(QDate(2026, 2, 8), QTime(15, 27), Qt::UTC);

struct TGolden
{
    const char* Name;
    TServiceKind Kind;
    THumidityPlace Humidity;
    std::vector<TWeatherReading> Readings;
    QByteArray Expected; // the HTTP request line, or all the bytes of the TCP session
};

TEST(PublishRequests, EachServiceGetsItsGoldenRequest)
{
    const std::vector<TGolden> table{
        {"wunderground, humidity outdoors",
         TServiceKind::WeatherUnderground,
         THumidityPlace::Outdoor,
         {FrostReading()},
         "GET /update?ID=KXXCITY12&PASSWORD=" + EncodedKey + "&dateutc=2026-01-31%2012%3A34%3A56&action=updateraw&" +
             Software + "&tempf=9.9&humidity=85&dewptf=6.3&baromin=29.331&indoortempf=71.6 HTTP/1.1"},
        {"wunderground, humidity indoors, no outdoor temperature",
         TServiceKind::WeatherUnderground,
         THumidityPlace::Indoor,
         {ThawlessReading},
         "GET /update?ID=KXXCITY12&PASSWORD=" + EncodedKey + "&dateutc=2026-01-31%2013%3A00%3A00&action=updateraw&" +
             Software + "&baromin=29.291&indoortempf=70.7&indoorhumidity=40 HTTP/1.1"},
        {"pwsweather",
         TServiceKind::PwsWeather,
         THumidityPlace::Outdoor,
         {FrostReading()},
         "GET /update?ID=KXXCITY12&PASSWORD=" + EncodedKey + "&dateutc=2026-01-31%2012%3A34%3A56&action=updateraw&" +
             Software + "&tempf=9.9&humidity=85&dewptf=6.3&baromin=29.331 HTTP/1.1"},
        {"wow, indoor values have no field",
         TServiceKind::Wow,
         THumidityPlace::Indoor,
         {FrostReading()},
         "GET /update?siteid=KXXCITY12&siteAuthenticationKey=" + EncodedKey + "&dateutc=2026-01-31%2012%3A34%3A56&" +
             Software + "&tempf=9.9&baromin=29.331 HTTP/1.1"},
        {"windy",
         TServiceKind::Windy,
         THumidityPlace::Outdoor,
         {FrostReading()},
         "GET /update?id=KXXCITY12&time=2026-01-31T12%3A34%3A56Z&temp=-12.3&humidity=85&dewpoint=-14.3"
         "&pressure=99325&" +
             Software + " HTTP/1.1"},
        {"narodmon http",
         TServiceKind::NarodmonHttp,
         THumidityPlace::Outdoor,
         {FrostReading()},
         "GET /get?ID=47-6A-37-19-01-90&T1=-12.3&T2=22.0&H1=85&DP1=-14.3&MMHG=745.0&time=1769862896 HTTP/1.1"},
        {"narodmon tcp, two readings in one packet",
         TServiceKind::NarodmonTcp,
         THumidityPlace::Outdoor,
         {FrostReading(), ThawlessReading},
         "#47-6A-37-19-01-90\n"
         "#T1#-12.3#1769862896\n#T2#22.0#1769862896\n#H1#85#1769862896\n#DP1#-14.3#1769862896\n"
         "#MMHG#745.0#1769862896\n"
         "#T2#21.5#1769864400\n#H1#40#1769864400\n#MMHG#744.0#1769864400\n"
         "##"},
        {"cwop",
         TServiceKind::Cwop,
         THumidityPlace::Outdoor,
         {{CwopTime, std::nullopt, -25.0, 766.04, 85.0}},
         "user CW1234 pass -1 vers meteostation " + Version +
             "\r\nCW1234>APRS,TCPIP*:@081527z5544.12N/03736.96E_.../...g...t-13h85b10213.meteostation-" + Version +
             "\r\n"},
        {"cwop, humidity indoors, no outdoor temperature",
         TServiceKind::Cwop,
         THumidityPlace::Indoor,
         {{CwopTime, 21.0, std::nullopt, 766.04, 45.0}},
         "user CW1234 pass -1 vers meteostation " + Version +
             "\r\nCW1234>APRS,TCPIP*:@081527z5544.12N/03736.96E_.../...g...t...b10213.meteostation-" + Version +
             "\r\n"},
        {"own address",
         TServiceKind::OwnAddress,
         THumidityPlace::Outdoor,
         {FrostReading()},
         "GET /wx?st=KXXCITY12&k=" + EncodedKey +
             "&t=-12.3&in=22.0&h=85&p=993.3&at=2026-01-31%2012%3A34%3A56 HTTP/1.1"},
        {"own address, a missing value left out",
         TServiceKind::OwnAddress,
         THumidityPlace::Indoor,
         {ThawlessReading},
         "GET /wx?st=KXXCITY12&k=" + EncodedKey + "&in=21.5&p=991.9&at=2026-01-31%2013%3A00%3A00 HTTP/1.1"},
    };
    for (const TGolden& row : table) {
        SCOPED_TRACE(row.Name);
        TUploadRig rig;
        rig.Common.HumidityPlace = row.Humidity;
        rig.Http.Script = [&row](const QByteArray&) { return Accepting(row.Kind); };
        for (const TWeatherReading& reading : row.Readings)
            rig.Source.Add(reading);
        rig.Clock.Advance(rig.Clock.NowUtc().secsTo(row.Readings.back().Time) + 60);
        auto uploader = rig.Uploader(row.Kind);
        ASSERT_TRUE(rig.Step(*uploader));
        ASSERT_TRUE(testsupport::PumpUntil([&] { return rig.Received() == 1; }));
        EXPECT_EQ(uploader->State().Sent, static_cast<qint64>(row.Readings.size()))
            << uploader->State().LastError.toStdString();
        if (Facts(row.Kind).Transport == TTransport::HttpGet) {
            const QByteArray& request = rig.Http.Requests.front();
            EXPECT_EQ(THttpStandIn::RequestLine(request), row.Expected);
            EXPECT_EQ(THttpStandIn::Header(request, "User-Agent"), "meteostation/" + Version);
            // Windy's password goes in the header, never in the address.
            EXPECT_EQ(THttpStandIn::Header(request, "Authorization"),
                      row.Kind == TServiceKind::Windy ? ("Bearer " + AwkwardKey).toUtf8() : QByteArray());
        } else {
            const auto& sessions = row.Kind == TServiceKind::Cwop ? rig.Aprs.Sessions : rig.Narodmon.Sessions;
            EXPECT_EQ(sessions.front(), row.Expected);
        }
    }
}

TEST(PublishRequests, NumbersCoordinatesAndTemperaturesAreWrittenAsTheServicesRead)
{
    const std::vector<std::pair<std::pair<double, int>, QByteArray>> numbers{
        {{-0.04, 1}, "0.0"}, {{9.86, 1}, "9.9"}, {{84.5, 0}, "85"}, {{29.33071, 3}, "29.331"}, {{-14.29, 1}, "-14.3"}};
    for (const auto& [in, text] : numbers)
        EXPECT_EQ(FixedText(in.first, in.second), text) << in.first;

    EXPECT_EQ(AprsLatitude(55.7353), "5544.12N");
    EXPECT_EQ(AprsLatitude(-33.999999), "3400.00S"); // 59.99994 minutes round into the next degree
    EXPECT_EQ(AprsLatitude(0.0), "0000.00N");
    EXPECT_EQ(AprsLongitude(37.6160), "03736.96E");
    EXPECT_EQ(AprsLongitude(-122.5), "12230.00W");

    // °F in three characters; 100 % as h00.
    const std::vector<std::pair<double, QByteArray>> temperatures{
        {-15.0, "t005h00"}, {-20.55, "t-05h00"}, {22.2, "t072h00"}, {-40.0, "t-40h00"}};
    for (const auto& [celsius, expected] : temperatures) {
        TPublishedValues values;
        values.Time = CwopTime;
        values.OutdoorC = celsius;
        values.OutdoorHumidity = 100.0;
        const QByteArray packet = CwopPacket("CW1234", {}, {55.0, 37.0, 0, true}, {}, values).Packet;
        EXPECT_TRUE(packet.contains("g..." + expected + ".meteostation")) << packet.constData();
    }
}

TEST(PublishRequests, StationPressureIsReducedToSeaLevelWhereTheOwnerSaysSo)
{
    TPublishSettings settings;
    settings.Place.PressureAtSeaLevel = false;
    settings.Place.ElevationM = 304.8;
    // 948.08 hPa at 304.8 m: altimeter setting 983.0 hPa.
    const TPublishedValues values = PublishedValues({Start, 20.0, 0.0, 948.08 / 1.33322387415, 50.0}, settings);
    EXPECT_NEAR(*values.AltimeterHpa, 983.0, 0.05);
    EXPECT_GT(*values.SeaLevelHpa(), 983.0);
    EXPECT_FALSE(values.OutdoorHumidity);
    EXPECT_FALSE(values.DewPointC) << "no dew point from an indoor humidity";
    EXPECT_EQ(*values.IndoorHumidity, 50.0);
}

TEST(PublishRequests, TheOwnAddressTemplateIsCheckedAtEntry)
{
    const std::vector<std::pair<QString, QString>> table{
        {QStringLiteral("https://example.org/wx?t={tempc}&at={unixtime}"), QString()},
        {QStringLiteral("https://example.org/wx?t={temp}"),
         QStringLiteral("Неизвестная подстановка {temp}. Известные: "
                        "{id}, {key}, {dateutc}, {time}, ")},
        {QStringLiteral("https://example.org/wx?t={tempc"), QStringLiteral("без закрывающей")},
        {QStringLiteral("https://example.org/wx?t=}"), QStringLiteral("лишняя")},
        {QStringLiteral("ftp://example.org/{tempc}"), QStringLiteral("http:// или https://")},
        {QStringLiteral("{tempc}"), QStringLiteral("http:// или https://")},
    };
    for (const auto& [urlTemplate, expected] : table) {
        const QString problem = TemplateProblem(urlTemplate);
        if (expected.isEmpty())
            EXPECT_EQ(problem, QString());
        else
            EXPECT_TRUE(problem.contains(expected)) << problem.toStdString();
    }
    const QString all = TemplateProblem(QStringLiteral("http://x/{nope}"));
    for (const QString& known : KnownPlaceholders())
        EXPECT_TRUE(all.contains(known)) << known.toStdString();
    // Without the reading's time the server cannot tell the past from the present.
    TServiceSettings own{TServiceKind::OwnAddress, {}, {}, 0, {}, QStringLiteral("http://x/?t={tempc}")};
    EXPECT_TRUE(FactsFor(own).OnlyNewest);
    own.UrlTemplate += QStringLiteral("&at={dateutc}");
    EXPECT_FALSE(FactsFor(own).OnlyNewest);
}

TEST(PublishRequests, SettingsThatWouldBreakARequestAreRefused)
{
    TPublishSettings placed;
    placed.Place.Latitude = 55.0;
    placed.Place.Longitude = 37.0;
    TPublishSettings nowhere = placed; // as "latitude=nan" in a file reads
    nowhere.Place.Latitude = std::nan("");
    struct TRow
    {
        TServiceSettings Settings;
        TPublishSettings Common;
        const char* Problem; // a piece of the message; empty: none
    };
    const QString key = QStringLiteral("secret");
    const std::vector<TRow> table{
        {{TServiceKind::NarodmonTcp, QStringLiteral("47-6A-37-19-01-90"), {}}, {}, ""},
        {{TServiceKind::NarodmonTcp, QStringLiteral("AB\n#T1#99"), {}}, {}, "народного мониторинга"},
        {{TServiceKind::Cwop, QStringLiteral("CW1234"), {}}, placed, ""},
        {{TServiceKind::Cwop, QStringLiteral("CW1234>APRS"), {}}, placed, "Позывной CWOP"},
        {{TServiceKind::Cwop, QStringLiteral("CW1234"), {}}, {}, "широту и долготу"},
        {{TServiceKind::Cwop, QStringLiteral("CW1234"), {}}, nowhere, "Широта"},
        {{TServiceKind::Cwop, QStringLiteral("UA3ABC-13"), QStringLiteral("1 2")}, placed, "Код доступа"},
        {{TServiceKind::WeatherUnderground, QStringLiteral("KXXCITY12"), {}}, {}, "ключ"},
        {{TServiceKind::Windy, QStringLiteral("f07f453a"), QStringLiteral("pw\r\nX-Evil: 1")}, {}, "управляющие"},
        {{TServiceKind::Windy, QStringLiteral("f07f453a"), key, 0, QStringLiteral("ftp://127.0.0.1/")}, {}, "http://"},
        {{TServiceKind::Cwop, QStringLiteral("CW1234"), {}, 0, QStringLiteral("http://127.0.0.1:1/")},
         placed,
         "tcp://сервер:порт"},
    };
    for (const TRow& row : table) {
        const QString problem = SettingsProblem(row.Settings, row.Common);
        if (*row.Problem == 0)
            EXPECT_EQ(problem, QString()) << row.Settings.StationId.toStdString();
        else
            EXPECT_TRUE(problem.contains(QString::fromUtf8(row.Problem)))
                << row.Settings.StationId.toStdString() << ": " << problem.toStdString();
    }

    // The environment variable wins over the setting; the real service is the last resort.
    TServiceSettings windy{TServiceKind::Windy, QStringLiteral("f07f453a"), key, 0,
                           QStringLiteral("http://127.0.0.1:1/setting")};
    EXPECT_EQ(ResolveEndpoint(windy).Url, QUrl(QStringLiteral("http://127.0.0.1:1/setting")));
    qputenv("METEO_WINDY_URL", "http://127.0.0.1:2/variable");
    EXPECT_EQ(ResolveEndpoint(windy).Url, QUrl(QStringLiteral("http://127.0.0.1:2/variable")));
    qunsetenv("METEO_WINDY_URL");
    windy.EndpointOverride.clear();
    EXPECT_EQ(ResolveEndpoint(windy).Url.host(), QStringLiteral("stations.windy.com"));
    EXPECT_EQ(EffectiveIntervalMinutes({TServiceKind::Cwop, {}, {}, 1}), 5) << "CWOP at most every 5 minutes";
    EXPECT_EQ(EffectiveIntervalMinutes({TServiceKind::NarodmonTcp, {}, {}, 0}), 5);
}

// "publish.ini" may point a service elsewhere, and the station's key goes there: the address is
// taken only from a file that no one else may change, otherwise the real service's, saying why.
TEST(NetworksFile, AnAddressIsTakenOnlyFromAFileNoOneElseMayChange)
{
    QTemporaryDir folder;
    const QString file = PublishFilePath(folder.path());
    ASSERT_TRUE(testsupport::WriteFileBytes(file, "[wunderground]\nenabled=true\naddress=http://127.0.0.1:1/x\n"));
    for (const mode_t mode : {0600u, 0644u, 0620u, 0602u, 0666u}) {
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), mode), 0);
        const auto entries = LoadNetworkEntries(folder.path());
        const TNetworkEntry& wu = entries[1].Settings;
        ASSERT_EQ(wu.Settings.Kind, TServiceKind::WeatherUnderground);
        const bool taken = (mode & 022) == 0;
        EXPECT_EQ(wu.AddressRefusal,
                  taken ? QString()
                        : QStringLiteral("Адрес сервиса в «publish.ini» не принят: файл могут "
                                         "менять другие пользователи (права 0%1).")
                              .arg(mode, 0, 8));
        EXPECT_EQ(ResolveEndpoint(wu.Settings).Url.host(),
                  taken ? QStringLiteral("127.0.0.1") : QStringLiteral("weatherstation.wunderground.com"));
        EXPECT_EQ(entries[2].Settings.AddressRefusal, QString()) << "a service without an address of the file's";
    }
}

} // namespace
} // namespace uploadtest
