#include "gui/bring_forward.h"

#include "base/signal_events.h"

#include <QCoreApplication>
#include <csignal>
#include <unistd.h>

namespace gui {

void BringForwardOnRequest()
{
    base::OnSignal(SIGUSR1, QCoreApplication::instance(), [] { BringWindowsForward(); });
}

bool RequestBringForward(std::int64_t processId)
{
    if (processId <= 0 || processId == ::getpid())
        return false;
    return ::kill(static_cast<pid_t>(processId), SIGUSR1) == 0;
}

} // namespace gui
