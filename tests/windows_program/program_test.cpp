// The whole program under wine, in real windows on an X display (Xvfb):
// - the demo's set-up in this process (the window over simulated HID with the stand-in station and
//   its control window), driven as a user would: it connects, streams, downloads the station's
//   memory and, closed, writes that memory byte for byte to "met.mtb";
// - the window over the Windows HID backend, with the stand-in station behind the stand-in setup and
//   HID libraries: found at start, unplugged and plugged in again through the
//   system's node-change notice, downloaded from;
// - the weather networks in the demo's window: the archive's last hours caught up to «свой адрес» on a
//   stand-in server on the loopback, through Qt Network and the archive's queue;
// - the shipped programs from the installed folder: each starts, shows its window, and closes on the
//   system's close request, writing its "met.mtb" into the user's application-data folder; the
//   shipped demo uploads through the publishing module it loads from there.
// Screenshots go to the folder named by METEO_SCREENSHOTS.
#include "core/history_file.h"
#include "core/readings_text.h"
#include "demo/demo_setup.h"
#include "gui/error_box.h"
#include "hid/platform/sim/sim_platform.h"
#include "hid/platform/windows/windows_platform.h"
#include "publish/publish_file.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"
#include "station/publishing_built_in.h"
#include "tests/hid_windows/standin/standin_devices.h"
#include "tests/support/every_network_scenario.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTabBar>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <vector>

using testsupport::PumpUntil;
using testsupport::ReadFileBytes;

namespace {

// Far beyond need: every wait ends as soon as its condition holds.
constexpr int DeadlineMs = 30000;

QString ScreenshotPath(const QString& name)
{
    const QString folder = qEnvironmentVariable("METEO_SCREENSHOTS");
    return folder.isEmpty() ? QString() : QDir(folder).filePath(name);
}

QImage GrabScreen()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

// A window has been painted: the screen is no longer all the one colour of the empty desktop.
bool ScreenPainted()
{
    return PumpUntil(
        [] {
            const QImage screen = GrabScreen();
            const QRgb desktop = screen.pixel(0, 0);
            for (int y = 0; y < screen.height(); y += 4)
                for (int x = 0; x < screen.width(); x += 4)
                    if (screen.pixel(x, y) != desktop)
                        return true;
            return false;
        },
        DeadlineMs);
}

void SaveScreenshot(const QString& name)
{
    const QString path = ScreenshotPath(name);
    if (!path.isEmpty()) {
        EXPECT_TRUE(GrabScreen().save(path)) << path.toStdString();
    }
}

// A click of the left button, as the window system delivers it.
void Click(QWidget* widget, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, {}, {});
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

THistoryImage EmptyImage()
{
    THistoryImage image;
    image.fill(HistoryMissing);
    return image;
}

TEST(ProgramUnderWine, TheDemoConnectsStreamsDownloadsAndClosingWritesTheStationsMemory)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    TDemo demo;
    TForm1& form = demo.Form;
    demo.Show();

    ASSERT_TRUE(PumpUntil([&] { return form.Panel1->Caption() == StationConnectedText; }, DeadlineMs));
    // Streaming: the readings replace the placeholders.
    ASSERT_TRUE(PumpUntil([&] { return form.Panel2->Caption() != IndoorPlaceholder; }, DeadlineMs));
    const QString indoor = form.Panel2->Caption();
    EXPECT_TRUE(indoor.startsWith(QStringLiteral("Температура в доме: "))) << indoor.toStdString();
    EXPECT_NE(form.Panel4->Caption(), PressurePlaceholder);
    SaveScreenshot(QStringLiteral("demo-readings.png"));

    QTabBar* tabs = form.PageControl1->TabBar();
    Click(tabs, tabs->tabRect(1).center());
    ASSERT_EQ(tabs->currentIndex(), 1);
    // A person's click on «Загрузить» comes long after the readings the station sent before the page
    // change stopped it have been handled; so does this one.
    const hidplatform::SimDeviceId station = demo.Station.DeviceId();
    ASSERT_TRUE(PumpUntil(
        [&] { return demo.Platform.QueuedInputReports(station) == 0 && demo.Platform.WaitingReads(station) > 0; },
        DeadlineMs));
    Click(form.Button1, QPoint(6, form.Button1->height() / 2));
    ASSERT_TRUE((form.Station.DownloadActive == 1));
    ASSERT_TRUE(PumpUntil([&] { return !(form.Station.DownloadActive == 1); }, DeadlineMs));
    EXPECT_EQ(form.Button1->text(), QStringLiteral("Загрузить"));
    QApplication::processEvents(); // the diagram of the newest day is drawn
    SaveScreenshot(QStringLiteral("demo-diagram.png"));

    demo.Station.StopClock(); // no hourly record may be logged between the copy and the comparison
    const THistoryImage memory = demo.Station.Model().HistoryMemory();
    ASSERT_NE(memory, EmptyImage());
    EXPECT_TRUE(form.close());
    EXPECT_EQ(ReadFileBytes(HistoryFileName), HistoryFileBytes(memory, 0));
}

