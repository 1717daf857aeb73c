#include "base/termination_signals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace base {
namespace {

// A signal handler may only write to a descriptor; the event loop reads the other end.
int SignalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(SignalPipe[0], &byte, 1);
}

} // namespace

void OnTerminationSignals(QObject* context, std::function<void()> call)
{
    if (SignalPipe[0] != -1 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalPipe) != 0)
        return;
    ::fcntl(SignalPipe[0], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(SignalPipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [call = std::move(call)] {
        char bytes[16];
        while (::read(SignalPipe[1], bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes)) {
        }
        call();
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace base
