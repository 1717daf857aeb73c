#include "gui/bring_forward.h"

#include "os/system_requests.h"

#include <QApplication>
#include <QWidget>

namespace gui {

void BringForwardOnRequest()
{
    os::OnBringForwardRequest([] { BringWindowsForward(); });
}

void BringWindowsForward()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || (window->windowType() != Qt::Window && window->windowType() != Qt::Dialog))
            continue;
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->raise();
        window->activateWindow();
    }
}

} // namespace gui
