// Processor time of the demo while it idles on the readings page, its stand-in station streaming
// one report a second, beside a bare Qt window that rewrites five labels once a second
// (bench_labels_window), and beside a second demo that publishes every report to a mosquitto
// broker on 127.0.0.1 (started here when mosquitto is installed). Where Xvfb and the trayer tray host
// are installed, also a demo hidden in the tray with every alarm on, on an X display with a tray,
// beside a demo shown on an X display without one, its alarms off. All run side by side over the
// same seconds, after a warm-up; each one's time (all its threads, user and system) is read from
// the kernel's clock of that process at the start and the end of the window.
//   bench_idle_cpu [SECONDS (30)] [WARM-UP SECONDS (5)]
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Starts `program` with `arguments`, its output to `output`, and the variables of `environment`
// ("NAME=value") set in place of the ones it would inherit.
pid_t Start(const char* program, std::vector<std::string> arguments = {}, const char* output = "/dev/null",
            const std::vector<std::string>& environment = {})
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(program)};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const auto replaced = [&](const char* variable) {
        for (const std::string& own : environment)
            if (std::strncmp(variable, own.c_str(), own.find('=') + 1) == 0)
                return true;
        return false;
    };
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (!replaced(*variable))
            variables.emplace_back(*variable);
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", program, std::strerror(error));
        return -1;
    }
    return pid;
}

// A program of the PATH by its full name, or empty.
std::string OnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin";
    for (std::size_t from = 0; from <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', from), folders.size());
        const std::string candidate = folders.substr(from, end - from) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        from = end + 1;
    }
    return {};
}