TEST(ProgramUnderWine, TheDemoCatchesUpTheArchiveToEveryWeatherNetwork)
{
    testsupport::CatchUpEveryWeatherNetworkInTheDemo(DeadlineMs);
}

// The stand-in station's model behind a stand-in HID device: the reports the program writes go to
// the model, the model's reports go to every open handle of the device, and its time runs with the
// real time on the main thread.
class TStandInStation
{
public:
    explicit TStandInStation(std::uint32_t seed)
        : Model(seed, simulator::CurrentDateTime())
    {
        Model.FillPlausibleHistory(60, simulator::CurrentDateTime(), seed);
        Model.SetInputReportHandler([this](const simulator::TInputReport& data) {
            std::vector<std::uint8_t> report(data.size() + 1, 0); // report id 0, then the data
            std::copy(data.begin(), data.end(), report.begin() + 1);
            StandInSendInputReport(Device, report.data(), report.size());
        });
        Clock.start();
        QObject::connect(&Ticker, &QTimer::timeout, [this] { Tick(); });
        Ticker.start(20);
    }

    // A new connection: a new device instance, announced as the system announces it.
    void Plug()
    {
        StandInDeviceDescription description{};
        description.Instance = ++Instance;
        description.VendorID = 0x2112;
        description.ProductID = 0x1212;
        description.ProductString = L"Метеостанция";
        description.InputReportByteLength = 65;
        description.OutputReportByteLength = 65;
        Device = StandInAddDevice(&description);
        Received = 0;
        AnnounceNodeChange();
    }

    void Unplug()
    {
        StandInRemoveDevice(Device);
        AnnounceNodeChange();
    }

    simulator::TStationModel Model;

private:
    static void AnnounceNodeChange()
    {
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG, DeadlineMs,
                            &answer);
    }

    void Tick()
    {
        std::uint8_t report[4096];
        while (const std::size_t length = StandInOutputReport(Device, Received, report, sizeof report)) {
            ++Received;
            Model.HandleOutputReport(report, length);
        }
        const auto now = std::chrono::milliseconds(Clock.elapsed());
        Model.Advance(now - Elapsed);
        Elapsed = now;
    }

    int Device = -1;
    DWORD Instance = 0;
    int Received = 0;
    QElapsedTimer Clock;
    std::chrono::milliseconds Elapsed{0};
    QTimer Ticker;
};

TEST(ProgramUnderWine, TheWindowOverTheWindowsBackendFindsTheStationFollowsItsReplugAndDownloadsIt)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    StandInRemoveAll();
    TStandInStation station(2017);
    station.Plug();
    hidplatform::WindowsPlatform platform("meteo_standin_setupapi.dll", "meteo_standin_hid.dll");
    TForm1 form(platform);
    form.show();

    // Found by the first scan, checked out, told to stream.
    ASSERT_TRUE(PumpUntil([&] { return form.Panel1->Caption() == StationConnectedText; }, DeadlineMs));
    ASSERT_TRUE(PumpUntil([&] { return form.Panel2->Caption() != IndoorPlaceholder; }, DeadlineMs));

    station.Unplug();
    ASSERT_TRUE(PumpUntil([&] { return form.Panel1->Caption() == StationDisconnectedText; }, DeadlineMs));
    EXPECT_EQ(form.Panel2->Caption(), IndoorPlaceholder);
    station.Plug();
    ASSERT_TRUE(PumpUntil([&] { return form.Panel1->Caption() == StationConnectedText; }, DeadlineMs));
    ASSERT_TRUE(PumpUntil([&] { return form.Panel2->Caption() != IndoorPlaceholder; }, DeadlineMs));

    QTabBar* tabs = form.PageControl1->TabBar();
    Click(tabs, tabs->tabRect(1).center());
    Click(form.Button1, QPoint(6, form.Button1->height() / 2));
    ASSERT_TRUE((form.Station.DownloadActive == 1));
    ASSERT_TRUE(PumpUntil([&] { return !(form.Station.DownloadActive == 1); }, DeadlineMs));
    const THistoryImage memory = station.Model.HistoryMemory();
    EXPECT_TRUE(form.close());
    EXPECT_EQ(ReadFileBytes(HistoryFileName), HistoryFileBytes(memory, 0));
}

QString UserDataFolder()
{
    PWSTR roaming = nullptr;
    QString path;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &roaming) == S_OK)
        path = QDir(QString::fromWCharArray(roaming)).filePath(QStringLiteral("meteostation"));
    CoTaskMemFree(roaming);
    return path;
}

struct ProcessWindows
{
    DWORD ProcessId;
    std::vector<HWND> Visible;
};

std::vector<HWND> VisibleWindowsOf(DWORD processId)
{
    ProcessWindows found{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* wanted = reinterpret_cast<ProcessWindows*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == wanted->ProcessId && IsWindowVisible(window))
                wanted->Visible.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.Visible;
}

