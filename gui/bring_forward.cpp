#include "gui/bring_forward.h"

#include "base/signal_events.h"

#include <QApplication>
#include <QWidget>
#include <csignal>
#include <unistd.h>

namespace gui {

void BringForwardOnRequest()
{
    base::OnSignal(SIGUSR1, QCoreApplication::instance(), [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible() || (window->windowType() != Qt::Window && window->windowType() != Qt::Dialog))
                continue;
            window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
            window->raise();
            window->activateWindow();
        }
    });
}

bool RequestBringForward(std::int64_t processId)
{
    if (processId <= 0 || processId == ::getpid())
        return false;
    return ::kill(static_cast<pid_t>(processId), SIGUSR1) == 0;
}

} // namespace gui
