// A thousand plug/unplug cycles of the stand-in station, the cable pulled at random moments: in the
// readings stream, during a download, a clear, a settings load, while the diagram page shows, or
// inside the station's own sending. After every cycle the window must be in the state of a
// disconnected station, and after every new connection in that of a connected one; the history
// copy is always either what it was or a whole download. The run is seeded (METEO_STORM_SEED
// picks another seed, METEO_STORM_CYCLES another length) and prints its seed and figures.
#include "core/history_file.h"
#include "gui/error_box.h"
#include "tests/support/e2e_support.h"
#include "tests/support/window_state.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

using namespace std::chrono_literals;
using testsupport::PumpUntil;

namespace {

enum TPhase {
    ReadingsPhase,
    DownloadPhase,
    ClearPhase,
    SettingsLoadPhase,
    DiagramPhase,
    MidStreamPhase, // the cable goes inside the station's sending, whatever it sends
    PhaseCount
};
const char* const PhaseNames[PhaseCount] = {"readings",      "download",     "clear",
                                            "settings load", "diagram page", "mid-stream"};

unsigned long EnvNumber(const char* name, unsigned long fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    return std::strtoul(text, nullptr, 10);
}

class StationStorm : public e2e::StationE2E
{
protected:
    int Random(int low, int high) { return std::uniform_int_distribution<int>(low, high)(Rng); }
    bool Chance(int percent) { return Random(1, 100) <= percent; }

    // A station's history worth downloading, whenever a clear has emptied it.
    void RefillHistory()
    {
        if (Station->Model().NextRecord() == 0)
            Station->Model().FillPlausibleHistory(Random(1, 170), Station->Model().Clock(),
                                                  static_cast<std::uint32_t>(Rng()));
    }

    void GoToPage(TFormPage page)
    {
        if (Form->PageControl1->ActivePageIndex() != PageIndex(page))
            ClickTab(page);
    }

    // Reports of the station's current activity, `count` of them or until the activity ends (a
    // paced transfer sends one per millisecond, the stream one per second), let through in bursts;
    // after some bursts the window catches up with everything sent.
    void LetReportsThrough(int count, bool paced)
    {
        for (int done = 0; done < count && Station->Plugged();) {
            const int burst = std::min(Random(1, paced ? 96 : 2), count - done);
            Station->Advance(paced ? std::chrono::milliseconds(burst) : std::chrono::milliseconds(1000 * burst));
            done += burst;
            if (Chance(40) && Station->Plugged() && !Settle())
                Fail("reports not handled");
        }
    }

    void Fail(const std::string& what)
    {
        if (Failure.empty())
            Failure = "cycle " + std::to_string(Cycle) + " (" + PhaseNames[Phase] + "): " + what;
    }

    void Check(const std::string& problem, const char* when)
    {
        if (!problem.empty())
            Fail(std::string(when) + ": " + problem);
    }

    // One cycle: connect, do something, lose the cable somewhere in it.
    void RunCycle()
    {
        Phase = static_cast<TPhase>(Random(0, PhaseCount - 1));
        ++PhaseHits[Phase];
        Sent.clear();
        QElapsedTimer step;
        step.start();
        PlugStation();
        if (!WaitConnected())
            return Fail("station not matched");
        if (!Settle())
            return Fail("first report not handled");
        Spent[0] += step.restart();
        Check(windowstate::ConnectedProblem(*Form), "connected");

        if (Phase == MidStreamPhase) {
            // Any activity; the station pulls its own cable after a few of its reports, perhaps in
            // answer to the command that starts it.
            simulator::TStationFaults faults;
            faults.UnplugAfter = Random(1, 40);
            Station->SetFaults(faults);
            Phase = static_cast<TPhase>(Random(0, MidStreamPhase - 1));
            StartActivity();
            Phase = MidStreamPhase;
            LetReportsThrough(600, true);
            LetReportsThrough(50, false);
            Station->ClearFaults();
            // A quiet station (the diagram page) sends nothing to pull the cable with.
            if (Station->Plugged())
                Station->Unplug();
        } else {
            StartActivity();
            const bool transfer = Phase == DownloadPhase || Phase == ClearPhase;
            LetReportsThrough(transfer ? (Chance(30) ? Random(511, 560) : Random(0, 510)) : Random(0, 4), transfer);
            if (Chance(30) && Settle() && HistoryOperationRunning())
                Check(windowstate::OperationProblem(*Form), "operation running");
            // Sometimes the cable goes while reports still wait to be read or handed over.
            if (Chance(50))
                QCoreApplication::processEvents();
            Station->Unplug();
        }
        Spent[1] += step.restart();
        if (!PumpUntil([this] { return Form->Station.StationDevice == nullptr; }))
            return Fail("unplug not noticed");
        Spent[2] += step.restart();
        Check(windowstate::DisconnectedProblem(*Form), "disconnected");
        CheckHistoryWhole();
    }

    bool HistoryOperationRunning() const { return Form->Station.DownloadActive == 1 || Form->Station.ClearActive == 1; }