// Starts a shipped program, waits for its window, lets `shown` decide when it has shown enough,
// then asks it to close as the system does and waits for its end.
void RunShippedProgram(const QString& name, const QString& screenshot, const std::function<bool()>& shown,
                       const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    const QString folder = qEnvironmentVariable("METEO_INSTALLED");
    ASSERT_FALSE(folder.isEmpty()) << "METEO_INSTALLED names the installed folder";
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QDir(folder).filePath(name), {});
    ASSERT_TRUE(program.waitForStarted(DeadlineMs)) << name.toStdString();
    const auto processId = static_cast<DWORD>(program.processId());
    ASSERT_TRUE(PumpUntil([&] { return !VisibleWindowsOf(processId).empty(); }, DeadlineMs)) << name.toStdString();
    EXPECT_TRUE(shown());
    SaveScreenshot(screenshot);
    for (HWND window : VisibleWindowsOf(processId))
        PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.waitForFinished(DeadlineMs)) << name.toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(ProgramUnderWine, TheShippedProgramsStartShowTheirWindowsAndCloseIntoTheUsersDataFolder)
{
    const QString data = UserDataFolder();
    ASSERT_FALSE(data.isEmpty());
    QDir(data).removeRecursively();

    // Explorer, the taskbar and shortcuts show the icon the program file carries; Qt's own texts
    // come in Russian from beside the programs.
    const QDir installed(qEnvironmentVariable("METEO_INSTALLED"));
    QTranslator qtTexts;
    EXPECT_TRUE(qtTexts.load(QStringLiteral("qtbase_ru"), installed.filePath(QStringLiteral("translations"))));
    for (const QString name : {QStringLiteral("meteostation.exe"), QStringLiteral("meteostation-demo.exe")}) {
        const QString path = QDir::toNativeSeparators(installed.filePath(name));
        EXPECT_GT(ExtractIconExW(reinterpret_cast<const wchar_t*>(path.utf16()), -1, nullptr, nullptr, 0), 0u)
            << name.toStdString();
    }

    // The demo's window changes once the stand-in station is plugged in and streams.
    RunShippedProgram(QStringLiteral("meteostation-demo.exe"), QStringLiteral("shipped-demo.png"), [] {
        const QImage before = GrabScreen();
        return PumpUntil([&] { return GrabScreen() != before; }, DeadlineMs);
    });
    const QString programFile = QDir(data).filePath(QStringLiteral("met.mtb"));
    // Wine presents no station: the program runs without one.
    RunShippedProgram(QStringLiteral("meteostation.exe"), QStringLiteral("shipped-program.png"), ScreenPainted);
    const QByteArray empty = HistoryFileBytes(EmptyImage(), 0);
    EXPECT_EQ(ReadFileBytes(QDir(data).filePath(QStringLiteral("demo/met.mtb"))), empty);
    EXPECT_EQ(ReadFileBytes(programFile), empty);

    // Without the system's HID library the program runs all the same and finds no devices.
    ASSERT_TRUE(QFile::remove(programFile));
    QProcessEnvironment withoutHid = QProcessEnvironment::systemEnvironment();
    withoutHid.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("hid="));
    RunShippedProgram(QStringLiteral("meteostation.exe"), QStringLiteral("shipped-program-without-hid.png"),
                      ScreenPainted, withoutHid);
    EXPECT_EQ(ReadFileBytes(programFile), empty);
}

// The publishing module beside the shipped programs: the demo loads it after its first picture, and
// the archive's last hour reaches «свой адрес» on a stand-in server on the loopback.
TEST(ProgramUnderWine, TheShippedDemoUploadsThroughThePublishingModuleBesideIt)
{
    const QString data = UserDataFolder();
    ASSERT_FALSE(data.isEmpty());
    const QString folder = QDir(data).filePath(QStringLiteral("demo"));
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::vector<QDateTime> hour =
        testsupport::ArchiveRecentSamples(QDir(folder).filePath(archive::ArchiveFileName), {QStringLiteral("own")}, 1);
    testsupport::THttpStandIn http;
    {
        QSettings file = publish::OpenPublishFile(folder);
        file.setValue(QStringLiteral("own/enabled"), true);
        file.setValue(QStringLiteral("own/url_template"), http.Url(QStringLiteral("/own?t={tempc}&at={dateutc}")));
        ASSERT_TRUE(publish::SyncPublishFile(file).isEmpty());
    }
    const auto received = [&] { return testsupport::CarriedTimes(http.Requests, "/own", QStringLiteral("at")); };
    RunShippedProgram(QStringLiteral("meteostation-demo.exe"), QStringLiteral("shipped-demo-uploads.png"),
                      [&] { return PumpUntil([&] { return received().size() >= hour.size(); }, 4 * DeadlineMs); });
    // In order, each once; the demo's own samples may follow.
    std::vector<QDateTime> times = received();
    times.resize(hour.size());
    EXPECT_EQ(times, hour);
}

} // namespace

int main(int argc, char** argv)
{
    gui::TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Метеостанция"));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
