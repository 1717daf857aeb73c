// The web page in a real browser (headless chromium), on a phone's screen and on a desktop's: the
// core runs against the stand-in station with forty days in its archive, and the server is fed from
// the core as the program feeds it. Pictures of every page go to /tmp/meteo-web-<page>-<screen>.png.
#include "archive/archive_reader.h"
#include "core/outlook_feed.h"
#include "core/station_core.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "tests/support/headless_browser.h"
#include "web/web_server.h"

#include <QJsonArray>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace std::chrono_literals;
using testsupport::THeadlessBrowser;
using testsupport::TViewport;

constexpr TViewport Screens[] = {{"phone", 390, 844, true}, {"desktop", 1280, 800, false}};
constexpr archive::THourKey HistoryDays = 40;

// The core over the stand-in station in a fresh data folder, the archive holding every hour of the
// last forty days (outdoor `hour - 10 + day % 3`), and the web server fed with its readings, link
// state and outlook.
class WebBrowser : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString why = THeadlessBrowser::Unavailable(); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        ASSERT_TRUE(Folder.Entered());
        Station.Plug();
        Core.SetClock([this] { return Clock; });
        Core.SetStreamSilenceTimeout(std::numeric_limits<int>::max());
        Core.OpenArchive();
        ASSERT_NE(Core.Archive(), nullptr);
        ASSERT_TRUE(Core.Archive()->Merge(History()).Ok);
        QObject::connect(&Core, &TStationCore::PresenceChanged,
                         [this](base::TStationPresence presence) { Server.TakeLinkState(presence); });
        // Through the outlook, gone before the core.
        QObject::connect(&Core, &TStationCore::Reading, &Outlook, [this](const base::TStationReading& reading) {
            Last = reading;
            Server.TakeReading(reading);
            if (Outlook.TakeReading(reading))
                Server.TakeOutlook(Outlook.Outlook().TrendLine(), Outlook.Outlook().ForecastLine());
        });
        Settings.Enabled = true;
        Settings.Port = 0;
        const web::TWebStartResult started = Server.Start(Settings);
        ASSERT_TRUE(started.Ok) << started.Problem.toStdString();
        Settings.Port = started.Port;
        Address = QStringLiteral("http://127.0.0.1:%1").arg(started.Port);
        Core.StartLink();
        ASSERT_TRUE(testsupport::PumpUntil([this] { return Core.LinkState() == TLinkState::Connected; }));
        ASSERT_TRUE(SendReading());
    }

    std::vector<archive::THourRecord> History() const
    {
        std::vector<archive::THourRecord> hours;
        const archive::THourKey now = archive::HourKeyOf(Clock);
        for (archive::THourKey hour = now - HistoryDays * 24; hour <= now; ++hour) {
            const int day = static_cast<int>(hour / 24);
            hours.push_back({hour, {21, archive::HourOfDay(hour) - 10 + day % 3, 745 + day % 5, 50}});
        }
        return hours;
    }

    // One report of the station, a minute after the last, taken by the core.
    bool SendReading()
    {
        Clock = Clock.addSecs(60);
        Station.Advance(1000ms);
        return testsupport::PumpUntil([this] {
            return Platform.QueuedInputReports(Station.DeviceId()) == 0 &&
                Platform.WaitingReads(Station.DeviceId()) > 0;
        });
    }

    // The page opened and its scripts done with their first answers, without an error.
    void Open(THeadlessBrowser& browser, const QString& path, const QString& ready)
    {
        ASSERT_TRUE(browser.Open(Address + path)) << browser.Problem().toStdString();
        ASSERT_TRUE(browser.WaitUntil(ready)) << path.toStdString() << ": " << browser.Problem().toStdString();
        EXPECT_EQ(browser.TakeErrors(), QStringList()) << path.toStdString();
    }

    static void Picture(THeadlessBrowser& browser, const char* page, const TViewport& screen)
    {
        EXPECT_TRUE(browser.SaveScreenshot(QStringLiteral("/tmp/meteo-web-%1-%2.png").arg(page, screen.Name)));
        const QJsonArray widths =
            browser
                .Evaluate(
                    QStringLiteral("[document.documentElement.scrollWidth, document.documentElement.clientWidth]"))
                .toArray();
        EXPECT_LE(widths[0].toInt(), widths[1].toInt()) << page << " overflows the " << screen.Name << "'s width";
        EXPECT_LE(widths[1].toInt(), screen.Width) << page;
    }

    testsupport::TFreshCurrentFolder Folder;
    hidplatform::SimPlatform Platform;
    simulator::TSimStation Station{Platform, 7, {2024, 3, 7, 14, 0, 0}};
    QDateTime Clock = QDateTime::currentDateTime();
    // Before the core, which feeds them until it is gone.
    web::TWebServer Server{QDir(Folder.Path()).filePath(archive::ArchiveFileName)};
    web::TWebSettings Settings;
    QString Address;
    base::TStationReading Last;
    TStationCore Core{Platform};
    TOutlookFeed Outlook{Core};
};

