// How long the main thread stands still while the user works the window: the demo's window
// offscreen, driven through its own tabs and buttons, with a 1 ms probe on the main thread. For
// each action, the longest single stall and the 99th percentile of the gaps between the probe's
// turns, beside the same probe in a bare Qt window measured in the same run. Once with the demo's
// own archive (two months, from its first download) and once with an archive of ten years made by
// the benchmark. Goal: no stall over 16 ms (a frame); the CSV export of a year may take longer
// while it shows its progress. Run offscreen (QT_QPA_PLATFORM=offscreen).
#include "archive/archive_store.h"
#include "bench/support/stall_probe.h"
#include "bench/support/ten_year_archive.h"
#include "core/readings_text.h"
#include "demo/demo_setup.h"
#include "gui/error_box.h"
#include "gui/radio_group.h"
#include "os/local_time_zone.h"
#include "station/archive_page.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int PageCount = PageIndex(TFormPage::Alarms) + 1;
constexpr int ArchivePage = PageIndex(TFormPage::Archive);
constexpr int DiagramPage = PageIndex(TFormPage::Diagram);
constexpr int DeadlineMs = 120000;

struct TActionStall
{
    std::string Name;
    double LongestMs = 0;
    double P99Ms = 0;
    double BusyMs = 0; // the main thread's most processor time between two turns
};

// Turns of the event loop until `done` holds or the deadline passed; the probe's timer wakes it
// every millisecond, so nothing here waits longer than the window makes it.
bool PumpUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > DeadlineMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

void PumpFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    PumpUntil([&] { return clock.elapsed() >= ms; });
}

// One action under the probe: started by `start`, over when `done` holds and the window has had a
// few frames to paint what it changed.
TActionStall Measure(const std::string& name, const std::function<void()>& start, const std::function<bool()>& done)
{
    benchsupport::TStallProbe probe;
    probe.Start();
    start();
    const bool finished = PumpUntil(done);
    PumpFor(100);
    probe.Stop();
    return {finished ? name : name + " (did not finish)", probe.LongestMs(), probe.PercentileMs(0.99),
            probe.LongestBusyMs()};
}

TActionStall MeasureFor(const std::string& name, int ms)
{
    QElapsedTimer clock;
    return Measure(
        name, [&] { clock.start(); }, [&] { return clock.elapsed() >= ms; });
}

// The user's click on a tab, and on a period of the archive page.
void ShowPage(TForm1& form, int page)
{
    form.PageControl1->TabBar()->setCurrentIndex(page);
}

void ChoosePeriod(TArchivePage& page, archive::TPeriodKind kind)
{
    page.PeriodGroup->Button(static_cast<int>(kind))->click();
}

// The page shows the period chosen (a long one comes once it has been read).
std::function<bool()> PeriodShown(TArchivePage& page)
{
    return [&page] { return page.View().Period == archive::PeriodContaining(page.PeriodKind(), page.Anchor()); };
}

const char* PeriodName(archive::TPeriodKind kind)
{
    switch (kind) {
    case archive::TPeriodKind::Day:
        return "day";
    case archive::TPeriodKind::Week:
        return "week";
    case archive::TPeriodKind::Month:
        return "month";
    case archive::TPeriodKind::Year:
        return "year";
    }
    return "?";
}

constexpr archive::TPeriodKind Periods[] = {archive::TPeriodKind::Day, archive::TPeriodKind::Week,
                                            archive::TPeriodKind::Month, archive::TPeriodKind::Year};

// Every period of the archive page at the date the date edit is set to (typed, as the user would).
void MeasureViews(TDemo& demo, const std::string& where, const QDate& date, std::vector<TActionStall>& out)
{
    TArchivePage& page = *demo.Form.ArchivePage1;
    if (date.isValid())
        out.push_back(Measure(
            "date typed (" + where + ")", [&] { page.DateEdit->setDate(date); }, PeriodShown(page)));
    for (const archive::TPeriodKind kind : Periods)
        out.push_back(Measure(
            std::string(PeriodName(kind)) + " view (" + where + ")", [&] { ChoosePeriod(page, kind); },
            PeriodShown(page)));
}

