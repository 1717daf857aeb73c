#include "gui/termination_signals.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QWidget>

namespace gui {

// Windows sends no signals: the end of the session (log-off, shut-down) is the request to end, and
// the system waits for the answer to it before it ends the process.
void CloseOnTerminationSignals(QWidget* window)
{
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager&) { window->close(); });
}

} // namespace gui
