// The hidden window that receives the platform's device-change notices on the thread that created
// it. A top-level window, never shown: the system sends WM_DEVICECHANGE with DBT_DEVNODES_CHANGED
// to every top-level window, and a message-only window would miss it (it gets no broadcasts).
#pragma once

#include <windows.h>

#include <functional>

namespace hidplatform {

class TDeviceNoticeWindow
{
public:
    // `notice` runs once for every DBT_DEVNODES_CHANGED, from the thread's message loop.
    explicit TDeviceNoticeWindow(std::function<void()> notice);
    ~TDeviceNoticeWindow();
    TDeviceNoticeWindow(const TDeviceNoticeWindow&) = delete;
    TDeviceNoticeWindow& operator=(const TDeviceNoticeWindow&) = delete;

    bool Valid() const { return Window != nullptr; }
    HWND Handle() const { return Window; }

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::function<void()> Notice;
    HWND Window = nullptr;
};

} // namespace hidplatform
