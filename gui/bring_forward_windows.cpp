#include "gui/bring_forward.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <windows.h>

namespace gui {

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
        BringWindowsForward();
        return true;
    }
};

struct TProcessWindows
{
    DWORD ProcessId;
    bool Found;
};

} // namespace

void BringForwardOnRequest()
{
    static TBringForwardFilter filter;
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

} // namespace gui