    void StartActivity()
    {
        switch (Phase) {
        case ReadingsPhase:
            GoToPage(Chance(50) ? TFormPage::Readings : TFormPage::Help);
            break;
        case DownloadPhase:
        case ClearPhase:
            GoToPage(TFormPage::Diagram);
            if (Station->Plugged() && !Settle())
                return Fail("stream before the transfer not drained");
            if (Phase == DownloadPhase) {
                RefillHistory();
                Click(Form->Button1);
                // The station copies its memory when the command arrives.
                Expected = Station->Model().HistoryMemory();
                ++Downloads;
            } else {
                Click(Form->Button2);
                ++Clears;
            }
            break;
        case SettingsLoadPhase:
            GoToPage(TFormPage::Settings);
            Click(Form->Button6);
            if (Chance(50))
                ClickItem(Random(0, 5));
            break;
        case DiagramPhase:
            GoToPage(TFormPage::Diagram);
            for (int i = Random(0, 3); i > 0; --i)
                PressLeft(Form->UpDown1);
            if (Chance(30))
                PressRight(Form->UpDown2);
            break;
        default:
            break;
        }
    }

    // The copy is what it was before the cycle, or the whole memory of a download that finished.
    void CheckHistoryWhole()
    {
        const THistoryImage& image = Form->History.HistoryImage;
        if (image == Known)
            return;
        if (image == Expected) {
            Known = image;
            ++DownloadsCompleted;
            return;
        }
        Fail("history copy neither the previous one nor a whole download");
    }

    std::mt19937 Rng;
    int Cycle = 0;
    TPhase Phase = ReadingsPhase;
    std::array<int, PhaseCount> PhaseHits{};
    int Downloads = 0;
    int DownloadsCompleted = 0;
    int Clears = 0;
    THistoryImage Known{};
    THistoryImage Expected{};
    std::string Failure;
    // Milliseconds spent connecting, in the activities, and until the unplug was handled.
    std::array<qint64, 3> Spent{};
};

TEST_F(StationStorm, ThousandPlugCyclesAtRandomMomentsLeaveTheDocumentedStates)
{
    const unsigned long seed = EnvNumber("METEO_STORM_SEED", 20240307);
    const int cycles = static_cast<int>(EnvNumber("METEO_STORM_CYCLES", 1000));
    std::printf("storm seed %lu (METEO_STORM_SEED=%lu repeats this run), %d cycles\n", seed, seed, cycles);
    Rng.seed(static_cast<std::mt19937::result_type>(seed));

    // A command the window could not send (the cable went just before) is told in the box.
    int errorBoxes = 0;
    gui::SetErrorBoxHook([&errorBoxes](const QString&) { ++errorBoxes; });
    Station->Model().FillPlausibleHistory(90, e2e::StartClock(), 3);
    Station->Model().SetBlockInterval(1ms);
    CreateForm();
    Known = Form->History.HistoryImage;
    ASSERT_EQ(Form->Panel1->Caption(), StationDisconnectedText);

    QElapsedTimer clock;
    clock.start();
    for (Cycle = 1; Cycle <= cycles && Failure.empty(); ++Cycle)
        RunCycle();
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(Failure, "");

    // The end: connected once more, then closed, with the copy whole on disk.
    PlugStation();
    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ(windowstate::ConnectedProblem(*Form), "");
    EXPECT_TRUE(Form->close());
    THistoryState saved;
    EXPECT_EQ(LoadHistoryFile(saved).Outcome, THistoryLoadOutcome::Loaded);
    EXPECT_EQ(saved.HistoryImage, Known);

    std::printf("storm: %d cycles in %lld ms (%.2f ms a cycle)\n", Cycle - 1, static_cast<long long>(elapsed),
                static_cast<double>(elapsed) / std::max(Cycle - 1, 1));
    for (int p = 0; p < PhaseCount; ++p)
        std::printf("  %-14s %4d cycles\n", PhaseNames[p], PhaseHits[static_cast<std::size_t>(p)]);
    const simulator::TStationTraffic& traffic = Station->Traffic();
    std::printf("  reports delivered %llu, lost to the cable %llu; unplugs inside the station's sending %llu\n",
                static_cast<unsigned long long>(traffic.Sent), static_cast<unsigned long long>(traffic.Dropped),
                static_cast<unsigned long long>(traffic.FaultUnplugs));
    std::printf("  downloads started %d, finished whole %d; clears started %d\n", Downloads, DownloadsCompleted,
                Clears);
    std::printf("  ms connecting %lld, in the activities %lld, until the unplug was handled %lld\n",
                static_cast<long long>(Spent[0]), static_cast<long long>(Spent[1]), static_cast<long long>(Spent[2]));
    std::printf("  commands that found the cable gone: %d\n", errorBoxes);
    gui::SetErrorBoxHook({});
    // A full run has reached both ends of a download and the station's own unplugs.
    if (cycles >= 1000) {
        EXPECT_GT(DownloadsCompleted, 0);
        EXPECT_GT(traffic.FaultUnplugs, 0u);
    }
}

} // namespace