const QString StreamOpen = QStringLiteral("document.body.dataset.stream === 'open'");
QString Text(const char* id)
{
    return QStringLiteral("document.getElementById('%1').textContent").arg(QLatin1String(id));
}

TEST_F(WebBrowser, NowArchiveAndRecordsOnAPhoneAndADesktop)
{
    for (const TViewport& screen : Screens) {
        SCOPED_TRACE(screen.Name);
        THeadlessBrowser browser(screen);
        ASSERT_TRUE(browser.Ready()) << browser.Problem().toStdString();

        // «Сейчас»: the last reading, the station's state and the outlook, kept live.
        Open(browser, QStringLiteral("/"), StreamOpen + QStringLiteral(" && ") + Text("state") + " === 'подключена'");
        const QJsonObject shown =
            browser
                .Evaluate(
                    QStringLiteral("Object.fromEntries(['outdoor', 'indoor', 'pressure', 'humidity', 'trend', "
                                   "'forecast', 'time'].map((id) => [id, document.getElementById(id).textContent]))"))
                .toObject();
        EXPECT_EQ(shown["outdoor"].toString(),
                  QStringLiteral("%1°C").arg(*Last.Value(base::TQuantity::OutdoorTemperature)));
        EXPECT_EQ(shown["indoor"].toString(),
                  QStringLiteral("%1°C").arg(*Last.Value(base::TQuantity::IndoorTemperature)));
        EXPECT_EQ(shown["pressure"].toString(),
                  QStringLiteral("%1 мм рт.ст.").arg(*Last.Value(base::TQuantity::Pressure)));
        EXPECT_EQ(shown["humidity"].toString(), QStringLiteral("%1%").arg(*Last.Value(base::TQuantity::Humidity)));
        EXPECT_TRUE(shown["trend"].toString().startsWith(QStringLiteral("Давление")));
        EXPECT_TRUE(shown["forecast"].toString().startsWith(QStringLiteral("Прогноз")));
        EXPECT_TRUE(shown["time"].toString().contains(Clock.toString(QStringLiteral("HH:mm"))));
        Picture(browser, "now", screen);

        // A new report reaches the screen within a second, measured at the page's next frame.
        browser.Evaluate(QStringLiteral(R"(window.shownAt = []; new MutationObserver(() => requestAnimationFrame(() =>
            shownAt.push({at: performance.timeOrigin + performance.now(), time: %1})))
            .observe(document.getElementById('time'), {childList: true, subtree: true, characterData: true}))")
                             .arg(Text("time")));
        const qint64 sent = QDateTime::currentMSecsSinceEpoch();
        ASSERT_TRUE(SendReading());
        const QString shownTime =
            QStringLiteral("shownAt.find((shown) => shown.time !== '%1')").arg(shown["time"].toString());
        ASSERT_TRUE(browser.WaitUntil(shownTime));
        const double delay = browser.Evaluate(shownTime + QStringLiteral(".at")).toDouble() - static_cast<double>(sent);
        EXPECT_LT(delay, 1000) << "a report took " << delay << " ms to the screen";
        std::printf("[ %s ] a report to the screen: %.1f ms\n", screen.Name, delay);

        // The program's server goes and comes back: the page says so both times.
        Server.Stop();
        EXPECT_TRUE(browser.WaitUntil(QStringLiteral("document.body.dataset.stream === 'lost' && ") + Text("link") +
                                      ".includes('потеряна')"));
        Picture(browser, "lost", screen);
        ASSERT_TRUE(Server.Start(Settings).Ok);
        EXPECT_TRUE(
            browser.WaitUntil(StreamOpen + QStringLiteral(" && ") + Text("link") + ".includes('восстановлена')"));
        browser.TakeErrors(); // the refused reconnections

        // «Архив»: a day steps back and forth; the longer periods draw their days' ranges.
        const QString drawn = QStringLiteral("document.querySelector('#chart svg path.line')?.getAttribute('d')");
        Open(browser, QStringLiteral("/archive"), drawn);
        const QString today = browser.Evaluate(Text("title")).toString();
        browser.Evaluate(QStringLiteral("document.getElementById('back').click()"));
        EXPECT_TRUE(browser.WaitUntil(Text("title") + QStringLiteral(" !== '%1' && ").arg(today) + drawn));
        browser.Evaluate(QStringLiteral("document.getElementById('forward').click()"));
        EXPECT_TRUE(browser.WaitUntil(Text("title") + QStringLiteral(" === '%1'").arg(today)));
        for (const char* period : {"week", "month", "year"}) {
            browser.Evaluate(QStringLiteral("{ const select = document.getElementById('period'); select.value = '%1'; "
                                            "select.dispatchEvent(new Event('change')); }")
                                 .arg(QLatin1String(period)));
            EXPECT_TRUE(browser.WaitUntil(QStringLiteral("document.querySelectorAll('#chart rect.band').length > 1")))
                << period;
            Picture(browser, period, screen);
        }

        // «Рекорды и сводки»: the month's row of a day holds that day's range and mean in the archive.
        const QDate day = Clock.date().addDays(-3);
        Open(browser, QStringLiteral("/records"),
             QStringLiteral("document.querySelectorAll('#month-summary tr').length > 1"));
        Picture(browser, "records", screen);
        browser.Evaluate(QStringLiteral("{ const month = document.getElementById('month'); month.value = '%1'; "
                                        "month.dispatchEvent(new Event('change')); }")
                             .arg(day.toString(QStringLiteral("yyyy-MM"))));
        const QString row = QStringLiteral("[...document.querySelectorAll('#month-summary tr')].find((row) => "
                                           "row.cells[0].textContent === '%1')")
                                .arg(day.toString(QStringLiteral("dd.MM.yyyy")));
        ASSERT_TRUE(browser.WaitUntil(row));
        archive::TArchiveReader reader(Core.Archive()->Path());
        double low = 1e9, high = -1e9, sum = 0;
        const std::vector<archive::TArchiveHour> hours =
            reader.Hours(archive::HourKey(day, 0), archive::HourKey(day, 23));
        ASSERT_EQ(hours.size(), 24u);
        for (const archive::TArchiveHour& hour : hours) {
            const double outdoor = hour.Value(base::TQuantity::OutdoorTemperature);
            low = std::min(low, outdoor);
            high = std::max(high, outdoor);
            sum += outdoor;
        }
        const QJsonArray cells =
            browser
                .Evaluate(QStringLiteral("[%1.cells[1].textContent, `${number(%2)} … ${number(%3)} "
                                         "(${number(%4)})`]")
                              .arg(row)
                              .arg(low)
                              .arg(high)
                              .arg(sum / 24))
                .toArray();
        EXPECT_EQ(cells[0].toString(), cells[1].toString());
        // The month's downloads, CSV and plain text, carry the same day with its high.
        const QString highText = QString::number(std::round(high * 10) / 10, 'f', 1);
        for (const char* link : {"month-csv", "month-text"}) {
            const QString body =
                browser
                    .Evaluate(QStringLiteral("fetch(document.getElementById('%1').href).then((r) => r.text())")
                                  .arg(QLatin1String(link)))
                    .toString();
            const QString line = body.section(day.toString(QStringLiteral("dd.MM.yyyy")), 1).section('\n', 0, 0);
            EXPECT_TRUE(line.contains(highText) || line.contains(QString(highText).replace('.', ',')))
                << link << ": " << body.left(400).toStdString();
        }
        // Dark when the system prefers it.
        ASSERT_TRUE(browser.PreferDark(true));
        EXPECT_TRUE(
            browser.WaitUntil(QStringLiteral("getComputedStyle(document.body).backgroundColor === 'rgb(18, 20, 23)'")));
        Picture(browser, "records-dark", screen);
        EXPECT_EQ(browser.TakeErrors(), QStringList());
    }
}

