// The whole window over the simulated HID platform with the stand-in station, driven by a little
// program: input reports of any length (0 to beyond the station's 65 bytes) queued on the station's
// device, interleaved with page changes, the user's buttons (download, clear, settings load and
// send, sensor codes, day and quantity steps, setting items), plug and unplug of the station and the
// passing of the station's time. After every step the event loop runs until the window has taken
// everything in, and the window must show a state that fits a connected or disconnected station.
//
// Program bytes, one step each (a missing operand reads as 0):
//   op % 16 in 0..5   a report: length = next % 82, then that many bytes (id byte first)
//   6                 page = next % 5 (as the user's tab click: only while the pages are enabled)
//   7, 8              "Загрузить", "Очистить"
//   9, 11, 15         "Загрузить" of the settings, "Установить", sensor code read/clear (next & 1)
//   10                setting item next % items
//   12                an up-down arrow: next % 6 picks the up-down (day, quantity, settings 3..6),
//                     bit 7 the direction
//   13                unplug or plug the station (it is plugged in when the window opens)
//   14                the station's time runs (next + 1) * 16 ms
#include "core/history_file.h"
#include "core/readings_text.h"
#include "gui/error_box.h"
#include "gui/page_control.h"
#include "gui/radio_group.h"
#include "gui/up_down.h"
#include "hid/device_controller.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int MaxSteps = 64;
constexpr int SettleTimeoutMs = 10000; // far beyond need: a busy machine is no finding

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_station_reports: %s\n", what);
    std::abort();
}

void Require(bool condition, const char* what)
{
    if (!condition)
        Fail(what);
}

class TProgram
{
public:
    TProgram(const std::uint8_t* data, std::size_t size)
        : Data(data)
        , Size(size)
    {
    }
    bool AtEnd() const { return Pos >= Size; }
    std::uint8_t Next() { return Pos < Size ? Data[Pos++] : 0; }

private:
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t Pos = 0;
};

class TRun
{
public:
    TRun()
    {
        Station =
            std::make_unique<simulator::TSimStation>(Platform, 11, simulator::TStationDateTime{2024, 3, 7, 14, 0, 0});
        Station->Model().FillPlausibleHistory(3, {2024, 3, 7, 13, 0, 0}, 5);
        // Plugged in before the window opens, as usually; a program unplugs it when it wants.
        Station->Plug();
        Form = std::make_unique<TForm1>(Platform);
        Form->SetClock([] { return QDateTime(QDate(2025, 11, 23), QTime(18, 42, 9)); });
        Form->SetQuestion([](const QString&) { return true; });
    }

    ~TRun()
    {
        Form.reset();
        Station.reset();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    void Execute(TProgram& program)
    {
        // The controller's first scan runs from the event loop.
        Settle();
        Check();
        for (int step = 0; step < MaxSteps && !program.AtEnd(); ++step) {
            Step(program);
            Settle();
            Check();
        }
    }

private:
    void Step(TProgram& program)
    {
        TForm1& f = *Form;
        const std::uint8_t op = program.Next() % 16;
        switch (op) {
        case 6: {
            const int page = program.Next() % 5;
            if (f.PageControl1->isEnabled())
                f.PageControl1->TabBar()->setCurrentIndex(page);
            break;
        }
        case 7:
            f.Button1->click();
            break;
        case 8:
            f.Button2->click();
            break;
        case 9:
            f.Button6->click();
            break;
        case 10: {
            const int item = program.Next() % f.RadioGroup1->Count();
            f.RadioGroup1->Button(item)->click();
            break;
        }
        case 11:
            f.Button7->click();
            break;
        case 12: {
            const std::uint8_t which = program.Next();
            gui::TUpDown* upDowns[] = {f.UpDown1, f.UpDown2, f.UpDown3, f.UpDown4, f.UpDown5, f.UpDown6};
            gui::TUpDown* upDown = upDowns[which % 6];
            (which & 0x80 ? upDown->LeftButton() : upDown->RightButton())->click();
            break;
        }
        case 13:
            if (Station->Plugged())
                Station->Unplug();
            else
                Station->Plug();
            break;
        case 14:
            Station->Advance(std::chrono::milliseconds((program.Next() + 1) * 16));
            break;
        case 15:
            (program.Next() & 1 ? f.Button5 : f.Button4)->click();
            break;
        default: {
            std::vector<std::uint8_t> report(program.Next() % 82);
            for (std::uint8_t& b : report)
                b = program.Next();
            if (Station->Plugged())
                Platform.QueueInputReport(Station->DeviceId(), std::move(report));
            break;
        }
        }
    }

    // The window has taken in everything: a plugged station is matched and its queued reports
    // are handled (its read thread waits again, which it does only after the window's handler
    // returned); an unplugged one is let go.
    bool Settled() const
    {
        if (!Station->Plugged())
            return Form->Station.StationDevice == nullptr;
        const hidplatform::SimDeviceId id = Station->DeviceId();
        return Form->Station.StationDevice != nullptr && Platform.QueuedInputReports(id) == 0 &&
            Platform.WaitingReads(id) > 0;
    }

    void Settle()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(SettleTimeoutMs);
        QCoreApplication::processEvents();
        while (!Settled()) {
            if (std::chrono::steady_clock::now() > deadline)
                Fail("the window did not settle");
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            QThread::usleep(20);
        }
        // Notices and hand-overs that are already posted.
        QCoreApplication::processEvents();
    }

