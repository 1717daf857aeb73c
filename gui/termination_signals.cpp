#include "gui/termination_signals.h"

#include "gui/signal_events.h"

#include <QPointer>
#include <QWidget>
#include <csignal>

namespace gui {

void CloseOnTerminationSignals(QWidget* window)
{
    const QPointer<QWidget> target(window);
    for (int signal : {SIGTERM, SIGINT})
        OnSignal(signal, window, [target] {
            if (target)
                target->close();
        });
}

} // namespace gui
