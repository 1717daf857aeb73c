#include "os/system_requests.h"

#include "os/signal_events.h"

#include <QCoreApplication>
#include <csignal>
#include <unistd.h>

namespace os {

void OnTerminationRequest(QObject* context, std::function<void()> action)
{
    for (int signal : {SIGTERM, SIGINT})
        OnSignal(signal, context, action);
}

void OnBringForwardRequest(std::function<void()> action)
{
    OnSignal(SIGUSR1, QCoreApplication::instance(), std::move(action));
}

bool RequestBringForward(std::int64_t processId)
{
    if (processId <= 0 || processId == ::getpid())
        return false;
    return ::kill(static_cast<pid_t>(processId), SIGUSR1) == 0;
}

} // namespace os
