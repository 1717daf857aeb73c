// The live page's stream at scale while the window works: the program's window on the readings
// page, its stand-in station streaming a report every millisecond (a thousand times the station's
// own pace), then bursts of reports queued at once as bench_station_stream sends them, with the web
// page on and 50 clients reading /api/v1/stream on a thread of the benchmark's own, beside the same
// window with the web page off. Per run: the main thread's longest stall at the 1 ms stream (goal
// <= 16 ms), its processor time per report in both (goal <= 1.1 times the page off), the process's
// memory growth from just before the server starts (goal <= 10 MB more than the page off over the
// same stretch), and whether every client got every report. Each run is a process of its own (this
// program started again with --run on|off), so that one run's freed memory does not hide the next
// one's growth; the rounds alternate the two. Run offscreen.
#include "bench/support/measures.h"
#include "bench/support/stall_probe.h"
#include "bench/support/streaming_window.h"
#include "gui/error_box.h"
#include "os/local_time_zone.h"
#include "publishing/web_publishing.h"
#include "station/publishing_built_in.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using benchsupport::TStreamingWindow;

namespace {

int ClientCount = 50; // --clients
constexpr int StreamMs = 10'000;
constexpr int BurstCount = 5;
constexpr int BurstReports = 4000; // as bench_station_stream's batches
constexpr int DefaultRounds = 3;
constexpr auto DeliveryDeadline = std::chrono::seconds(60);

// A line of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKb(const char* name)
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return 0;
    char line[256];
    long kb = 0;
    const std::size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::strncmp(line, name, length) == 0 && line[length] == ':')
            kb = std::strtol(line + length + 1, nullptr, 10);
    std::fclose(status);
    return kb;
}

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "web stream bench: %s\n", what);
    std::exit(1);
}

// Counts the `current` events in a stream that arrives in pieces cut anywhere.
class TEventCounter
{
public:
    long Take(const char* data, std::size_t size)
    {
        long found = 0;
        for (std::size_t i = 0; i < size; ++i) {
            while (Matched > 0 && Pattern[Matched] != data[i])
                Matched = Fallback(Matched);
            if (Pattern[Matched] == data[i] && ++Matched == PatternLength) {
                ++found;
                Matched = 0; // no end of the pattern begins it again
            }
        }
        return found;
    }

private:
    static constexpr const char* Pattern = "event: current\n";
    static constexpr std::size_t PatternLength = 15;
    // The longest proper prefix of the pattern's first `matched` bytes that is also their suffix.
    static std::size_t Fallback(std::size_t matched)
    {
        for (std::size_t k = matched - 1; k > 0; --k)
            if (std::memcmp(Pattern, Pattern + matched - k, k) == 0)
                return k;
        return 0;
    }
    std::size_t Matched = 0;
};

// The live page's clients: connections to /api/v1/stream served by one thread of their own, which
// reads whatever comes, counts each connection's `current` events and keeps nothing else.
class TStreamClients
{
public:
    TStreamClients(quint16 port, int count)
        : Counts(static_cast<std::size_t>(count), 0)
        , Counters(static_cast<std::size_t>(count))
    {
        Wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const std::string request = "GET /api/v1/stream HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
            "\r\nAccept: text/event-stream\r\n\r\n";
        for (int i = 0; i < count; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
                Fail("a client could not connect");
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            Sockets.push_back(fd);
        }
        Thread = std::thread([this] { Serve(); });
    }

    ~TStreamClients()
    {
        const std::uint64_t one = 1;
        (void)!write(Wake, &one, sizeof one);
        Thread.join();
        for (const int fd : Sockets)
            close(fd);
        close(Wake);
    }

    TStreamClients(const TStreamClients&) = delete;
    TStreamClients& operator=(const TStreamClients&) = delete;