// The demo in the current folder, through its actions; `fullYear` a date whose year the archive holds.
std::vector<TActionStall> DriveDemo(const QDate& fullYear)
{
    std::vector<TActionStall> out;
    TDemo demo;
    TForm1& form = demo.Form;
    demo.Show();
    if (!PumpUntil([&] { return form.Panel1->Caption() == StationConnectedText; })) {
        std::fprintf(stderr, "stall bench: the demo's station did not connect\n");
        return out;
    }
    out.push_back(MeasureFor("streaming on the readings page (3 s)", 3000));

    ShowPage(form, DiagramPage);
    PumpFor(200);
    bool started = false;
    out.push_back(Measure(
        "download and merge",
        [&] {
            form.Button1->click();
            started = !form.PageControl1->isEnabled();
        },
        [&] { return started && form.PageControl1->isEnabled(); }));

    out.push_back(Measure(
        "archive page right after the download", [&] { ShowPage(form, ArchivePage); },
        PeriodShown(*form.ArchivePage1)));
    for (int page = 0; page < PageCount; ++page)
        out.push_back(Measure(
            "page " + std::to_string(page) + " shown", [&] { ShowPage(form, page); }, [] { return true; }));

    ShowPage(form, ArchivePage);
    PumpFor(200);
    MeasureViews(demo, "newest", {}, out);
    MeasureViews(demo, "a full year", fullYear, out);

    const QString csv = QDir::current().filePath(QStringLiteral("year.csv"));
    form.ArchivePage1->SetSaveDialog([&](const QString&, const QString&, const QString&, QString*) { return csv; });
    out.push_back(Measure(
        "CSV export of the year", [&] { form.ArchivePage1->ExportButton->click(); },
        [&] { return QFileInfo::exists(csv); }));
    return out;
}

void Print(const char* title, const std::vector<TActionStall>& stalls, const TActionStall& bare)
{
    std::printf("\n%s\n%-48s %12s %10s %14s\n", title, "action", "longest ms", "p99 ms", "longest cpu ms");
    for (const TActionStall& s : stalls)
        std::printf("%-48s %12.1f %10.1f %14.1f\n", s.Name.c_str(), s.LongestMs, s.P99Ms, s.BusyMs);
    std::printf("%-48s %12.1f %10.1f %14.1f\n", bare.Name.c_str(), bare.LongestMs, bare.P99Ms, bare.BusyMs);
}

// The longest of a figure over every action but the CSV export, which may take longer.
double Longest(const std::vector<TActionStall>& stalls, double TActionStall::*figure)
{
    double longest = 0;
    for (const TActionStall& s : stalls)
        if (s.Name.rfind("CSV", 0) != 0)
            longest = std::max(longest, s.*figure);
    return longest;
}

std::string LoadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readLine().toStdString() : std::string("unknown\n");
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // No password store or notification service is asked.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    os::ReadLocalTimeZoneOnce(); // as the program's start does
    gui::TApplication app(argc, argv);

    TActionStall bare;
    {
        QWidget window;
        window.resize(607, 350);
        window.show();
        bare = MeasureFor("bare Qt window, idle (3 s)", 3000);
        bare.Name = "baseline: " + bare.Name;
    }

    // The demo's own archive: what its first download brings, about two months.
    QTemporaryDir shortFolder;
    QDir::setCurrent(shortFolder.path());
    const std::vector<TActionStall> twoMonths = DriveDemo(QDate::currentDate().addDays(-30));
    Print("two-month archive (the demo's own)", twoMonths, bare);

    // Ten years of hours and samples, made before the window opens it.
    QTemporaryDir longFolder;
    QDir::setCurrent(longFolder.path());
    {
        archive::TArchiveStore store(archive::ArchiveFileName);
        if (!store.IsOpen() || !benchsupport::FillTenYears(store)) {
            std::fprintf(stderr, "stall bench: the ten-year archive could not be made\n");
            return 1;
        }
    }
    const std::vector<TActionStall> tenYears = DriveDemo(benchsupport::LastDay.addMonths(-6));
    Print("ten-year archive", tenYears, bare);

    std::printf("\nlongest stall, every action but the CSV export: two months %.1f ms, ten years %.1f ms; "
                "bare window idle %.1f ms (goal: at most 16 ms)\n"
                "most main-thread processor time between two turns: two months %.1f ms, ten years %.1f ms; "
                "bare window idle %.1f ms\nload average: %s",
                Longest(twoMonths, &TActionStall::LongestMs), Longest(tenYears, &TActionStall::LongestMs),
                bare.LongestMs, Longest(twoMonths, &TActionStall::BusyMs), Longest(tenYears, &TActionStall::BusyMs),
                bare.BusyMs, LoadAverage().c_str());
    return 0;
}
