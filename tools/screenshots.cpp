// meteostation-screenshots: pictures of the six pages for the README, made from the demo's set-up
// (the window over simulated HID with the stand-in station) offscreen. The station's clock and
// history are fixed, so the pictures only change when the program does, but for the time of the
// last message on the publishing page: that page publishes to a mosquitto broker the tool starts
// on 127.0.0.1 (Debian's mosquitto; without it the page shows its attempts).
//
//   meteostation-screenshots <folder>
//   meteostation-screenshots --tray <folder>   (on an X display with a tray host, e.g. Xvfb and
//                                               trayer: the tray icon with its tooltip as well)
#include "core/alarm_watch.h"
#include "gui/error_box.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/archive_page.h"
#include "station/main_form.h"
#include "station/mqtt_block.h"
#include "station/publish_page.h"
#include "station/publishing_built_in.h"
#include "station/tray_side.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QToolTip>
#include <chrono>
#include <cstdio>
#include <cstring>
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
// The web page's, on every interface as the home network's is (the picture shows its addresses).
constexpr int WebPort = 18080;

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
        file.write(QStringLiteral("[mqtt]\nenabled=true\nhost=127.0.0.1\nport=%1\ninterval_seconds=0\n"
                                  "[web]\nenabled=true\nport=%2\nscope=home-network\n")
                       .arg(BrokerPort)
                       .arg(WebPort)
                       .toUtf8());
}

// The tray icon with its tooltip, cut from the screen around the icon.
bool SaveTray(TForm1& form, simulator::TSimStation& station, const QDir& folder)
{
    QSystemTrayIcon* tray = form.TraySide->Tray;
    if (!RunUntil(station, [&] { return tray->isVisible() && tray->geometry().isValid(); })) {
        std::fprintf(stderr, "no tray icon: is a tray host running?\n");
        return false;
    }
    const QRect icon = tray->geometry();
    QToolTip::showText(icon.bottomLeft() + QPoint(0, 4), tray->toolTip());
    RunUntil(
        station, [] { return QToolTip::isVisible(); }, 50ms);
    QDeadlineTimer settle(500);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = QRect(icon.right() - 420, icon.top() - 4, 440, 200).intersected(screen->geometry());
    const QString path = folder.filePath(QStringLiteral("tray-tooltip.png"));
    if (!screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// As if the user had chosen the page: the window hears of it only from the user.
void ChoosePage(TForm1& form, TFormPage page)
{
    form.PageControl1->SetActivePageIndex(PageIndex(page));
    form.PageControl1Change();
}

// Every page in turn with what it shows once the station has been read: the readings, the
// diagram after a download, the settings, the help, the archive's month, the publishing, the
// readings with the forecast, the alarms.
bool SavePages(TForm1& form, simulator::TSimStation& station, const QDir& output)
{
    bool ok = Save(form, output, "page0-readings.png");

    ChoosePage(form, TFormPage::Diagram);
    form.Button1->click();
    ok = RunUntil(
             station, [&] { return form.Station.DownloadActive == 0; }, 8ms) &&
        ok;
    ok = Save(form, output, "page1-diagram.png") && ok;

    ChoosePage(form, TFormPage::Settings);
    form.Button6->click();
    RunUntil(
        station, [&] { return form.Station.SettingsLive == 1 && !form.LabeledEdit1->Text().isEmpty(); }, 500ms);
    form.RadioGroup1->Button(2)->click();
    ok = Save(form, output, "page2-settings.png") && ok;

    ChoosePage(form, TFormPage::Help);
    ok = Save(form, output, "page3-help.png") && ok;

    // The archive holds the download; its month view shows each day's range and mean.
    ChoosePage(form, TFormPage::Archive);
    form.ArchivePage1->ShowPeriod(archive::TPeriodKind::Month, QDate(2026, 11, 20));
    // A month and the holdings line are read aside: the picture waits for both.
    const archive::TPeriod month = archive::PeriodContaining(archive::TPeriodKind::Month, QDate(2026, 11, 20));
    RunUntil(station, [&] {
        return form.ArchivePage1->View().Period == month && !form.ArchivePage1->HoldingsLabel->text().isEmpty();
    });
    ok = Save(form, output, "page4-archive.png") && ok;

    ChoosePage(form, TFormPage::Publish);
    RunUntil(station, [&] {
        return BuiltInPublishing(form).MqttBlock->LastSentLabel->text().contains(QStringLiteral("отправлено"));
    });
    ok = Save(form, output, "page5-publish.png") && ok;
    // The web page's block, further down: its addresses with the code and the QR code of the first.
    if (auto* web = form.findChild<QWidget*>(QStringLiteral("WebBlock"))) {
        BuiltInPublishing(form).Page->ensureWidgetVisible(web, 0, 0);
        RunUntil(station, [&] { return web->findChild<QLabel*>(QStringLiteral("WebQrLabel"))->isVisible(); });
        ok = Save(form, output, "page5-web.png") && ok;
    }

    // With the download in the archive the readings page has three hours of pressure: the trend and
    // the forecast below the panels.
    ChoosePage(form, TFormPage::Readings);
    RunUntil(station, [&] { return form.AlarmWatch->Outlook().Trend().has_value(); });
    ok = Save(form, output, "page0-readings-forecast.png") && ok;

    ChoosePage(form, TFormPage::Alarms);
    ok = Save(form, output, "page6-alarms.png") && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const bool tray = argc == 3 && std::strcmp(argv[1], "--tray") == 0;
    if (!tray)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    gui::TApplication app(argc, argv);
    gui::TApplication::setApplicationName(QStringLiteral("Метеостанция"));
    if (argc != (tray ? 3 : 2)) {
        std::fprintf(stderr, "usage: meteostation-screenshots [--tray] <folder>\n");
        return 2;
    }
    QDir output(QString::fromLocal8Bit(argv[tray ? 2 : 1]));
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
    bool ok = SavePages(form, station, output);
    if (tray) {
        ChoosePage(form, TFormPage::Readings);
        ok = SaveTray(form, station, output) && ok;
    }

    form.close();
    broker.terminate();
    broker.waitForFinished();
    return ok ? 0 : 1;
}