    // Waits until each client has had at least its number of events; false when the deadline
    // passed first or a connection was closed.
    bool WaitForEach(const std::vector<long>& events)
    {
        std::unique_lock lock(Mutex);
        return Changed.wait_for(lock, DeliveryDeadline,
                                [&] {
                                    if (Closed > 0)
                                        return true;
                                    for (std::size_t i = 0; i < Counts.size(); ++i)
                                        if (Counts[i] < events[i])
                                            return false;
                                    return true;
                                }) &&
            Closed == 0;
    }

    std::vector<long> EventCounts() const
    {
        const std::lock_guard lock(Mutex);
        return Counts;
    }

    int ClosedConnections() const
    {
        const std::lock_guard lock(Mutex);
        return Closed;
    }

    // The clients' thread's processor time so far.
    double CpuSeconds()
    {
        clockid_t clock{};
        pthread_getcpuclockid(Thread.native_handle(), &clock);
        return benchsupport::CpuSeconds(clock);
    }

private:
    void Serve()
    {
        std::vector<pollfd> polled{{Wake, POLLIN, 0}};
        for (const int fd : Sockets)
            polled.push_back({fd, POLLIN, 0});
        std::vector<char> buffer(std::size_t{64} * 1024);
        std::vector<long> found(Sockets.size());
        for (;;) {
            if (poll(polled.data(), polled.size(), -1) < 0 && errno != EINTR)
                Fail("poll failed");
            if (polled[0].revents != 0)
                return;
            int closed = 0;
            std::fill(found.begin(), found.end(), 0);
            for (std::size_t i = 1; i < polled.size(); ++i) {
                if (polled[i].revents == 0)
                    continue;
                for (;;) {
                    const ssize_t got = recv(polled[i].fd, buffer.data(), buffer.size(), 0);
                    if (got > 0) {
                        found[i - 1] += Counters[i - 1].Take(buffer.data(), static_cast<std::size_t>(got));
                        continue;
                    }
                    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                        break;
                    if (got < 0 && errno == EINTR)
                        continue;
                    polled[i].fd = -1; // closed by the server, or failed: poll leaves it alone
                    ++closed;
                    break;
                }
            }
            {
                const std::lock_guard lock(Mutex);
                for (std::size_t i = 0; i < found.size(); ++i)
                    Counts[i] += found[i];
                Closed += closed;
            }
            Changed.notify_all();
        }
    }

    int Wake = -1;
    std::vector<int> Sockets;
    mutable std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<long> Counts;            // under Mutex
    int Closed = 0;                      // under Mutex
    std::vector<TEventCounter> Counters; // the thread's own
    std::thread Thread;
};

// What one run measured; counts too are kept as numbers of the one kind, so that a run's figures
// go to the rounds as one line.
struct TRun
{
    // The stream of a report every millisecond.
    double Reports = 0;
    double MainCpuUs = 0;    // the main thread's processor time per report
    double ServerCpuUs = 0;  // the rest of the program's threads (the read thread, the web server), per report
    double ClientsCpuUs = 0; // the clients' thread, per report
    double StallMs = 0;      // the longest gap between two turns of the main thread's event loop
    double BusyMs = 0;       // the most processor time the main thread spent in one gap
    double RssBeforeKb = 0;  // just before the server would start
    double RssAfterKb = 0;   // once the stream has reached every client
    // Bursts of reports as fast as the window takes them, as bench_station_stream sends them.
    double BurstReports = 0;
    double BurstMainCpuUs = 0;
    double RssAfterBurstsKb = 0;
    double PeakKb = 0;
    // The events each client got beyond its first, fewest and most, and the connections closed.
    double Fewest = 0;
    double Most = 0;
    double Closed = 0;
};
constexpr std::array Fields{
    &TRun::Reports,          &TRun::MainCpuUs,   &TRun::ServerCpuUs, &TRun::ClientsCpuUs, &TRun::StallMs,
    &TRun::BusyMs,           &TRun::RssBeforeKb, &TRun::RssAfterKb,  &TRun::BurstReports, &TRun::BurstMainCpuUs,
    &TRun::RssAfterBurstsKb, &TRun::PeakKb,      &TRun::Fewest,      &TRun::Most,         &TRun::Closed};

