#include "gui/termination_signals.h"

#include "base/signal_events.h"

#include <QPointer>
#include <QWidget>
#include <csignal>

namespace gui {

void CloseOnTerminationSignals(QWidget* window)
{
    const QPointer<QWidget> target(window);
    for (int signal : {SIGTERM, SIGINT})
        base::OnSignal(signal, window, [target] {
            if (target)
                target->close();
        });
}

} // namespace gui
