// Processor time of the demo while it idles on the readings page, its stand-in station streaming
// one report a second, beside a bare Qt window that rewrites five labels once a second
// (bench_labels_window). Both run side by side offscreen over the same seconds, after a warm-up;
// each one's time (all its threads, user and system) is read from the kernel's clock of that
// process at the start and the end of the window.
//   bench_idle_cpu [SECONDS (30)] [WARM-UP SECONDS (5)]
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

pid_t Start(const char* program)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(program), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", program, std::strerror(error));
        return -1;
    }
    return pid;
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

    const pid_t demo = Start(METEO_DEMO);
    const pid_t labels = Start(METEO_LABELS_WINDOW);
    int result = 1;
    if (demo > 0 && labels > 0) {
        // The demo plugs its station in 1.5 s after the start; the stream runs from then on.
        std::this_thread::sleep_for(std::chrono::seconds(warmUp));
        const double demoStart = ProcessorSeconds(demo);
        const double labelsStart = ProcessorSeconds(labels);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double demoUsed = ProcessorSeconds(demo) - demoStart;
        const double labelsUsed = ProcessorSeconds(labels) - labelsStart;
        if (demoStart < 0 || labelsStart < 0 || demoUsed < 0 || labelsUsed < 0) {
            std::fprintf(stderr, "a program ended before the measurement did\n");
        } else {
            const double demoShare = 100 * demoUsed / seconds;
            const double labelsShare = 100 * labelsUsed / seconds;
            std::printf("idle over %d s side by side: demo %.3f %% CPU (%.1f ms); bare labels window %.3f %% CPU "
                        "(%.1f ms); ratio %.2f (goal at most 1.2)\n",
                        seconds, demoShare, demoUsed * 1000, labelsShare, labelsUsed * 1000,
                        labelsUsed > 0 ? demoUsed / labelsUsed : 0.0);
            result = 0;
        }
    }
    Stop(demo);
    Stop(labels);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
