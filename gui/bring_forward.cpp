#include "gui/bring_forward.h"

#include "os/system_requests.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace gui {
namespace {

struct THiddenWindow
{
    QPointer<QWidget> Window;
    std::function<void()> Show;
};

std::vector<THiddenWindow>& HiddenWindows()
{
    static std::vector<THiddenWindow> windows;
    return windows;
}

} // namespace

void ShowOnBringForward(QWidget* window, std::function<void()> show)
{
    auto& windows = HiddenWindows();
    std::erase_if(windows, [window](const THiddenWindow& hidden) { return !hidden.Window || hidden.Window == window; });
    if (show)
        windows.push_back({window, std::move(show)});
}

void BringForwardOnRequest()
{
    os::OnBringForwardRequest([] { BringWindowsForward(); });
}

void BringWindowsForward()
{
    // Each shows its window its own way; the list changes as they do.
    for (const THiddenWindow& hidden : std::vector<THiddenWindow>(HiddenWindows()))
        if (hidden.Window && hidden.Window->isHidden())
            hidden.Show();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || (window->windowType() != Qt::Window && window->windowType() != Qt::Dialog))
            continue;
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->raise();
        window->activateWindow();
    }
}

} // namespace gui
