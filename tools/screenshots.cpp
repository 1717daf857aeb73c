// meteostation-screenshots: pictures of the six pages for the README, made from the demo's set-up
// (the window over simulated HID with the stand-in station) offscreen. The station's clock and
// history are fixed, so the pictures only change when the program does, but for the time of the
// last message on the publishing page: that page publishes to a mosquitto broker the tool starts
// on 127.0.0.1 (Debian's mosquitto; without it the page shows its attempts).
//
//   meteostation-screenshots <folder>
#include "gui/error_box.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/archive_page.h"
#include "station/main_form.h"
#include "station/mqtt_block.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>

namespace {

using namespace std::chrono_literals;

// Runs the event loop, letting `station` time pass, until `done` holds; false after 10 s.
bool RunUntil(simulator::TSimStation& station, const std::function<bool()>& done, std::chrono::milliseconds step = 10ms)
{
    QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        station.Advance(step);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

bool Save(TForm1& form, const QDir& folder, const char* name)
{
    QCoreApplication::processEvents();
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!form.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The broker the publishing page publishes to, with the settings that the window reads at its
// start; a fixed port, so the picture shows the same address every time.
constexpr int BrokerPort = 18883;

bool StartBroker(QProcess& broker, const QDir& work)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"});
    if (program.isEmpty())
        return false;
    QFile config(work.filePath(QStringLiteral("broker.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(BrokerPort).toUtf8());
    config.close();
    broker.setProcessChannelMode(QProcess::MergedChannels);
    broker.start(program, {QStringLiteral("-c"), config.fileName()});
    return broker.waitForStarted();
}

void WritePublishSettings(const QDir& work)
{
    QFile file(work.filePath(QStringLiteral("publish.ini")));
    if (file.open(QIODevice::WriteOnly))
        file.write(QStringLiteral("[mqtt]\nenabled=true\nhost=127.0.0.1\nport=%1\ninterval_seconds=0\n")
                       .arg(BrokerPort)
                       .toUtf8());
}

// As if the user had chosen the page: the window hears of it only from the user.
void ChoosePage(TForm1& form, int page)
{
    form.PageControl1->SetActivePageIndex(page);
    form.PageControl1Change();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    gui::TApplication app(argc, argv);
    gui::TApplication::setApplicationName(QStringLiteral("Метеостанция"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: meteostation-screenshots <folder>\n");
        return 2;
    }
    QDir output(QString::fromLocal8Bit(argv[1]));
    if (!output.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    output.setPath(output.absolutePath());

    // The window keeps its files in the current folder; none of them belongs in the pictures' folder.
    QTemporaryDir work;
    if (!work.isValid() || !QDir::setCurrent(work.path()))
        return 1;

    constexpr std::uint32_t Seed = 2016;
    const simulator::TStationDateTime now{2026, 12, 5, 18, 20, 0};
    hidplatform::SimPlatform platform;
    simulator::TSimStation station(platform, Seed, now);
    station.Model().FillPlausibleHistory(60, now, Seed);

    QProcess broker;
    if (!StartBroker(broker, QDir(work.path())))
        std::fprintf(stderr, "no mosquitto broker: the publishing page shows its attempts\n");
    WritePublishSettings(QDir(work.path()));

    TForm1 form(platform);
    form.SetClock([] { return QDateTime(QDate(2026, 12, 5), QTime(18, 20, 0)); });
    form.show();
    station.Plug();
    const QString connected = QStringLiteral("Метеостанция подключена");
    if (!RunUntil(station, [&] { return form.Panel1->Caption() == connected; })) {
        std::fprintf(stderr, "the stand-in station was not found\n");
        return 1;
    }
    RunUntil(station, [&] { return form.Panel2->Caption().contains(QLatin1Char('+')); });
    bool ok = Save(form, output, "page0-readings.png");

    ChoosePage(form, 1);
    form.Button1->click();
    ok = RunUntil(
             station, [&] { return form.Station.DownloadActive == 0; }, 8ms) &&
        ok;
    ok = Save(form, output, "page1-diagram.png") && ok;

    ChoosePage(form, 2);
    form.Button6->click();
    RunUntil(
        station, [&] { return form.Station.SettingsLive == 1 && !form.LabeledEdit1->Text().isEmpty(); }, 500ms);
    form.RadioGroup1->Button(2)->click();
    ok = Save(form, output, "page2-settings.png") && ok;

    ChoosePage(form, 3);
    ok = Save(form, output, "page3-help.png") && ok;

    // The archive holds the download; its month view shows each day's range and mean.
    ChoosePage(form, 4);
    form.ArchivePage1->ShowPeriod(archive::TPeriodKind::Month, QDate(2026, 11, 20));
    ok = Save(form, output, "page4-archive.png") && ok;

    ChoosePage(form, 5);
    RunUntil(station, [&] { return form.MqttBlock1->LastSentLabel->text().contains(QStringLiteral("отправлено")); });
    ok = Save(form, output, "page5-publish.png") && ok;

    form.close();
    broker.terminate();
    broker.waitForFinished();
    return ok ? 0 : 1;
}
