// Runs inside the kernel VM: the program's whole window (TForm1, offscreen) over the real Linux
// backend against the stand-in station on /dev/uhid. The user opens the diagram page, clicks
// "Загрузить", waits for the download and closes the window; "met.mtb" in the working folder must then
// hold the station's memory. Exit status 0 when every check holds.
#include "tests/vm/vm_checks.h"

#include "core/history_file.h"
#include "gui/error_box.h"
#include "hid/device_controller.h"
#include "hid/platform/linux/linux_platform.h"
#include "simulator/uhid_station.h"
#include "station/main_form.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <limits>

using namespace probe;

int main(int argc, char** argv)
{
    const auto started = Clock::now();
    gui::TApplication app(argc, argv);
    std::printf("uhid window end to end: TForm1 offscreen against \"%s\" on /dev/uhid\n", StationName);
    std::vector<QString> errorBoxes;
    gui::SetErrorBoxHook([&](const QString& text) {
        errorBoxes.push_back(text);
        Info("error box: " + text.toStdString());
    });
    QFile::remove(HistoryFileName);

    simulator::TUhidStation station(7, {2016, 5, 14, 12, 30, 0});
    const simulator::THistoryMemory memory = station.WithModel([](simulator::TStationModel& model) {
        model.FillPlausibleHistory(120, {2016, 5, 14, 12, 0, 0}, 9);
        model.SetBlockInterval(std::chrono::milliseconds(4));
        // Only the report that answers the window's request, however slowly the guest runs: the
        // first report shown must be that one.
        model.SetStreamInterval(std::chrono::hours(1));
        return model.HistoryMemory();
    });
    const bool plugged = station.Plug();
    Check(plugged,
          "station plugged in through /dev/uhid" + (plugged ? std::string() : ": " + ErrorText(station.LastError())));
    Check(!FindHidraw().empty(), "its hidraw node is there");

    hidplatform::LinuxPlatform linuxPlatform;
    TCountingPlatform platform(linuxPlatform);
    auto form = std::make_unique<TForm1>(platform);
    // The guest may well stand still for seconds on a busy machine: no "no data" text and no stalled
    // download from that.
    form->SetStreamSilenceTimeout(std::numeric_limits<int>::max());
    form->SetHistoryStallTimeout(std::numeric_limits<int>::max());
    std::vector<QString> questions;
    form->SetQuestion([&](const QString& text) {
        questions.push_back(text);
        return true;
    });
    form->show();
    auto phase = Clock::now();
    PumpUntil([&] { return form->Station.StationDevice != nullptr; });
    Check(form->Station.StationDevice != nullptr,
          "the window found and checked out the station (" + Fixed(Seconds(phase)) + " s)");
    // The window asks for readings right after the check-out, and the station sends the first at once.
    const QString placeholder = form->Panel2->Caption();
    PumpUntil([&] { return form->Panel2->Caption() != placeholder; });
    const std::size_t sentWhenShown = station.SentCount();
    Check(form->Panel2->Caption() != placeholder && sentWhenShown == 1,
          "the first readings report was not lost: shown " + Fixed(Seconds(phase)) +
              " s after the start, when the station had sent " + std::to_string(sentWhenShown) + " (" +
              form->Panel2->Caption().toStdString() + ")");
    Info("link panel: " + form->Panel1->Caption().toStdString());

    // The diagram page, then "Загрузить", as the user would.
    QTabBar* tabs = form->PageControl1->TabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    Check(form->PageControl1->ActivePageIndex() == PageIndex(TFormPage::Diagram), "diagram page open");
    Check(form->Button1->isEnabled(), "\"" + form->Button1->text().toStdString() + "\" enabled");
    // A user's second click comes a moment later. The page change told the station to be quiet, but
    // a readings report already on its way still arrives; clicked at once, it would be taken for the
    // first history block (the window cannot tell the two apart), shifting the whole copy by one. So
    // the click comes once the station is quiet and the window has taken all it sent (its read
    // thread waits again).
    PumpUntil([&] {
        const int read = platform.ReportsRead.load();
        return station.WithModel(
                   [](simulator::TStationModel& m) { return m.Mode() == simulator::TTransferMode::Idle; }) &&
            static_cast<std::size_t>(read) == station.SentCount() && platform.ReadStarts.load() > read;
    });
    const std::size_t sentBefore = station.SentCount();
    phase = Clock::now();
    QTest::mouseClick(form->Button1, Qt::LeftButton, {}, form->Button1->rect().center());
    PumpUntil([&] { return form->Station.DownloadActive == 1; });
    PumpUntil([&] { return form->Station.DownloadActive == 0; });
    const double downloadSeconds = Seconds(phase);
    Info("download: the station sent " + std::to_string(station.SentCount() - sentBefore) + " reports, lost " +
         std::to_string(station.LostCount()) + "; the window counted " + std::to_string(form->Station.BlockCount));
    Check(form->Station.DownloadActive == 0 && form->Station.HistoryComplete == 1,
          "download finished (" + Fixed(downloadSeconds) + " s)");
    {
        const auto& image = form->History.HistoryImage;
        std::string differing;
        int count = 0;
        for (std::size_t block = 0; block < HistoryBlockCount; ++block)
            if (std::memcmp(image.data() + block * 64, memory.data() + block * 64, 64) != 0 && ++count <= 8)
                differing += " " + std::to_string(block) + " (" + Hex(image.data() + block * 64, 8) + " instead of " +
                    Hex(memory.data() + block * 64, 8) + ")";
        if (count > 0)
            Info(std::to_string(count) + " block(s) differ:" + differing);
        Check(count == 0, "the window's copy equals the station's memory");
    }
    Info("records: " + form->LabeledEdit10->Text().toStdString() + ", newest day " +
         form->LabeledEdit9->Text().toStdString());
    const std::uint8_t quantity = form->History.DiagramQuantity;

    phase = Clock::now();
    Check(form->close(), "the window closes");
    form.reset();
    Info("closed in " + Fixed(Seconds(phase)) + " s");
    QFile file(HistoryFileName);
    const bool opened = file.open(QIODevice::ReadOnly);
    const QByteArray bytes = opened ? file.readAll() : QByteArray();
    Check(opened && bytes.size() == HistoryFileSize, "met.mtb written (" + std::to_string(bytes.size()) + " bytes)");
    Check(bytes == HistoryFileBytes(memory, quantity), "met.mtb holds the station's memory and the diagram quantity");
    THistoryState reloaded;
    Check(LoadHistoryFile(reloaded).Outcome == THistoryLoadOutcome::Loaded && reloaded.HistoryImage == memory,
          "it loads back to the same image");
    Check(errorBoxes.empty(), "no error box");
    Check(station.WithModel([](simulator::TStationModel& m) { return m.Mode() == simulator::TTransferMode::Idle; }),
          "the station was told to be quiet");
    station.Unplug();

    return Verdict("uhid window end to end", " in " + Fixed(Seconds(started)) + " s");
}