// An X display of its own: Xvfb started with -displayfd, which writes the display's number once
// it takes clients. `display` becomes ":N"; the server's process, or -1.
pid_t StartXvfb(std::string& display)
{
    const std::string xvfb = OnPath("Xvfb");
    int ready[2];
    if (xvfb.empty() || pipe(ready) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    const std::string fd = std::to_string(ready[1]);
    std::vector<std::string> arguments{xvfb, "-displayfd", fd, "-screen", "0", "1024x600x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, xvfb.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    std::string number;
    char c = 0;
    while (error == 0 && read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    if (error != 0 || number.empty())
        return error == 0 ? pid : -1;
    display = ":" + number;
    return pid;
}

// Whether the trayer tray host shows its panel on `display` (xwininfo lists the windows).
bool TrayShown(const std::string& display)
{
    const std::string command = "DISPLAY=" + display + " xwininfo -root -tree 2>/dev/null";
    FILE* windows = popen(command.c_str(), "r");
    if (windows == nullptr)
        return false;
    bool shown = false;
    char line[512];
    while (std::fgets(line, sizeof line, windows) != nullptr)
        shown = shown || std::strstr(line, "\"panel\": (\"panel\" \"trayer\")") != nullptr;
    pclose(windows);
    return shown;
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port of 127.0.0.1 that was free a moment ago.
int FreePort()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(probe);
    return port;
}

// Waits (at most 10 s) until something listens on 127.0.0.1:`port`.
bool Listening(int port)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int probe = socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = Loopback(port);
        const bool connected = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        close(probe);
        if (connected)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// A mosquitto broker on 127.0.0.1 that logs every message, and a data folder for the demo whose
// "publish.ini" publishes every report to it; the broker's process, or -1 without mosquitto.
pid_t StartPublishing(const std::string& folder, std::string& brokerLog)
{
    const char* mosquitto = "/usr/sbin/mosquitto";
    if (access(mosquitto, X_OK) != 0)
        return -1;
    const int port = FreePort();
    const std::string configuration = folder + "/broker.conf";
    std::ofstream(configuration) << "listener " << port << " 127.0.0.1\nallow_anonymous true\n";
    brokerLog = folder + "/broker.log";
    const pid_t broker = Start(mosquitto, {"-c", configuration, "-v"}, brokerLog.c_str());
    if (broker <= 0 || !Listening(port))
        return broker;
    std::filesystem::create_directories(folder + "/data/meteostation/demo");
    std::ofstream(folder + "/data/meteostation/demo/publish.ini")
        << "[mqtt]\nenabled=true\nhost=127.0.0.1\nport=" << port << "\ninterval_seconds=0\n";
    return broker;
}

// How many messages the broker's log says it received.
int MessagesReceived(const std::string& brokerLog)
{
    std::ifstream log(brokerLog);
    int count = 0;
    for (std::string line; std::getline(log, line);)
        count += line.find("Received PUBLISH") != std::string::npos ? 1 : 0;
    return count;
}

// Seconds of processor time the process has used so far; negative when it has ended.
double ProcessorSeconds(pid_t pid)
{
    clockid_t clock;
    timespec t{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &t) != 0)
        return -1;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void Stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

// The demo hidden in the tray with every alarm on, on a display with trayer, and the demo shown on
// a display without a tray, its alarms off (as a new data folder has them); each its own data
// folder. Every process is -1 where Xvfb or trayer is missing.
struct TTrayPair
{
    pid_t TrayDisplay = -1;
    pid_t TrayHost = -1;
    pid_t InTray = -1;
    pid_t PlainDisplay = -1;
    pid_t Shown = -1;
    std::string Missing;
};

TTrayPair StartTrayPair(const std::string& folder)
{
    TTrayPair pair;
    const std::string trayer = OnPath("trayer");
    if (trayer.empty() || OnPath("xwininfo").empty()) {
        pair.Missing = "no trayer or xwininfo";
        return pair;
    }
    std::string trayDisplay;
    std::string plainDisplay;
    pair.TrayDisplay = StartXvfb(trayDisplay);
    pair.PlainDisplay = StartXvfb(plainDisplay);
    if (trayDisplay.empty() || plainDisplay.empty()) {
        pair.Missing = "no Xvfb";
        return pair;
    }
    pair.TrayHost =
        Start(trayer.c_str(), {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"},
              "/dev/null", {"DISPLAY=" + trayDisplay});
    bool shown = false;
    for (int attempt = 0; attempt < 200 && !(shown = TrayShown(trayDisplay)); ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!shown) {
        pair.Missing = "trayer showed no panel";
        return pair;
    }
    const std::string trayData = folder + "/tray";
    std::filesystem::create_directories(trayData + "/meteostation/demo");
    std::ofstream(trayData + "/meteostation/demo/meteostation.ini")
        << "[alarms]\nfrost=true\nheat=true\npressure_fall=true\nhumidity=true\nsilence=true\n"
           "archive_failure=true\n";
    pair.InTray = Start(METEO_DEMO, {"--tray"}, "/dev/null",
                        {"XDG_DATA_HOME=" + trayData, "DISPLAY=" + trayDisplay, "QT_QPA_PLATFORM=xcb"});
    pair.Shown = Start(METEO_DEMO, {}, "/dev/null",
                       {"XDG_DATA_HOME=" + folder + "/shown", "DISPLAY=" + plainDisplay, "QT_QPA_PLATFORM=xcb"});
    return pair;
}

// What each program took of the processor over the measurement, in seconds: negative for one that
// is not running or ended before the measurement did; and the messages the broker got meanwhile.
struct TIdleUse
{
    double Demo = -1;
    double Labels = -1;
    double Publishing = -1;
    int Messages = 0;
    double InTray = -1;
    double Shown = -1;
};

// Processor time a program takes from the object's making to End(): negative when it was not
// there at either end.
class TProcessorUse
{
public:
    explicit TProcessorUse(pid_t pid)
        : Pid(pid)
        , Started(pid > 0 ? ProcessorSeconds(pid) : -1)
    {
    }
    double End() const
    {
        const double now = Pid > 0 ? ProcessorSeconds(Pid) : -1;
        return Started < 0 || now < 0 || now < Started ? -1 : now - Started;
    }

private:
    pid_t Pid;
    double Started;
};

// Waits out the warm-up, then measures every program over `seconds`.
TIdleUse MeasureIdle(pid_t demo, pid_t labels, pid_t publishing, const TTrayPair& tray, const std::string& brokerLog,
                     int seconds, int warmUp)
{
    // The demo plugs its station in 1.5 s after the start; the stream runs from then on.
    std::this_thread::sleep_for(std::chrono::seconds(warmUp));
    const TProcessorUse demoUse(demo), labelsUse(labels), publishingUse(publishing), inTrayUse(tray.InTray),
        shownUse(tray.Shown);
    const int messagesStart = MessagesReceived(brokerLog);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    TIdleUse use;
    use.Demo = demoUse.End();
    use.Labels = labelsUse.End();
    use.Publishing = publishingUse.End();
    use.Messages = MessagesReceived(brokerLog) - messagesStart;
    use.InTray = inTrayUse.End();
    use.Shown = shownUse.End();
    return use;
}

// The figures beside their goals; false when the demo or the bare window was not measured.
bool ReportIdle(const TIdleUse& use, int seconds, bool withBroker, const TTrayPair& tray)
{
    if (use.Demo < 0 || use.Labels < 0) {
        std::fprintf(stderr, "a program ended before the measurement did\n");
        return false;
    }
    std::printf("idle over %d s side by side: demo %.3f %% CPU (%.1f ms); bare labels window %.3f %% CPU "
                "(%.1f ms); ratio %.2f (goal at most 1.2)\n",
                seconds, 100 * use.Demo / seconds, use.Demo * 1000, 100 * use.Labels / seconds, use.Labels * 1000,
                use.Labels > 0 ? use.Demo / use.Labels : 0.0);
    if (use.Publishing >= 0)
        std::printf("demo publishing every report to a broker on 127.0.0.1 (%d messages): %.3f %% CPU "
                    "(%.1f ms); demo without publishing %.1f ms; ratio %.2f (goal at most 1.3)\n",
                    use.Messages, 100 * use.Publishing / seconds, use.Publishing * 1000, use.Demo * 1000,
                    use.Demo > 0 ? use.Publishing / use.Demo : 0.0);
    else
        std::printf("the demo publishing was not measured: %s\n",
                    withBroker ? "it ended before the measurement did" : "no mosquitto in /usr/sbin");
    if (use.InTray >= 0 && use.Shown >= 0)
        std::printf("demo in the tray with every alarm on (X display with trayer): %.3f %% CPU (%.1f ms); "
                    "demo shown without a tray, alarms off (X display): %.1f ms; ratio %.2f (goal at most "
                    "1.2)\n",
                    100 * use.InTray / seconds, use.InTray * 1000, use.Shown * 1000,
                    use.Shown > 0 ? use.InTray / use.Shown : 0.0);
    else
        std::printf("the demo in the tray was not measured: %s\n",
                    tray.Missing.empty() ? "it ended before the measurement did" : tray.Missing.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int warmUp = argc > 2 ? std::atoi(argv[2]) : 5;
    if (seconds <= 0 || warmUp < 0) {
        std::fprintf(stderr, "usage: %s [SECONDS] [WARM-UP SECONDS]\n", argv[0]);
        return 2;
    }
    // The demo keeps its files in a data folder of its own under the user's data folder: here a
    // fresh one that goes at the end.
    char folder[] = "/tmp/meteo-idle-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    setenv("XDG_DATA_HOME", folder, 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    std::string brokerLog;
    const pid_t broker = StartPublishing(folder, brokerLog);
    const pid_t demo = Start(METEO_DEMO);
    const pid_t labels = Start(METEO_LABELS_WINDOW);
    const pid_t publishing =
        broker > 0 ? Start(METEO_DEMO, {}, "/dev/null", {"XDG_DATA_HOME=" + std::string(folder) + "/data"}) : -1;
    const TTrayPair tray = StartTrayPair(folder);
    int result = 1;
    if (demo > 0 && labels > 0 &&
        ReportIdle(MeasureIdle(demo, labels, publishing, tray, brokerLog, seconds, warmUp), seconds, broker > 0, tray))
        result = 0;
    Stop(demo);
    Stop(labels);
    Stop(publishing);
    Stop(broker);
    for (const pid_t pid : {tray.InTray, tray.Shown, tray.TrayHost, tray.TrayDisplay, tray.PlainDisplay})
        Stop(pid);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