bool Delivered(const TRun& run)
{
    return run.Closed == 0 && run.Fewest >= run.Reports + run.BurstReports;
}

// The web page on for this computer on a free port of 127.0.0.1; its port.
quint16 StartWebPage(TStreamingWindow& window)
{
    TWebPublishing& web = *BuiltInPublishing(window.Form).Web;
    web::TWebSettings settings = web.Settings();
    settings.Enabled = true;
    settings.Port = 0;
    web.Accept(settings);
    benchsupport::WaitUntil([&] { return web.Status().Running || !web.Status().Problem.isEmpty(); });
    if (!web.Status().Running)
        Fail(qPrintable(web.Status().Problem));
    return web.Status().Port;
}

// The clients, when the page is on, and what each had before the stream.
struct TAudience
{
    std::unique_ptr<TStreamClients> Clients;
    std::vector<long> First;

    double CpuSeconds() { return Clients ? Clients->CpuSeconds() : 0; }
    // Waits until each client has had `reports` events beyond its first, or gave up.
    void WaitForReports(double reports)
    {
        if (!Clients)
            return;
        std::vector<long> every = First;
        for (long& events : every)
            events += static_cast<long>(reports);
        Clients->WaitForEach(every);
    }
};

// Streams a report every turn of the stall probe (every millisecond) for StreamMs, then runs the
// loop until the window has handled every report queued and each client has had them.
void Stream(TStreamingWindow& window, TAudience& audience, TRun& run)
{
    const std::vector<std::uint8_t> reports[2] = {benchsupport::StreamReport(0), benchsupport::StreamReport(1)};
    int queued = 0;
    benchsupport::TStallProbe probe([&] { window.Sim.QueueInputReport(window.Id, reports[queued++ & 1]); });
    const int handledBefore = window.Reports.Count;
    const double mainBefore = benchsupport::CpuSeconds();
    const double processBefore = benchsupport::CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double clientsBefore = audience.CpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(StreamMs, &loop, &QEventLoop::quit);
    probe.Start();
    loop.exec();
    probe.Stop();
    window.Reports.Target = handledBefore + queued;
    if (window.Reports.Count < window.Reports.Target) {
        window.Reports.Loop = &loop;
        loop.exec();
        window.Reports.Loop = nullptr;
    }
    run.Reports = queued;
    audience.WaitForReports(run.Reports);
    const double main = benchsupport::CpuSeconds() - mainBefore;
    const double clients = audience.CpuSeconds() - clientsBefore;
    const double process = benchsupport::CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processBefore;
    run.MainCpuUs = main * 1e6 / run.Reports;
    run.ClientsCpuUs = clients * 1e6 / run.Reports;
    run.ServerCpuUs = (process - main - clients) * 1e6 / run.Reports;
    run.StallMs = probe.LongestMs();
    run.BusyMs = probe.LongestBusyMs();
}

// Bursts of reports queued at once, the main thread's time counted while the window takes them;
// each burst reaches every client before the next. Not inlined, so that a profiler can count the
// bursts alone (valgrind --tool=callgrind --toggle-collect='*Bursts*').
[[gnu::noinline]] void Bursts(TStreamingWindow& window, TAudience& audience, TRun& run)
{
    double main = 0;
    for (int burst = 0; burst < BurstCount; ++burst) {
        const double before = benchsupport::CpuSeconds();
        benchsupport::RunBatch(window.Sim, window.Id, window.Reports, BurstReports);
        main += benchsupport::CpuSeconds() - before;
        run.BurstReports += BurstReports;
        audience.WaitForReports(run.Reports + run.BurstReports);
    }
    run.BurstMainCpuUs = main * 1e6 / run.BurstReports;
}

