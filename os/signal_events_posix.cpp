#include "os/signal_events.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/socket.h>
#include <unistd.h>

namespace os {
namespace {

// [0] is written by the handler, [1] read by the event loop.
int SignalSocket[2] = {-1, -1};

struct TSignalAction
{
    QPointer<QObject> Context;
    std::function<void()> Action;
};

std::map<int, TSignalAction>& Actions()
{
    static std::map<int, TSignalAction> actions;
    return actions;
}

void OnSignalReceived(int signal)
{
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(SignalSocket[0], &byte, 1);
}

void RunPendingActions()
{
    unsigned char bytes[64];
    ssize_t got;
    while ((got = ::read(SignalSocket[1], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < got; ++i) {
            const auto found = Actions().find(bytes[i]);
            if (found != Actions().end() && found->second.Context && found->second.Action)
                found->second.Action();
        }
    }
}

bool StartWatching()
{
    if (SignalSocket[0] != -1)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalSocket) != 0)
        return false;
    // Neither end may block: a burst of signals must not stop the handler, nor the reader.
    ::fcntl(SignalSocket[0], F_SETFL, O_NONBLOCK);
    ::fcntl(SignalSocket[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(SignalSocket[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { RunPendingActions(); });
    return true;
}

} // namespace

void OnSignal(int signal, QObject* context, std::function<void()> action)
{
    if (!StartWatching())
        return;
    Actions()[signal] = {context, std::move(action)};
    struct sigaction handler = {};
    handler.sa_handler = OnSignalReceived;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESTART;
    ::sigaction(signal, &handler, nullptr);
}

} // namespace os
