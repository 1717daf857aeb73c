#include "os/system_requests.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include <windows.h>

namespace os {

namespace {

// The request: a message of the program's own, posted to the running program's windows.
UINT BringForwardMessage()
{
    static const UINT message = RegisterWindowMessageW(L"MeteostationBringForward");
    return message;
}

class TBringForwardFilter : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "windows_generic_MSG" || static_cast<const MSG*>(message)->message != BringForwardMessage())
            return false;
        if (Action)
            Action();
        return true;
    }

    std::function<void()> Action;
};

struct TProcessWindows
{
    DWORD ProcessId;
    bool Found;
};

} // namespace

// Windows sends no signals: the end of the session (log-off, shut-down) is the request to end, and
// the system waits for the answer to it before it ends the process.
void OnTerminationRequest(QObject* context, std::function<void()> action)
{
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, context,
                     [action = std::move(action)](QSessionManager&) { action(); });
}

void OnBringForwardRequest(std::function<void()> action)
{
    static TBringForwardFilter filter;
    filter.Action = std::move(action);
    QCoreApplication::instance()->installNativeEventFilter(&filter);
}

bool RequestBringForward(std::int64_t processId)
{
    if (processId <= 0 || processId == static_cast<std::int64_t>(GetCurrentProcessId()))
        return false;
    // Windows lets a program come to the front only when the one in front allows it.
    AllowSetForegroundWindow(static_cast<DWORD>(processId));
    TProcessWindows windows{static_cast<DWORD>(processId), false};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* wanted = reinterpret_cast<TProcessWindows*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == wanted->ProcessId && PostMessageW(window, BringForwardMessage(), 0, 0))
                wanted->Found = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows.Found;
}

} // namespace os
