// The demo left running as an owner leaves it: the stand-in station streaming ten reports a second,
// the readings published to a mosquitto broker on 127.0.0.1 every 30 s and uploaded to every
// weather network's stand-in there, for a set time (scripts/long-run). Every few minutes it prints
// what a leak or a slowing down would show: resident memory, open descriptors, threads, the
// archive's size, messages and requests sent, and the longest stall of the main thread. At the end
// it checks the figures: memory after the first 10 minutes grows by at most 1 MB an hour,
// descriptors and threads stay as they were then, every complete sample went to each service that
// catches up at most once and none of them was left out, and the archive passes its integrity
// check. Exit status 0 when all hold. The stand-ins answer on a thread of their own; what they and
// the broker's watcher keep of the traffic (a few hundred requests and messages an hour) is counted
// in the process's memory too.
#include "archive/archive_store.h"
#include "demo/demo_setup.h"
#include "publish/networks/upload_state.h"
#include "publishing/mqtt_publishing.h"
#include "publishing/network_publishing.h"
#include "station/publishing_built_in.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/network_stand_in.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <map>
#include <set>
#include <sqlite3.h>

namespace {

using publish::TServiceKind;
using testsupport::THttpStandIn;
using testsupport::TStandInReply;
using testsupport::TTcpStandIn;

constexpr qint64 SettleMinutes = 10; // memory, descriptors and threads are compared from here on

struct TFigures
{
    double Minutes = 0;
    qint64 ResidentKb = 0;
    int Descriptors = 0;
    int Threads = 0;
    qint64 ArchiveKb = 0;
    qint64 Requests = 0;
    std::size_t Messages = 0;
    double LongestStallMs = 0;
};

qint64 StatusField(const QByteArray& name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

qint64 ArchiveKb()
{
    qint64 bytes = 0;
    for (const QString& suffix : {QString(), QStringLiteral("-wal")})
        bytes += QFileInfo(archive::ArchiveFileName + suffix).size();
    return bytes / 1024;
}

// The UTC times a request or packet carried: WU's, WOW's and PWSweather's "dateutc", the own
// address's "at", narodmon's unix times.
std::vector<QDateTime> Carried(const QByteArray& sent)
{
    std::vector<QDateTime> times;
    if (sent.startsWith("GET ")) {
        for (const QString& field : {QStringLiteral("dateutc"), QStringLiteral("at")}) {
            const QString text = THttpStandIn::QueryValue(sent, field);
            QDateTime time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            time.setTimeSpec(Qt::UTC);
            if (time.isValid())
                times.push_back(time);
        }
        return times;
    }
    std::set<qint64> seconds;
    const QRegularExpression stamp(QStringLiteral("#(\\d{9,})\\n"));
    for (auto match = stamp.globalMatch(QString::fromLatin1(sent)); match.hasNext();)
        seconds.insert(match.next().captured(1).toLongLong());
    for (const qint64 s : seconds)
        times.push_back(QDateTime::fromSecsSinceEpoch(s, Qt::UTC));
    return times;
}

class TLongRun
{
public:
    explicit TLongRun(double minutes, double reportMinutes)
        : Minutes(minutes)
        , ReportMinutes(reportMinutes)
        , Broker(QDir::currentPath())
    {
    }

    int Run()
    {
        if (!Broker.Start()) {
            std::printf("no broker: %s\n", qPrintable(Broker.Why()));
            return 2;
        }
        StartStandIns();
        Demo.Show();
        Demo.Station.Model().SetStreamInterval(std::chrono::milliseconds(100));
        TurnPublishingOn();
        Watcher = std::make_unique<testsupport::TMqttWatcher>(Broker.PlainPort());
        Watcher->WaitSubscribed();
        StartStallTimer();
        Clock.start();
        Report();
        QTimer reports;
        QObject::connect(&reports, &QTimer::timeout, [this] { Report(); });
        reports.start(static_cast<int>(ReportMinutes * 60000));
        QTimer::singleShot(static_cast<int>(Minutes * 60000), [] { QCoreApplication::quit(); });
        QCoreApplication::exec();
        Report();
        Demo.Form.close();
        // The stand-ins come back to this thread before theirs ends, so that they end here.
        QThread* main = QThread::currentThread();
        QMetaObject::invokeMethod(
            &Http,
            [&] {
                for (QObject* standIn : std::initializer_list<QObject*>{&Http, &Narodmon, &Aprs})
                    standIn->moveToThread(main);
            },
            Qt::BlockingQueuedConnection);
        Services.quit();
        Services.wait();
        return Verdict();
    }

private:
    void StartStandIns()
    {
        Http.Script = [](const QByteArray& request) {
            const QByteArray line = THttpStandIn::RequestLine(request);
            return TStandInReply{200, line.contains(" /wow") ? "{}" : line.contains(" /windy") ? "" : "success"};
        };
        for (QObject* standIn : std::initializer_list<QObject*>{&Http, &Narodmon, &Aprs})
            standIn->moveToThread(&Services);
        Services.start();
    }

    void TurnPublishingOn()
    {
        TStationPublishing& publishing = BuiltInPublishing(Demo.Form);
        publish::TMqttSettings mqtt;
        mqtt.Enabled = true;
        mqtt.Host = QStringLiteral("127.0.0.1");
        mqtt.Port = Broker.PlainPort();
        mqtt.User = testsupport::TMqttBroker::User;
        publishing.Mqtt->Accept(mqtt, testsupport::TMqttBroker::Password);
        TNetworkPublishing& networks = *publishing.Networks;
        testsupport::PumpUntil([&] { return networks.IsLoaded(); });
        publish::TPublishSettings common = networks.Common();
        common.Place.Latitude = 55.7353;
        common.Place.Longitude = 37.6160;
        networks.AcceptCommon(common);
        for (int index = 0; index < networks.Count(); ++index) {
            publish::TNetworkEntry entry = networks.Entry(index);
            entry.Enabled = true;
            entry.Settings.StationId = QStringLiteral("KXXCITY12");
            QString key = QStringLiteral("p&ss wörd");
            switch (entry.Settings.Kind) {
            case TServiceKind::NarodmonTcp:
                entry.Settings.StationId = QStringLiteral("47-6A-37-19-01-90");
                entry.Settings.EndpointOverride = Narodmon.Url();
                key.clear();
                break;
            case TServiceKind::Cwop:
                entry.Settings.StationId = QStringLiteral("CW1234");
                entry.Settings.EndpointOverride = Aprs.Url();
                key.clear();
                break;
            case TServiceKind::OwnAddress:
                entry.Settings.UrlTemplate = Http.Url(QStringLiteral("/own?t={tempc}&at={dateutc}"));
                key.clear();
                break;
            default:
                entry.Settings.EndpointOverride =
                    Http.Url(QLatin1Char('/') + QLatin1String(publish::Facts(entry.Settings.Kind).PositionKey));
                break;
            }
            networks.Accept(index, entry, key);
        }
    }

    void StartStallTimer()
    {
        StallTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&StallTimer, &QTimer::timeout, [this] {
            const qint64 now = StallClock.nsecsElapsed();
            LongestGapNs = std::max(LongestGapNs, now - LastTurnNs);
            LastTurnNs = now;
        });
        StallClock.start();
        StallTimer.start(1);
    }

    qint64 RequestCount()
    {
        qint64 count = 0;
        QMetaObject::invokeMethod(
            &Http, [&] { count = Http.Requests.size() + Narodmon.Sessions.size() + Aprs.Sessions.size(); },
            Qt::BlockingQueuedConnection);
        return count;
    }

    void Report()
    {
        TFigures figures;
        figures.Minutes = static_cast<double>(Clock.elapsed()) / 60000;
        figures.ResidentKb = StatusField("VmRSS");
        figures.Threads = static_cast<int>(StatusField("Threads"));
        figures.Descriptors = static_cast<int>(
            QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
        figures.ArchiveKb = ArchiveKb();
        figures.Requests = RequestCount();
        figures.Messages = Watcher ? Watcher->Count() : 0;
        figures.LongestStallMs = static_cast<double>(LongestGapNs) / 1e6;
        LongestGapNs = 0;
        std::printf("%7.1f min  память %7lld КБ  дескрипторы %4d  потоки %3d  архив %7lld КБ  запросы %6lld  "
                    "сообщения MQTT %6zu  самая долгая остановка %6.1f мс\n",
                    figures.Minutes, static_cast<long long>(figures.ResidentKb), figures.Descriptors, figures.Threads,
                    static_cast<long long>(figures.ArchiveKb), static_cast<long long>(figures.Requests),
                    figures.Messages, figures.LongestStallMs);
        std::fflush(stdout);
        History.push_back(figures);
    }

    // Each catching-up service got every complete sample since the start at most once, and none
    // but the last few (still under way at the end) was left out.
    bool EachReadingOnce()
    {
        std::map<QByteArray, std::vector<QDateTime>> sent;
        for (const QByteArray& request : Http.Requests) {
            const QByteArray path = THttpStandIn::RequestLine(request).split(' ').value(1).split('?').value(0);
            for (const QDateTime& time : Carried(request))
                sent[path].push_back(time);
        }
        for (const QByteArray& packet : Narodmon.Sessions)
            for (const QDateTime& time : Carried(packet))
                sent["narodmon"].push_back(time);
        archive::TArchiveStore store(archive::ArchiveFileName);
        std::set<QDateTime> samples;
        const QDateTime end = QDateTime::currentDateTimeUtc();
        for (const archive::TUploadReading& reading : store.UploadReadingsAfter(Started, 1000000, end).Readings)
            if (reading.TimeUtc < end.addSecs(qint64{-15} * 60))
                samples.insert(reading.TimeUtc);
        bool good = true;
        for (const char* service : {"/own", "narodmon", "/wunderground", "/wow", "/pwsweather"}) {
            const std::vector<QDateTime>& times = sent[QByteArray(service)];
            const std::set<QDateTime> unique(times.begin(), times.end());
            qint64 missing = 0;
            for (const QDateTime& sample : samples)
                missing += unique.count(sample) == 0 ? 1 : 0;
            const qint64 twice = static_cast<qint64>(times.size() - unique.size());
            std::printf("%-14s отправлено %5zu, дважды %lld, не отправлено %lld из %zu\n", service, times.size(),
                        static_cast<long long>(twice), static_cast<long long>(missing), samples.size());
            good = good && twice == 0 && missing == 0;
        }
        return good;
    }

    bool ArchiveIsWhole()
    {
        sqlite3* db = nullptr;
        bool whole = false;
        if (sqlite3_open_v2(QFile::encodeName(archive::ArchiveFileName).constData(), &db, SQLITE_OPEN_READONLY,
                            nullptr) == SQLITE_OK) {
            sqlite3_stmt* check = nullptr;
            if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK &&
                sqlite3_step(check) == SQLITE_ROW)
                whole = std::string(reinterpret_cast<const char*>(sqlite3_column_text(check, 0))) == "ok";
            sqlite3_finalize(check);
        }
        sqlite3_close(db);
        std::printf("проверка целостности архива: %s\n", whole ? "ok" : "НЕ ПРОШЛА");
        return whole;
    }

    int Verdict()
    {
        const auto settled =
            std::find_if(History.begin(), History.end(), [](const TFigures& f) { return f.Minutes >= SettleMinutes; });
        bool good = true;
        // A trend wants some time after the first minutes: under AddressSanitizer, whose quarantine
        // holds freed memory, the short form's figure is its leak check at the end instead.
        if (settled != History.end() && History.back().Minutes - settled->Minutes >= SettleMinutes) {
            // The slope of a straight line through the figures after the first minutes, so that one
            // report's ups and downs do not pass for a trend.
            double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
            for (auto it = settled; it != History.end(); ++it) {
                const double x = it->Minutes / 60;
                const double y = static_cast<double>(it->ResidentKb) / 1024;
                n += 1;
                sx += x;
                sy += y;
                sxx += x * x;
                sxy += x * y;
            }
            const double growthMbPerHour = (n * sxy - sx * sy) / (n * sxx - sx * sx);
            // Sockets and Qt's pooled threads come and go with the requests: what counts is that the
            // most of each after the first minutes is no more than the most before.
            const auto most = [](auto from, auto to, int TFigures::*field) {
                int top = 0;
                for (auto it = from; it != to; ++it)
                    top = std::max(top, (*it).*field);
                return top;
            };
            const auto before = std::next(settled);
            const bool steady = most(settled, History.end(), &TFigures::Descriptors) <=
                    most(History.begin(), before, &TFigures::Descriptors) &&
                most(settled, History.end(), &TFigures::Threads) <= most(History.begin(), before, &TFigures::Threads);
            std::printf("рост памяти после %lld мин: %.2f МБ в час (не больше 1); дескрипторы и потоки %s\n",
                        static_cast<long long>(SettleMinutes), growthMbPerHour, steady ? "те же" : "ИЗМЕНИЛИСЬ");
            good = growthMbPerHour <= 1.0 && steady;
        } else {
            std::printf("прогон короче %lld минут: рост памяти не оценён\n", static_cast<long long>(2 * SettleMinutes));
        }
        TNetworkPublishing& networks = *BuiltInPublishing(Demo.Form).Networks;
        for (int index = 0; index < networks.Count(); ++index)
            if (const publish::TUploadState* state = networks.State(index))
                std::printf("%-20s отправлено %lld; %s; %s\n",
                            qPrintable(publish::Facts(networks.Entry(index).Settings.Kind).Title),
                            static_cast<long long>(state->Sent), qPrintable(publish::StateTexts(*state).Waiting),
                            qPrintable(publish::StateTexts(*state).LastError));
        good = EachReadingOnce() && good;
        good = ArchiveIsWhole() && good;
        std::printf("%s\n", good ? "ИТОГ: всё в норме" : "ИТОГ: есть отклонения");
        return good ? 0 : 1;
    }

    double Minutes;
    double ReportMinutes;
    testsupport::TMqttBroker Broker;
    QThread Services;
    THttpStandIn Http;
    TTcpStandIn Narodmon{TTcpStandIn::TRole::Narodmon};
    TTcpStandIn Aprs{TTcpStandIn::TRole::AprsIs};
    TDemo Demo;
    std::unique_ptr<testsupport::TMqttWatcher> Watcher;
    QElapsedTimer Clock;
    QDateTime Started = QDateTime::currentDateTimeUtc();
    QTimer StallTimer;
    QElapsedTimer StallClock;
    qint64 LastTurnNs = 0;
    qint64 LongestGapNs = 0;
    std::vector<TFigures> History;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const double minutes = arguments.value(1, QStringLiteral("120")).toDouble();
    const double reportMinutes = arguments.value(2, QStringLiteral("5")).toDouble();
    if (minutes <= 0 || reportMinutes <= 0) {
        std::fprintf(stderr, "usage: bench_long_run [minutes, 120] [minutes between reports, 5]\n");
        return 2;
    }
    testsupport::TFreshCurrentFolder folder;
    if (!folder.Entered())
        return 2;
    TLongRun run(minutes, reportMinutes);
    return run.Run();
}