// From another computer of the home network the page asks for the code; the code sent from its form
// opens the page.
TEST_F(WebBrowser, AnotherComputerIsAskedForTheCode)
{
    Settings.Scope = web::TWebScope::HomeNetwork;
    Settings.AccessCode = QStringLiteral("4711");
    Settings.IsThisComputer = [](const QHostAddress&) { return false; };
    ASSERT_TRUE(Server.Start(Settings).Ok);
    for (const TViewport& screen : Screens) {
        SCOPED_TRACE(screen.Name);
        THeadlessBrowser browser(screen);
        ASSERT_TRUE(browser.Ready()) << browser.Problem().toStdString();
        ASSERT_TRUE(browser.Open(Address + QStringLiteral("/archive")));
        EXPECT_TRUE(browser.WaitUntil(QStringLiteral("document.querySelector('input[name=code]')")));
        Picture(browser, "code", screen);
        const QString send = QStringLiteral("document.querySelector('input[name=code]').value = '%1'; "
                                            "document.querySelector('form').requestSubmit()");
        browser.Evaluate(send.arg(QStringLiteral("1234")));
        EXPECT_TRUE(browser.WaitUntil(QStringLiteral("document.body.textContent.includes('не подошёл')")));
        browser.Evaluate(send.arg(Settings.AccessCode));
        EXPECT_TRUE(browser.WaitUntil(StreamOpen + QStringLiteral(" && ") + Text("state") + " === 'подключена'"));
        EXPECT_EQ(browser.Evaluate(QStringLiteral("location.search")).toString(), QString());
    }
}

} // namespace