    void Check() const
    {
        const TForm1& f = *Form;
        const TStationRecord& s = f.Station;
        const bool running = s.DownloadActive == 1 || s.ClearActive == 1;
        Require(s.DownloadActive <= 1 && s.ClearActive <= 1 && !(s.DownloadActive && s.ClearActive),
                "history operation flags out of range");
        Require(s.BlockCount >= 0 && s.BlockCount < HistoryBlockCount, "block count out of range");
        Require(running || s.BlockCount == 0, "block count left over");
        Require(running ? !f.PageControl1->isEnabled() : f.PageControl1->isEnabled(), "pages locked wrongly");

        // The history counters.
        const THistoryState& h = f.History;
        Require(h.RecordCount <= HistoryRecordCount, "record count out of range");
        Require(f.LabeledEdit10->Text() == QStringLiteral("%1 (4096)").arg(h.RecordCount), "record count text wrong");
        Require(h.SelectedDate.Month >= 1 && h.SelectedDate.Month <= 12 && h.SelectedDate.Day >= 1 &&
                    h.SelectedDate.Day <= 31 && h.SelectedDate.Year <= 99,
                "selected day is no date");
        auto progress = [&s](const QPushButton* button, bool active, const QString& idle) {
            if (!active)
                return button->text() == idle;
            return (s.BlockCount == 0 && button->text() == idle) ||
                button->text() == QString::number(HistoryProgressPercent(s.BlockCount)) + QLatin1Char('%');
        };
        Require(progress(f.Button1, s.DownloadActive == 1, QStringLiteral("Загрузить")), "download caption wrong");
        Require(progress(f.Button2, s.ClearActive == 1, QStringLiteral("Очистить")), "clear caption wrong");

        const QString link = f.Panel1->Caption();
        if (!Station->Plugged()) {
            // The documented disconnected window.
            Require(s.StationDevice == nullptr, "station device kept after the unplug");
            Require(link == StationDisconnectedText, "link panel not disconnected");
            Require(f.Panel2->Caption() == IndoorPlaceholder && f.Panel3->Caption() == OutdoorPlaceholder &&
                        f.Panel4->Caption() == PressurePlaceholder && f.Panel5->Caption() == HumidityPlaceholder,
                    "readings shown without a station");
            for (const QPushButton* b : {f.Button1, f.Button2, f.Button4, f.Button5, f.Button6, f.Button7})
                Require(!b->isEnabled(), "station button enabled without a station");
            Require(f.Button3->isEnabled(), "export disabled");
            Require(!f.RadioGroup1->isEnabled() && f.RadioGroup1->ItemIndex() == -1,
                    "settings items active without a station");
            Require(!running, "history operation without a station");
        } else {
            Require(s.StationDevice != nullptr && s.StationDevice->CheckedOut(), "plugged station not matched");
            Require(link == StationConnectedText || link == StationSilentText || link.startsWith(ReadErrorPrefix),
                    "link panel not connected");
            if (running) {
                for (const QPushButton* b :
                     {f.Button1, f.Button2, f.Button3, f.Button4, f.Button5, f.Button6, f.Button7})
                    Require(!b->isEnabled(), "station button enabled during a history operation");
            } else {
                for (const QPushButton* b : {f.Button1, f.Button2, f.Button3, f.Button6})
                    Require(b->isEnabled(), "station button disabled with a station");
            }
        }
    }

    hidplatform::SimPlatform Platform;
    std::unique_ptr<simulator::TSimStation> Station;
    std::unique_ptr<TForm1> Form;
};

} // namespace

// Fontconfig, which Qt asks for the system's fonts when the first window is laid out, drops a few
// hundred bytes of its configuration for good (a known leak of the library, not of ours); and Qt's
// font engine keeps its glyph caches for the application's life, which here is the process's, from
// a root it allocates itself. The leak checker looks away from what those libraries allocate
// themselves; an object of ours that is lost is allocated from our code and still found.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libQt6Gui.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // One application for the whole process, offscreen.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    static gui::TApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Метеостанция"));
    gui::SetErrorBoxHook([](const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Each run in a folder of its own, so that no "met.mtb" is read from or written to where the
    // fuzzer works (its corpus paths may be relative to it).
    static QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    if (!folder.isValid() || !QDir::setCurrent(folder.path()))
        Fail("no working folder");
    {
        TProgram program(data, size);
        TRun run;
        run.Execute(program);
    }
    QDir::setCurrent(previous);
    return 0;
}