// One run in this process: the window streaming, with the web page and its clients or without.
TRun RunOnce(bool webPage)
{
    TStreamingWindow window;
    benchsupport::WaitUntil(
        [&] { return window.Form.Publishing != nullptr && BuiltInPublishing(window.Form).Web->IsLoaded(); });
    // What the first reports cost once (the outlook, the tray, the pages' first texts) is not the
    // stream's.
    benchsupport::RunBatch(window.Sim, window.Id, window.Reports, 100);

    TRun run;
    run.RssBeforeKb = static_cast<double>(StatusKb("VmRSS"));
    TAudience audience;
    if (webPage) {
        audience.Clients = std::make_unique<TStreamClients>(StartWebPage(window), ClientCount);
        // Each client has the page's first event, the reading as it stands, before the stream starts.
        if (!audience.Clients->WaitForEach(std::vector<long>(static_cast<std::size_t>(ClientCount), 1)))
            Fail("the clients did not get their first event");
        audience.First = audience.Clients->EventCounts();
    }
    Stream(window, audience, run);
    run.RssAfterKb = static_cast<double>(StatusKb("VmRSS"));
    Bursts(window, audience, run);
    run.RssAfterBurstsKb = static_cast<double>(StatusKb("VmRSS"));
    run.PeakKb = static_cast<double>(StatusKb("VmHWM"));
    run.Fewest = run.Most = run.Reports + run.BurstReports; // so far as there are no clients
    if (audience.Clients && ClientCount > 0) {
        const std::vector<long> counts = audience.Clients->EventCounts();
        std::vector<long> beyond(counts.size());
        for (std::size_t i = 0; i < counts.size(); ++i)
            beyond[i] = counts[i] - audience.First[i];
        run.Fewest = static_cast<double>(*std::min_element(beyond.begin(), beyond.end()));
        run.Most = static_cast<double>(*std::max_element(beyond.begin(), beyond.end()));
        run.Closed = audience.Clients->ClosedConnections();
    }
    return run;
}

int RunChild(int argc, char** argv, bool webPage)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    os::ReadLocalTimeZoneOnce(); // as the program's start does
    gui::TApplication app(argc, argv);
    // The window keeps its files in the current directory, not the caller's; no password store is asked.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    const TRun run = RunOnce(webPage);
    for (const auto field : Fields)
        std::printf("%.4f ", run.*field);
    std::printf("\n");
    return 0;
}

// This program started again for one run; its figures read back from its one line.
TRun RunInChild(const QString& program, bool webPage)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program,
                {QStringLiteral("--clients"), QString::number(ClientCount), QStringLiteral("--run"),
                 webPage ? QStringLiteral("on") : QStringLiteral("off")});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        Fail("a run failed");
    const QList<QByteArray> numbers = child.readAllStandardOutput().simplified().split(' ');
    if (numbers.size() != static_cast<qsizetype>(Fields.size()))
        Fail("a run's figures could not be read");
    TRun run;
    for (std::size_t i = 0; i < Fields.size(); ++i)
        run.*Fields[i] = numbers[static_cast<qsizetype>(i)].toDouble();
    return run;
}

double LoadAverage()
{
    double load = 0;
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &load) != 1)
            load = 0;
        std::fclose(file);
    }
    return load;
}

double Mb(double kb)
{
    return kb / 1024;
}

void PrintRun(const char* name, const TRun& run, bool webPage)
{
    std::printf("  %s: %.0f reports at 1 ms, main thread %.2f us/report, the program's other threads %.2f "
                "us/report, longest stall %.1f ms (busy %.1f ms); %.0f reports in bursts, main thread %.2f "
                "us/report; memory %.1f MB before, %+.1f MB after the stream, %+.1f MB after the bursts, peak %.1f MB",
                name, run.Reports, run.MainCpuUs, run.ServerCpuUs, run.StallMs, run.BusyMs, run.BurstReports,
                run.BurstMainCpuUs, Mb(run.RssBeforeKb), Mb(run.RssAfterKb - run.RssBeforeKb),
                Mb(run.RssAfterBurstsKb - run.RssBeforeKb), Mb(run.PeakKb));
    if (webPage)
        std::printf("; clients' thread %.2f us/report; events per client %.0f..%.0f of %.0f reports, closed %.0f",
                    run.ClientsCpuUs, run.Fewest, run.Most, run.Reports + run.BurstReports, run.Closed);
    std::printf("\n");
}

// The median of a figure over the runs, or its largest.
double Median(const std::vector<TRun>& runs, double (*figure)(const TRun&))
{
    std::vector<double> values;
    for (const TRun& run : runs)
        values.push_back(figure(run));
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Largest(const std::vector<TRun>& runs, double (*figure)(const TRun&))
{
    double most = 0;
    for (const TRun& run : runs)
        most = std::max(most, figure(run));
    return most;
}

void PrintSummary(const std::vector<TRun>& off, const std::vector<TRun>& on)
{
    const auto main = [](const TRun& run) { return run.MainCpuUs; };
    const auto burst = [](const TRun& run) { return run.BurstMainCpuUs; };
    const auto growth = [](const TRun& run) { return Mb(run.RssAfterKb - run.RssBeforeKb); };
    const auto burstGrowth = [](const TRun& run) { return Mb(run.RssAfterBurstsKb - run.RssBeforeKb); };
    const auto stall = [](const TRun& run) { return run.StallMs; };
    const auto busy = [](const TRun& run) { return run.BusyMs; };
    std::printf("main thread per report (medians of %zu runs each), page on / page off: a report every millisecond "
                "%.2f / %.2f us, ratio %.3f; in bursts %.2f / %.2f us, ratio %.3f (goal: at most 1.1)\n",
                on.size(), Median(on, main), Median(off, main), Median(on, main) / Median(off, main), Median(on, burst),
                Median(off, burst), Median(on, burst) / Median(off, burst));
    std::printf("longest main-thread stall over the runs, page on / page off: %.1f / %.1f ms; the most processor time "
                "in one: %.1f / %.1f ms (goal: at most 16 ms)\n",
                Largest(on, stall), Largest(off, stall), Largest(on, busy), Largest(off, busy));
    std::printf("memory growth from before the server's start (medians), page on with %d clients / page off: to the "
                "stream's end %+.1f / %+.1f MB, %+.1f MB more; to the bursts' end %+.1f / %+.1f MB, %+.1f MB more "
                "(goal: at most 10 MB more)\n",
                ClientCount, Median(on, growth), Median(off, growth), Median(on, growth) - Median(off, growth),
                Median(on, burstGrowth), Median(off, burstGrowth), Median(on, burstGrowth) - Median(off, burstGrowth));
}

int RunRounds(int rounds)
{
    const QString program = QCoreApplication::applicationFilePath();
    std::printf("the window streaming a report every millisecond for %d s, then %d bursts of %d reports, the web page "
                "off and on with %d clients on /api/v1/stream; load average %.1f\n",
                StreamMs / 1000, BurstCount, BurstReports, ClientCount, LoadAverage());
    std::vector<TRun> off;
    std::vector<TRun> on;
    bool delivered = true;
    for (int round = 0; round < rounds; ++round) {
        std::printf("round %d\n", round + 1);
        off.push_back(RunInChild(program, false));
        PrintRun("page off", off.back(), false);
        on.push_back(RunInChild(program, true));
        PrintRun("page on", on.back(), true);
        delivered = delivered && Delivered(on.back());
        std::fflush(stdout);
    }
    PrintSummary(off, on);
    std::printf("every client got every report in every run: %s\n", delivered ? "yes" : "NO");
    std::printf("load average at the end %.1f\n", LoadAverage());
    return delivered ? 0 : 1;
}

} // namespace

// bench_web_stream [--rounds N] [--clients N]; --run on|off is one run, as the rounds start it.
int main(int argc, char** argv)
{
    int rounds = DefaultRounds;
    const char* run = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--clients") == 0)
            ClientCount = std::max(0, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--run") == 0)
            run = argv[i + 1];
    }
    if (run != nullptr)
        return RunChild(argc, argv, std::strcmp(run, "on") == 0);
    QCoreApplication app(argc, argv);
    return RunRounds(rounds);
}
